// The parse tables of the zeb client: the command word and the main
// argument, the options, the criteria and the formats, and what turns the
// parsed values into a ZebClientArgs.
#pragma once

#include "zeb/client_args.h"

// What the parse gave besides the arguments.
struct ZebParseOutcome {
  int result = 0;     // parse_command_line's result: 0, an argument number, -1
  bool help = false;  // /? was given
};

// Parses `command_line` (the program name first; null: the process's own
// command line) into `args`. The criteria table that args->criteria points
// to lives as long as the process; a second parse overwrites it. PARAM
// lines of a bad token go to standard error.
ZebParseOutcome zeb_parse_client_args(const char* command_line, ZebClientArgs* args);

// The letter and the count of an interval option text ("d2", "h", "m30"):
// the first character is the unit, the rest the count (1 when empty).
// False, with count -1, when the rest is not a number of 0 or more.
bool zeb_split_interval(const char* text, char* unit, long* count);
