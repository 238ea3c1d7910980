// The command line of a `ZebJob` run as the service builds it:
//   <exe> SpAwN *<event>*<interactive>*<flags>*<account>*<name>*<command>
// The fields after "SpAwN" are separated by "*"; the name runs to the next
// "*" and the command line to the end.
#pragma once

#include <string>

#include "platform/win32_types.h"

struct ZebSpawnArgs {
  long event_handle = 0;
  bool interactive = false;
  DWORD flags = 0;
  DWORD account_index = 0;
  std::string name;
  std::string command;
};

// Parses the whole command line (the executable and "SpAwN" included).
// False when "SpAwN" or one of the fields is missing, or a number field
// holds anything but decimal digits (a leading '-' allowed).
bool zeb_parse_spawn_args(const std::string& command_line, ZebSpawnArgs* args);
