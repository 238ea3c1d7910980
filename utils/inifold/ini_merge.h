// Applying a changes file to a target file, both parsed by parse_ini.
//
// Keys are compared without regard to letter case; a key ends at "=" or at
// a character below 33. A changes entry C acts on a target entry T with the
// same key as follows:
//   key          delete T (C is used up)
//   key=         replace T by C
//   key=!value   delete T when T's value equals value (case ignored)
//   key==value   replace T by C when T's value equals value
//   key=value    replace T by C
// A value is the whole rest of the entry after its first "=".
#pragma once

#include <string>
#include <string_view>

#include "utils/inifold/ini_file.h"

enum class EntryAction { kNoMatch, kDelete, kReplace };

// What the changes entry `change` does to the target entry `target`.
EntryAction compare_entry(std::string_view target, std::string_view change);

// True when two section names are the same, case ignored.
bool same_section_name(std::string_view a, std::string_view b);

// The merged file, every line ending in "\r\n":
// - each target section, in order, meets the first unused changes section
//   of its name: without one it is written unchanged; an empty one deletes
//   it; otherwise its entries are applied to the target's entries in order,
//   and then its unused entries holding "=" but not "=!" are appended. In
//   such a section every written entry has its first "==" turned into "=".
// - headers are "[name]", with an empty line before all but the first;
// - each changes section left unused is appended as a new section, entries
//   holding "=" written as they stand (nothing at all when it has none).
// Marks what it uses in `changes`.
std::string merge_ini(const IniFile& target, IniFile* changes);
