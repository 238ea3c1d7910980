// Absolute and relative time texts, ranges and their rendering.
//   AbsTime:   never | [dd.MM.yyyy ]hh:mm[:ss[:ms]] | [MM/dd/yyyy ]hh:mm... | a DeltaTime
//   DeltaTime: d<days>[ <h:m:s:ms>] (before now) | D... (after now)
//   Range:     a,b,c:e  (a:  open upward)
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

// Both halves 0xFFFFFFFF.
constexpr uint64_t NEVER_TIME = 0xFFFFFFFFFFFFFFFFull;

constexpr int64_t SPAN_MILLISECOND = 10000ll;
constexpr int64_t SPAN_SECOND = 10000000ll;
constexpr int64_t SPAN_MINUTE = 600000000ll;
constexpr int64_t SPAN_DAY = 1440ll * SPAN_MINUTE;

// Each returns true and sets `out`, or prints one line to standard error and
// returns false (leaving `out` alone). At most 31 characters are read (after
// the direction letter of a DeltaTime). Fields with more digits than any
// bound are out of bounds, never wrapped; so is a DeltaTime whose span
// leaves the calendar (before 1601 or past the year 30827), and a time part
// with more than four fields or a date with more than three.
bool parse_abs_time(const char* text, FILETIME* out);
bool parse_delta_time(const char* text, FILETIME* out);

// Adds the span to `time` (negative values subtract), saturating at 0 and
// at the largest count instead of wrapping.
void make_delta(FILETIME* time, int days, int hours, int minutes, int seconds, int milliseconds);

// Both look at the first 255 characters only. Numbers of a range read as
// the C library's atol does, saturated to 32 bits; a single token from which
// no digit is read (",5", "-") admits nothing.
bool check_range(const char* text);
bool in_range(const char* text, int32_t value);

// The date-and-time text of a local FILETIME under QX_DATE_FORMAT and
// QX_TIME_FORMAT (defaults "dd.MM.yyyy " and "HH:mm"), or "never". A
// picture longer than 15 characters is cut to its first 15; one the
// system's formatting rejects is replaced by the default. `out`
// holds at least `size` bytes; the text is cut to size - 1.
void format_time(const FILETIME* time, char* out, int size = 256);

// The range text of a bit mask over the numbers the valid mask admits:
// runs of one as "a", longer runs as "a:b", separated by ",".
void format_bitmask(uint32_t mask, uint32_t valid, char* out, int size);
