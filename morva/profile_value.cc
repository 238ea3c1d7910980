#include "morva/profile_value.h"

#include "morva/morva_names.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"

namespace {

ProfileFile failure(DWORD error, const std::string& call) {
  ProfileFile out;
  out.error = error;
  out.call = call;
  return out;
}

}  // namespace

ProfileFile read_profile_file(HKEY hklm) {
  const std::string query_call = std::string("RegQueryValueEx(") + MORVA_VALUE_PROFILE + ")";
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(hklm, MORVA_PROFILE_KEY, 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    return failure(static_cast<DWORD>(rc), std::string("RegOpenKeyEx(") + MORVA_PROFILE_KEY + ")");
  }
  // One byte more than the value may have, so that a value stored without
  // its terminator still ends.
  char data[MORVA_PROFILE_VALUE_SIZE + 1] = {};
  DWORD size = MORVA_PROFILE_VALUE_SIZE;
  DWORD type = REG_NONE;
  rc = RegQueryValueExA(key, MORVA_VALUE_PROFILE, nullptr, &type, reinterpret_cast<BYTE*>(data),
                        &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return failure(static_cast<DWORD>(rc), query_call);
  data[size < MORVA_PROFILE_VALUE_SIZE ? size : MORVA_PROFILE_VALUE_SIZE] = '\0';
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || data[0] == '\0') {
    return failure(ERROR_INVALID_DATA, query_call);
  }
  ProfileFile out;
  if (type == REG_SZ) {
    out.file = data;
    return out;
  }
  char expanded[MORVA_EXPANDED_SIZE];
  DWORD needed = ExpandEnvironmentStringsA(data, expanded, sizeof expanded);
  if (needed == 0 || needed > sizeof expanded) {
    return failure(needed == 0 ? GetLastError() : ERROR_MORE_DATA,
                   std::string("ExpandEnvironmentStrings(") + MORVA_VALUE_PROFILE + ")");
  }
  out.file = expanded;
  return out;
}
