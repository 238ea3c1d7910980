#include "zeb/schedule.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "lib/time_syntax.h"
#include "platform/kernel/clock.h"

namespace {

uint64_t at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  FILETIME ft;
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return filetime_to_u64(ft);
}

SYSTEMTIME fields(uint64_t t) {
  FILETIME ft = u64_to_filetime(t);
  SYSTEMTIME st{};
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st));
  return st;
}

JobRecord job(DWORD interval, uint64_t next_run) {
  JobRecord rec;
  job_record_init(&rec);
  job_set_name(&rec, "job");
  rec.interval = interval;
  job_set_time(&rec.next_run, next_run);
  return rec;
}

uint64_t next_after_add(JobRecord rec, uint64_t now) {
  job_compute_next_run(&rec, now);
  return job_time(rec.next_run);
}

// The rules written out step by step, one interval at a time, as the
// reference for the arithmetic that skips ahead. Empty when it would take
// more than `cap` steps.
constexpr uint64_t kMinute = 600000000ull;

std::optional<uint64_t> reference_next_run(const JobRecord& rec, uint64_t now, int cap) {
  uint64_t n = job_time(rec.next_run);
  if (rec.interval == 0) return n;
  const WORD now_year = fields(now).wYear;
  do {
    if (--cap < 0) return std::nullopt;
    if (job_after(n, now)) {
      if (job_time_permitted(rec, n)) break;
    } else if (fields(n).wYear < now_year) {
      n = now - now % (1440 * kMinute);
    }
    n += rec.interval * kMinute;
  } while (fields(n).wYear < 2100);
  return n;
}

std::optional<JobTick> reference_tick(JobRecord* rec, uint64_t now, int cap) {
  JobTick tick;
  uint64_t n = job_time(rec->next_run);
  if (job_after(n, now)) return tick;
  if (rec->interval == 0) {
    job_set_time(&rec->next_run, 0);
    if (job_before(n, now)) return tick;
  }
  if (job_same_minute(job_time(rec->last_run), now)) return tick;
  bool due = job_same_minute(n, now);
  if (rec->interval != 0) {
    const WORD year = fields(now).wYear;
    do {
      if (--cap < 0) return std::nullopt;
      n += rec->interval * kMinute;
      WORD y = fields(n).wYear;
      if (y != year && y != year + 1) break;
    } while (!(job_after(n, now) && job_time_permitted(*rec, n)));
    job_set_time(&rec->next_run, n);
  }
  tick.start = due && (rec->flags & (JOB_RUNNING | JOB_PAUSED)) == 0;
  return tick;
}

TEST(Schedule, TimesCompareOnTheMinuteOnly) {
  const uint64_t t = at(2024, 3, 15, 10, 30, 0);
  EXPECT_TRUE(job_same_minute(t, at(2024, 3, 15, 10, 30, 59) + 9999999));
  EXPECT_FALSE(job_after(at(2024, 3, 15, 10, 30, 59), t));
  EXPECT_TRUE(job_after(at(2024, 3, 15, 10, 31, 0), t));
  EXPECT_TRUE(job_before(at(2024, 3, 15, 10, 29, 59), t));
  EXPECT_TRUE(job_after(NEVER_TIME, t));
  EXPECT_TRUE(job_before(0, t));
}

TEST(Schedule, MasksCheckWeekdayDayAndHour) {
  JobRecord rec = job(60, 0);
  // 15 March 2024 is a Friday.
  const uint64_t friday_10 = at(2024, 3, 15, 10, 0);
  EXPECT_TRUE(job_time_permitted(rec, friday_10));
  rec.weekday_mask = 0x3E;  // Monday..Friday
  EXPECT_TRUE(job_time_permitted(rec, friday_10));
  EXPECT_FALSE(job_time_permitted(rec, at(2024, 3, 16, 10, 0)));
  EXPECT_FALSE(job_time_permitted(rec, at(2024, 3, 17, 10, 0)));
  rec.hour_mask = 0x0003FF00;  // 8..17
  EXPECT_TRUE(job_time_permitted(rec, at(2024, 3, 15, 17, 59)));
  EXPECT_FALSE(job_time_permitted(rec, at(2024, 3, 15, 18, 0)));
  EXPECT_FALSE(job_time_permitted(rec, at(2024, 3, 15, 7, 59)));
  rec.day_mask = 1u << 15;
  EXPECT_TRUE(job_time_permitted(rec, friday_10));
  EXPECT_FALSE(job_time_permitted(rec, at(2024, 3, 14, 10, 0)));
  EXPECT_FALSE(job_time_permitted(rec, NEVER_TIME));
}

TEST(Schedule, NextRunAfterAddAndSet) {
  const uint64_t now = at(2024, 3, 15, 10, 30, 12);
  // Interval 0 keeps whatever was given, past, none or future.
  EXPECT_EQ(next_after_add(job(0, at(2020, 1, 1, 8, 0)), now), at(2020, 1, 1, 8, 0));
  EXPECT_EQ(next_after_add(job(0, 0), now), 0u);
  // A past year with a daily interval: today 00:00 plus whole days.
  EXPECT_EQ(next_after_add(job(1440, at(2021, 6, 1, 8, 0)), now), at(2024, 3, 16, 0, 0));
  // No next run given and an interval: the same from today 00:00.
  EXPECT_EQ(next_after_add(job(60, 0), now), at(2024, 3, 15, 11, 0));
  // Earlier this year: the phase of the given time is kept.
  EXPECT_EQ(next_after_add(job(30, at(2024, 3, 15, 9, 10)), now), at(2024, 3, 15, 10, 40));
  EXPECT_EQ(next_after_add(job(1440, at(2024, 1, 2, 6, 45)), now), at(2024, 3, 16, 6, 45));
  // The current minute is not after now.
  EXPECT_EQ(next_after_add(job(60, at(2024, 3, 15, 10, 30)), now), at(2024, 3, 15, 11, 30));
  // In the future and permitted: kept.
  EXPECT_EQ(next_after_add(job(60, at(2024, 3, 15, 10, 31)), now), at(2024, 3, 15, 10, 31));
  // In the future but outside the hours: moved to the first permitted step.
  JobRecord office = job(60, at(2024, 3, 15, 20, 0));
  office.hour_mask = 0x0003FF00;
  EXPECT_EQ(next_after_add(office, now), at(2024, 3, 16, 8, 0));
  // Weekdays only, from a Friday evening: Monday.
  JobRecord weekdays = job(1440, at(2024, 3, 15, 9, 0));
  weekdays.weekday_mask = 0x3E;
  EXPECT_EQ(next_after_add(weekdays, now), at(2024, 3, 18, 9, 0));
  // "never" stays never.
  EXPECT_EQ(next_after_add(job(60, NEVER_TIME), now), NEVER_TIME);
  // Masks that admit nothing end the search at the first step in 2100.
  JobRecord none = job(1440, at(2024, 3, 1, 12, 0));
  none.weekday_mask = 0;
  EXPECT_EQ(next_after_add(none, now), at(2100, 1, 1, 12, 0));
  EXPECT_EQ(next_after_add(none, now), reference_next_run(none, now, 100000).value());
}

TEST(Schedule, HoursEndingAtSeventeenGoOnAtEightNextDay) {
  JobRecord rec = job(60, at(2024, 3, 15, 14, 0));
  rec.hour_mask = 0x0003FF00;  // 8..17
  JobTick t = job_schedule_tick(&rec, at(2024, 3, 15, 14, 0, 5));
  EXPECT_TRUE(t.start);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 3, 15, 15, 0));
  job_set_time(&rec.next_run, at(2024, 3, 15, 17, 0));
  t = job_schedule_tick(&rec, at(2024, 3, 15, 17, 0, 30));
  EXPECT_TRUE(t.start);
  EXPECT_TRUE(t.next_run_changed);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 3, 16, 8, 0));
  // Across a month end, and on weekdays only (30 March 2024 is a Saturday).
  rec.weekday_mask = 0x3E;
  job_set_time(&rec.next_run, at(2024, 3, 29, 17, 0));
  t = job_schedule_tick(&rec, at(2024, 3, 29, 17, 0));
  EXPECT_TRUE(t.start);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 4, 1, 8, 0));
}

TEST(Schedule, OneTimeJobsRunInTheirMinuteOrNever) {
  const uint64_t now = at(2024, 3, 15, 10, 30, 40);
  // Missed while the service was stopped: dropped, and cleared.
  JobRecord missed = job(0, at(2024, 3, 15, 10, 29, 59));
  JobTick t = job_schedule_tick(&missed, now);
  EXPECT_FALSE(t.start);
  EXPECT_TRUE(t.next_run_changed);
  EXPECT_EQ(job_time(missed.next_run), 0u);
  // Due in this minute: runs once, then there is nothing left.
  JobRecord due = job(0, at(2024, 3, 15, 10, 30, 0));
  t = job_schedule_tick(&due, now);
  EXPECT_TRUE(t.start);
  EXPECT_EQ(job_time(due.next_run), 0u);
  t = job_schedule_tick(&due, now + 60 * 10000000ull);
  EXPECT_FALSE(t.start);
  EXPECT_FALSE(t.next_run_changed);
  // Later: untouched.
  JobRecord later = job(0, at(2024, 3, 15, 10, 31));
  t = job_schedule_tick(&later, now);
  EXPECT_FALSE(t.start);
  EXPECT_EQ(job_time(later.next_run), at(2024, 3, 15, 10, 31));
  // Without a next run a job never starts by itself.
  JobRecord none = job(0, 0);
  t = job_schedule_tick(&none, now);
  EXPECT_FALSE(t.start);
  EXPECT_FALSE(t.next_run_changed);
  // Due while paused: cleared without a run.
  JobRecord paused = job(0, at(2024, 3, 15, 10, 30));
  paused.flags = JOB_PAUSED;
  t = job_schedule_tick(&paused, now);
  EXPECT_FALSE(t.start);
  EXPECT_EQ(job_time(paused.next_run), 0u);
}

TEST(Schedule, MissedPeriodicRunsAreNotMadeUp) {
  // Hourly, due at 10:00; the service was paused until 12:15.
  JobRecord hourly = job(60, at(2024, 3, 15, 10, 0));
  JobTick t = job_schedule_tick(&hourly, at(2024, 3, 15, 12, 15));
  EXPECT_FALSE(t.start);
  EXPECT_EQ(job_time(hourly.next_run), at(2024, 3, 15, 13, 0));
  // Daily, three days missed.
  JobRecord daily = job(1440, at(2024, 3, 12, 6, 0));
  t = job_schedule_tick(&daily, at(2024, 3, 15, 12, 0));
  EXPECT_FALSE(t.start);
  EXPECT_EQ(job_time(daily.next_run), at(2024, 3, 16, 6, 0));
  // Every minute, last due in an earlier year: carried past now in one
  // pass instead of one step per pass.
  JobRecord stale = job(1, at(2023, 12, 1, 0, 0));
  t = job_schedule_tick(&stale, at(2024, 3, 15, 12, 0, 30));
  EXPECT_FALSE(t.start);
  EXPECT_EQ(job_time(stale.next_run), at(2024, 3, 15, 12, 1));
  JobRecord very_stale = job(1440, at(2019, 7, 4, 6, 0));
  job_schedule_tick(&very_stale, at(2024, 3, 15, 12, 0));
  EXPECT_EQ(job_time(very_stale.next_run), at(2024, 3, 16, 6, 0));
}

TEST(Schedule, NoSecondStartInTheMinuteOfAManualStart) {
  const uint64_t now = at(2024, 3, 15, 10, 30, 50);
  JobRecord rec = job(60, at(2024, 3, 15, 10, 30));
  job_set_time(&rec.last_run, at(2024, 3, 15, 10, 30, 5));
  JobTick t = job_schedule_tick(&rec, now);
  EXPECT_FALSE(t.start);
  EXPECT_FALSE(t.next_run_changed);
  // The next pass moves the next run on without a start.
  t = job_schedule_tick(&rec, at(2024, 3, 15, 10, 31, 0));
  EXPECT_FALSE(t.start);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 3, 15, 11, 30));
  // A start in an earlier minute does not count.
  JobRecord other = job(60, at(2024, 3, 15, 10, 30));
  job_set_time(&other.last_run, at(2024, 3, 15, 10, 29, 59));
  EXPECT_TRUE(job_schedule_tick(&other, now).start);
}

TEST(Schedule, RunningOrPausedJobsAreNotStartedButMoveOn) {
  for (DWORD flag : {JOB_RUNNING, JOB_PAUSED}) {
    JobRecord rec = job(15, at(2024, 3, 15, 10, 30));
    rec.flags = flag;
    JobTick t = job_schedule_tick(&rec, at(2024, 3, 15, 10, 30));
    EXPECT_FALSE(t.start);
    EXPECT_EQ(job_time(rec.next_run), at(2024, 3, 15, 10, 45));
  }
}

TEST(Schedule, IntervalsCrossMidnightMonthAndYearEnds) {
  JobRecord rec = job(90, at(2024, 2, 28, 23, 30));
  EXPECT_TRUE(job_schedule_tick(&rec, at(2024, 2, 28, 23, 30)).start);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 2, 29, 1, 0));  // leap day
  rec = job(15, at(2024, 1, 31, 23, 50));
  EXPECT_TRUE(job_schedule_tick(&rec, at(2024, 1, 31, 23, 50)).start);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 2, 1, 0, 5));
  rec = job(60, at(2024, 12, 31, 23, 30));
  EXPECT_TRUE(job_schedule_tick(&rec, at(2024, 12, 31, 23, 30)).start);
  EXPECT_EQ(job_time(rec.next_run), at(2025, 1, 1, 0, 30));
  rec = job(1440, at(2023, 2, 28, 7, 0));
  EXPECT_TRUE(job_schedule_tick(&rec, at(2023, 2, 28, 7, 0)).start);
  EXPECT_EQ(job_time(rec.next_run), at(2023, 3, 1, 7, 0));
}

TEST(Schedule, DayMasksSkipMonthsWithoutThatDay) {
  // Day 31 only, daily: from 29 April to 31 May (April has 30 days).
  JobRecord rec = job(1440, at(2024, 4, 29, 6, 0));
  rec.day_mask = 1u << 31;
  JobTick t = job_schedule_tick(&rec, at(2024, 4, 29, 6, 0));
  EXPECT_TRUE(t.start);
  EXPECT_EQ(job_time(rec.next_run), at(2024, 5, 31, 6, 0));
  // Then on to July (June has 30 days).
  job_schedule_tick(&rec, at(2024, 5, 31, 6, 0));
  EXPECT_EQ(job_time(rec.next_run), at(2024, 7, 31, 6, 0));
  // Day 29 and Mondays: 29 April 2024 is the next such day.
  JobRecord monday29 = job(1440, at(2024, 3, 15, 9, 0));
  monday29.day_mask = 1u << 29;
  monday29.weekday_mask = 1u << 1;
  EXPECT_EQ(next_after_add(monday29, at(2024, 3, 15, 10, 0)), at(2024, 4, 29, 9, 0));
  job_set_time(&monday29.next_run, at(2024, 4, 29, 9, 0));
  EXPECT_TRUE(job_schedule_tick(&monday29, at(2024, 4, 29, 9, 0)).start);
  EXPECT_EQ(job_time(monday29.next_run), at(2024, 7, 29, 9, 0));
  // Day 29 in February only comes in leap years.
  JobRecord feb29 = job(1440, at(2025, 2, 27, 9, 0));
  feb29.day_mask = 1u << 29;
  EXPECT_EQ(next_after_add(feb29, at(2025, 2, 27, 10, 0)), at(2025, 3, 29, 9, 0));
}

TEST(Schedule, StepSearchEndsTwoYearsOut) {
  // Masks that admit nothing: the loop gives up once a step leaves now's
  // year and the next, rather than searching to the end of time.
  JobRecord rec = job(1440, at(2024, 3, 15, 6, 0));
  rec.hour_mask = 0;
  JobTick t = job_schedule_tick(&rec, at(2024, 3, 15, 6, 0));
  EXPECT_TRUE(t.start);
  EXPECT_EQ(job_time(rec.next_run), at(2026, 1, 1, 6, 0));
  // Nothing happens until that time comes.
  t = job_schedule_tick(&rec, at(2025, 6, 1, 6, 0));
  EXPECT_FALSE(t.start);
  EXPECT_FALSE(t.next_run_changed);
  // A huge interval leaves after one step.
  JobRecord far = job(0xFFFFFFFFu, at(2024, 3, 15, 6, 0));
  EXPECT_TRUE(job_schedule_tick(&far, at(2024, 3, 15, 6, 0)).start);
  EXPECT_GT(fields(job_time(far.next_run)).wYear, 8000);
  // Next-run computation with a huge interval ends after the first step
  // past 2100, without wrapping.
  EXPECT_GT(next_after_add(job(0xFFFFFFFFu, 0), at(2024, 3, 15, 6, 0)), at(2100, 1, 1));
}

TEST(Schedule, SkippingAheadAgreesWithSteppingOneIntervalAtATime) {
  std::mt19937 rng(20240315);
  const DWORD intervals[] = {1, 7, 15, 45, 60, 90, 360, 1440, 2880, 10080, 43200};
  const DWORD hour_masks[] = {JOB_ALL_HOURS, 0x0003FF00, 0x00800001, 1u << 12, 0x00555555};
  const DWORD weekday_masks[] = {JOB_ALL_WEEKDAYS, 0x3E, 0x41, 1u << 3};
  const DWORD day_masks[] = {JOB_ALL_DAYS, 1u << 31, (1u << 1) | (1u << 15), 0x0000FFFE,
                             1u << 29};
  int compared = 0;
  for (int i = 0; i < 250; ++i) {
    JobRecord rec = job(intervals[rng() % std::size(intervals)], 0);
    rec.hour_mask = hour_masks[rng() % std::size(hour_masks)];
    rec.weekday_mask = weekday_masks[rng() % std::size(weekday_masks)];
    rec.day_mask = day_masks[rng() % std::size(day_masks)];
    const uint64_t now = at(2024 + static_cast<int>(rng() % 3), 1 + static_cast<int>(rng() % 12),
                            1 + static_cast<int>(rng() % 28), static_cast<int>(rng() % 24),
                            static_cast<int>(rng() % 60), static_cast<int>(rng() % 60));
    const SYSTEMTIME now_st = fields(now);
    // Next run after an add: anywhere from three years back to two months on.
    int64_t offset = static_cast<int64_t>(rng() % (3 * 525600 + 86400)) - 3 * 525600;
    job_set_time(&rec.next_run, now + offset * static_cast<int64_t>(kMinute));
    std::optional<uint64_t> expected = reference_next_run(rec, now, 100000);
    if (expected) {
      EXPECT_EQ(next_after_add(rec, now), *expected) << i;
      ++compared;
    }
    // A pass of the loop: next run at or before now, in now's year.
    uint64_t year_start = at(now_st.wYear, 1, 1);
    uint64_t n = year_start + (rng() % ((now - year_start) / kMinute + 1)) * kMinute;
    job_set_time(&rec.next_run, n);
    job_set_time(&rec.last_run, 0);
    JobRecord mine = rec;
    JobRecord theirs = rec;
    std::optional<JobTick> ref = reference_tick(&theirs, now, 100000);
    if (ref) {
      JobTick got = job_schedule_tick(&mine, now);
      EXPECT_EQ(got.start, ref->start) << i;
      EXPECT_EQ(job_time(mine.next_run), job_time(theirs.next_run)) << i;
      ++compared;
    }
  }
  EXPECT_GT(compared, 350);
}

}  // namespace
