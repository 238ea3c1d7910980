#include "setora/setora_text.h"

#include <cstdio>
#include <vector>

#include "platform/nls/locale.h"
#include "platform/resource/resource.h"
#include "setora/setora_ids.h"

std::string load_text(UINT id) {
  // String table entries are short; the quick-info text is the longest.
  std::vector<char> buffer(4096);
  int n = LoadStringA(nullptr, id, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

std::string system_number_text(const std::string& value) {
  char out[128];
  int n = GetNumberFormatA(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE, value.c_str(), nullptr,
                           out, sizeof out);
  return n > 0 ? std::string(out) : value;
}

namespace {

// The position of the single conversion of `format` when it is "%<kind>"
// and the only one ("%%" is a percent sign); npos otherwise.
size_t single_conversion(const std::string& format, char kind) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    if (found != std::string::npos || i + 1 >= format.size() || format[i + 1] != kind) {
      return std::string::npos;
    }
    found = i;
    ++i;
  }
  return found;
}

std::string unescape_percent(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return out;
}

std::string fill(const std::string& format, char kind, const std::string& value) {
  size_t at = single_conversion(format, kind);
  if (at == std::string::npos) return format + " " + value;
  return unescape_percent(format.substr(0, at)) + value + unescape_percent(format.substr(at + 2));
}

}  // namespace

std::string format_count_text(const std::string& format, int count) {
  return fill(format, 'd', std::to_string(count));
}

std::string format_string_text(const std::string& format, const std::string& value) {
  return fill(format, 's', value);
}

std::string install_count_text(int count) {
  return format_count_text(load_text(IDS_INSTALL_COUNT), count);
}

std::string remove_count_text(int count) {
  return format_count_text(load_text(IDS_REMOVE_COUNT), count);
}

std::string kb_left_text(uint64_t free_bytes, uint64_t marked_kb) {
  double left = static_cast<double>(free_bytes / 1024) - static_cast<double>(marked_kb);
  char number[64];
  snprintf(number, sizeof number, "%f", left);
  return format_string_text(load_text(IDS_KB_LEFT), system_number_text(number));
}
