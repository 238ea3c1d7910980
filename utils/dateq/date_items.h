// The calendar items dateq can return, and how each is computed from the
// local time.
#pragma once

#include "platform/win32_types.h"

enum class DateItem { kYear, kMonth, kMday, kWday, kYday, kHour, kYweek, kMweekday, kNone };

// The item an argument selects: its first three characters are compared,
// case-sensitively, with each item name in turn ("yea..." selects year,
// "mwe" mweekday, while "m" alone selects nothing). kNone when none agrees.
DateItem find_date_item(const char* argument);

// Day of the year, 1 to 366.
int day_of_year(const SYSTEMTIME& time);

// Weekday, 1 = Monday to 7 = Sunday.
int weekday_monday_first(const SYSTEMTIME& time);

// The value of `item` at `time` (kNone gives 0):
//   year      years since 1900
//   yweek     (day of year - weekday + 7) / 7, and 52 where that is 0, so
//             week 1 holds the first Monday of the year
//   mweekday  day of the month / 7 + 1
int date_item_value(DateItem item, const SYSTEMTIME& time);

// The usage text, printed as one string.
const char* dateq_usage();
