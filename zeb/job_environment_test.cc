#include "zeb/job_environment.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/nls/nls_test_env.h"

namespace {

SYSTEMTIME local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  st.wDayOfWeek = 6;  // deliberately wrong: the date decides
  return st;
}

std::map<std::string, std::string> variables_at(const SYSTEMTIME& when,
                                                const char* user = nullptr) {
  std::vector<std::string> list;
  JobIoFiles files = job_io_files("C:\\TEMP", "nightly");
  EXPECT_TRUE(job_environment_variables(when, "nightly", user, files, &list));
  std::map<std::string, std::string> out;
  for (const std::string& v : list) {
    size_t eq = v.find('=');
    out[v.substr(0, eq)] = v.substr(eq + 1);
  }
  return out;
}

std::string flags_of(const std::map<std::string, std::string>& v) {
  std::string out;
  for (const char* name : {"ZEBlmw", "ZEBlyw", "ZEBfmw", "ZEBfyw", "ZEBlmd", "ZEBlyd", "ZEBfmd",
                           "ZEBfyd"}) {
    out += v.at(name);
  }
  return out;
}

TEST(JobEnvironment, VariablesComeInTheirFixedOrder) {
  std::vector<std::string> list;
  JobIoFiles files = job_io_files("D:\\jobs\\", "nightly");
  ASSERT_TRUE(job_environment_variables(local(2024, 3, 15, 7, 5, 9), "nightly", "operator",
                                        files, &list));
  const std::vector<std::string> expected = {
      "ZEBname=nightly",
      "ZEBuser=operator",
      "ZEBstdin=D:\\jobs\\nightly.IN",
      "ZEBstdout=D:\\jobs\\nightly.OUT",
      "ZEBstderr=D:\\jobs\\nightly.ERR",
      "ZEByyyy=2024",
      "ZEByy=24",
      "ZEBmm=03",
      "ZEBdd=15",
      "ZEBHH=07",
      "ZEBMI=05",
      "ZEBSS=09",
      "ZEBwd=05",
      "ZEBmon=MAR",
      "ZEBmonth=March",
      "ZEBwdy=FRI",
      "ZEBweekday=Friday",
      "ZEBcw=11",
      "ZEBmw=03",
      "ZEByd=075",
      "ZEByw=11",
      "ZEBlmw=F",
      "ZEBlyw=F",
      "ZEBfmw=F",
      "ZEBfyw=F",
      "ZEBlmd=F",
      "ZEBlyd=F",
      "ZEBfmd=F",
      "ZEBfyd=F",
  };
  EXPECT_EQ(list, expected);
  // Without an account the job runs as the service: "DEFAULT".
  EXPECT_EQ(variables_at(local(2024, 3, 15)).at("ZEBuser"), "DEFAULT");
  EXPECT_EQ(variables_at(local(2024, 3, 15), "").at("ZEBuser"), "DEFAULT");
  // A date that does not exist gives nothing.
  EXPECT_FALSE(job_environment_variables(local(2023, 2, 29), "x", nullptr, files, &list));
}

TEST(JobEnvironment, LastDayOfTheYear) {
  // Tuesday, 31 December 2024, a leap year.
  auto v = variables_at(local(2024, 12, 31, 23, 59, 59));
  EXPECT_EQ(flags_of(v), "TTFFTTFF");
  EXPECT_EQ(v.at("ZEByd"), "366");
  EXPECT_EQ(v.at("ZEByw"), "53");
  EXPECT_EQ(v.at("ZEBcw"), "53");
  EXPECT_EQ(v.at("ZEBmw"), "05");
  EXPECT_EQ(v.at("ZEBwd"), "02");
  EXPECT_EQ(v.at("ZEBmon"), "DEC");
  EXPECT_EQ(v.at("ZEBmonth"), "December");
  // 31 December of a common year is day 365.
  EXPECT_EQ(variables_at(local(2023, 12, 31)).at("ZEByd"), "365");
  // 24 December is not in the last week of the year; 25 December is.
  EXPECT_EQ(variables_at(local(2024, 12, 24)).at("ZEBlyw"), "F");
  EXPECT_EQ(variables_at(local(2024, 12, 25)).at("ZEBlyw"), "T");
}

TEST(JobEnvironment, FirstDayOfTheYear) {
  // Wednesday, 1 January 2025.
  auto v = variables_at(local(2025, 1, 1, 0, 0, 0));
  EXPECT_EQ(flags_of(v), "FFTTFFTT");
  EXPECT_EQ(v.at("ZEByd"), "001");
  EXPECT_EQ(v.at("ZEByw"), "01");
  EXPECT_EQ(v.at("ZEBcw"), "01");
  EXPECT_EQ(v.at("ZEBmw"), "01");
  EXPECT_EQ(v.at("ZEByy"), "25");
  EXPECT_EQ(v.at("ZEBwdy"), "WED");
  // The days before the first Monday are week 1; that Monday begins week 2.
  EXPECT_EQ(variables_at(local(2025, 1, 5)).at("ZEBcw"), "01");
  EXPECT_EQ(variables_at(local(2025, 1, 6)).at("ZEBcw"), "02");
  // 7 January is still in the first week of the month and year; 8 is not.
  EXPECT_EQ(flags_of(variables_at(local(2025, 1, 7))), "FFTTFFFF");
  EXPECT_EQ(flags_of(variables_at(local(2025, 1, 8))), "FFFFFFFF");
  // The year 2000 prints as "00".
  EXPECT_EQ(variables_at(local(2000, 1, 1)).at("ZEByy"), "00");
}

TEST(JobEnvironment, TwentyNinthOfFebruary) {
  // Thursday, 29 February 2024: last day of the month, day 60.
  auto v = variables_at(local(2024, 2, 29, 12, 0, 0));
  EXPECT_EQ(flags_of(v), "TFFFTFFF");
  EXPECT_EQ(v.at("ZEByd"), "060");
  EXPECT_EQ(v.at("ZEBcw"), "09");
  EXPECT_EQ(v.at("ZEByw"), "09");
  EXPECT_EQ(v.at("ZEBmw"), "05");
  EXPECT_EQ(v.at("ZEBweekday"), "Thursday");
  // 28 February is the last day only in a common year.
  EXPECT_EQ(variables_at(local(2024, 2, 28)).at("ZEBlmd"), "F");
  EXPECT_EQ(variables_at(local(2023, 2, 28)).at("ZEBlmd"), "T");
  // 22 February 2024: a week later is still February; in 2023 it is not.
  EXPECT_EQ(variables_at(local(2024, 2, 22)).at("ZEBlmw"), "F");
  EXPECT_EQ(variables_at(local(2023, 2, 22)).at("ZEBlmw"), "T");
  // 1 March after a leap day is day 61.
  EXPECT_EQ(variables_at(local(2024, 3, 1)).at("ZEByd"), "061");
  EXPECT_EQ(variables_at(local(2024, 3, 1)).at("ZEBfmd"), "T");
}

TEST(JobEnvironment, SundayEndsItsCalendarWeek) {
  // Sunday, 17 March 2024, and the Monday after it.
  auto sunday = variables_at(local(2024, 3, 17, 8, 30, 0));
  EXPECT_EQ(sunday.at("ZEBwd"), "00");
  EXPECT_EQ(sunday.at("ZEBwdy"), "SUN");
  EXPECT_EQ(sunday.at("ZEBweekday"), "Sunday");
  EXPECT_EQ(sunday.at("ZEBcw"), "11");
  auto monday = variables_at(local(2024, 3, 18));
  EXPECT_EQ(monday.at("ZEBwd"), "01");
  EXPECT_EQ(monday.at("ZEBcw"), "12");
  // A year that begins on a Sunday: that Sunday is week 1, alone.
  EXPECT_EQ(variables_at(local(2023, 1, 1)).at("ZEBcw"), "01");
  EXPECT_EQ(variables_at(local(2023, 1, 1)).at("ZEBwd"), "00");
  EXPECT_EQ(variables_at(local(2023, 1, 2)).at("ZEBcw"), "02");
}

TEST(JobEnvironment, BlockKeepsTheInheritedEntriesAndReplacesStaleOnes) {
  NlsEnv env;
  env.pages("1252", "850");
  const char* inherited[] = {"PATH=/bin", "=C:=C:\\WINNT", "ZEBname=outer", "zebUSER=someone",
                             "ZEBnameX=kept", "", nullptr};
  std::vector<std::string> vars = {"ZEBname=inner", "ZEBuser=DEFAULT"};
  std::string block = job_environment_block(inherited, vars);
  using namespace std::string_literals;
  EXPECT_EQ(block,
            "PATH=/bin\0=C:=C:\\WINNT\0ZEBnameX=kept\0ZEBname=inner\0ZEBuser=DEFAULT\0\0"s);
  EXPECT_EQ(job_environment_block(nullptr, vars), "ZEBname=inner\0ZEBuser=DEFAULT\0\0"s);
  EXPECT_EQ(job_environment_block(nullptr, {}), "\0\0"s);
}

}  // namespace
