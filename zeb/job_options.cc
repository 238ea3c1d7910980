#include "zeb/job_options.h"

#include <cctype>
#include <cstdlib>

#include "lib/command_code.h"
#include "lib/time_syntax.h"
#include "lib/wildcard.h"

namespace {

constexpr int kRangeTextMax = 255;

// Every number written in a range text: the ends of its pairs and its
// single values, read as in_range reads them.
template <typename F>
void for_each_number(const std::string& text, F f) {
  std::string s = text.substr(0, kRangeTextMax);
  size_t i = 0;
  while (i < s.size()) {
    if (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-') {
      size_t j = i;
      while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '-')) ++j;
      long long v = std::strtoll(s.substr(i, j - i).c_str(), nullptr, 10);
      if (v > INT32_MAX) v = INT32_MAX;
      if (v < INT32_MIN) v = INT32_MIN;
      f(static_cast<int32_t>(v));
      i = j;
    } else {
      ++i;
    }
  }
}

// 0|1 options: 0 clears the meaning of the bit named for 1, other values
// set it; -1 (not given) leaves it.
void apply_flag(int value, DWORD bit_when_one, DWORD bit_when_zero, DWORD* flags) {
  if (value < 0) return;
  if (bit_when_one != 0) {
    if (value != 0) *flags |= bit_when_one; else *flags &= ~bit_when_one;
  } else {
    if (value == 0) *flags |= bit_when_zero; else *flags &= ~bit_when_zero;
  }
}

uint32_t range_or_all(const std::string& text, int low, int high) {
  uint32_t mask = 0;
  zeb_range_mask(text, low, high, &mask);
  return mask;
}

}  // namespace

bool zeb_range_mask(const std::string& text, int low, int high, uint32_t* mask) {
  std::string s = text.substr(0, kRangeTextMax);
  uint32_t m = 0;
  if (s.empty()) {
    for (int i = low; i <= high && i < 32; ++i) m |= 1u << i;
    *mask = m;
    return true;
  }
  // A range admits a number outside low..high exactly when it admits one of
  // the numbers written in it that lies outside, or low - 1, or high + 1.
  bool outside = in_range(s.c_str(), low - 1) || in_range(s.c_str(), high + 1);
  for_each_number(s, [&](int32_t v) {
    if ((v < low || v > high) && in_range(s.c_str(), v)) outside = true;
  });
  if (outside) return false;
  for (int i = low; i <= high && i < 32; ++i) {
    if (in_range(s.c_str(), i)) m |= 1u << i;
  }
  *mask = m;
  return true;
}

bool zeb_interval_minutes(char unit, long count, DWORD* minutes) {
  uint64_t factor;
  switch (unit) {
    case 'm': factor = 1; break;
    case 'h': factor = 60; break;
    case 'd': factor = 1440; break;
    default: return false;
  }
  if (count < 0) return false;
  uint64_t total = static_cast<uint64_t>(count) * factor;
  *minutes = total > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(total);
  return true;
}

std::string zeb_check_job_options(const ZebClientArgs& args, int code, const std::string& job) {
  if ((code == CMD_ADD || code == CMD_SWITCH) && has_wildcard(job.c_str())) {
    return "ZEB-ERROR, job name must not contain wildcards\n";
  }
  if (code == CMD_SWITCH) return "";
  if (code == CMD_ADD && !args.path_given) return "ZEB-ERROR, command must be specified\n";
  if (code != CMD_ADD && code != CMD_SET) return "";
  DWORD minutes = 0;
  if (args.interval_given &&
      !zeb_interval_minutes(args.interval_unit, args.interval_count, &minutes)) {
    std::string unit = args.interval_unit ? std::string(1, args.interval_unit) : std::string();
    return "ZEB-ERROR, invalid interval '" + unit + "' (specify m,h or d)\n";
  }
  uint32_t mask = 0;
  if (args.weekdays_given && !zeb_range_mask(args.weekdays, 0, 6, &mask)) {
    return "ZEB-ERROR, weekdays out of bounds (0-6)\n";
  }
  if (args.days_given && !zeb_range_mask(args.days, 1, 31, &mask)) {
    return "ZEB-ERROR, days out of bounds (1-31)\n";
  }
  if (args.hours_given && !zeb_range_mask(args.hours, 0, 23, &mask)) {
    return "ZEB-ERROR, hours out of bounds (0-23)\n";
  }
  return "";
}

void zeb_record_from_options(const ZebClientArgs& args, const std::string& job,
                             DWORD account_index, JobRecord* rec) {
  job_record_init(rec);
  job_set_name(rec, job.c_str());
  job_set_command(rec, args.path.c_str());
  if (args.next_run_given) rec->next_run = args.next_run;
  DWORD minutes = 0;
  if (args.interval_given) zeb_interval_minutes(args.interval_unit, args.interval_count, &minutes);
  rec->interval = minutes;
  if (args.hours_given) rec->hour_mask = range_or_all(args.hours, 0, 23);
  if (args.weekdays_given) rec->weekday_mask = range_or_all(args.weekdays, 0, 6);
  if (args.days_given) rec->day_mask = range_or_all(args.days, 1, 31);
  rec->flags = 0;
  apply_flag(args.autostart, JOB_AUTOSTART, 0, &rec->flags);
  apply_flag(args.interactive, 0, JOB_OWN_DESKTOP, &rec->flags);
  apply_flag(args.debug, 0, JOB_NO_DEBUG, &rec->flags);
  rec->account_index = account_index;
}

void zeb_apply_set_options(const ZebClientArgs& args, bool account_given, DWORD account_index,
                           JobRecord* rec) {
  if (args.new_name_given) job_set_name(rec, args.new_name.c_str());
  if (args.path_given) job_set_command(rec, args.path.c_str());
  apply_flag(args.autostart, JOB_AUTOSTART, 0, &rec->flags);
  apply_flag(args.interactive, 0, JOB_OWN_DESKTOP, &rec->flags);
  apply_flag(args.debug, 0, JOB_NO_DEBUG, &rec->flags);
  if (account_given) rec->account_index = account_index;
  DWORD minutes = 0;
  if (args.interval_given &&
      zeb_interval_minutes(args.interval_unit, args.interval_count, &minutes)) {
    rec->interval = minutes;
  }
  if (args.hours_given) rec->hour_mask = range_or_all(args.hours, 0, 23);
  if (args.days_given) rec->day_mask = range_or_all(args.days, 1, 31);
  if (args.weekdays_given) rec->weekday_mask = range_or_all(args.weekdays, 0, 6);
  if (args.next_run_given) rec->next_run = args.next_run;
}
