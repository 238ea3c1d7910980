// Environment variables with NT semantics. Names ignore case: an exact match
// is taken first, then the first variable whose name matches ignoring case.
#pragma once

#include "platform/win32_types.h"

// Returns the length of the value without terminator when it fits `size`
// characters with its terminator, else the size needed including the
// terminator (the buffer then holds as much as fits, terminated, when size is
// not 0). A missing variable gives 0 and ERROR_ENVVAR_NOT_FOUND; an empty one
// 0 and ERROR_SUCCESS.
DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size);

// Sets a variable (replacing one whose name differs only in case, keeping
// that name); a null value removes it (ERROR_ENVVAR_NOT_FOUND when there is
// none). Names must not be empty or hold '=' (ERROR_INVALID_PARAMETER).
BOOL SetEnvironmentVariableA(const char* name, const char* value);

// Replaces each %NAME% by the variable's value; references to unknown
// variables stay as written. Returns the size of the result including its
// terminator; when that exceeds `size`, the buffer holds as much as fits,
// terminated (when size is not 0), and the same size is returned.
DWORD ExpandEnvironmentStringsA(const char* source, char* buffer, DWORD size);
