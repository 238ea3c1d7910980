// The table-driven parser of every console tool's command line:
//   <tool> <cmd> <target> [/options] [-criteria] [+lowcriteria] [~formats]
#pragma once

#include "lib/arg_spec.h"

// Most tokens a command line is split into, the program name included.
// Tokens past the last are ignored.
constexpr int MAX_TOKENS = 256;

// Parses the process's command line (GetCommandLineA) against the four
// tables, any of which may be null. Returns 0; the 1-based argument number
// of the first bad token; the 1-based index of a missing mandatory entry;
// or -1 for a table entry whose datatype the token kind does not allow.
// Prints its PARAM-ERROR line to standard error except in the silent cases.
int parse_command_line(ArgSpec* params, ArgSpec* options, ArgSpec* criteria, ArgSpec* formats);

// The same on a given command line text (the program name first).
int parse_command_text(const char* command_line, ArgSpec* params, ArgSpec* options,
                       ArgSpec* criteria, ArgSpec* formats);
