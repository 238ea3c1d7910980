// Win32 codes for failed host file calls, where the errno alone does not
// tell NT's answer.
#pragma once

#include <string>

#include "platform/win32_types.h"

// The directory part of a host path ("/" for a name at the root, "." for
// none).
std::string nt_host_parent(const std::string& host);

// The Win32 code of a failed name lookup: a missing file in an existing
// directory is ERROR_FILE_NOT_FOUND, a missing directory on the way (or a
// file used as a directory) ERROR_PATH_NOT_FOUND; other errno values map
// as win32_error_from_errno does.
DWORD nt_lookup_error(int err, const std::string& host);

// Sets `code` as the last error and returns it.
DWORD nt_fail(DWORD code);
