// Where the running program's executable lies.
#pragma once

#include <string>

// The directory of the program's own executable file: its path up to the
// last backslash (or slash, for a host path); "." when the path is unknown.
std::string program_directory();

// The directory part of an executable's path, as program_directory takes it.
std::string directory_of(const std::string& path);
