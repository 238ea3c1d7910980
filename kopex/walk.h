// The walk of one root (a drive "X:" or a share of a server): directory
// wildcards are expanded level by level, each resulting directory is walked
// depth first, entries are selected by the pattern list and the criteria,
// and the command's action runs on each selected entry.
#pragma once

#include <string>
#include <vector>

namespace kopex {

// `server` is "\\NAME" (empty for local drives), `root` the drive token
// "X:" or the share name, `dir` the directory part of the specification.
void walk_root(const char* domain, const char* server, const char* root, const std::string& dir,
               const std::vector<std::string>& patterns);

}  // namespace kopex
