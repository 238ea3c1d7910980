#include "platform/resource/format_message.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/kernel/local_memory.h"
#include "platform/resource/resource.h"

namespace {

constexpr int MAX_INSERT = 99;

// Where insert values come from.
struct Inserts {
  // FormatMessageA: DWORD_PTR values (null when the caller gave none).
  const DWORD_PTR* values = nullptr;
  // nt_format_message: strings; references past the end stay as written.
  const std::vector<std::string>* strings = nullptr;
};

// A parsed printf format of an insert (%1!08lx!).
struct InsertFormat {
  std::string flags;
  bool width_star = false;
  std::string width;
  bool has_precision = false;
  bool precision_star = false;
  std::string precision;
  std::string length;  // "", "h", "hh", "l", "ll", "I64", "I32", "w"
  char conversion = 's';
};

bool parse_insert_format(std::string_view picture, InsertFormat* f) {
  size_t i = 0;
  while (i < picture.size() && strchr("-+ #0", picture[i]) != nullptr) f->flags += picture[i++];
  if (i < picture.size() && picture[i] == '*') {
    f->width_star = true;
    ++i;
  } else {
    while (i < picture.size() && isdigit(static_cast<unsigned char>(picture[i]))) f->width += picture[i++];
  }
  if (i < picture.size() && picture[i] == '.') {
    f->has_precision = true;
    ++i;
    if (i < picture.size() && picture[i] == '*') {
      f->precision_star = true;
      ++i;
    } else {
      while (i < picture.size() && isdigit(static_cast<unsigned char>(picture[i]))) {
        f->precision += picture[i++];
      }
    }
  }
  for (const char* len : {"I64", "I32", "hh", "ll", "h", "l", "w"}) {
    if (picture.substr(i, strlen(len)) == len) {
      f->length = len;
      i += strlen(len);
      break;
    }
  }
  if (i + 1 != picture.size()) return false;
  f->conversion = picture[i];
  if (strchr("diouxXcCsSp", f->conversion) == nullptr) return false;
  // Guard the widths given to snprintf.
  return f->width.size() <= 4 && f->precision.size() <= 4;
}

bool wide_conversion(const InsertFormat& f) {
  return f.conversion == 'S' || f.conversion == 'C' ||
         ((f.conversion == 's' || f.conversion == 'c') && (f.length == "l" || f.length == "w"));
}

std::string ansi_of_wide(const WCHAR* text) {
  if (text == nullptr) return "(null)";
  return nt_wide_to_ansi(std::u16string_view(text));
}

// snprintf with 0, 1 or 2 star arguments before the value.
template <typename T>
std::string print_value(const std::string& format, int stars, int a, int b, T value) {
  char small[256];
  int n;
  if (stars == 0) {
    n = snprintf(small, sizeof small, format.c_str(), value);
  } else if (stars == 1) {
    n = snprintf(small, sizeof small, format.c_str(), a, value);
  } else {
    n = snprintf(small, sizeof small, format.c_str(), a, b, value);
  }
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  if (stars == 0) {
    snprintf(big.data(), big.size(), format.c_str(), value);
  } else if (stars == 1) {
    snprintf(big.data(), big.size(), format.c_str(), a, value);
  } else {
    snprintf(big.data(), big.size(), format.c_str(), a, b, value);
  }
  big.resize(static_cast<size_t>(n));
  return big;
}

// Formats one insert from DWORD_PTR values; `next` is the number of the
// first value it uses (stars take values before the insert's own).
std::string format_value(const InsertFormat& f, const DWORD_PTR* values, int next) {
  int stars = 0;
  int star_values[2] = {0, 0};
  std::string format = "%" + f.flags;
  if (f.width_star) {
    star_values[stars++] = static_cast<int>(values[next++ - 1]);
    format += '*';
  } else {
    format += f.width;
  }
  if (f.has_precision) {
    format += '.';
    if (f.precision_star) {
      star_values[stars++] = static_cast<int>(values[next++ - 1]);
      format += '*';
    } else {
      format += f.precision;
    }
  }
  DWORD_PTR v = values[next - 1];
  int a = star_values[0];
  int b = star_values[1];
  bool wide64 = f.length == "I64" || f.length == "ll";
  switch (f.conversion) {
    case 'd':
    case 'i':
      if (wide64) return print_value(format + "lld", stars, a, b, static_cast<long long>(v));
      if (f.length == "h") return print_value(format + "d", stars, a, b, static_cast<short>(v));
      if (f.length == "hh") {
        return print_value(format + "d", stars, a, b, static_cast<signed char>(v));
      }
      return print_value(format + "d", stars, a, b, static_cast<int32_t>(v));
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
      std::string conv(1, f.conversion);
      if (wide64) {
        return print_value(format + "ll" + conv, stars, a, b, static_cast<unsigned long long>(v));
      }
      if (f.length == "h") {
        return print_value(format + conv, stars, a, b, static_cast<unsigned short>(v));
      }
      if (f.length == "hh") {
        return print_value(format + conv, stars, a, b, static_cast<unsigned char>(v));
      }
      return print_value(format + conv, stars, a, b, static_cast<uint32_t>(v));
    }
    case 'p':
      return print_value(format + "llX", stars, a, b, static_cast<unsigned long long>(v));
    case 'c':
    case 'C':
      if (wide_conversion(f)) {
        WCHAR w[2] = {static_cast<WCHAR>(v), 0};
        return print_value(format + "s", stars, a, b, ansi_of_wide(w).c_str());
      }
      return print_value(format + "c", stars, a, b, static_cast<int>(static_cast<char>(v)));
    default: {  // s, S
      std::string text;
      if (wide_conversion(f)) {
        text = ansi_of_wide(reinterpret_cast<const WCHAR*>(v));
      } else {
        const char* p = reinterpret_cast<const char*>(v);
        text = p != nullptr ? p : "(null)";
      }
      return print_value(format + "s", stars, a, b, text.c_str());
    }
  }
}

// Replaces regular line breaks by blanks and, for a width of 1 to 254, wraps
// lines at that width; hard breaks (from %n) are marked by '\x01' meanwhile.
std::string apply_width(const std::string& text, unsigned width) {
  std::string flat;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      flat += ' ';
      ++i;
    } else if (text[i] == '\n') {
      flat += ' ';
    } else {
      flat += text[i];
    }
  }
  std::string out;
  size_t line_start = 0;
  for (size_t i = 0; i <= flat.size(); ++i) {
    if (i < flat.size() && flat[i] != '\x01') continue;
    std::string line = flat.substr(line_start, i - line_start);
    if (width != FORMAT_MESSAGE_MAX_WIDTH_MASK) {
      while (line.size() > width) {
        size_t cut = line.rfind(' ', width);
        if (cut == std::string::npos || cut == 0) {
          out += line.substr(0, width) + "\r\n";
          line.erase(0, width);
        } else {
          out += line.substr(0, cut) + "\r\n";
          line.erase(0, cut + 1);
        }
      }
    }
    out += line;
    if (i < flat.size()) out += "\r\n";
    line_start = i + 1;
  }
  return out;
}

// Expands a message; false with ERROR_INVALID_PARAMETER for a malformed
// insert or one without a value.
bool expand(std::string_view text, unsigned width, bool ignore_inserts, const Inserts& in,
            std::string* out, DWORD* error) {
  out->clear();
  // With a width the hard breaks are marked first and turned into line
  // breaks after the regular ones became blanks.
  const char* hard_break = width == 0 ? "\r\n" : "\x01";
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '%') {
      *out += c;
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) {
      *out += '%';
      break;
    }
    char e = text[i + 1];
    if (e == '0') break;  // end of message, no line break
    if (e < '1' || e > '9') {
      switch (e) {
        case 'n': *out += hard_break; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        default: *out += e; break;  // %% %. %! and any other character
      }
      i += 2;
      continue;
    }
    // An insert: one or two digits, then maybe !format!.
    size_t start = i;
    int number = e - '0';
    i += 2;
    if (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) {
      number = number * 10 + (text[i] - '0');
      ++i;
    }
    std::string_view picture = "s";
    if (i < text.size() && text[i] == '!') {
      size_t close = text.find('!', i + 1);
      if (close != std::string_view::npos) {
        picture = text.substr(i + 1, close - i - 1);
        i = close + 1;
      }
    }
    std::string_view reference = text.substr(start, i - start);
    if (ignore_inserts) {
      *out += reference;
      continue;
    }
    InsertFormat f;
    bool well_formed = parse_insert_format(picture, &f);
    if (in.strings != nullptr) {
      // String inserts: only string formats apply; anything else, and a
      // number without a string, stays as written.
      bool usable = well_formed && f.conversion == 's' && !wide_conversion(f) && !f.width_star &&
                    !f.precision_star && static_cast<size_t>(number) <= in.strings->size();
      if (!usable) {
        *out += reference;
        continue;
      }
      DWORD_PTR value = reinterpret_cast<DWORD_PTR>((*in.strings)[number - 1].c_str());
      *out += format_value(f, &value, 1);
      continue;
    }
    int last = number + (f.width_star ? 1 : 0) + (f.precision_star ? 1 : 0);
    if (!well_formed || in.values == nullptr || last > MAX_INSERT) {
      *error = ERROR_INVALID_PARAMETER;
      return false;
    }
    *out += format_value(f, in.values, number);
  }
  if (width != 0) *out = apply_width(*out, width);
  return true;
}

// The highest value number a message uses (stars included), for reading a
// va_list; -1 for a malformed insert.
int highest_insert(std::string_view text) {
  int highest = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    char e = text[i + 1];
    if (e == '0') break;
    if (e < '1' || e > '9') {
      ++i;
      continue;
    }
    int number = e - '0';
    i += 2;
    if (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) {
      number = number * 10 + (text[i] - '0');
      ++i;
    }
    InsertFormat f;
    if (i < text.size() && text[i] == '!') {
      size_t close = text.find('!', i + 1);
      if (close != std::string_view::npos) {
        if (!parse_insert_format(text.substr(i + 1, close - i - 1), &f)) return -1;
        i = close + 1;
      }
    }
    number += (f.width_star ? 1 : 0) + (f.precision_star ? 1 : 0);
    if (number > highest) highest = number;
    --i;  // the loop steps on
  }
  return highest;
}

bool known_language(DWORD language) {
  switch (language) {
    case 0x0000:  // neutral
    case 0x0400:  // user default
    case 0x0800:  // system default
    case 0x0009:  // English
    case 0x0409:  // English (United States)
      return true;
    default:
      return false;
  }
}

}  // namespace

DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                     char* buffer, DWORD size, va_list* arguments) {
  unsigned width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  bool from_string = (flags & FORMAT_MESSAGE_FROM_STRING) != 0;
  bool from_module = (flags & FORMAT_MESSAGE_FROM_HMODULE) != 0;
  bool from_system = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0;
  bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  if (buffer == nullptr || (!from_string && !from_module && !from_system) ||
      (from_string && (from_module || from_system)) || (from_string && source == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }

  std::string text;
  if (from_string) {
    text = static_cast<const char*>(source);
  } else {
    if (!known_language(language_id)) {
      SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
      return 0;
    }
    DWORD code = ERROR_MR_MID_NOT_FOUND;
    std::string utf8;
    if (from_module) {
      code = nt_find_message(static_cast<HMODULE>(const_cast<void*>(source)), message_id, &utf8);
      if (code == ERROR_SUCCESS) {
        text = GetACP() == CP_UTF8 ? utf8 : nt_wide_to_ansi(nt_multibyte_to_wide(CP_UTF8, utf8));
      }
    }
    if (code != ERROR_SUCCESS && from_system) {
      // A Win32 error wrapped as an HRESULT (0x8007xxxx) means the same text.
      DWORD number = (message_id & 0xFFFF0000u) == 0x80070000u ? message_id & 0xFFFFu : message_id;
      if (nt_system_message(number, &utf8)) {
        text = nt_wide_to_ansi(nt_multibyte_to_wide(CP_UTF8, utf8)) + "\r\n";
        code = ERROR_SUCCESS;
      } else if (code != ERROR_INVALID_HANDLE) {
        code = ERROR_MR_MID_NOT_FOUND;
      }
    }
    if (code != ERROR_SUCCESS) {
      SetLastError(code);
      return 0;
    }
  }

  bool ignore = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  std::vector<DWORD_PTR> fetched;
  Inserts inserts;
  if (!ignore && arguments != nullptr) {
    if ((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0) {
      inserts.values = reinterpret_cast<const DWORD_PTR*>(arguments);
    } else {
      int highest = highest_insert(text);
      if (highest < 0 || highest > MAX_INSERT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      for (int n = 0; n < highest; ++n) fetched.push_back(va_arg(*arguments, DWORD_PTR));
      inserts.values = fetched.data();
    }
  }
  std::string result;
  DWORD error = ERROR_SUCCESS;
  if (!expand(text, width, ignore, inserts, &result, &error)) {
    SetLastError(error);
    return 0;
  }

  if (allocate) {
    size_t bytes = result.size() + 1 > size ? result.size() + 1 : size;
    char* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
    if (block == nullptr) return 0;
    memcpy(block, result.c_str(), result.size() + 1);
    *reinterpret_cast<char**>(buffer) = block;
  } else {
    if (result.size() + 1 > size) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    memcpy(buffer, result.c_str(), result.size() + 1);
  }
  return static_cast<DWORD>(result.size());
}

std::string nt_format_message(std::string_view text, const std::vector<std::string>& inserts) {
  Inserts in;
  in.strings = &inserts;
  std::string out;
  DWORD error = ERROR_SUCCESS;
  expand(text, 0, false, in, &out, &error);
  return out;
}
