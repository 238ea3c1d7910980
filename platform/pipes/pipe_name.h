// Pipe names: parsing "\\SERVER\pipe\NAME" and where the socket lives.
#pragma once

#include <string>

#include "platform/win32_types.h"

struct NtPipePath {
  std::string server;  // empty for "."
  std::string name;    // as given
};

// Whether the text has the form of a pipe path.
bool nt_pipe_path_form(const char* text);

// Splits a pipe path: ERROR_INVALID_NAME for another form or an empty name,
// ERROR_FILENAME_EXCED_RANGE for a path longer than 256 characters.
DWORD nt_parse_pipe_path(const char* text, NtPipePath* path);

// The socket's file name for a pipe name (see named_pipe.h).
std::string nt_pipe_file_name(const std::string& name);

// The run/pipe folder of a machine ("" for the local one), created when
// `create` is set. ERROR_BAD_NETPATH for an unknown or offline machine.
DWORD nt_pipe_folder(const std::string& server, bool create, std::string* folder);
