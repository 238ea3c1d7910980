// Opening a registry key whose path may hold the wildcards "*" and "?".
#pragma once

#include "platform/registry/registry.h"

// Subkey names are enumerated into a buffer of this many characters.
constexpr DWORD KEY_PATTERN_NAME_MAX = 63;

// 0 when a key that matches `path` below `root` exists and can be opened
// for reading; otherwise an error code: the error of the open, or
// ERROR_FILE_NOT_FOUND (2) when no subkey matched.
//
// A path without wildcards is opened with KEY_READ. Otherwise the path
// component with the first wildcard is the name pattern: its parent (the
// components before it; empty for the root itself) is opened and each of
// its direct subkeys whose name matches the pattern (case ignored) is tried
// with the rest of the path, in enumeration order; the outcome for the last
// matching subkey decides. Subkey names longer than 63 characters cannot be
// read and are passed over; the enumeration goes on after them.
LONG open_key_pattern(HKEY root, const char* path);
