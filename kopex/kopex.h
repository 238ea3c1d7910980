// The kopex tool: shows, deletes, sets properties of, copies, updates and
// mirrors file trees on local drives, drive classes and server shares.
//
//   kopex <cmd> <spec> [<target>] [/options] [-criteria] [~formats]
#pragma once

namespace kopex {

// Runs the tool on the process's command line, or on `command_line` (the
// program name first) when it is not null. Returns the exit code; help and
// version texts end the process.
int kopex_main(const char* command_line = nullptr);

}  // namespace kopex
