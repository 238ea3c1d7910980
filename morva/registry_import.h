// The registry change file of a hardware profile: an INI-style file whose
// sections name keys of HKEY_LOCAL_MACHINE ("[HKEY_LOCAL_MACHINE\<key>]")
// and whose lines "name=text" are values in the notation of
// lib/registry_value_text.h (without the "REG_SZ:" prefix: a plain text is
// a REG_SZ without its terminator). Nothing is printed.
#pragma once

#include "platform/win32_types.h"

// Sizes of the lists of section names and value names and of one value text.
constexpr DWORD MORVA_IMPORT_BUFFER_SIZE = 5120;

// Applies `file` to the local registry. Returns 0, or the first error:
// the open error of a missing file; 87 for a file without sections or a
// section that does not name a key below HKEY_LOCAL_MACHINE; the registry's
// error for a key or value that cannot be written; ERROR_INVALID_DATA for a
// malformed number; ERROR_MORE_DATA where a name list or a value text did not
// fit its buffer. Sections are applied in file order and values in section
// order; what was applied before an error stays.
DWORD import_registry(const char* file);

// The key path of a section name, or null when the name is not
// "HKEY_LOCAL_MACHINE\<key>" (root compared without regard to case).
const char* import_section_subkey(const char* section);
