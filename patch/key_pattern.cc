#include "patch/key_pattern.h"

#include <cstring>
#include <string>

#include "lib/wildcard.h"

namespace {

// `path` with its first `resolved` characters already standing for one
// existing key: wildcards are looked for only after them, so that a
// subkey whose own name holds "*" or "?" is taken as it is.
LONG open_pattern(HKEY root, const std::string& path, size_t resolved) {
  size_t wild = path.find_first_of("*?", resolved);
  if (wild == std::string::npos) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc;
  }
  // The component that holds the wildcard, the prefix before it and the rest.
  size_t component = path.rfind('\\', wild);
  component = component == std::string::npos ? 0 : component + 1;
  size_t component_end = path.find('\\', wild);
  if (component_end == std::string::npos) component_end = path.size();
  std::string prefix = component > 0 ? path.substr(0, component - 1) : std::string();
  std::string pattern = path.substr(component, component_end - component);
  std::string rest = path.substr(component_end);

  HKEY parent = root;
  if (!prefix.empty()) {
    LONG rc = RegOpenKeyExA(root, prefix.c_str(), 0, KEY_READ, &parent);
    if (rc != ERROR_SUCCESS) return rc;
  }
  LONG result = ERROR_FILE_NOT_FOUND;
  char name[KEY_PATTERN_NAME_MAX + 1];
  for (DWORD index = 0;; ++index) {
    LONG rc = RegEnumKeyA(parent, index, name, sizeof name);
    if (rc == ERROR_MORE_DATA) continue;  // a name too long to read: passed over
    if (rc != ERROR_SUCCESS) break;
    if (!match_wildcard(name, pattern.c_str(), 0)) continue;
    std::string candidate = prefix.empty() ? std::string(name) : prefix + "\\" + name;
    size_t now_resolved = candidate.size();
    candidate += rest;
    result = open_pattern(root, candidate, now_resolved);
  }
  if (parent != root) RegCloseKey(parent);
  return result;
}

}  // namespace

LONG open_key_pattern(HKEY root, const char* path) {
  return open_pattern(root, path != nullptr ? path : "", 0);
}
