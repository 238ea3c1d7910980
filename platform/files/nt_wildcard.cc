#include "platform/files/nt_wildcard.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"

namespace {

// Expression codes, beyond every UTF-16 unit a name can hold.
constexpr uint32_t kStar = 0x10001;
constexpr uint32_t kDosStar = 0x10002;
constexpr uint32_t kDosQm = 0x10003;
constexpr uint32_t kDosDot = 0x10004;

bool is_ascii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

template <typename C>
C upper(C c) {
  if (c >= 'a' && c <= 'z') return static_cast<C>(c - 0x20);
  if constexpr (sizeof(C) == 2) {
    if (c >= 0x80) return static_cast<C>(nt_wide_upper(static_cast<WCHAR>(c)));
  }
  return c;
}

// The expression of a pattern (already upper case), DOS characters as codes.
template <typename C>
std::vector<uint32_t> expression(const std::basic_string<C>& pattern) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const uint32_t c = static_cast<std::make_unsigned_t<C>>(pattern[i]);
    const bool last = i + 1 == pattern.size();
    const C next = last ? C(0) : pattern[i + 1];
    if (c == '?') {
      out.push_back(kDosQm);
    } else if (c == '*') {
      out.push_back(next == '.' ? kDosStar : kStar);
    } else if (c == '.' && (last || next == '?' || next == '*')) {
      out.push_back(kDosDot);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Runs the expression over the name (both upper case) as a set of states.
template <typename C>
bool run(const std::vector<uint32_t>& expr, const C* name, size_t n,
         std::vector<unsigned char>& states, std::vector<unsigned char>& next) {
  const size_t m = expr.size();
  states.assign(m + 1, 0);
  next.assign(m + 1, 0);
  size_t last_dot = n;
  for (size_t i = 0; i < n; ++i) {
    if (name[i] == '.') last_dot = i;
  }
  auto close = [&](size_t i) {
    const bool at_end = i == n;
    const bool at_dot = !at_end && name[i] == '.';
    for (size_t p = 0; p < m; ++p) {
      if (!states[p]) continue;
      const uint32_t e = expr[p];
      if (e == kStar || e == kDosStar) states[p + 1] = 1;
      if (e == kDosQm && (at_end || at_dot)) states[p + 1] = 1;
      if (e == kDosDot && at_end) states[p + 1] = 1;
    }
  };
  states[0] = 1;
  for (size_t i = 0; i < n; ++i) {
    close(i);
    const uint32_t ch = static_cast<std::make_unsigned_t<C>>(upper(name[i]));
    bool any = false;
    std::fill(next.begin(), next.end(), 0);
    for (size_t p = 0; p < m; ++p) {
      if (!states[p]) continue;
      const uint32_t e = expr[p];
      if (e == kStar) {
        next[p] = 1;
      } else if (e == kDosStar) {
        if (ch != '.' || i < last_dot) next[p] = 1;
      } else if (e == kDosQm) {
        if (ch != '.') next[p + 1] = 1;
      } else if (e == kDosDot) {
        if (ch == '.') next[p + 1] = 1;
      } else if (e == ch) {
        next[p + 1] = 1;
      } else {
        continue;
      }
      any = true;
    }
    if (!any) return false;
    states.swap(next);
  }
  close(n);
  return states[m] != 0;
}

}  // namespace

bool nt_has_wildcards(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

NtPattern::NtPattern(std::string_view pattern) {
  wildcards_ = nt_has_wildcards(pattern);
  if (pattern == "*" || pattern == "*.*") {
    everything_ = true;
    return;
  }
  ascii_ = is_ascii(pattern);
  if (ascii_) {
    std::string up(pattern);
    for (char& c : up) c = upper(c);
    expr_ = expression(up);
  } else {
    std::u16string up = nt_utf16_from_wtf8(pattern);
    for (char16_t& c : up) c = upper(c);
    expr_ = expression(up);
  }
}

bool NtPattern::matches(std::string_view name) const {
  if (everything_) return true;
  if (ascii_ && is_ascii(name)) return run(expr_, name.data(), name.size(), states_, next_);
  std::u16string wide = nt_utf16_from_wtf8(name);
  return run(expr_, wide.data(), wide.size(), states_, next_);
}
