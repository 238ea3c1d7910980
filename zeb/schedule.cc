#include "zeb/schedule.h"

#include "lib/time_syntax.h"
#include "platform/kernel/clock.h"

namespace {

constexpr uint64_t kMinute = static_cast<uint64_t>(SPAN_MINUTE);
constexpr uint64_t kHour = 60 * kMinute;
constexpr uint64_t kDay = static_cast<uint64_t>(SPAN_DAY);
// The search for the next run after an add or a set ends in this year.
constexpr WORD kLastYear = 2100;

bool calendar(uint64_t t, SYSTEMTIME* st) {
  FILETIME ft = u64_to_filetime(t);
  return FileTimeToSystemTime(&ft, st) != FALSE;
}

bool permitted(const JobRecord& rec, const SYSTEMTIME& st) {
  return ((rec.weekday_mask >> st.wDayOfWeek) & 1u) != 0 && ((rec.day_mask >> st.wDay) & 1u) != 0 &&
         ((rec.hour_mask >> st.wHour) & 1u) != 0;
}

// True when no time at all can pass the masks.
bool admits_nothing(const JobRecord& rec) {
  return (rec.weekday_mask & JOB_ALL_WEEKDAYS) == 0 || (rec.day_mask & JOB_ALL_DAYS) == 0 ||
         (rec.hour_mask & JOB_ALL_HOURS) == 0;
}

uint64_t day_start(uint64_t t) { return t - t % kDay; }
uint64_t minute_after(uint64_t t) { return (job_minute(t) + 1) * kMinute; }

uint64_t year_start(unsigned year) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = 1;
  st.wDay = 1;
  FILETIME ft;
  return SystemTimeToFileTime(&st, &ft) ? filetime_to_u64(ft) : 0;
}

// The first time after `t` at which the masks can give another answer: every
// time between `t` and it is refused as `t` is. Stepping there in one go
// gives the same result as stepping one interval at a time.
uint64_t refused_until(const JobRecord& rec, uint64_t t, const SYSTEMTIME& st) {
  if (admits_nothing(rec)) return year_start(st.wYear + 1u);
  bool day_refused =
      ((rec.weekday_mask >> st.wDayOfWeek) & 1u) == 0 || ((rec.day_mask >> st.wDay) & 1u) == 0;
  if (day_refused) return day_start(t) + kDay;
  return t - t % kHour + kHour;
}

// Whole intervals from `from` to the first point at or past `target`; at
// least one.
uint64_t steps_to(uint64_t from, uint64_t target, uint64_t step) {
  if (target <= from) return 1;
  return (target - from + step - 1) / step;
}

// Adds k intervals. Fails, leaving `t` alone, when the result would not be
// a calendar time.
bool advance(uint64_t* t, uint64_t k, uint64_t step) {
  uint64_t span, result;
  if (__builtin_mul_overflow(k, step, &span) || __builtin_add_overflow(*t, span, &result)) {
    return false;
  }
  SYSTEMTIME st;
  if (!calendar(result, &st)) return false;
  *t = result;
  return true;
}

// Step e of the loop: from a next run at or before now, whole intervals
// forward until past now and permitted, or until a step leaves now's year
// and the next.
uint64_t advance_past(const JobRecord& rec, uint64_t n, uint64_t now) {
  SYSTEMTIME now_st;
  if (!calendar(now, &now_st)) return n;
  const uint64_t step = static_cast<uint64_t>(rec.interval) * kMinute;
  for (;;) {
    uint64_t k;
    SYSTEMTIME st;
    if (!job_after(n, now)) {
      k = steps_to(n, minute_after(now), step);
    } else {
      if (!calendar(n, &st)) break;
      k = steps_to(n, refused_until(rec, n, st), step);
    }
    if (!advance(&n, k, step) || !calendar(n, &st)) break;
    if (st.wYear != now_st.wYear && st.wYear != now_st.wYear + 1) break;
    if (job_after(n, now) && permitted(rec, st)) break;
  }
  return n;
}

}  // namespace

bool job_time_permitted(const JobRecord& rec, uint64_t t) {
  SYSTEMTIME st;
  return calendar(t, &st) && permitted(rec, st);
}

void job_compute_next_run(JobRecord* rec, uint64_t now) {
  if (rec->interval == 0) return;
  SYSTEMTIME now_st;
  if (!calendar(now, &now_st)) return;
  const uint64_t step = static_cast<uint64_t>(rec->interval) * kMinute;
  uint64_t n = job_time(rec->next_run);
  for (;;) {
    SYSTEMTIME st;
    if (!calendar(n, &st)) break;
    uint64_t k = 1;
    if (job_after(n, now)) {
      if (permitted(*rec, st)) break;
      // Every step up to the boundary is refused too and stays in N's year.
      if (st.wYear < kLastYear) k = steps_to(n, refused_until(*rec, n, st), step);
    } else {
      if (st.wYear < now_st.wYear) n = day_start(now);
      // Every step up to now stays in now's year and is not after now.
      if (now_st.wYear < kLastYear) k = steps_to(n, minute_after(now), step);
    }
    if (!advance(&n, k, step) || !calendar(n, &st) || st.wYear >= kLastYear) break;
  }
  job_set_time(&rec->next_run, n);
}

JobTick job_schedule_tick(JobRecord* rec, uint64_t now) {
  JobTick tick;
  const uint64_t n = job_time(rec->next_run);
  if (job_after(n, now)) return tick;
  if (rec->interval == 0) {
    if (n != 0) {
      job_set_time(&rec->next_run, 0);
      tick.next_run_changed = true;
    }
    // A one-time run of an earlier minute is dropped.
    if (job_before(n, now)) return tick;
  }
  // Started by command in this minute: not a second time.
  if (job_same_minute(job_time(rec->last_run), now)) return tick;
  const bool due = job_same_minute(n, now);
  if (rec->interval != 0) {
    uint64_t next = advance_past(*rec, n, now);
    if (next != n) {
      job_set_time(&rec->next_run, next);
      tick.next_run_changed = true;
    }
  }
  tick.start = due && (rec->flags & (JOB_RUNNING | JOB_PAUSED)) == 0;
  return tick;
}
