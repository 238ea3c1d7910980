// dateq as a program, run with its clock moved to fixed instants.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "utils/testing/child_process.h"

namespace {

struct Instant {
  int year, month, day, hour, minute;
};

// Runs dateq with the clock moved to `when` (universal time), in the zone
// `tz`. The offset is taken from the real time just before the run.
ChildResult dateq_at(const Instant& when, const std::vector<std::string>& args,
                     const char* tz = "UTC") {
  struct tm tm {};
  tm.tm_year = when.year - 1900;
  tm.tm_mon = when.month - 1;
  tm.tm_mday = when.day;
  tm.tm_hour = when.hour;
  tm.tm_min = when.minute;
  const long long offset = static_cast<long long>(timegm(&tm)) - static_cast<long long>(time(nullptr));
  ChildOptions options;
  options.env = {std::string("TZ=") + tz, "NT_CLOCK_OFFSET=" + std::to_string(offset)};
  return run_child(built_program("dateq"), args, options);
}

int item_at(const Instant& when, const char* item, const char* tz = "UTC") {
  ChildResult r = dateq_at(when, {item}, tz);
  EXPECT_EQ(r.err, "") << item;
  EXPECT_EQ(r.out, "") << item;
  return r.exit_code;
}

constexpr Instant kThursday7May2026{2026, 5, 7, 15, 30};

TEST(DateqProgram, ItemsOfAFixedDay) {
  EXPECT_EQ(item_at(kThursday7May2026, "year"), 126);
  EXPECT_EQ(item_at(kThursday7May2026, "yea"), 126);
  EXPECT_EQ(item_at(kThursday7May2026, "month"), 5);
  EXPECT_EQ(item_at(kThursday7May2026, "mday"), 7);
  EXPECT_EQ(item_at(kThursday7May2026, "wday"), 4);
  EXPECT_EQ(item_at(kThursday7May2026, "yday"), 127);
  EXPECT_EQ(item_at(kThursday7May2026, "hour"), 15);
  EXPECT_EQ(item_at(kThursday7May2026, "mwe"), 2);
  EXPECT_EQ(item_at(kThursday7May2026, "yweek"), 18);  // week 1 began on 5 January
  // Local time follows the zone: 15:30 universal is 10:30 five hours west.
  EXPECT_EQ(item_at(kThursday7May2026, "hour", "EST5"), 10);
}

TEST(DateqProgram, CalendarEdges) {
  EXPECT_EQ(item_at({2026, 1, 4, 12, 0}, "wday"), 7);    // a Sunday
  EXPECT_EQ(item_at({2024, 1, 1, 12, 0}, "yweek"), 1);   // 1 January on a Monday
  EXPECT_EQ(item_at({2019, 1, 1, 12, 0}, "yweek"), 52);  // 1 January on a Tuesday
  // Day 366 of a leap year. A Linux exit status keeps the low eight bits
  // of the value, so the program's 366 arrives as 110.
  EXPECT_EQ(item_at({2024, 12, 31, 12, 0}, "yday"), 366 & 0xFF);
  EXPECT_EQ(item_at({2024, 12, 31, 23, 0}, "hour"), 23);
}

TEST(DateqProgram, UsageAndUnknownItems) {
  ChildResult r = dateq_at(kThursday7May2026, {});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  const std::string usage = r.err;
  EXPECT_EQ(usage.rfind("dateq V1.0\t7/95\n\ndateq returns an errorlevel", 0), 0u);
  for (const char* line : {"\tyear\treturn year since 1900\n", "\tyday\treturn day of year (1-366)\n",
                           "\tmweekday\treturn nth weekday of this month (1-5)\n"}) {
    EXPECT_NE(usage.find(line), std::string::npos) << line;
  }
  for (const char* argument : {"m", "Year", "mo", "x"}) {
    r = dateq_at(kThursday7May2026, {argument});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("Unknown parameter: '") + argument + "'\n" + usage);
  }
}

}  // namespace
