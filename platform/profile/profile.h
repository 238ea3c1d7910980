// Private profile (INI) files.
//
// File syntax, as the system reads it:
//   [Section]          a section header; the name is trimmed of blanks and tabs
//   key=value          an entry; key and value are trimmed of blanks and tabs
//   key                an entry without a value (listed; lookups give the default)
//   ; text             a comment, only at the start of a line (after blanks)
// Lines end with CRLF or LF; lines before the first header belong to no
// section. Section and key names compare without regard to case (the
// system's case mapping); the first section and the first key of a name win.
// Contents are in the ANSI code page and are kept as bytes.
//
// A file name without a directory part lives in the Windows directory
// (GetWindowsDirectoryA); a null file name is "WIN.INI" there.
//
// Writes keep every other line, comments and the order of the file as they
// are, and write the whole file with CRLF line ends into a temporary file
// beside it that is then renamed over it, so that a failed write leaves the
// old file untouched.
#pragma once

#include "platform/win32_types.h"

// The value of `key` in `section`, without a pair of matching outer quotes
// ('...' or "..."); `def` (null means "") with its trailing blanks removed
// when the file, the section or the key is missing (ERROR_FILE_NOT_FOUND).
// A null `section` gives the list of section names, a null `key` the list of
// keys of the section: each name with its terminator, then one more.
// Returns the number of characters copied without the terminator; a cut
// value returns size - 1 and a cut list size - 2 (ERROR_MORE_DATA), the cut
// list still ending with two terminators. Nothing is copied for size 0.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                               char* buffer, DWORD size, const char* file);

// The number the key's value starts with, read the way the system converts
// text to an integer: leading blanks, one optional sign, then decimal digits,
// or hexadecimal after "0x", octal after "0o", binary after "0b"; reading
// stops at the first other character, so "12ab" gives 12 and "abc" gives 0.
// A negative number comes back as its two's complement. `def` when the key
// is missing or its value is empty.
UINT GetPrivateProfileIntA(const char* section, const char* key, INT def, const char* file);

// All entries of a section as "key=value" (or "key" for entries without a
// value) with terminators and a final extra one; comments are left out.
// Return values as for the lists of GetPrivateProfileStringA.
DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size, const char* file);

// The list of section names, as GetPrivateProfileStringA with a null section.
DWORD GetPrivateProfileSectionNamesA(char* buffer, DWORD size, const char* file);

// Sets `key` in `section` to `value`, creating the file and the section when
// needed (a new key goes after the section's last entry, a new section at
// the end of the file). A null `value` deletes the key; a null `key`
// deletes the section with all its lines. A null `section` is refused with
// ERROR_INVALID_PARAMETER (all three null: nothing to do, TRUE).
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);

// Replaces all entries of `section` with `data`: lines with terminators,
// ended by an extra terminator ("a=1\0b=2\0\0"). A null `data` deletes the
// section. Comments of the old section go with it.
BOOL WritePrivateProfileSectionA(const char* section, const char* data, const char* file);
