// WinExec: starts a program from a command line with a show mode, the way
// the old 16-bit call does, over CreateProcessA.
//
// The child receives the command line as given and STARTUPINFO with
// STARTF_USESHOWWINDOW and `show` in wShowWindow (SW_HIDE, SW_SHOWNORMAL,
// SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, SW_SHOWMINNOACTIVE, ...). It does not
// inherit handles. Both handles of the child are closed at once, so the
// layer reaps the child when it ends (it never stays a zombie).
//
// Result: above 31 when the program started (33), else
//   0                      out of memory or resources (any other failure)
//   ERROR_FILE_NOT_FOUND   2   no such program
//   ERROR_PATH_NOT_FOUND   3   no such folder
//   5                          the program may not be run (not executable,
//                              a directory)
//   ERROR_BAD_FORMAT       11  the file is no program
// A null or empty command line gives ERROR_FILE_NOT_FOUND (2). The error
// of the failed start also stays for GetLastError.
#pragma once

#include "platform/win32_types.h"

UINT WinExec(const char* command_line, UINT show);
