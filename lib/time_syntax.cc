#include "lib/time_syntax.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/kernel/clock.h"
#include "platform/nls/codepage.h"
#include "platform/nls/locale.h"

namespace {

// Texts of the time readers are taken up to this many bytes.
constexpr size_t kTimeTextMax = 31;
// Range texts are significant up to this many characters.
constexpr size_t kRangeTextMax = 255;
// The open upper bound of a range pair.
constexpr int32_t kRangeOpen = 2100000000;
// Digits of a field are read up to this value; anything larger is out of
// every calendar bound, and the cap keeps the span arithmetic in range.
constexpr uint32_t kFieldCap = 1000000000u;
// Pictures taken from QX_DATE_FORMAT and QX_TIME_FORMAT: at most this many
// characters; a longer value is cut to its first 15 characters.
constexpr size_t kPictureMax = 15;
const char kDefaultDatePicture[] = "dd.MM.yyyy ";
const char kDefaultTimePicture[] = "HH:mm";
// Largest FILETIME the calendar conversions accept.
constexpr uint64_t kFileTimeLimit = 0x7FFFFFFFFFFFFFFFull;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A copy of at most `max` bytes of `text` with a terminator.
void copy_cut(const char* text, char* out, size_t max) {
  size_t n = strnlen(text, max);
  memcpy(out, text, n);
  out[n] = '\0';
}

// Reads the digits at `*p` (possibly none, giving 0), saturating at kFieldCap.
uint32_t read_field(const char** p, char sep) {
  uint64_t v = 0;
  while (**p != '\0' && **p != sep) {
    v = v * 10 + static_cast<uint64_t>(**p - '0');
    if (v > kFieldCap) v = kFieldCap;
    ++*p;
  }
  return static_cast<uint32_t>(v);
}

// Splits `text` (digits and `sep` only) into at most `max` fields. Empty
// fields are reported as absent. Returns the number of fields, or max + 1
// when there are more.
int split_fields(const char* text, char sep, uint32_t* values, bool* present, int max) {
  int n = 0;
  const char* p = text;
  while (true) {
    const char* start = p;
    uint32_t v = read_field(&p, sep);
    if (n == max) return max + 1;
    values[n] = v;
    present[n] = p != start;
    ++n;
    if (*p == '\0') return n;
    ++p;  // the separator
  }
}

// The first character of `text` that is neither a digit nor one of `allowed`.
const char* find_invalid(const char* text, const char* allowed) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (!is_digit(*p) && strchr(allowed, *p) == nullptr) return p;
  }
  return nullptr;
}

void print_out_of_bounds(const char* text) {
  fprintf(stderr, "invalid date / time '%s' (out of bounds)\n", text);
}

bool equals_ignoring_ascii_case(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// Reads a time part "h[:m[:s[:ms]]]" (already checked for its characters)
// into the four fields. False when it has more than four fields.
bool read_time_fields(const char* text, uint32_t fields[4]) {
  bool present[4];
  for (int i = 0; i < 4; ++i) fields[i] = 0;
  return split_fields(text, ':', fields, present, 4) <= 4;
}

// Reads a signed decimal run of digits and '-' starting at `*p`, as the C
// library's atol would (optional leading '-', then digits, anything after
// ignored), saturating at the 32-bit bounds. Advances past the whole run.
// `empty`: no digit was read (the run reads as 0).
int32_t read_range_number(const char** p, bool* empty) {
  const char* s = *p;
  const char* end = s;
  while (*end != '\0' && (is_digit(*end) || *end == '-') &&
         static_cast<size_t>(end - s) < kRangeTextMax) {
    ++end;
  }
  *p = end;
  bool negative = false;
  const char* q = s;
  if (q < end && *q == '-') {
    negative = true;
    ++q;
  }
  int64_t v = 0;
  *empty = !(q < end && is_digit(*q));
  for (; q < end && is_digit(*q); ++q) {
    v = v * 10 + (*q - '0');
    if (v > 0x80000000ll) v = 0x80000000ll;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<int32_t>(v);
}

}  // namespace

bool parse_abs_time(const char* text, FILETIME* out) {
  if (text == nullptr) text = "";
  if (equals_ignoring_ascii_case(text, "never")) {
    if (out != nullptr) *out = u64_to_filetime(NEVER_TIME);
    return true;
  }
  if (text[0] == 'd' || text[0] == 'D') return parse_delta_time(text, out);

  char whole[kTimeTextMax + 1];
  copy_cut(text, whole, kTimeTextMax);

  // Date and time parts, in a second buffer that is cut at the blank.
  char parts[kTimeTextMax + 1];
  memcpy(parts, whole, sizeof parts);
  const char* date = nullptr;
  const char* time = nullptr;
  char* blank = strchr(parts, ' ');
  if (blank != nullptr) {
    *blank = '\0';
    date = parts;
    time = blank + 1;
  } else if (strchr(parts, ':') != nullptr) {
    time = parts;
  } else {
    date = parts;
  }

  SYSTEMTIME today;
  FILETIME now = u64_to_filetime(nt_local_now());
  FileTimeToSystemTime(&now, &today);
  // Fields in the order year, month, day, hour, minute, second, millisecond.
  uint32_t year = today.wYear, month = today.wMonth, day = today.wDay;
  uint32_t clock[4] = {0, 0, 0, 0};

  if (date != nullptr) {
    char sep;
    if (strchr(date, '/') != nullptr) {
      sep = '/';
    } else if (strchr(date, '.') != nullptr) {
      sep = '.';
    } else {
      fprintf(stderr, "invalid date '%s'\n", date);
      return false;
    }
    const char allowed[2] = {sep, '\0'};
    if (const char* bad = find_invalid(date, allowed)) {
      fprintf(stderr, "invalid character '%c' in date '%s'\n", *bad, date);
      return false;
    }
    uint32_t values[3];
    bool present[3];
    int n = split_fields(date, sep, values, present, 3);
    if (n > 3) {
      print_out_of_bounds(whole);
      return false;
    }
    // Month, day, year with '/'; day, month, year with '.'.
    uint32_t* order[3] = {&month, &day, &year};
    if (sep == '.') {
      order[0] = &day;
      order[1] = &month;
    }
    for (int i = 0; i < n; ++i) {
      if (present[i]) *order[i] = values[i];
    }
  }

  if (time != nullptr) {
    if (const char* bad = find_invalid(time, ":")) {
      fprintf(stderr, "invalid character '%c' in time '%s'\n", *bad, time);
      return false;
    }
    if (!read_time_fields(time, clock)) {
      print_out_of_bounds(whole);
      return false;
    }
  }

  if (year > 0xFFFF || month > 0xFFFF || day > 0xFFFF || clock[0] > 0xFFFF || clock[1] > 0xFFFF ||
      clock[2] > 0xFFFF || clock[3] > 0xFFFF) {
    print_out_of_bounds(whole);
    return false;
  }
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(clock[0]);
  st.wMinute = static_cast<WORD>(clock[1]);
  st.wSecond = static_cast<WORD>(clock[2]);
  st.wMilliseconds = static_cast<WORD>(clock[3]);
  FILETIME result;
  if (!SystemTimeToFileTime(&st, &result)) {
    print_out_of_bounds(whole);
    return false;
  }
  if (out != nullptr) *out = result;
  return true;
}

bool parse_delta_time(const char* text, FILETIME* out) {
  if (text == nullptr) text = "";
  const uint64_t now = nt_local_now();
  const char direction = text[0];
  if (direction != 'd' && direction != 'D') {
    if (out != nullptr) *out = u64_to_filetime(now);
    return true;
  }

  char whole[kTimeTextMax + 1];
  copy_cut(text + 1, whole, kTimeTextMax);
  char parts[kTimeTextMax + 1];
  memcpy(parts, whole, sizeof parts);
  const char* days = nullptr;
  const char* time = nullptr;
  char* blank = strchr(parts, ' ');
  if (blank != nullptr) {
    *blank = '\0';
    days = parts;
    time = blank + 1;
  } else if (strchr(parts, ':') != nullptr) {
    time = parts;
  } else {
    days = parts;
  }

  uint32_t day_count = 0;
  uint32_t clock[4] = {0, 0, 0, 0};
  if (days != nullptr) {
    if (const char* bad = find_invalid(days, "")) {
      fprintf(stderr, "invalid character '%c' in days '%s'\n", *bad, days);
      return false;
    }
    const char* p = days;
    day_count = read_field(&p, '\0');
  }
  if (time != nullptr) {
    if (const char* bad = find_invalid(time, ":")) {
      fprintf(stderr, "invalid character '%c' in time '%s'\n", *bad, time);
      return false;
    }
    if (!read_time_fields(time, clock)) {
      print_out_of_bounds(text);
      return false;
    }
  }

  // Every field is at most 10^9, so the span fits easily in 128 bits.
  __int128 span = (static_cast<__int128>(day_count) * 1440 + static_cast<__int128>(clock[0]) * 60 +
                   clock[1]) *
                      SPAN_MINUTE +
                  static_cast<__int128>(clock[2]) * SPAN_SECOND +
                  static_cast<__int128>(clock[3]) * SPAN_MILLISECOND;
  __int128 result = static_cast<__int128>(now) + (direction == 'd' ? -span : span);
  // A span that leaves the calendar (before 1601, after the year 30827) is
  // no time at all.
  if (result < 0 || result > static_cast<__int128>(kFileTimeLimit)) {
    print_out_of_bounds(text);
    return false;
  }
  if (out != nullptr) *out = u64_to_filetime(static_cast<uint64_t>(result));
  return true;
}

void make_delta(FILETIME* time, int days, int hours, int minutes, int seconds, int milliseconds) {
  if (time == nullptr) return;
  __int128 span = (static_cast<__int128>(days) * 1440 + static_cast<__int128>(hours) * 60 + minutes) *
                      SPAN_MINUTE +
                  static_cast<__int128>(seconds) * SPAN_SECOND +
                  static_cast<__int128>(milliseconds) * SPAN_MILLISECOND;
  __int128 result = static_cast<__int128>(filetime_to_u64(*time)) + span;
  // Saturates at both ends of the 64-bit count instead of wrapping.
  if (result < 0) result = 0;
  if (result > static_cast<__int128>(UINT64_MAX)) result = UINT64_MAX;
  *time = u64_to_filetime(static_cast<uint64_t>(result));
}

bool check_range(const char* text) {
  if (text == nullptr) return true;
  for (size_t i = 0; i < kRangeTextMax && text[i] != '\0'; ++i) {
    char c = text[i];
    if (!is_digit(c) && c != '-' && c != ',' && c != ':') return false;
  }
  return true;
}

// Tokens are runs of digits and '-'; any other character separates them. A
// single token admits its value; a single token from which no digit is read
// (as in ",5", "5,,7", "-" or "--5") admits nothing. A pair "a:b" admits a..b, with an empty a read as
// 0 and a b that reads as 0 taken as open when nothing numeric follows its
// separator.
bool in_range(const char* text, int32_t value) {
  if (text == nullptr || text[0] == '\0') return true;
  char buffer[kRangeTextMax + 1];
  copy_cut(text, buffer, kRangeTextMax);
  const char* p = buffer;
  while (*p != '\0') {
    bool empty;
    int32_t low = read_range_number(&p, &empty);
    if (*p == ':') {
      ++p;
      bool upper_empty;
      int32_t high = read_range_number(&p, &upper_empty);
      if (high == 0) {
        // The character after the upper bound's separator, if any.
        const char* next = *p == '\0' ? p : p + 1;
        if (*p == '\0' || !(is_digit(*next) || *next == '-')) high = kRangeOpen;
      }
      if (low <= value && value <= high) return true;
    } else if (!empty && low == value) {
      return true;
    }
    if (*p != '\0') ++p;  // the separator
  }
  return false;
}

namespace {

// The local year now, read from the clock at most once a second per thread
// (a listing formats many times in a row).
int current_year() {
  thread_local uint64_t checked_at = 0;
  thread_local bool known = false;
  thread_local int year = 0;
  constexpr uint64_t kSecond = 10000000;  // in 100-ns units
  uint64_t now = nt_local_now();
  if (!known || now < checked_at || now - checked_at >= kSecond) {
    FILETIME ft = u64_to_filetime(now);
    SYSTEMTIME today;
    if (!FileTimeToSystemTime(&ft, &today)) return 0;
    year = today.wYear;
    checked_at = now;
    known = true;
  }
  return year;
}

}  // namespace

void format_time(const FILETIME* time, char* out, int size) {
  if (out == nullptr || size <= 0) return;
  out[0] = '\0';
  const char* text = "never";
  char rendered[512];
  SYSTEMTIME st;
  if (time != nullptr && filetime_to_u64(*time) != 0 && FileTimeToSystemTime(time, &st) &&
      abs(static_cast<int>(st.wYear) - current_year()) <= 99) {
    // Pictures are re-read on every call so that a change of the variables
    // takes effect at once.
    char date_picture[64];
    char time_picture[64];
    strcpy(date_picture, kDefaultDatePicture);
    strcpy(time_picture, kDefaultTimePicture);
    if (const char* v = getenv("QX_DATE_FORMAT")) {
      copy_cut(v, date_picture, std::min<size_t>(nt_ansi_prefix_bytes(v, kPictureMax), sizeof date_picture - 1));
    }
    if (const char* v = getenv("QX_TIME_FORMAT")) {
      copy_cut(v, time_picture, std::min<size_t>(nt_ansi_prefix_bytes(v, kPictureMax), sizeof time_picture - 1));
    }
    // A picture the system rejects (a quote left open by the cut, say)
    // falls back to the built-in one.
    char date_text[256];
    char time_text[256];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, 0, &st, date_picture, date_text, sizeof date_text) == 0 &&
        GetDateFormatA(LOCALE_USER_DEFAULT, 0, &st, kDefaultDatePicture, date_text, sizeof date_text) == 0) {
      date_text[0] = '\0';
    }
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, time_picture, time_text, sizeof time_text) == 0 &&
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, kDefaultTimePicture, time_text, sizeof time_text) == 0) {
      time_text[0] = '\0';
    }
    size_t date_length = strlen(date_text);
    size_t time_length = strlen(time_text);  // both below 256, so they fit
    memcpy(rendered, date_text, date_length);
    memcpy(rendered + date_length, time_text, time_length + 1);
    text = rendered;
  }
  copy_cut(text, out, static_cast<size_t>(size - 1));
}

void format_bitmask(uint32_t mask, uint32_t valid, char* out, int size) {
  if (out == nullptr || size <= 0) return;
  char text[160];  // 16 runs "nn:nn," at most
  size_t len = 0;
  int run_start = -1;
  int run_end = -1;
  auto flush = [&]() {
    if (run_start < 0) return;
    if (len > 0) text[len++] = ',';
    if (run_end == run_start) {
      len += static_cast<size_t>(snprintf(text + len, sizeof text - len, "%d", run_start));
    } else {
      len += static_cast<size_t>(snprintf(text + len, sizeof text - len, "%d:%d", run_start, run_end));
    }
    run_start = -1;
  };
  for (int i = 0; i < 32; ++i) {
    if ((valid & (1u << i)) == 0) continue;
    if (mask & (1u << i)) {
      if (run_start < 0) run_start = i;
      run_end = i;
    } else {
      flush();
    }
  }
  flush();
  text[len] = '\0';
  copy_cut(text, out, static_cast<size_t>(size - 1));
}
