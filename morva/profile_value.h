// The registry change file of the current hardware profile: the value
// "Morva" of the key "SYSTEM\CurrentControlSet\Hardware Profiles\Current"
// of HKEY_LOCAL_MACHINE, at most 256 bytes, REG_SZ or REG_EXPAND_SZ
// (expanded).
#pragma once

#include <string>

#include "platform/registry/registry.h"
#include "platform/win32_types.h"

// The expanded file name is at most this many bytes, terminator included.
constexpr DWORD MORVA_EXPANDED_SIZE = 1024;

struct ProfileFile {
  std::string file;  // the file to import
  DWORD error = 0;   // 0, or the error of the failed call
  std::string call;  // the failed call as the event names it
};

// Reads the profile value from `hklm` (HKEY_LOCAL_MACHINE of the machine).
// Failures: "RegOpenKeyEx(<key>)" with the open error;
// "RegQueryValueEx(Morva)" with the query error (234 for a value longer
// than 256 bytes), or ERROR_INVALID_DATA for a value of another type or an
// empty one; "ExpandEnvironmentStrings(Morva)" with 234 when the expanded
// name does not fit MORVA_EXPANDED_SIZE bytes.
ProfileFile read_profile_file(HKEY hklm);
