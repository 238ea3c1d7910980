// The mail sender's INI file: where it is and what it says.
//
//   [Connection]
//   Answer=<text the greeting must contain; at most 79 characters>
//   Response Timeout=<polls to wait for an expected text; default 10>
//   [Commands]
//   <line template>=<text the answer to it must contain; at most 79 characters>
//
// The key list of [Commands] is read into 2,560 bytes and must stay under
// 2,558 bytes (names with their terminators).
#pragma once

#include <string>

#include "postar/dialogue.h"

constexpr char CONNECTION_SECTION[] = "Connection";
constexpr char COMMANDS_SECTION[] = "Commands";
constexpr char DEFAULT_INI_NAME[] = "SMTP.INI";
constexpr int KEY_LIST_SIZE = 2560;
constexpr int KEY_LIST_MAX = 2557;
constexpr int DEFAULT_RESPONSE_TIMEOUT = 10;

// Exit codes of the start.
constexpr int EXIT_NO_DIALOGUE = 1;
constexpr int EXIT_NO_PROGRAM_PATH = 2;

// The INI file /i names (a bare file name is taken from the current
// directory), or SMTP.INI beside the program. False after printing
// "GetModuleFilename() failed" when the program's path cannot be read.
bool ini_file_path(const char* option, std::string* path);

// Reads the settings of `ini` into `settings`. Returns 0, or the exit code
// after printing why the dialogue cannot start: EXIT_NO_DIALOGUE (1) for an
// INI file that cannot be opened, a command list that is too long, or no
// commands at all.
int read_settings(const std::string& ini, DialogueSettings* settings);
