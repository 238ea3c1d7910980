// NT path names and the host paths they stand for.
//
// nt_host_path is the one place where an NT path becomes a host path; every
// file call of the layer goes through it. The path is first made a full
// path against the process's current directories (current_directory.h,
// syntax in nt_path.h), then:
//   "C:\x\y"          drive C: of the local machine (drives.h): its host
//                     folder, or the share a remote drive names
//   "\\SRV\SHARE\x"   the share SHARE of machine SRV (drives.h)
//   "/x/y"            the host path as it stands (for Linux users)
//   "\\.\COM1"        device names are refused (ERROR_FILE_NOT_FOUND);
//                     "\\.\C:\x" and "\\?\C:\x" are drive paths
// Below a drive or share root every name is looked up without regard to
// case (host_names.h); a name not found keeps the case given, so new files
// get the name as written. Host paths are used exactly as given.
//
// Errors: ERROR_PATH_NOT_FOUND for a null or empty path and for a drive
// letter that is not mapped (as NT reports a path on an absent drive),
// ERROR_INVALID_NAME for characters NT forbids, ERROR_FILENAME_EXCED_RANGE
// for a full path of MAX_PATH characters or more, ERROR_BAD_NETPATH for an
// unknown or offline machine, ERROR_BAD_NET_NAME for an unknown share or
// one that is no disk share.
#pragma once

#include <string>

#include "platform/win32_types.h"

constexpr DWORD MAX_PATH = 260;

// An NT path resolved.
struct NtResolvedPath {
  std::string full;        // the NT full path (UTF-8): "C:\Dir\new.txt"
  std::string host;        // the host path: ".../drives/C/dir/new.txt"
  bool root = false;       // the root of a drive (or share of a drive root, or "/")
  std::string given_name;  // the last name as written ("new.txt"); empty for a root
};

// Resolves an ANSI NT path; ERROR_SUCCESS or the Win32 error (not set as
// the last error).
DWORD nt_resolve_path(const char* nt_path, NtResolvedPath* out);
// Resolves a full path made by nt_get_full_path (UTF-8).
DWORD nt_resolve_full_path(const std::string& full, NtResolvedPath* out);

// TRUE and the host path in `host`, or FALSE with the Win32 error set.
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
