// Key paths of the import file's sections and of `keylo show`:
//   HKEY_LOCAL_MACHINE\sub\key   HKEY_CURRENT_USER\...   HKEY_CLASSES_ROOT\...
// The root name is compared without regard to case.
#pragma once

#include <string>

#include "platform/registry/registry.h"

enum class KeyPathResult {
  ok,
  invalid_root,  // the first component names no root keylo writes to
  no_subkey,     // a root alone, or a root and a backslash
};

struct KeyPath {
  HKEY root = nullptr;
  std::string root_name;  // as written
  std::string subkey;     // what follows the root and its backslash
};

KeyPathResult parse_key_path(const char* text, KeyPath* path);
