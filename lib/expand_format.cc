// The format engine: copies a format text and replaces its placeholders
//   ~[-...][....][!...][0...][width]letter
// by the values of a placeholder table, placed in a column of `width`.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/nls/ansi_chars.h"
#include "lib/format.h"
#include "lib/time_syntax.h"
#include "platform/nls/codepage.h"
#include "platform/nls/locale.h"

namespace {

constexpr int WIDTH_MAX = 255;

// Bytes of the character at `p`: every ASCII byte is one character in all
// the ANSI pages (single-byte pages and UTF-8), so only the others need the
// page's rules.
inline size_t char_size(UINT code_page, const char* p) {
  return static_cast<unsigned char>(*p) < 0x80 ? (*p != '\0' ? 1 : 0)
                                                : ansi_char_size(code_page, p);
}

// Output with a hard end: at most `size` bytes, whole characters only.
class LineWriter {
 public:
  LineWriter(char* out, int size) : out_(out), size_(size) {}

  bool full() const { return full_; }

  // Writes `length` bytes that form one character; when they do not all
  // fit the line is closed and nothing more is written.
  void put(const char* bytes, size_t length) {
    if (full_) return;
    if (length > static_cast<size_t>(size_ - pos_)) {
      full_ = true;
      return;
    }
    std::memcpy(out_ + pos_, bytes, length);
    pos_ += static_cast<int>(length);
    if (pos_ == size_) full_ = true;
  }

  void put(char c) {
    if (full_) return;
    out_[pos_++] = c;
    if (pos_ == size_) full_ = true;
  }

  // Writes `count` one-byte characters, as many as fit.
  void put_bytes(const char* bytes, size_t count) {
    if (full_) return;
    const size_t room = static_cast<size_t>(size_ - pos_);
    if (count > room) count = room;
    std::memcpy(out_ + pos_, bytes, count);
    pos_ += static_cast<int>(count);
    if (pos_ == size_) full_ = true;
  }

  void fill(char c, int count) {
    if (full_ || count <= 0) return;
    const int room = size_ - pos_;
    if (count > room) count = room;
    std::memset(out_ + pos_, c, static_cast<size_t>(count));
    pos_ += count;
    if (pos_ == size_) full_ = true;
  }

  void finish() { out_[pos_] = '\0'; }

 private:
  char* out_;
  int size_;
  int pos_ = 0;
  bool full_ = false;
};

struct Placement {
  bool left = false;   // '-'
  bool dots = false;   // '.'
  bool plain = false;  // '!'
  bool zero = false;   // '0'
  int width = 0;       // 0..255
};

const ArgSpec* find_letter(const ArgSpec* table, char letter) {
  if (table == nullptr) return nullptr;
  for (; table->type != ARG_END; ++table) {
    if (table->letter == letter) return table;
  }
  return nullptr;
}

// The locale's number separators, read again only when the user locale or
// the ANSI page (the texts are in that page) has changed.
struct Separators {
  bool read = false;
  LCID locale = 0;
  UINT code_page = 0;
  char thousand[16] = ",";
  char decimal[16] = ".";
};

thread_local Separators t_separators;

Separators& number_separators() {
  Separators& s = t_separators;
  const LCID locale = GetUserDefaultLCID();
  const UINT code_page = GetACP();
  if (s.read && s.locale == locale && s.code_page == code_page) return s;
  if (GetLocaleInfoA(locale, LOCALE_STHOUSAND, s.thousand, sizeof s.thousand) == 0) {
    std::strcpy(s.thousand, ",");
  }
  if (GetLocaleInfoA(locale, LOCALE_SDECIMAL, s.decimal, sizeof s.decimal) == 0) {
    std::strcpy(s.decimal, ".");
  }
  s.read = true;
  s.locale = locale;
  s.code_page = code_page;
  return s;
}

// Room for the texts of one expansion's values.
struct LineState {
  char text[1024];  // numbers, times and masks
  std::string wide_text;
};

// Groups the digits of a decimal text (optional leading '-') the way the
// user's locale writes whole numbers: no decimals, groups of three, the
// locale's separator, negatives in parentheses. The result is in
// state.text; a result that does not fit there is the digits as they are.
const char* locale_number(LineState& state, const char* digits) {
  Separators& separators = number_separators();
  NUMBERFMTA format{};
  format.NumDigits = 0;
  format.LeadingZero = 0;
  format.Grouping = 3;
  format.lpDecimalSep = separators.decimal;
  format.lpThousandSep = separators.thousand;
  format.NegativeOrder = 0;
  if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits, &format, state.text, sizeof state.text) ==
      0) {
    return digits;
  }
  return state.text;
}

const char* number_text(LineState& state, int32_t value) {
  // Decimal digits by hand: this runs for every number of every line.
  char digits[16];
  char* p = digits + sizeof digits;
  *--p = '\0';
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  const char* text = locale_number(state, p);
  if (text == p) {
    // Not formatted: the digits, which live in this frame, go out as they are.
    std::memmove(state.text, p, static_cast<size_t>(digits + sizeof digits - p));
    return state.text;
  }
  return text;
}

const char* double_text(LineState& state, double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "(inf)" : "inf";
  // Adding 0.0 turns a rounded -0 into 0, so -0.4 does not print as "(0)".
  const double whole = std::round(value) + 0.0;
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.0f", whole);
  const char* text = locale_number(state, digits);
  if (text == digits) {
    // The digits of a double fit the line state's room (at most 310 bytes).
    std::strcpy(state.text, digits);
    return state.text;
  }
  return text;
}

// The text a placeholder prints (a table text as it stands, or one made in
// `state`); null when its kind prints nothing.
const char* value_text(const ArgSpec& entry, LineState& state) {
  const void* value = entry.target;
  if (value == nullptr) return nullptr;
  switch (entry.type) {
    case ARG_NUMERIC:
      return number_text(state, *static_cast<const int32_t*>(value));
    case ARG_STRING:
      return static_cast<const char*>(value);
    case ARG_WSTRING:
      // The conversion may hand back embedded terminators; the text ends
      // at the first.
      state.wide_text = nt_wide_to_ansi(std::u16string_view(static_cast<const WCHAR*>(value)));
      return state.wide_text.c_str();
    case ARG_ABSTIME:
      format_time(static_cast<const FILETIME*>(value), state.text, 256);
      return state.text;
    case ARG_DOUBLE:
      return double_text(state, *static_cast<const double*>(value));
    case ARG_BITMASK:
      format_bitmask(*static_cast<const uint32_t*>(value), static_cast<uint32_t>(entry.def),
                     state.text, 256);
      return state.text;
    default:
      return nullptr;
  }
}

// Characters in `text`, counting at most `limit`.
int count_chars(UINT code_page, const char* text, int limit) {
  int count = 0;
  for (const char* p = text; *p != '\0' && count < limit; ++count) p += char_size(code_page, p);
  return count;
}

void place(LineWriter& out, UINT code_page, const char* text, const Placement& how) {
  const int width = how.width;
  const bool cut = (how.dots || how.plain) && width > 0;
  const bool mark = how.dots && !how.plain && width > 0;
  const char fill = how.zero ? '0' : ' ';

  if (!how.left && width > 0) {
    out.fill(fill, width - count_chars(code_page, text, width));
  }
  int column = 0;
  if (!cut) {
    // The whole text, ASCII runs in one piece. Once the line is full the
    // count no longer matters: nothing more is written.
    for (const char* p = text; *p != '\0' && !out.full();) {
      const char* run = p;
      while (static_cast<unsigned char>(*p - 1) < 0x7F) ++p;  // 0x01..0x7F
      if (p != run) {
        out.put_bytes(run, static_cast<size_t>(p - run));
        column += static_cast<int>(p - run);
        continue;
      }
      const size_t step = ansi_char_size(code_page, p);
      out.put(p, step);
      p += step;
      ++column;
    }
  } else {
    for (const char* p = text; *p != '\0' && !out.full(); ++column) {
      if (column >= width) break;
      const size_t step = char_size(code_page, p);
      if (mark && column >= width - 2) {
        out.put('.');
      } else if (step == 1) {
        out.put(*p);
      } else {
        out.put(p, step);
      }
      p += step;
    }
  }
  if (how.left && width > 0) out.fill(fill, width - column);
}

}  // namespace

void expand_format(const char* format, char* out, const ArgSpec* table, int size) {
  if (out == nullptr || size < 0) return;
  if (size == 0 || format == nullptr) {
    out[0] = '\0';
    return;
  }
  char text[OUTPUT_LINE_SIZE];
  read_text_or_file(format, text);
  expand_format_text(text, out, table, size);
}

void expand_format_text(const char* text, char* out, const ArgSpec* table, int size) {
  if (out == nullptr || size < 0) return;
  LineWriter line(out, size);
  if (size == 0 || text == nullptr) {
    line.finish();
    return;
  }
  const UINT code_page = GetACP();
  // One line is one moment: its numbers and times take one reading of the
  // user's locale.
  NtUserLocaleHold locale_hold;
  LineState state;

  const char* p = text;
  while (*p != '\0' && !line.full()) {
    if (*p != '~') {
      // A run of ASCII text goes out in one piece.
      const char* run = p;
      while (*p != '\0' && *p != '~' && static_cast<unsigned char>(*p) < 0x80) ++p;
      if (p != run) {
        line.put_bytes(run, static_cast<size_t>(p - run));
        continue;
      }
      if (*p == '~' || *p == '\0') continue;
      const size_t step = ansi_char_size(code_page, p);
      line.put(p, step);
      p += step;
      continue;
    }
    ++p;
    Placement how;
    for (; *p == '-'; ++p) how.left = true;
    for (; *p == '.'; ++p) how.dots = true;
    for (; *p == '!'; ++p) how.plain = true;
    for (; *p == '0'; ++p) how.zero = true;
    for (; *p >= '0' && *p <= '9'; ++p) {
      how.width = how.width * 10 + (*p - '0');
      if (how.width > WIDTH_MAX) how.width = WIDTH_MAX;
    }
    const char letter = *p;
    if (letter == '\0') break;  // a placeholder cut short by the end prints nothing
    const size_t letter_size = char_size(code_page, p);
    p += letter_size;
    if (letter_size > 1) continue;  // letters are single bytes: no such placeholder
    if (letter == '~') {
      line.put('~');
      continue;
    }
    const ArgSpec* entry = find_letter(table, letter);
    if (entry == nullptr) continue;
    const char* value = value_text(*entry, state);
    if (value == nullptr) continue;
    place(line, code_page, value, how);
  }
  line.finish();
}
