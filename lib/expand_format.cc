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

// Output with a hard end: at most `size` bytes, whole characters only.
class LineWriter {
 public:
  LineWriter(char* out, int size) : out_(out), size_(size) {}

  bool full() const { return full_; }

  // Writes `length` bytes that form one character (or several); when they
  // do not all fit the line is closed and nothing more is written.
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

  void put(char c) { put(&c, 1); }

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

// Groups the digits of a decimal text (optional leading '-') the way the
// user's locale writes whole numbers: no decimals, groups of three, the
// locale's separator, negatives in parentheses.
std::string locale_number(const char* digits) {
  char thousand[16] = ",";
  char decimal[16] = ".";
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, sizeof thousand) == 0) {
    std::strcpy(thousand, ",");
  }
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, sizeof decimal) == 0) {
    std::strcpy(decimal, ".");
  }
  NUMBERFMTA format{};
  format.NumDigits = 0;
  format.LeadingZero = 0;
  format.Grouping = 3;
  format.lpDecimalSep = decimal;
  format.lpThousandSep = thousand;
  format.NegativeOrder = 0;
  // 309 digits of the largest double, their separators and the parentheses.
  char out[1024];
  if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits, &format, out, sizeof out) == 0) {
    return digits;
  }
  return out;
}

std::string number_text(int32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", value);
  return locale_number(digits);
}

std::string double_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "(inf)" : "inf";
  // Adding 0.0 turns a rounded -0 into 0, so -0.4 does not print as "(0)".
  const double whole = std::round(value) + 0.0;
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.0f", whole);
  return locale_number(digits);
}

// The text a placeholder prints; false when its kind prints nothing.
bool value_text(const ArgSpec& entry, std::string* text) {
  const void* value = entry.target;
  if (value == nullptr) return false;
  switch (entry.type) {
    case ARG_NUMERIC:
      *text = number_text(*static_cast<const int32_t*>(value));
      return true;
    case ARG_STRING:
      text->assign(static_cast<const char*>(value));
      return true;
    case ARG_WSTRING:
      *text = nt_wide_to_ansi(std::u16string_view(static_cast<const WCHAR*>(value)));
      // The conversion may hand back embedded terminators; the text ends there.
      text->resize(std::strlen(text->c_str()));
      return true;
    case ARG_ABSTIME: {
      char buffer[256];
      format_time(static_cast<const FILETIME*>(value), buffer, sizeof buffer);
      text->assign(buffer);
      return true;
    }
    case ARG_DOUBLE:
      *text = double_text(*static_cast<const double*>(value));
      return true;
    case ARG_BITMASK: {
      char buffer[256];
      format_bitmask(*static_cast<const uint32_t*>(value), static_cast<uint32_t>(entry.def),
                     buffer, sizeof buffer);
      text->assign(buffer);
      return true;
    }
    default:
      return false;
  }
}

void place(LineWriter& out, UINT code_page, const char* text, const Placement& how) {
  const int width = how.width;
  const bool cut = (how.dots || how.plain) && width > 0;
  const bool mark = how.dots && !how.plain && width > 0;
  const char fill = how.zero ? '0' : ' ';

  if (!how.left && width > 0) {
    const int length = static_cast<int>(ansi_count(code_page, text, width));
    for (int i = length; i < width; ++i) out.put(fill);
  }
  int column = 0;
  for (const char* p = text; *p != '\0' && !out.full(); ++column) {
    if (cut && column >= width) break;
    const size_t step = ansi_char_size(code_page, p);
    if (mark && column >= width - 2) {
      out.put('.');
    } else {
      out.put(p, step);
    }
    p += step;
  }
  if (how.left && width > 0) {
    for (; column < width; ++column) out.put(fill);
  }
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

  const char* p = text;
  std::string value;
  while (*p != '\0' && !line.full()) {
    if (*p != '~') {
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
    const size_t letter_size = ansi_char_size(code_page, p);
    p += letter_size;
    if (letter_size > 1) continue;  // letters are single bytes: no such placeholder
    if (letter == '~') {
      line.put('~');
      continue;
    }
    const ArgSpec* entry = find_letter(table, letter);
    if (entry == nullptr || !value_text(*entry, &value)) continue;
    place(line, code_page, value.c_str(), how);
  }
  line.finish();
}
