// How the administrator's machine reaches a file of a server: a drive path
// of another machine goes through that drive's administrative share, a path
// of the local machine is used as it stands.
#pragma once

#include <string>

// True when `server` ("\\NAME", "NAME"; null or empty: this machine) names
// the local computer, case ignored.
bool is_local_server(const char* server);

// True when `path` begins with a drive letter and its colon ("C:...").
bool is_drive_path(const std::string& path);

// "\\NAME\X$\rest" for the drive path "X:\rest" of a remote `server`; the
// path unchanged for the local machine and for a path that does not start
// with a drive letter and its colon.
std::string remote_file_name(const char* server, const std::string& path);
