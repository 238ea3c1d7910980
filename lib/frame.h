// The frame every console tool shares: help and version texts from the
// program's string resources, the standard event lines, the confirmation
// prompt, hidden password entry and the exit codes.
#pragma once

#include "platform/win32_types.h"

constexpr int EV_ERROR = 1;
constexpr int EV_WARNING = 2;
constexpr int EV_INFO = 3;
constexpr int EV_ARGUMENT = 11;
constexpr int EV_COMMAND = 12;

constexpr int EXIT_DONE = 0;
constexpr int EXIT_INVALID_PARAMETER = 87;
constexpr int EXIT_HELP = -1;

// String resource ids of every tool.
constexpr UINT IDS_FILE_NAME = 1;   // "@F" and the program name
constexpr UINT IDS_VERSION = 2;     // "V1.1"
constexpr UINT IDS_BUILD = 3;       // "@B0251"
constexpr UINT IDS_USAGE = 6;       // help text
constexpr UINT IDS_NOTICE = 7;      // end of the version line
constexpr UINT IDS_USAGE_MORE = 8;  // 8 to 12: further help pages

constexpr int PASSWORD_MAX = 23;

// Process-wide flags.
extern bool yes_to_all;
extern bool verbose;

// Where the frame takes its resources from; null (the default) is the
// running program.
void set_frame_module(HMODULE module);

// Prints the version line and, when `full`, the help pages; exits with -1.
[[noreturn]] void show_help(bool full);

// Prints one standard event line; exits with `exit_code` when it is not 0.
void show_error(const char* what, int kind, long number, int exit_code);

// Asks `question` (printed as given) and reads one answer line; true for yes.
bool confirm(const char* question);

// Reads a password of at most 23 characters without echo; returns its length.
int read_password(char* buffer);
int read_password_wide(WCHAR* buffer);
