#include "zeb/zeb_text.h"

#include <cstring>

#include "platform/nls/codepage.h"

namespace {

constexpr UINT kUtf8Page = 65001;

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string upper_copy(std::string_view text) {
  std::string copy(text);
  if (!copy.empty()) CharUpperBuffA(copy.data(), static_cast<DWORD>(copy.size()));
  return copy;
}

}  // namespace

size_t zeb_cut_length(std::string_view src, size_t max_bytes) {
  if (src.size() <= max_bytes) return src.size();
  size_t cut = max_bytes;
  if (GetACP() != kUtf8Page) return cut;
  // src[cut] is the first byte left out. When it continues a character whose
  // lead byte lies before the cut, that character is left out whole.
  size_t p = cut;
  while (p > 0 && cut - p < 3 && is_continuation(static_cast<unsigned char>(src[p]))) --p;
  unsigned char lead = static_cast<unsigned char>(src[p]);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (p < cut && length > 1 && p + length > cut) cut = p;
  return cut;
}

void zeb_copy_cut(char* dst, size_t size, std::string_view src) {
  if (dst == nullptr || size == 0) return;
  size_t n = zeb_cut_length(src, size - 1);
  if (n > 0) memcpy(dst, src.data(), n);
  memset(dst + n, 0, size - n);
}

void zeb_copy_cut(char* dst, size_t size, const char* src) {
  zeb_copy_cut(dst, size, src ? std::string_view(src) : std::string_view());
}

std::string zeb_field(const char* field, size_t size) {
  if (field == nullptr) return std::string();
  return std::string(field, strnlen(field, size));
}

bool zeb_equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return upper_copy(a) == upper_copy(b);
}
