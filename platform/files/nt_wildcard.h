// The search patterns of FindFirstFileA, matched as NT matches them.
//
// The pattern is first turned into NT's expression form, as the Win32
// call does: "*.*" becomes "*"; each '?' becomes DOS_QM; a '*' followed by
// '.' becomes DOS_STAR; a '.' followed by '?', '*' or the end becomes
// DOS_DOT. Then, comparing without regard to case:
//   *        any run of characters, dots included
//   DOS_STAR any run of characters up to (not including) the name's last dot
//   DOS_QM   one character other than '.'; before a '.' or at the end of the
//            name it matches nothing (so "a??" matches "a", "ab", "abc")
//   DOS_DOT  a '.', or nothing at the end of the name
//   other    itself
// Hence "*" and "*.*" match every name, "*." matches the names without a
// dot, "*.txt" matches "a.b.txt", and "?.txt" matches ".txt".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class NtPattern {
 public:
  // `pattern` is UTF-8 text.
  explicit NtPattern(std::string_view pattern);

  // Whether the UTF-8 `name` matches. Not thread-safe (scratch space).
  bool matches(std::string_view name) const;

  bool matches_everything() const { return everything_; }
  bool has_wildcards() const { return wildcards_; }

 private:
  bool everything_ = false;
  bool wildcards_ = false;
  bool ascii_ = true;
  std::vector<uint32_t> expr_;  // upper-case units, DOS characters as codes above 0xFFFF
  mutable std::vector<unsigned char> states_;
  mutable std::vector<unsigned char> next_;
};

// True when the text holds '*' or '?'.
bool nt_has_wildcards(std::string_view text);
