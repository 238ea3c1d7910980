// The file name of a module: the running program or an executable opened for
// its resources (platform/resource/resource.h).
#pragma once

#include "platform/win32_types.h"

// Win32 semantics (XP and later): copies the path and a terminator and
// returns its length; a buffer of `size` characters that is too small gets
// the first size - 1 characters and a terminator, the call returns `size`
// and leaves ERROR_INSUFFICIENT_BUFFER. Null is the running program
// (/proc/self/exe). The path is the host path for now. Unknown modules fail
// with ERROR_MOD_NOT_FOUND.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size);
