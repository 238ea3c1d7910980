// The table-driven parser of every console tool's command line:
//   <tool> <cmd> <target> [/options] [-criteria] [+lowcriteria] [~formats]
#pragma once

#include <cstddef>

#include "lib/arg_spec.h"

// Most tokens a command line is split into, the program name included.
// Tokens past the last are ignored: the rest of the line is not read.
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

// Splits `text` in place into at most `max_tokens` tokens (blanks separate
// them; quotes group and are dropped as the command-line syntax says) and
// stores pointers into `text`. Returns the number of tokens.
int tokenize_command_line(char* text, char* tokens[], int max_tokens);

// Reads a decimal number with an optional sign, stopping at the first other
// character; values beyond 32 bits saturate at INT32_MIN / INT32_MAX. False
// for a non-numeric text: a result of 0 from a text not starting with '0'.
bool read_arg_number(const char* text, int32_t* out);

// Bytes of `text` to keep so that at most `max_bytes` are kept and, under a
// UTF-8 ANSI code page, no character is cut in two.
size_t ansi_cut_bytes(const char* text, size_t max_bytes);
