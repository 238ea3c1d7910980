#include "platform/kernel/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/kernel/error.h"

namespace {

SYSTEMTIME make_time(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return st;
}

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    const char* old = getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (had_) setenv("TZ", old_.c_str(), 1); else unsetenv("TZ");
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(ClockCalendar, KnownInstantsAndWeekdays) {
  FILETIME ft;
  SYSTEMTIME epoch = make_time(1970, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
  EXPECT_EQ(filetime_to_u64(ft), 116444736000000000ull);

  SYSTEMTIME first = make_time(1601, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&first, &ft));
  EXPECT_EQ(filetime_to_u64(ft), 0u);

  // Weekdays: 0 is Sunday.
  struct { WORD y, m, d, dow; } cases[] = {
      {1601, 1, 1, 1}, {1997, 4, 30, 3}, {2000, 2, 29, 2}, {2026, 1, 1, 4}, {2026, 12, 6, 0},
  };
  for (auto& c : cases) {
    SYSTEMTIME in = make_time(c.y, c.m, c.d, 13, 14, 15, 16), out{};
    ASSERT_TRUE(SystemTimeToFileTime(&in, &ft));
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
    EXPECT_EQ(out.wYear, c.y);
    EXPECT_EQ(out.wMonth, c.m);
    EXPECT_EQ(out.wDay, c.d);
    EXPECT_EQ(out.wDayOfWeek, c.dow) << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(out.wHour, 13);
    EXPECT_EQ(out.wMinute, 14);
    EXPECT_EQ(out.wSecond, 15);
    EXPECT_EQ(out.wMilliseconds, 16);
  }
}

TEST(ClockCalendar, RejectsFieldsThatFormNoTime) {
  SYSTEMTIME bad[] = {
      make_time(1997, 4, 31), make_time(1997, 13, 1), make_time(1997, 0, 1),
      make_time(1600, 12, 31), make_time(1997, 1, 1, 24), make_time(1997, 1, 1, 0, 60),
      make_time(1997, 1, 1, 0, 0, 60), make_time(1997, 1, 1, 0, 0, 0, 1000),
      make_time(1900, 2, 29), make_time(1997, 1, 0),
  };
  for (const SYSTEMTIME& st : bad) {
    FILETIME ft{1, 2};
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  SYSTEMTIME leap = make_time(2000, 2, 29);
  FILETIME ft;
  EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
  EXPECT_FALSE(SystemTimeToFileTime(nullptr, &ft));
}

TEST(ClockCalendar, NeverTimeCannotBeConverted) {
  FILETIME never{0xFFFFFFFFu, 0xFFFFFFFFu};
  SYSTEMTIME st;
  SetLastError(0);
  EXPECT_FALSE(FileTimeToSystemTime(&never, &st));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(ClockZones, LocalAndUniversalFollowTheZoneAtThatInstant) {
  ZoneGuard zone("Europe/Berlin");
  SYSTEMTIME winter = make_time(2026, 1, 15, 12), summer = make_time(2026, 7, 15, 12);
  FILETIME utc, local, back;
  ASSERT_TRUE(SystemTimeToFileTime(&winter, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  EXPECT_EQ(filetime_to_u64(local) - filetime_to_u64(utc), 3600ull * FILETIME_TICKS_PER_SECOND);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(filetime_to_u64(back), filetime_to_u64(utc));

  ASSERT_TRUE(SystemTimeToFileTime(&summer, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  EXPECT_EQ(filetime_to_u64(local) - filetime_to_u64(utc), 7200ull * FILETIME_TICKS_PER_SECOND);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(filetime_to_u64(back), filetime_to_u64(utc));
}

TEST(ClockZones, UnixStampsBecomeLocalFileTimes) {
  ZoneGuard zone("America/New_York");
  // 2026-01-01 00:00:00 UTC is 2025-12-31 19:00 in New York.
  uint64_t local = nt_unix_to_local_filetime(1767225600, 500);
  FILETIME ft = u64_to_filetime(local);
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(st.wYear, 2025);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 31);
  EXPECT_EQ(st.wHour, 19);
  EXPECT_EQ(local % 10, 5u);  // 500 ns are 5 ticks
  time_t secs;
  long nsec;
  nt_local_filetime_to_unix(local, &secs, &nsec);
  EXPECT_EQ(secs, 1767225600);
  EXPECT_EQ(nsec, 500);
}

// The offset is read once per process, so each case runs in a fresh process.
void expect_offset_shifts_clock(const char* offset, int64_t expected_seconds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("NT_CLOCK_OFFSET", offset, 1);
        setenv("TZ", "UTC", 1);
        tzset();
        int64_t real = static_cast<int64_t>(time(nullptr));
        int64_t shifted = static_cast<int64_t>(nt_unix_now());
        SYSTEMTIME st;
        GetLocalTime(&st);
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        int64_t local = static_cast<int64_t>(filetime_to_u64(ft) / FILETIME_TICKS_PER_SECOND) -
                        FILETIME_UNIX_EPOCH_SECONDS;
        bool ok = nt_clock_offset_seconds() == expected_seconds &&
                  llabs(shifted - real - expected_seconds) <= 2 &&
                  llabs(local - real - expected_seconds) <= 2;
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ClockOffset, ShiftsEveryReading) {
  expect_offset_shifts_clock("86400", 86400);
  expect_offset_shifts_clock("-3600", -3600);
  expect_offset_shifts_clock("garbage", 0);
  expect_offset_shifts_clock("", 0);
}

}  // namespace
