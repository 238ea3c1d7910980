// Names of host files seen the NT way: compared without regard to case,
// ordered as NTFS orders a directory, looked up case-insensitively, and
// converted between the ANSI code page of the "A" calls and the host's
// UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// True when two UTF-8 names are equal without regard to case (the system's
// case mapping, one UTF-16 unit at a time, as NTFS compares).
bool nt_names_equal(std::string_view a, std::string_view b);

// The upper-case form of a name: the key NTFS sorts and compares by.
std::string nt_name_key(std::string_view name);

// Orders two keys made by nt_name_key: <0, 0, >0. Byte order of UTF-8 keys
// is the order of their code points, which is the order of UTF-16 units
// except between U+E000..U+FFFF and characters beyond U+FFFF (NTFS puts
// the latter first; here they come last). Such names are rare enough.
int nt_compare_keys(std::string_view a, std::string_view b);

// The host path of `names` below the host directory `base`, each name
// looked up as NT does: an exact hit first, else the first entry of the
// directory equal without regard to case. From the first name that is not
// found on, the names are taken as given (new names keep their case).
// One call costs one stat when the whole path exists as given; otherwise
// the longest prefix that exists as given is found from the end, and only
// the directories below it are read.
std::string nt_lookup_names(const std::string& base, const std::vector<std::string>& names);

// The entry of directory `dir` equal to `name` without regard to case,
// trying the exact name first. False when there is none.
bool nt_find_entry(const std::string& dir, std::string_view name, std::string* found);

// ANSI text of the "A" calls to UTF-8 and back. A plain copy when the ANSI
// code page is UTF-8 (the default); characters the page lacks become '?'.
std::string nt_ansi_to_host(std::string_view ansi);
std::string nt_host_to_ansi(std::string_view host);
