// Directories: CreateDirectoryA and RemoveDirectoryA.
#pragma once

#include "platform/win32_types.h"

struct SECURITY_ATTRIBUTES;

// Makes one directory, its name in the case given. Errors:
// ERROR_ALREADY_EXISTS (a file or directory of that name, in any case),
// ERROR_PATH_NOT_FOUND (the parent is missing), ERROR_ACCESS_DENIED, the
// path errors. `security` is not read yet (default security).
BOOL CreateDirectoryA(const char* path, SECURITY_ATTRIBUTES* security);

// Removes an empty directory. Errors: ERROR_DIR_NOT_EMPTY,
// ERROR_ACCESS_DENIED (read-only, or the root of a drive or share),
// ERROR_DIRECTORY (a file), ERROR_SHARING_VIOLATION (the process's current
// directory), ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND.
BOOL RemoveDirectoryA(const char* path);
