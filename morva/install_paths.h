// Paths of the installer: where the executable goes on a server, how the
// installer reaches that file from here, and the profile directory that add
// writes under the service key.
#pragma once

#include <string>

// "%SystemRoot%", compared without regard to case.
bool starts_with_system_root(const std::string& path);

// The service's path on a server: `option_path` (the /p option) when not
// empty, else "%SystemRoot%\SYSTEM32" for a remote server; a trailing
// backslash and `exe_name` are added. Empty for the local machine without
// /p: the running program registers itself where it is.
std::string install_target_path(const std::string& option_path, bool remote,
                                const std::string& exe_name);

// The name under which this machine reaches `path` of `server` ("\\NAME"):
// remote, a path that begins with "%SystemRoot%" goes through the server's
// ADMIN$ share ("\\NAME\ADMIN$<rest>"), a path "X:<rest>" through its
// administrative drive share ("\\NAME\X$<rest>", lib/remote_file_name.h),
// anything else unchanged. Locally "%SystemRoot%" is replaced by
// `local_system_root`.
std::string reach_path(const std::string& server, bool remote, const std::string& path,
                       const std::string& local_system_root);

// The value "Morva" that add writes: /d, with a leading "~WINDOWS" (case
// ignored) replaced by "%SystemRoot%"; "%SystemRoot%\SYSTEM32" without /d.
std::string profile_directory_value(const std::string& option_directory);

// The file name after the last backslash or slash.
std::string path_file_name(const std::string& path);
