// Copy rules of the [MIRROR] section: key = source folder, value = target
// folder, optionally "/" and flag letters, optionally "," and a pattern list.
#pragma once

#include <string>
#include <vector>

// Key names of [MIRROR] are read through a list buffer of this size.
constexpr size_t MIRROR_KEYS_SIZE = 1024;
// Room for the expanded texts, terminator included.
constexpr size_t MIRROR_FOLDER_SIZE = 512;
constexpr size_t MIRROR_PATTERNS_SIZE = 1024;

struct MirrorRule {
  std::string source;  // expanded, with a trailing backslash
  std::string target;  // expanded, with a trailing backslash
  bool recurse = false;
  std::vector<std::string> patterns;  // "*" when the rule gives none
};

enum class RuleStatus { ok, no_target, too_long };

// Parses one rule. Flag letter "S" recurses; "D", "O", "a", "d" and "o" are
// accepted without effect, as is any other letter. %NAME% references are
// expanded (unknown ones stay as written); a folder that would not fit 511
// characters, or a pattern list 1,023, after expansion makes the rule
// too_long (it is passed over rather than cut, which could aim it at
// another folder).
RuleStatus parse_mirror_rule(const std::string& key, const std::string& value, MirrorRule* rule);

// The pattern list's verdict on a file name: the patterns are tried in
// order and the first that matches decides; a pattern with "!" in front
// rejects. A name that matches no pattern does not pass. Case is ignored.
bool patterns_pass(const std::string& name, const std::vector<std::string>& patterns);
