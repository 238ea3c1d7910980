// Start-up helpers of the patch runner's console program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_types.h"

// The directory of the program's own executable file: its path up to the
// last backslash (or slash, for a host path); "." when the path is unknown.
std::string program_directory();

// The directory part of an executable's path, as program_directory takes it.
std::string directory_of(const std::string& path);

// The default time limit in seconds from the /t option, read as unsigned as
// a step's `Timelimit` is: a negative number (an empty /t gives -1) is a
// very long limit, never "do not wait".
DWORD time_limit_from_option(int32_t seconds);
