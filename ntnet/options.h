// Command-line options of ntnet, GNU style: "--name value", "--name=value",
// "--" ends the options; "-h" is --help. Anything else, "-1" included, is a
// positional argument.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct NtnetArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // options with a value
  std::set<std::string> flags;                // options without one
  bool help = false;
};

// Parses argv[start..argc). `with_value` and `flags` name the options the
// command knows (without "--"). False and a message for anything else.
bool ntnet_parse_args(int argc, char** argv, int start, const std::set<std::string>& with_value,
                      const std::set<std::string>& flags, NtnetArgs* args, std::string* error);
