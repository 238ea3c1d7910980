// The name lists of the profile calls ("a\0b\0\0": section names, or the
// key names of one section) taken apart.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

struct ProfileNames {
  std::vector<std::string> names;
  // The buffer was too small: the list ended early and its last name may
  // be cut. That name is not in `names`.
  bool cut = false;
};

// `length` is what the profile call returned for a buffer of `size` bytes
// (size - 2 means the list did not fit).
ProfileNames split_profile_names(const char* list, DWORD length, DWORD size);

// The file name the profile calls should read for `file`: a bare name is
// taken from the current directory (the profile calls would look for it in
// the Windows directory), a name with a directory part as it stands.
std::string profile_file_name(const char* file);
