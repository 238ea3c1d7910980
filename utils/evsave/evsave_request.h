// evsave's command line and the name of the file it writes.
#pragma once

#include <string>

#include "platform/win32_types.h"

// The log argument is copied up to this many characters.
constexpr size_t kEvsaveMaxLogArgument = 253;
// The target file name with ".EVT" must fit a MAX_PATH buffer (260
// characters with the terminator).
constexpr size_t kEvsaveMaxFileName = 259;

struct EvsaveRequest {
  bool clear = false;     // -c
  std::string server;     // from "\\server\log"; empty for the local machine
  std::string log;        // the log name, passed on as given
  bool has_file = false;  // a file name was given
  std::string file;       // without ".EVT"
};

// Reads `evsave [-c] [\\<server>\]<type> [<filename>]` (arguments after
// the program name); false when there is no log argument. Arguments after
// the file name are ignored.
bool parse_evsave_arguments(int argc, char** argv, EvsaveRequest* request);

// The target file name with ".EVT": the given name, or the machine's name
// (`machine`: the named server, else the computer name), "_", the log, "_"
// and the local time as YYYYMMDDhhmm.
std::string evsave_file_name(const EvsaveRequest& request, const std::string& machine,
                             const SYSTEMTIME& now);
