#include "patch/condition_kinds.h"

#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "lib/time_syntax.h"
#include "lib/wildcard.h"
#include "patch/history_file.h"
#include "patch/key_pattern.h"
#include "patch/patch_output.h"
#include "platform/files/find_file.h"
#include "platform/kernel/environment.h"

namespace {

struct RootName {
  const char* name;
  HKEY key;
};

bool environment_condition(const char* variable, const char* argument) {
  const char* equals = strchr(argument, '=');
  if (equals == nullptr) {
    patch_error("FIXAR-ERROR, no '=' found in %s\n", variable);
    return false;
  }
  std::string name(argument, equals);
  char value[CONDITION_ENV_VALUE_MAX + 1] = "";
  // An undefined variable reads as empty; a longer value is cut to 511
  // characters, terminated, by the call itself.
  if (GetEnvironmentVariableA(name.c_str(), value, sizeof value) == 0) value[0] = '\0';
  return match_wildcard(value, equals + 1, 0);
}

bool file_condition(const char* argument) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(argument, &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool key_condition(const char* argument) {
  HKEY root;
  const char* path;
  if (!split_key_root(argument, &root, &path)) {
    patch_error("FIXAR-ERROR, '%s': invalid key name\n", argument);
    return false;
  }
  return open_key_pattern(root, path) == ERROR_SUCCESS;
}

// Compares a value read from the registry with the pattern of a V condition.
bool value_matches(const char* value_name, DWORD type, BYTE* data, DWORD size,
                   const char* pattern, bool verbose) {
  switch (type) {
    case REG_SZ:
    case REG_MULTI_SZ:
      // The data may lack its terminator; the buffer has a byte to spare.
      // A multi-string ends at the end of its first string.
      data[size] = 0;
      return match_wildcard(reinterpret_cast<const char*>(data), pattern, 0);
    case REG_EXPAND_SZ: {
      data[size] = 0;
      char expanded[CONDITION_ENV_VALUE_MAX + 1];
      ExpandEnvironmentStringsA(reinterpret_cast<const char*>(data), expanded, sizeof expanded);
      expanded[CONDITION_ENV_VALUE_MAX] = '\0';
      return match_wildcard(expanded, pattern, 0);
    }
    case REG_DWORD: {
      uint32_t bits = 0;
      for (DWORD i = 0; i < size && i < 4; ++i) bits |= static_cast<uint32_t>(data[i]) << (8 * i);
      return in_range(pattern, static_cast<int32_t>(bits));
    }
    default:
      if (verbose) patch_info("FIXAR-INFO, type of %s is not supported\n", value_name);
      return false;
  }
}

bool value_condition(const char* variable, const char* argument, bool verbose) {
  HKEY root;
  const char* path;
  if (!split_key_root(argument, &root, &path)) {
    patch_error("FIXAR-ERROR, '%s': invalid key name\n", argument);
    return false;
  }
  const char* equals = strchr(argument, '=');
  if (equals == nullptr) {
    patch_error("FIXAR-ERROR, no '=' found in %s\n", variable);
    return false;
  }
  const char* backslash = equals;
  while (backslash > argument && backslash[-1] != '\\') --backslash;
  if (backslash == argument) {
    patch_error("FIXAR-ERROR, no '\\' found in %s before '='\n", variable);
    return false;
  }
  --backslash;  // at the backslash before the value name
  // The root's own backslash there leaves an empty key path: the value is
  // looked for in the root key itself.
  std::string key_path = backslash >= path ? std::string(path, backslash) : std::string();
  std::string value_name(backslash + 1, equals);

  HKEY key = nullptr;
  LONG rc = RegOpenKeyA(root, key_path.c_str(), &key);
  if (rc != ERROR_SUCCESS) {
    if (verbose) {
      patch_info("FIXAR-INFO, RegOpenKey(%s)failed, error=%ld\n", key_path.c_str(),
                 static_cast<long>(rc));
    }
    return false;
  }
  BYTE data[CONDITION_REG_VALUE_BYTES + 1];
  DWORD size = CONDITION_REG_VALUE_BYTES;
  DWORD type = REG_NONE;
  rc = RegQueryValueExA(key, value_name.c_str(), nullptr, &type, data, &size);
  bool result = false;
  if (rc != ERROR_SUCCESS) {
    if (verbose) {
      patch_info("FIXAR-INFO, RegQueryValue(%s) failed, error=%ld\n", value_name.c_str(),
                 static_cast<long>(rc));
    }
  } else {
    if (size > CONDITION_REG_VALUE_BYTES) size = CONDITION_REG_VALUE_BYTES;
    result = value_matches(value_name.c_str(), type, data, size, equals + 1, verbose);
  }
  RegCloseKey(key);
  return result;
}

}  // namespace

bool split_key_root(const char* text, HKEY* root, const char** key_path) {
  static const RootName roots[] = {
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKEY_USERS", HKEY_USERS},
  };
  if (text == nullptr) return false;
  for (const RootName& r : roots) {
    size_t length = strlen(r.name);
    if (strncasecmp(text, r.name, length) == 0 && text[length] == '\\') {
      *root = r.key;
      *key_path = text + length + 1;
      return true;
    }
  }
  return false;
}

bool evaluate_condition(const char* variable, const char* text, const char* history_file,
                        bool verbose) {
  if (text == nullptr || text[0] == '\0') return false;
  const char* argument = text + 1;
  switch (text[0]) {
    case 'E':
    case 'e':
      return environment_condition(variable, argument);
    case 'F':
    case 'f':
      return file_condition(argument);
    case 'K':
    case 'k':
      return key_condition(argument);
    case 'P':
    case 'p':
      return patch_done(history_file, argument);
    case 'V':
    case 'v':
      return value_condition(variable, argument, verbose);
    default:
      return false;
  }
}
