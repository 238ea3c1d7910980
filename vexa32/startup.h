// How the agent reads its command line.
#pragma once

#include <string>

// The text after the program name, as WinMain receives it: the first token
// (quoted or up to a blank or tab) and the blanks after it removed.
std::string command_tail(const char* command_line);

// True for exactly "/?" or "ver" in any case.
bool is_version_request(const std::string& tail);
