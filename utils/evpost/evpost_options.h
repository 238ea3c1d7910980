// evpost's command line: switches -s<source> and -t<type>, up to four
// messages.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

constexpr size_t kEvpostMaxMessages = 4;

struct EvpostOptions {
  std::string source = "EvPost";
  WORD type = 0x0001;  // EVENTLOG_ERROR_TYPE
  std::vector<std::string> messages;  // at most four; later ones are dropped
};

enum class EvpostParse {
  ok,
  invalid_switch,  // *bad holds the letter (NUL for a lone "-")
  invalid_type,    // *bad holds the type letter (NUL for "-t" alone)
};

// Reads the arguments after the program name, left to right.
EvpostParse parse_evpost_arguments(int argc, char** argv, EvpostOptions* options, char* bad);
