// The one clock of the layer. Every time the tools see comes from here, so
// the test offset NT_CLOCK_OFFSET (seconds, may be negative) reaches every
// process of the network alike.
#pragma once

#include <ctime>

#include "platform/win32_types.h"

constexpr uint64_t FILETIME_TICKS_PER_SECOND = 10000000ull;
constexpr uint64_t FILETIME_TICKS_PER_MILLISECOND = 10000ull;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t FILETIME_UNIX_EPOCH_SECONDS = 11644473600ll;

// Current universal time, the offset applied.
void GetSystemTimeAsFileTime(FILETIME* out);
void GetSystemTime(SYSTEMTIME* out);
// Current local time (time zone of the TZ environment), the offset applied.
void GetLocalTime(SYSTEMTIME* out);

// Pure calendar conversions; they fail with ERROR_INVALID_PARAMETER for
// fields that form no valid time (month 13, 31 April, year before 1601) or
// a FILETIME beyond the year 30827 (the "never" value among them).
BOOL SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out);
BOOL FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out);

// Between universal and local FILETIME, with the zone's offset at that time.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

// Milliseconds since the process's first clock call (monotonic, no offset).
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// The offset in seconds, read once from NT_CLOCK_OFFSET.
int64_t nt_clock_offset_seconds();
// Current local time as a 64-bit FILETIME count.
uint64_t nt_local_now();
// Current time in seconds since 1970 (universal), the offset applied.
time_t nt_unix_now();
// A Unix time stamp (seconds, nanoseconds) as local and as universal FILETIME.
uint64_t nt_unix_to_local_filetime(time_t seconds, long nanoseconds);
uint64_t nt_unix_to_filetime(time_t seconds, long nanoseconds);
// Local FILETIME back to Unix seconds and nanoseconds (universal).
void nt_local_filetime_to_unix(uint64_t local, time_t* seconds, long* nanoseconds);
