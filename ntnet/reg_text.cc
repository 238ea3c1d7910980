#include "ntnet/reg_text.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/network/wtf8.h"
#include "platform/registry/registry.h"

namespace {

struct TypeName {
  DWORD type;
  const char* name;
};
const TypeName kTypes[] = {
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
};

bool is_string_type(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool is_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool is_control(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Appends `text` as UTF-8 with the escapes of quoted text.
void append_escaped(std::string* out, std::u16string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    char16_t c = text[i];
    bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF;
    if (pair) {
      *out += nt_wtf8_from_utf16(text.substr(i, 2));
      i += 2;
      continue;
    }
    switch (c) {
      case u'\\': *out += "\\\\"; break;
      case u'"': *out += "\\\""; break;
      case 0: *out += "\\0"; break;
      case u'\t': *out += "\\t"; break;
      case u'\n': *out += "\\n"; break;
      case u'\r': *out += "\\r"; break;
      default:
        if (is_control(c) || is_surrogate(c)) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
          *out += buf;
        } else {
          *out += nt_wtf8_from_utf16(text.substr(i, 1));
        }
    }
    ++i;
  }
}

std::u16string units_of(std::string_view bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string bytes_of(std::u16string_view units) {
  std::string out;
  for (char16_t c : units) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ntnet_quote(std::u16string_view text) {
  std::string out = "\"";
  append_escaped(&out, text);
  out += "\"";
  return out;
}

bool ntnet_unescape(std::string_view text, std::u16string* out, std::string* error) {
  out->clear();
  size_t plain = 0;
  auto flush = [&](size_t end) {
    *out += nt_utf16_from_wtf8(text.substr(plain, end - plain));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') continue;
    flush(i);
    if (i + 1 >= text.size()) {
      *error = "a lone backslash ends the text (write \\\\ for one backslash)";
      return false;
    }
    char e = text[++i];
    switch (e) {
      case '\\': *out += u'\\'; break;
      case '"': *out += u'"'; break;
      case '0': *out += u'\0'; break;
      case 't': *out += u'\t'; break;
      case 'n': *out += u'\n'; break;
      case 'r': *out += u'\r'; break;
      case 'u': {
        unsigned v = 0;
        for (int k = 1; k <= 4; ++k) {
          int d = i + k < text.size() ? hex_digit(text[i + k]) : -1;
          if (d < 0) {
            *error = "\\u needs four hexadecimal digits";
            return false;
          }
          v = v * 16 + static_cast<unsigned>(d);
        }
        *out += static_cast<char16_t>(v);
        i += 4;
        break;
      }
      default:
        *error = std::string("unknown escape \\") + e;
        return false;
    }
    plain = i + 1;
  }
  flush(text.size());
  return true;
}

std::string ntnet_path_component(std::u16string_view name) {
  bool plain = !name.empty();
  for (char16_t c : name) {
    if (c == u'"' || is_control(c) || is_surrogate(c)) plain = false;
  }
  if (plain) {
    // Surrogate pairs are fine; lone ones made `plain` false above.
    return nt_wtf8_from_utf16(name);
  }
  return ntnet_quote(name);
}

std::string ntnet_type_name(DWORD type) {
  for (const TypeName& t : kTypes)
    if (t.type == type) return t.name;
  char buf[16];
  snprintf(buf, sizeof buf, "0x%08x", type);
  return buf;
}

bool ntnet_parse_type(std::string_view text, DWORD* type) {
  for (const TypeName& t : kTypes) {
    std::string_view name = t.name;
    if (name.size() == text.size() && strncasecmp(name.data(), text.data(), text.size()) == 0) {
      *type = t.type;
      return true;
    }
  }
  std::string s(text);
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
  *type = static_cast<DWORD>(v);
  return true;
}

std::string ntnet_format_value(DWORD type, std::string_view data) {
  std::string out = ntnet_type_name(type) + " ";
  if (is_string_type(type) && data.size() % 2 == 0) {
    std::u16string units = units_of(data);
    bool terminated = !units.empty() && units.back() == 0;
    if (terminated) units.pop_back();
    out += ntnet_quote(units);
    if (!terminated) out += " (no NUL)";
    return out;
  }
  if (type == REG_DWORD && data.size() == 4) {
    uint32_t v = static_cast<unsigned char>(data[0]) |
                 (static_cast<uint32_t>(static_cast<unsigned char>(data[1])) << 8) |
                 (static_cast<uint32_t>(static_cast<unsigned char>(data[2])) << 16) |
                 (static_cast<uint32_t>(static_cast<unsigned char>(data[3])) << 24);
    char buf[40];
    snprintf(buf, sizeof buf, "0x%08x (%u)", v, v);
    return out + buf;
  }
  out += "hex";
  for (unsigned char c : data) {
    char buf[4];
    snprintf(buf, sizeof buf, " %02x", c);
    out += buf;
  }
  return out;
}

bool ntnet_parse_value_data(DWORD type, std::string_view text, bool no_nul, std::string* data,
                            std::string* error) {
  data->clear();
  if (is_string_type(type)) {
    std::u16string units;
    if (!ntnet_unescape(text, &units, error)) return false;
    if (!no_nul) units.push_back(u'\0');
    *data = bytes_of(units);
    return true;
  }
  if (type == REG_DWORD) {
    std::string s(text);
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(s.c_str(), &end, 0);
    if (s.empty() || errno != 0 || *end != '\0' || v < -2147483648LL || v > 0xFFFFFFFFLL) {
      *error = "a REG_DWORD is a number from -2147483648 to 4294967295 (or 0x hex)";
      return false;
    }
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) data->push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    return true;
  }
  std::string_view rest = text;
  if (rest.size() >= 3 && strncasecmp(rest.data(), "hex", 3) == 0) rest.remove_prefix(3);
  int high = -1;
  for (char c : rest) {
    if (c == ' ' || c == ',' || c == '\t') {
      if (high >= 0) {
        *error = "hex bytes come in pairs of digits";
        return false;
      }
      continue;
    }
    int d = hex_digit(c);
    if (d < 0) {
      *error = std::string("not a hexadecimal digit: ") + c;
      return false;
    }
    if (high < 0) {
      high = d;
    } else {
      data->push_back(static_cast<char>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) {
    *error = "hex bytes come in pairs of digits";
    return false;
  }
  return true;
}
