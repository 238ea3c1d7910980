#include "utils/dateq/date_items.h"

#include <gtest/gtest.h>

namespace {

// wDayOfWeek counts from Sunday = 0, as GetLocalTime gives it.
SYSTEMTIME date(int year, int month, int day, int weekday, int hour = 12) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wDayOfWeek = static_cast<WORD>(weekday);
  t.wHour = static_cast<WORD>(hour);
  return t;
}

TEST(DateItems, ArgumentSelectsOnThreeCharacters) {
  EXPECT_EQ(find_date_item("year"), DateItem::kYear);
  EXPECT_EQ(find_date_item("yea"), DateItem::kYear);
  EXPECT_EQ(find_date_item("yeast"), DateItem::kYear);
  EXPECT_EQ(find_date_item("mon"), DateItem::kMonth);
  EXPECT_EQ(find_date_item("mday"), DateItem::kMday);
  EXPECT_EQ(find_date_item("wda"), DateItem::kWday);
  EXPECT_EQ(find_date_item("yday"), DateItem::kYday);
  EXPECT_EQ(find_date_item("hour"), DateItem::kHour);
  EXPECT_EQ(find_date_item("ywe"), DateItem::kYweek);
  EXPECT_EQ(find_date_item("mwe"), DateItem::kMweekday);
  EXPECT_EQ(find_date_item("m"), DateItem::kNone);
  EXPECT_EQ(find_date_item("ye"), DateItem::kNone);
  EXPECT_EQ(find_date_item("Year"), DateItem::kNone);
  EXPECT_EQ(find_date_item("HOUR"), DateItem::kNone);
  EXPECT_EQ(find_date_item(""), DateItem::kNone);
  EXPECT_EQ(find_date_item(nullptr), DateItem::kNone);
}

TEST(DateItems, PlainFields) {
  const SYSTEMTIME t = date(2026, 5, 7, 4, 23);
  EXPECT_EQ(date_item_value(DateItem::kYear, t), 126);
  EXPECT_EQ(date_item_value(DateItem::kYear, date(1998, 1, 1, 4)), 98);
  EXPECT_EQ(date_item_value(DateItem::kMonth, t), 5);
  EXPECT_EQ(date_item_value(DateItem::kMday, t), 7);
  EXPECT_EQ(date_item_value(DateItem::kHour, t), 23);
  EXPECT_EQ(date_item_value(DateItem::kWday, t), 4);
  EXPECT_EQ(date_item_value(DateItem::kWday, date(2026, 1, 4, 0)), 7);  // Sunday
  EXPECT_EQ(date_item_value(DateItem::kWday, date(2026, 1, 5, 1)), 1);  // Monday
}

TEST(DateItems, DayOfYearCountsLeapDays) {
  EXPECT_EQ(date_item_value(DateItem::kYday, date(2024, 1, 1, 1)), 1);
  EXPECT_EQ(date_item_value(DateItem::kYday, date(2024, 12, 31, 2)), 366);
  EXPECT_EQ(date_item_value(DateItem::kYday, date(2025, 12, 31, 3)), 365);
  EXPECT_EQ(day_of_year(date(2024, 3, 1, 5)), 61);
  EXPECT_EQ(day_of_year(date(2100, 3, 1, 1)), 60);  // no leap year
  EXPECT_EQ(day_of_year(date(2000, 3, 1, 3)), 61);  // a leap year
}

TEST(DateItems, WeekOfTheYear) {
  EXPECT_EQ(date_item_value(DateItem::kYweek, date(2024, 1, 1, 1)), 1);   // 1 Jan a Monday
  EXPECT_EQ(date_item_value(DateItem::kYweek, date(2019, 1, 1, 2)), 52);  // 1 Jan a Tuesday
  EXPECT_EQ(date_item_value(DateItem::kYweek, date(2019, 1, 6, 0)), 52);  // the Sunday after
  EXPECT_EQ(date_item_value(DateItem::kYweek, date(2019, 1, 7, 1)), 1);   // first Monday
  EXPECT_EQ(date_item_value(DateItem::kYweek, date(2024, 1, 8, 1)), 2);
  // The formula runs past 52 at the end of some years.
  EXPECT_EQ(date_item_value(DateItem::kYweek, date(2024, 12, 31, 2)), 53);
}

TEST(DateItems, WeekdayOfTheMonth) {
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 1, 5)), 1);
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 6, 3)), 1);
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 7, 4)), 2);
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 13, 3)), 2);
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 14, 4)), 3);
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 28, 4)), 5);
  EXPECT_EQ(date_item_value(DateItem::kMweekday, date(2026, 5, 31, 0)), 5);
}

}  // namespace
