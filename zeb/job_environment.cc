#include "zeb/job_environment.h"

#include <cstdio>
#include <cstring>

#include "platform/kernel/clock.h"
#include "zeb/zeb_text.h"

namespace {

const char* const kMonthShort[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kMonthLong[12] = {"January", "February", "March",     "April",
                                    "May",     "June",     "July",      "August",
                                    "September", "October", "November", "December"};
const char* const kWeekdayShort[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const char* const kWeekdayLong[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

bool leap_year(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned days_in_month(unsigned year, unsigned month) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

unsigned day_of_year(unsigned year, unsigned month, unsigned day) {
  unsigned total = day;
  for (unsigned m = 1; m < month; ++m) total += days_in_month(year, m);
  return total;
}

std::string number(const char* name, const char* format, unsigned value) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, format, value);
  return std::string(name) + "=" + buffer;
}

std::string text(const char* name, const std::string& value) {
  return std::string(name) + "=" + value;
}

std::string flag(const char* name, bool value) { return text(name, value ? "T" : "F"); }

std::string variable_name(std::string_view entry) {
  // "=C:=C:\\x" style entries have their name after the leading "=".
  size_t equals = entry.find('=', 1);
  return std::string(entry.substr(0, equals == std::string_view::npos ? entry.size() : equals));
}

}  // namespace

bool job_environment_variables(const SYSTEMTIME& start, const char* job_name,
                               const char* account_user, const JobIoFiles& files,
                               std::vector<std::string>* variables) {
  // A round trip through the calendar checks the date and gives its weekday.
  FILETIME ft;
  SYSTEMTIME t;
  if (!SystemTimeToFileTime(&start, &ft) || !FileTimeToSystemTime(&ft, &t)) return false;

  const unsigned year = t.wYear, month = t.wMonth, day = t.wDay, wd = t.wDayOfWeek;
  const unsigned yday = day_of_year(year, month, day);
  const unsigned month_days = days_in_month(year, month);
  // Weeks begin on Monday: Sunday counts as day 7 of its week.
  const unsigned iso_wd = wd == 0 ? 7 : wd;

  std::vector<std::string>& v = *variables;
  v.clear();
  v.push_back(text("ZEBname", job_name ? job_name : ""));
  v.push_back(text("ZEBuser", account_user && *account_user ? account_user : "DEFAULT"));
  v.push_back(text("ZEBstdin", files.in));
  v.push_back(text("ZEBstdout", files.out));
  v.push_back(text("ZEBstderr", files.err));
  v.push_back(number("ZEByyyy", "%04u", year));
  v.push_back(number("ZEByy", "%02u", year % 100));
  v.push_back(number("ZEBmm", "%02u", month));
  v.push_back(number("ZEBdd", "%02u", day));
  v.push_back(number("ZEBHH", "%02u", t.wHour));
  v.push_back(number("ZEBMI", "%02u", t.wMinute));
  v.push_back(number("ZEBSS", "%02u", t.wSecond));
  v.push_back(number("ZEBwd", "%02u", wd));
  v.push_back(text("ZEBmon", kMonthShort[month - 1]));
  v.push_back(text("ZEBmonth", kMonthLong[month - 1]));
  v.push_back(text("ZEBwdy", kWeekdayShort[wd]));
  v.push_back(text("ZEBweekday", kWeekdayLong[wd]));
  v.push_back(number("ZEBcw", "%02u", (yday + 6 - iso_wd) / 7 + 1));
  v.push_back(number("ZEBmw", "%02u", (day - 1) / 7 + 1));
  v.push_back(number("ZEByd", "%03u", yday));
  v.push_back(number("ZEByw", "%02u", (yday - 1) / 7 + 1));
  v.push_back(flag("ZEBlmw", day + 7 > month_days));
  v.push_back(flag("ZEBlyw", month == 12 && day >= 25));
  v.push_back(flag("ZEBfmw", day < 8));
  v.push_back(flag("ZEBfyw", month == 1 && day < 8));
  v.push_back(flag("ZEBlmd", day == month_days));
  v.push_back(flag("ZEBlyd", month == 12 && day == 31));
  v.push_back(flag("ZEBfmd", day == 1));
  v.push_back(flag("ZEBfyd", month == 1 && day == 1));
  return true;
}

std::string job_environment_block(const char* const* inherited,
                                  const std::vector<std::string>& variables) {
  std::vector<std::string> names;
  names.reserve(variables.size());
  for (const std::string& v : variables) names.push_back(variable_name(v));

  std::string block;
  for (const char* const* p = inherited; p != nullptr && *p != nullptr; ++p) {
    std::string_view entry(*p);
    if (entry.empty()) continue;
    std::string name = variable_name(entry);
    bool replaced = false;
    for (const std::string& n : names) {
      if (zeb_equal_nocase(n, name)) {
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    block.append(entry);
    block.push_back('\0');
  }
  for (const std::string& v : variables) {
    block.append(v);
    block.push_back('\0');
  }
  // An empty block still ends with two NULs.
  if (block.empty()) block.push_back('\0');
  block.push_back('\0');
  return block;
}
