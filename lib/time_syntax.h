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
// returns false.
bool parse_abs_time(const char* text, FILETIME* out);
bool parse_delta_time(const char* text, FILETIME* out);

// Adds the span to `time` (negative values subtract).
void make_delta(FILETIME* time, int days, int hours, int minutes, int seconds, int milliseconds);

bool check_range(const char* text);
bool in_range(const char* text, int32_t value);

// The date-and-time text of a local FILETIME under QX_DATE_FORMAT and
// QX_TIME_FORMAT (defaults "dd.MM.yyyy " and "HH:mm"), or "never". `out`
// holds at least `size` bytes; the text is cut to size - 1.
void format_time(const FILETIME* time, char* out, int size = 256);

// The range text of a bit mask over the numbers the valid mask admits:
// runs of one as "a", longer runs as "a:b", separated by ",".
void format_bitmask(uint32_t mask, uint32_t valid, char* out, int size);
