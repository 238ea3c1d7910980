// NT path names and the host paths they stand for.
//
// nt_host_path is the one place where an NT path becomes a host path; every
// file call of the layer goes through it. Today it knows host paths only:
//   "/x/y" and "\x\y"      the host path /x/y, as it stands
//   "x\y", "./x", "..\x"   relative to the process's current directory
// '\' and '/' both separate names. Drive paths ("C:\x", "C:x") fail with
// ERROR_PATH_NOT_FOUND and UNC paths ("\\SRV\SHARE\x", "//SRV/x") with
// ERROR_BAD_NETPATH until drives and shares of the emulated network are
// mapped here.
#pragma once

#include <string>

#include "platform/win32_types.h"

constexpr DWORD MAX_PATH = 260;

// TRUE and the host path in `host`, or FALSE with the Win32 error
// (ERROR_PATH_NOT_FOUND for a null or empty path, a drive path, or a
// relative path when the current directory cannot be read;
// ERROR_BAD_NETPATH for a UNC path).
bool nt_host_path(const char* nt_path, std::string* host);

// True when the path names a directory part (holds '\', '/' or a drive
// colon), false for a bare file name.
bool nt_path_has_directory(const char* nt_path);

// The Windows directory: SYSTEMROOT from the environment, else "C:\WINNT".
// Win32 sizes: the length without terminator on success; the size needed,
// terminator included, when `size` is too small (nothing is copied then);
// 0 with ERROR_INVALID_PARAMETER for a null buffer with a non-zero size.
UINT GetWindowsDirectoryA(char* buffer, UINT size);

// The Windows directory followed by "\system32", with the same sizes.
UINT GetSystemDirectoryA(char* buffer, UINT size);
