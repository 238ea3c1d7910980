// Keeping the previous executable of a service when it is replaced: the old
// file stays beside the new one under a name that carries its version.
#pragma once

#include <string>

#include "platform/win32_types.h"

// The backup name of `path`: the text after the last '.' of its file name
// replaced by `version` ("C:\APP\svc.exe", "V1.0.0100" gives
// "C:\APP\svc.V1.0.0100"). Empty when the file name has no '.' (a '.' in a
// directory name does not count). An empty version is written "old".
std::string version_backup_name(const std::string& path, const std::string& version);

// Moves `file` to `backup`, deleting an existing `backup` first. Prints
// "<prefix>-INFO, moved %s to %s\n" on standard output, or
// "<prefix>-ERROR, cannot move %s to %s, error=%ld\n" on standard error and
// returns the error. 0 on success.
DWORD move_to_backup(const char* prefix, const std::string& file, const std::string& backup);
