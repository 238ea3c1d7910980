#include "utils/dateq/date_items.h"

#include <cstring>

namespace {

struct ItemName {
  const char* name;
  DateItem item;
};

// In the order the argument is tried against them.
constexpr ItemName kItems[] = {
    {"year", DateItem::kYear},   {"month", DateItem::kMonth}, {"mday", DateItem::kMday},
    {"wday", DateItem::kWday},   {"yday", DateItem::kYday},   {"hour", DateItem::kHour},
    {"yweek", DateItem::kYweek}, {"mweekday", DateItem::kMweekday},
};

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

DateItem find_date_item(const char* argument) {
  if (!argument) return DateItem::kNone;
  for (const ItemName& entry : kItems) {
    if (strncmp(argument, entry.name, 3) == 0) return entry.item;
  }
  return DateItem::kNone;
}

int day_of_year(const SYSTEMTIME& time) {
  static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int month = time.wMonth >= 1 && time.wMonth <= 12 ? time.wMonth : 1;
  int day = kDaysBefore[month - 1] + time.wDay;
  if (month > 2 && is_leap(time.wYear)) ++day;
  return day;
}

int weekday_monday_first(const SYSTEMTIME& time) {
  return time.wDayOfWeek == 0 ? 7 : time.wDayOfWeek;
}

int date_item_value(DateItem item, const SYSTEMTIME& time) {
  switch (item) {
    case DateItem::kYear:
      return time.wYear - 1900;
    case DateItem::kMonth:
      return time.wMonth;
    case DateItem::kMday:
      return time.wDay;
    case DateItem::kWday:
      return weekday_monday_first(time);
    case DateItem::kYday:
      return day_of_year(time);
    case DateItem::kHour:
      return time.wHour;
    case DateItem::kYweek: {
      int week = (day_of_year(time) - weekday_monday_first(time) + 7) / 7;
      return week <= 0 ? 52 : week;
    }
    case DateItem::kMweekday:
      return time.wDay / 7 + 1;
    case DateItem::kNone:
      break;
  }
  return 0;
}

const char* dateq_usage() {
  return "dateq V1.0\t7/95\n\n"
         "dateq returns an errorlevel corresponding to the requested item\n\n"
         "\tusage: dateq <item>\n"
         "\texit value: value of item\n\n"
         "<item> can be one of the following:\n"
         "\tyear\treturn year since 1900\n"
         "\tmonth\treturn month (1=Jan, 12=Dec)\n"
         "\tmday\treturn day of month (1-31)\n"
         "\tyday\treturn day of year (1-366)\n"
         "\twday\treturn weekday (1=Monday, 7=Sunday)\n"
         "\thour\treturn hour (0-23)\n"
         "\tyweek\treturn calendar week (1-52)\n"
         "\tmweekday\treturn nth weekday of this month (1-5)\n";
}
