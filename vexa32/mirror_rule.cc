#include "vexa32/mirror_rule.h"

#include "lib/wildcard.h"
#include "platform/kernel/environment.h"

namespace {

// Expands %NAME% references into at most `size` - 1 characters; false when
// the result does not fit.
bool expand(const std::string& text, size_t size, std::string* out) {
  std::string buffer(size, '\0');
  DWORD need = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(size));
  if (need == 0 || need > size) return false;
  out->assign(buffer.c_str());
  return true;
}

std::string with_backslash(std::string folder) {
  if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '\\';
  return folder;
}

}  // namespace

RuleStatus parse_mirror_rule(const std::string& key, const std::string& value, MirrorRule* rule) {
  *rule = MirrorRule();
  size_t comma = value.find(',');
  std::string head = value.substr(0, comma);
  std::string patterns = comma == std::string::npos ? "" : value.substr(comma + 1);
  size_t slash = head.find('/');
  std::string target = head.substr(0, slash);
  std::string flags = slash == std::string::npos ? "" : head.substr(slash + 1);
  while (!target.empty() && (target.back() == ' ' || target.back() == '\t')) target.pop_back();
  if (target.empty()) return RuleStatus::no_target;
  for (char c : flags) {
    if (c == 'S') rule->recurse = true;
  }
  std::string expanded_patterns;
  if (!expand(key, MIRROR_FOLDER_SIZE, &rule->source) ||
      !expand(target, MIRROR_FOLDER_SIZE, &rule->target) ||
      !expand(patterns, MIRROR_PATTERNS_SIZE, &expanded_patterns)) {
    return RuleStatus::too_long;
  }
  rule->source = with_backslash(rule->source);
  rule->target = with_backslash(rule->target);
  size_t start = 0;
  while (!expanded_patterns.empty() && start <= expanded_patterns.size()) {
    size_t end = expanded_patterns.find(',', start);
    if (end == std::string::npos) end = expanded_patterns.size();
    std::string one = expanded_patterns.substr(start, end - start);
    if (!one.empty()) rule->patterns.push_back(one);
    start = end + 1;
  }
  if (rule->patterns.empty()) rule->patterns.push_back("*");
  return RuleStatus::ok;
}

bool patterns_pass(const std::string& name, const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    const bool reject = !pattern.empty() && pattern[0] == '!';
    const char* p = pattern.c_str() + (reject ? 1 : 0);
    if (match_wildcard(name.c_str(), p, 0)) return !reject;
  }
  return false;
}
