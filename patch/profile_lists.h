// Reading the INI-style files of the patch code (patch files, conditions
// file, history file) through the private-profile calls, with the byte
// limits the files are read with.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32_types.h"

// The section list of a patch file (names with their terminators).
constexpr DWORD PATCH_SECTION_LIST_BYTES = 1024;
// The section list of a conditions file.
constexpr DWORD CONDITION_SECTION_LIST_BYTES = 2048;
// Every value of a patch or conditions file is read up to this many characters.
constexpr size_t PATCH_VALUE_MAX = 255;

struct SectionList {
  std::vector<std::string> names;  // in file order
  // The file's list did not fit the byte limit. `names` then holds only the
  // names that arrived whole: the profile call cuts the list anywhere, so
  // the last name before the cut is dropped unless the cut fell right after
  // its terminator. A caller must not take a cut list for the whole file.
  bool cut = false;
};

// The section names of `file`, read into a buffer of `limit` bytes. A
// missing file has no sections.
SectionList read_section_list(const char* file, DWORD limit);

// The value of `key` in `section` of `file`, at most `max_chars` characters;
// `def` (null means "") when the file, section or key is missing or the
// value is empty. When `cut` is given it tells whether the value was longer
// than `max_chars` and so was cut.
std::string read_profile_value(const char* file, const char* section, const char* key,
                               const char* def, size_t max_chars, bool* cut = nullptr);
