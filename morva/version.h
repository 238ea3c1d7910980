// The version string of morva: string resource 2 (such as "V1.0"), a ".",
// and string resource 3 without its first two characters ("@B0100" gives
// "V1.0.0100").
#pragma once

#include <string>

std::string morva_version_string(const char* resource2, const char* resource3);

// The running program's version string.
std::string morva_program_version();
