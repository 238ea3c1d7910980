// The process's command line as one text, as NT hands it to a program.
//
// A program started by the layer's CreateProcess receives the exact text its
// parent passed: the parent puts "NT_CMDLINE=<pid>:<text>" into the child's
// environment, and the text counts only in the process whose id it names, so
// grandchildren started otherwise never take it over. Any other program
// rebuilds the text from its argument vector: arguments joined by one blank,
// an argument that holds a blank or a tab, or is empty, between double quotes.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

const char* GetCommandLineA();
const WCHAR* GetCommandLineW();

// Joins an argument vector the way GetCommandLineA rebuilds it.
std::string nt_join_command_line(const std::vector<std::string>& args);

// Replaces the command line of this process (tests, and programs that run a
// second command line through the same parser).
void nt_set_command_line(const char* text);

// The environment entry that hands `text` to the process `pid`.
std::string nt_command_line_env_entry(int pid, const std::string& text);
