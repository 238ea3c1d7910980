#include "lib/wildcard.h"

#include <cstring>
#include <vector>

#include "lib/command_line_parser.h"
#include "platform/nls/codepage.h"

namespace {

// Case-blind matching looks at this many bytes of each text.
constexpr size_t kFoldMax = 1024;

// One character of an ANSI text: its code point under a UTF-8 page (an
// invalid byte stands for itself, offset past the Unicode range), else the
// byte. `*` and `?` keep their ASCII values either way.
std::vector<uint32_t> split_characters(const char* text, size_t length, bool utf8) {
  std::vector<uint32_t> out;
  out.reserve(length);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    unsigned char b = s[i];
    if (!utf8 || b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t cp = extra == 1 ? (b & 0x1Fu) : extra == 2 ? (b & 0x0Fu) : (b & 0x07u);
    bool ok = extra > 0;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + static_cast<size_t>(k) >= length || (s[i + k] & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (s[i + k] & 0x3Fu);
      }
    }
    if (ok) {
      out.push_back(cp);
      i += static_cast<size_t>(extra) + 1;
    } else {
      out.push_back(0x110000u + b);
      ++i;
    }
  }
  return out;
}

// Iterative matcher: on a mismatch it returns to the last `*` and lets it
// swallow one more character, so the cost stays at text times pattern.
bool match_characters(const std::vector<uint32_t>& text, const std::vector<uint32_t>& pattern) {
  size_t t = 0, p = 0;
  size_t star = SIZE_MAX, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++t;
      ++p;
    } else if (star != SIZE_MAX) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Upper-cased copy of at most kFoldMax bytes, not cut inside a character.
std::vector<uint32_t> folded(const char* text, bool utf8) {
  char copy[kFoldMax + 1];
  size_t n = ansi_cut_bytes(text, kFoldMax);
  memcpy(copy, text, n);
  copy[n] = '\0';
  CharUpperBuffA(copy, static_cast<DWORD>(n));
  return split_characters(copy, n, utf8);
}

}  // namespace

bool has_wildcard(const char* text) {
  if (text == nullptr || *text == '\0') return false;
  return strpbrk(text, "*?") != nullptr;
}

bool match_wildcard(const char* text, const char* pattern, int exact_case) {
  if (pattern == nullptr) return true;
  if (text == nullptr) return false;
  const bool utf8 = GetACP() == CP_UTF8;
  if (exact_case != 0) {
    return match_characters(split_characters(text, strlen(text), utf8),
                            split_characters(pattern, strlen(pattern), utf8));
  }
  return match_characters(folded(text, utf8), folded(pattern, utf8));
}
