// The STARTUPINFO fields a parent hands to its child, as the value of
//
//   NT_STARTUP=<pid>:<flags>,<show>,<x>,<y>,<xsize>,<ysize>,<xchars>,<ychars>,
//              <fill>,<desktop length>,<title length>:<desktop><title>
//
// (numbers in decimal, one line; a length of -1 for a null string). The
// entry counts only in the process whose id it names.
#pragma once

#include <string>

#include "platform/process/process.h"

struct NtStartupFields {
  DWORD flags = 0;
  WORD show_window = 0;
  DWORD x = 0, y = 0, x_size = 0, y_size = 0, x_chars = 0, y_chars = 0, fill = 0;
  bool has_desktop = false;
  std::string desktop;
  bool has_title = false;
  std::string title;
};

// The text after "<pid>:" for a STARTUPINFOA.
std::string nt_startup_text(const STARTUPINFOA& info);

// Parses an NT_STARTUP value for process `pid`; false when it names another
// process or is malformed.
bool nt_parse_startup(const char* value, long pid, NtStartupFields* fields);
