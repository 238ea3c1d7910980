#include "platform/kernel/clock.h"

#include <time.h>

#include <cerrno>
#include <cstdlib>

#include "platform/kernel/error.h"

namespace {

constexpr int64_t kTicksPerDay = 864000000000ll;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yy + (*m <= 2);
}

bool is_leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

const int64_t kEpochDays1601 = days_from_civil(1601, 1, 1);

int64_t read_offset() {
  const char* text = getenv("NT_CLOCK_OFFSET");
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  errno = 0;
  long long v = strtoll(text, &end, 10);
  if (errno != 0 || end == text) return 0;
  return v;
}

// Local offset from universal time, in seconds, at the universal instant t.
long local_offset_at(time_t t) {
  struct tm tm_local;
  if (localtime_r(&t, &tm_local) == nullptr) return 0;
  return tm_local.tm_gmtoff;
}

void now_timespec(struct timespec* ts) {
  clock_gettime(CLOCK_REALTIME, ts);
  ts->tv_sec += nt_clock_offset_seconds();
}

}  // namespace

int64_t nt_clock_offset_seconds() {
  static const int64_t offset = read_offset();
  return offset;
}

uint64_t nt_unix_to_filetime(time_t seconds, long nanoseconds) {
  return static_cast<uint64_t>((static_cast<int64_t>(seconds) + FILETIME_UNIX_EPOCH_SECONDS) *
                                   static_cast<int64_t>(FILETIME_TICKS_PER_SECOND) +
                               nanoseconds / 100);
}

uint64_t nt_unix_to_local_filetime(time_t seconds, long nanoseconds) {
  return nt_unix_to_filetime(seconds + local_offset_at(seconds), nanoseconds);
}

void nt_local_filetime_to_unix(uint64_t local, time_t* seconds, long* nanoseconds) {
  FILETIME lft = u64_to_filetime(local), utc;
  LocalFileTimeToFileTime(&lft, &utc);
  uint64_t u = filetime_to_u64(utc);
  *seconds = static_cast<time_t>(static_cast<int64_t>(u / FILETIME_TICKS_PER_SECOND) -
                                 FILETIME_UNIX_EPOCH_SECONDS);
  *nanoseconds = static_cast<long>((u % FILETIME_TICKS_PER_SECOND) * 100);
}

time_t nt_unix_now() {
  struct timespec ts;
  now_timespec(&ts);
  return ts.tv_sec;
}

void GetSystemTimeAsFileTime(FILETIME* out) {
  if (out == nullptr) return;
  struct timespec ts;
  now_timespec(&ts);
  *out = u64_to_filetime(nt_unix_to_filetime(ts.tv_sec, ts.tv_nsec));
}

uint64_t nt_local_now() {
  struct timespec ts;
  now_timespec(&ts);
  return nt_unix_to_local_filetime(ts.tv_sec, ts.tv_nsec);
}

void GetSystemTime(SYSTEMTIME* out) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  FileTimeToSystemTime(&ft, out);
}

void GetLocalTime(SYSTEMTIME* out) {
  FILETIME ft = u64_to_filetime(nt_local_now());
  FileTimeToSystemTime(&ft, out);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out) {
  if (in == nullptr || out == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (in->wYear < 1601 || in->wYear > 30827 || in->wMonth < 1 || in->wMonth > 12 || in->wDay < 1 ||
      in->wDay > days_in_month(in->wYear, in->wMonth) || in->wHour > 23 || in->wMinute > 59 ||
      in->wSecond > 59 || in->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = days_from_civil(in->wYear, in->wMonth, in->wDay) - kEpochDays1601;
  uint64_t ticks = static_cast<uint64_t>(days) * kTicksPerDay +
                   ((in->wHour * 60ull + in->wMinute) * 60ull + in->wSecond) * FILETIME_TICKS_PER_SECOND +
                   in->wMilliseconds * FILETIME_TICKS_PER_MILLISECOND;
  *out = u64_to_filetime(ticks);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out) {
  if (in == nullptr || out == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = filetime_to_u64(*in);
  if (ticks >= 0x8000000000000000ull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = static_cast<int64_t>(ticks / kTicksPerDay);
  uint64_t rest = ticks % kTicksPerDay;
  int64_t y;
  unsigned m, d;
  civil_from_days(days + kEpochDays1601, &y, &m, &d);
  out->wYear = static_cast<WORD>(y);
  out->wMonth = static_cast<WORD>(m);
  out->wDay = static_cast<WORD>(d);
  // 1601-01-01 was a Monday.
  out->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
  uint64_t ms = rest / FILETIME_TICKS_PER_MILLISECOND;
  out->wMilliseconds = static_cast<WORD>(ms % 1000);
  uint64_t s = ms / 1000;
  out->wSecond = static_cast<WORD>(s % 60);
  out->wMinute = static_cast<WORD>((s / 60) % 60);
  out->wHour = static_cast<WORD>(s / 3600);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (utc == nullptr || local == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t u = filetime_to_u64(*utc);
  time_t t = static_cast<time_t>(static_cast<int64_t>(u / FILETIME_TICKS_PER_SECOND) -
                                 FILETIME_UNIX_EPOCH_SECONDS);
  int64_t shifted = static_cast<int64_t>(u) +
                    static_cast<int64_t>(local_offset_at(t)) * static_cast<int64_t>(FILETIME_TICKS_PER_SECOND);
  *local = u64_to_filetime(static_cast<uint64_t>(shifted));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  if (local == nullptr || utc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t l = filetime_to_u64(*local);
  time_t as_if_utc = static_cast<time_t>(static_cast<int64_t>(l / FILETIME_TICKS_PER_SECOND) -
                                         FILETIME_UNIX_EPOCH_SECONDS);
  // The zone's offset at the local instant: take it at the guess, then again
  // at the corrected instant, which settles across a change of daylight time.
  long off = local_offset_at(as_if_utc - local_offset_at(as_if_utc));
  int64_t shifted = static_cast<int64_t>(l) -
                    static_cast<int64_t>(off) * static_cast<int64_t>(FILETIME_TICKS_PER_SECOND);
  *utc = u64_to_filetime(static_cast<uint64_t>(shifted));
  return TRUE;
}

DWORD GetTickCount() {
  static struct timespec start = [] {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
  }();
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  int64_t ms = (ts.tv_sec - start.tv_sec) * 1000ll + (ts.tv_nsec - start.tv_nsec) / 1000000;
  return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000l;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
