// Console questions of the server commands that are not yes/no prompts: a
// line of text (the target path) and the service account's password.
#pragma once

#include <string>

#include "zeb/server_actions.h"

// Reads one line from standard input, byte by byte (the prompts of the
// frame read the same way, so no answer is swallowed by a buffer): without
// its line end, at most 255 characters kept. False at the end of input with
// nothing read.
bool zeb_read_line(std::string* line);

// The target path for add on a remote server: /c, the path given for all
// servers, or the answer to "Where will ... be stored" (default
// "C:\WIN32APP\"; an empty answer or one that starts with a control
// character takes it). With a wildcard pattern asks once whether the path
// is the target for all servers.
std::string zeb_ask_target_path(ServerRun& run, const std::string& server);

// The password of the service account `account`: /p when given (unless
// "?"), else asked once per run with "Please enter the Password for %s".
std::string zeb_service_password(ServerRun& run, const std::string& account);
