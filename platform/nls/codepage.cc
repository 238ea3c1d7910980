#include "platform/nls/codepage.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/nls/codepage_tables.h"
#include "platform/nls/utf8.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool known_page(UINT page) { return page == CP_UTF8 || nt_single_byte_table(page) != nullptr; }

UINT page_from_env(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return CP_UTF8;
  char* end = nullptr;
  unsigned long page = std::strtoul(value, &end, 10);
  if (*end != '\0' || page > 0xFFFF || !known_page(static_cast<UINT>(page))) return CP_UTF8;
  return static_cast<UINT>(page);
}

// 0 means "not read yet".
std::atomic<UINT> g_acp{0};
std::atomic<UINT> g_oemcp{0};

// The concrete page a code page argument stands for, or 0 for none.
UINT resolve(UINT code_page) {
  switch (code_page) {
    case CP_ACP:
    case CP_THREAD_ACP: return GetACP();
    case CP_OEMCP: return GetOEMCP();
    default: return known_page(code_page) ? code_page : 0;
  }
}

// Collects output units, counting only when there is no buffer and failing
// once a buffer is full.
template <typename Unit>
struct Sink {
  Unit* dst;
  int capacity;  // 0: count only
  int count = 0;
  bool overflow = false;

  bool fits(int n) {
    if (capacity == 0) return true;
    if (count + n > capacity) {
      overflow = true;
      return false;
    }
    return true;
  }
  bool put(Unit u) {
    if (!fits(1)) return false;
    if (capacity) dst[count] = u;
    ++count;
    return true;
  }
};

int fail(DWORD code) {
  SetLastError(code);
  return 0;
}

// Bytes of a converted text that fit into `room` bytes without cutting a
// character of `page` in half.
size_t fitting_prefix(UINT page, const std::string& text, size_t room) {
  if (text.size() <= room) return text.size();
  size_t cut = room;
  if (page == CP_UTF8) {
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  }
  return cut;
}

std::string convert_between(UINT from, UINT to, std::string_view text) {
  if (from == to) return std::string(text);
  return nt_wide_to_multibyte(to, nt_multibyte_to_wide(from, text));
}

BOOL convert_terminated(UINT from, UINT to, const char* src, char* dst) {
  if (!src || !dst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t n = std::strlen(src);
  std::string out = convert_between(from, to, std::string_view(src, n));
  size_t keep = fitting_prefix(to, out, n);
  std::memmove(dst, out.data(), keep);
  dst[keep] = '\0';
  return TRUE;
}

BOOL convert_buffer(UINT from, UINT to, const char* src, char* dst, DWORD length) {
  if (!src || !dst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (length == 0) return TRUE;
  std::string out = convert_between(from, to, std::string_view(src, length));
  size_t keep = fitting_prefix(to, out, length);
  std::memmove(dst, out.data(), keep);
  if (keep < length) std::memset(dst + keep, 0, length - keep);
  return TRUE;
}

template <WCHAR (*Map)(WCHAR)>
DWORD map_case_ansi(char* text, DWORD length) {
  if (!text) return 0;
  auto* bytes = reinterpret_cast<unsigned char*>(text);
  UINT page = GetACP();
  if (page == CP_UTF8) {
    size_t pos = 0;
    while (pos < length) {
      size_t start = pos;
      long cp = nt_utf8_next(bytes, length, &pos);
      if (cp < 0 || cp > 0xFFFF) continue;
      char32_t mapped = Map(static_cast<WCHAR>(cp));
      if (mapped == static_cast<char32_t>(cp)) continue;
      if (nt_utf8_length(mapped) != static_cast<int>(pos - start)) continue;
      nt_utf8_encode(mapped, bytes + start);
    }
    return length;
  }
  const char16_t* table = nt_single_byte_table(page);
  for (DWORD i = 0; i < length; ++i) {
    WCHAR mapped = Map(table[bytes[i]]);
    if (mapped == table[bytes[i]]) continue;
    int b = nt_single_byte_from_wide(page, mapped);
    if (b >= 0) bytes[i] = static_cast<unsigned char>(b);
  }
  return length;
}

template <WCHAR (*Map)(WCHAR)>
DWORD map_case_wide(WCHAR* text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = Map(text[i]);
  return length;
}

}  // namespace

UINT GetACP() {
  UINT page = g_acp.load(std::memory_order_relaxed);
  if (page == 0) {
    page = page_from_env("NT_ACP");
    g_acp.store(page, std::memory_order_relaxed);
  }
  return page;
}

UINT GetOEMCP() {
  UINT page = g_oemcp.load(std::memory_order_relaxed);
  if (page == 0) {
    page = page_from_env("NT_OEMCP");
    g_oemcp.store(page, std::memory_order_relaxed);
  }
  return page;
}

void nt_reload_code_pages() {
  g_acp.store(page_from_env("NT_ACP"), std::memory_order_relaxed);
  g_oemcp.store(page_from_env("NT_OEMCP"), std::memory_order_relaxed);
}

BOOL IsValidCodePage(UINT code_page) { return known_page(code_page) ? TRUE : FALSE; }

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int srclen, WCHAR* dst,
                        int dstlen) {
  if (!src || srclen == 0 || srclen < -1 || dstlen < 0 || (dstlen > 0 && !dst) ||
      (dst && static_cast<const void*>(src) == static_cast<const void*>(dst))) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  UINT page = resolve(code_page);
  if (page == 0) return fail(ERROR_INVALID_PARAMETER);
  size_t n = srclen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srclen);
  auto* bytes = reinterpret_cast<const unsigned char*>(src);
  Sink<WCHAR> out{dst, dstlen};

  if (page == CP_UTF8) {
    if (flags & ~MB_ERR_INVALID_CHARS) return fail(ERROR_INVALID_FLAGS);
    size_t pos = 0;
    while (pos < n) {
      long cp = nt_utf8_next(bytes, n, &pos);
      if (cp < 0) {
        if (flags & MB_ERR_INVALID_CHARS) return fail(ERROR_NO_UNICODE_TRANSLATION);
        if (!out.put(kReplacement)) break;
      } else if (cp >= 0x10000) {
        if (!out.fits(2)) break;
        long v = cp - 0x10000;
        out.put(static_cast<WCHAR>(0xD800 + (v >> 10)));
        out.put(static_cast<WCHAR>(0xDC00 + (v & 0x3FF)));
      } else if (!out.put(static_cast<WCHAR>(cp))) {
        break;
      }
    }
  } else {
    if (flags & ~(MB_PRECOMPOSED | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS)) {
      return fail(ERROR_INVALID_FLAGS);
    }
    const char16_t* table = nt_single_byte_table(page);
    bool glyphs = (flags & MB_USEGLYPHCHARS) && page != 1252;
    const char16_t* pictures = nt_oem_glyph_table();
    for (size_t i = 0; i < n; ++i) {
      unsigned b = bytes[i];
      WCHAR c = table[b];
      if (glyphs && b != 0 && (b < 0x20 || b == 0x7F)) c = pictures[b == 0x7F ? 0x20 : b];
      if (!out.put(c)) break;
    }
  }
  if (out.overflow) return fail(ERROR_INSUFFICIENT_BUFFER);
  return out.count;
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* src, int srclen, char* dst,
                        int dstlen, const char* default_char, BOOL* used_default) {
  if (!src || srclen == 0 || srclen < -1 || dstlen < 0 || (dstlen > 0 && !dst) ||
      (dst && static_cast<const void*>(src) == static_cast<const void*>(dst))) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  UINT page = resolve(code_page);
  if (page == 0) return fail(ERROR_INVALID_PARAMETER);
  size_t n = 0;
  if (srclen == -1) {
    while (src[n]) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(srclen);
  }
  Sink<char> out{dst, dstlen};

  if (page == CP_UTF8) {
    if (flags & ~WC_ERR_INVALID_CHARS) return fail(ERROR_INVALID_FLAGS);
    if (default_char || used_default) return fail(ERROR_INVALID_PARAMETER);
    for (size_t i = 0; i < n; ++i) {
      char32_t cp = src[i];
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
          src[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
        ++i;
      } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        if (flags & WC_ERR_INVALID_CHARS) return fail(ERROR_NO_UNICODE_TRANSLATION);
        cp = kReplacement;
      }
      unsigned char bytes[4];
      int len = nt_utf8_encode(cp, bytes);
      if (!out.fits(len)) break;
      for (int k = 0; k < len; ++k) out.put(static_cast<char>(bytes[k]));
    }
  } else {
    if (flags & ~(WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS)) return fail(ERROR_INVALID_FLAGS);
    if (used_default) *used_default = FALSE;
    char fallback = default_char ? default_char[0] : '?';
    for (size_t i = 0; i < n; ++i) {
      WCHAR c = src[i];
      int b = nt_single_byte_from_wide(page, c);
      if (b < 0) {
        // A surrogate pair is one character: one default character for both.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
            src[i + 1] <= 0xDFFF) {
          ++i;
        }
        if (used_default) *used_default = TRUE;
        if (!out.put(fallback)) break;
      } else if (!out.put(static_cast<char>(b))) {
        break;
      }
    }
  }
  if (out.overflow) return fail(ERROR_INSUFFICIENT_BUFFER);
  return out.count;
}

BOOL CharToOemA(const char* src, char* dst) {
  return convert_terminated(GetACP(), GetOEMCP(), src, dst);
}

BOOL CharToOemBuffA(const char* src, char* dst, DWORD length) {
  return convert_buffer(GetACP(), GetOEMCP(), src, dst, length);
}

BOOL OemToCharA(const char* src, char* dst) {
  return convert_terminated(GetOEMCP(), GetACP(), src, dst);
}

BOOL OemToCharBuffA(const char* src, char* dst, DWORD length) {
  return convert_buffer(GetOEMCP(), GetACP(), src, dst, length);
}

DWORD CharUpperBuffA(char* text, DWORD length) {
  return map_case_ansi<nt_wide_upper>(text, length);
}
DWORD CharLowerBuffA(char* text, DWORD length) {
  return map_case_ansi<nt_wide_lower>(text, length);
}
DWORD CharUpperBuffW(WCHAR* text, DWORD length) {
  return map_case_wide<nt_wide_upper>(text, length);
}
DWORD CharLowerBuffW(WCHAR* text, DWORD length) {
  return map_case_wide<nt_wide_lower>(text, length);
}

std::u16string nt_multibyte_to_wide(UINT code_page, std::string_view text) {
  std::u16string out;
  if (text.empty()) return out;
  // Every byte gives at most one unit (a 4-byte sequence gives two).
  out.resize(text.size());
  int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string nt_wide_to_multibyte(UINT code_page, std::u16string_view text) {
  std::string out;
  if (text.empty()) return out;
  // At most three bytes per unit (a pair gives four bytes for two units).
  out.resize(text.size() * 3);
  int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::u16string nt_ansi_to_wide(std::string_view text) { return nt_multibyte_to_wide(CP_ACP, text); }

std::string nt_wide_to_ansi(std::u16string_view text) { return nt_wide_to_multibyte(CP_ACP, text); }

std::string nt_ansi_to_oem(std::string_view text) {
  return convert_between(GetACP(), GetOEMCP(), text);
}

std::string nt_oem_to_ansi(std::string_view text) {
  return convert_between(GetOEMCP(), GetACP(), text);
}

size_t nt_ansi_length(std::string_view text) {
  if (GetACP() != CP_UTF8) return text.size();
  auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t pos = 0, count = 0;
  while (pos < text.size()) {
    nt_utf8_next(bytes, text.size(), &pos);
    ++count;
  }
  return count;
}

size_t nt_ansi_prefix_bytes(std::string_view text, size_t chars) {
  if (GetACP() != CP_UTF8) return chars < text.size() ? chars : text.size();
  auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t pos = 0;
  for (size_t i = 0; i < chars && pos < text.size(); ++i) nt_utf8_next(bytes, text.size(), &pos);
  return pos;
}
