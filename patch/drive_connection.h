// Reaching a patch directory on a network path through a drive letter for
// the time of a run.
#pragma once

#include <string>

// A network path "\\server\share\dir..." cut before its fourth backslash:
// the remote name ("\\server\share") and the text after that backslash
// ("dir...", empty when there is none).
struct UncParts {
  std::string remote;
  std::string rest;
};
UncParts split_unc_directory(const std::string& path);

// True when `path` begins with two backslashes.
bool is_network_path(const std::string& path);

// The working directory on a connected drive: the drive, a backslash and
// the rest ("Q:\patches"; "Q:\" for an empty rest).
std::string drive_directory(const std::string& drive, const std::string& rest);

// Connects `drive` to `remote` (a disk resource, no provider, user or
// password, no flags); the platform's error code, 0 on success.
unsigned long connect_patch_drive(const std::string& drive, const std::string& remote);

// Cancels the connection of `drive`, forced even with open files; the
// platform's error code, 0 on success.
unsigned long disconnect_patch_drive(const std::string& drive);
