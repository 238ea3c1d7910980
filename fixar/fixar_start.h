// Start-up helpers of the patch runner's console program.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

// The default time limit in seconds from the /t option, read as unsigned as
// a step's `Timelimit` is: a negative number (an empty /t gives -1) is a
// very long limit, never "do not wait".
DWORD time_limit_from_option(int32_t seconds);
