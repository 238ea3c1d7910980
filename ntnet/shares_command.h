// ntnet share: the share table of a machine.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// `args` are the arguments after "share":
//   add MACHINE NAME PATH [--comment TEXT]   a disk share of PATH ("C:\dir"),
//                                            which must be a directory there
//   del MACHINE NAME
//   list MACHINE                             NAME, TYPE (bits), PATH, COMMENT,
//                                            the administrative shares too
// Offline machines are reached too. Exit codes as ntnet's: 0 done, 1 the
// operation failed, 2 a bad command line.
int ntnet_share_command(const std::vector<std::string>& args);
int ntnet_share_command(const std::vector<std::string>& args, FILE* out, FILE* err);
