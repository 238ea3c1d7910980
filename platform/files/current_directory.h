// The current directories of the process: one current directory, and the
// last current directory of every drive, as Win32 keeps them.
//
// The current directory is an NT full path ("C:\data", "\\SRV\SHARE\x")
// or, when the process started outside every drive of the local machine,
// a host path ("/home/user"). It starts from the host's working directory:
// the drive whose host folder holds it (the deepest one) gives "X:\rest";
// otherwise the host path itself. SetCurrentDirectoryA also makes the
// directory the host's working directory, so that child processes start
// there (and find the same NT directory again through the drive table).
//
// The state is per process and shared by all threads. It is started again
// when the network, the local machine or the user changes (tests run many
// networks in one process).
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

// The full path of `path` (UTF-8) against the process's current
// directories (nt_path.h for the rules and errors).
DWORD nt_get_full_path(std::string_view path, std::string* full);

// The current directory (UTF-8 full path).
std::string nt_current_directory();

// Forgets the current directories; the next call starts them again from the
// host's working directory.
void nt_reset_current_directories();

// Win32 sizes: the length without terminator; when `size` is too small, the
// size needed (terminator included) and nothing copied; 0 with the error.
DWORD GetCurrentDirectoryA(DWORD size, char* buffer);

// Makes `path` the current directory (and the current directory of its
// drive). ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when it does not
// exist, ERROR_DIRECTORY when it is a file, the path errors of
// nt_host_path, ERROR_INVALID_PARAMETER for null.
BOOL SetCurrentDirectoryA(const char* path);

// The full path of `name` into `buffer` with the sizes above; *file_part
// (when given) points at its last name in `buffer`, or is null when the
// path ends with a separator. Nothing on disk is checked.
DWORD GetFullPathNameA(const char* name, DWORD size, char* buffer, char** file_part);
