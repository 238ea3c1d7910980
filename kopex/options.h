// The parse tables of kopex and what follows from the parsed values: the
// format texts and the switches that say whether owners and ACLs are read.
#pragma once

#include <cstddef>

namespace kopex {

// Fills the tables' defaults (the ~F default from PORTEL_FORMAT) and parses
// the process's command line, or `text` when it is not null (program name
// first). Returns the parser's result: 0 or the number of a bad argument.
int parse_options(const char* text = nullptr);

// Reads the format texts (a text naming a file is read from it) and sets
// the need-owner and need-ACL switches.
void prepare_formats();

// Length of the n-th positional argument (0: command word) as written on the
// command line, before the parser cut it; 0 when absent.
size_t raw_positional_length(const char* text, int n);

}  // namespace kopex
