#include "keylo/key_path.h"

#include <strings.h>

#include <cstring>

namespace {

struct Root {
  const char* name;
  HKEY key;
};

const Root kRoots[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

}  // namespace

KeyPathResult parse_key_path(const char* text, KeyPath* path) {
  if (text == nullptr) return KeyPathResult::invalid_root;
  const char* slash = std::strchr(text, '\\');
  size_t length = slash ? static_cast<size_t>(slash - text) : std::strlen(text);
  for (const Root& root : kRoots) {
    if (std::strlen(root.name) != length || strncasecmp(root.name, text, length) != 0) continue;
    if (slash == nullptr || slash[1] == '\0') return KeyPathResult::no_subkey;
    path->root = root.key;
    path->root_name.assign(text, length);
    path->subkey = slash + 1;
    return KeyPathResult::ok;
  }
  return KeyPathResult::invalid_root;
}
