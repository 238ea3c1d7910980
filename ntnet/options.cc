#include "ntnet/options.h"

bool ntnet_parse_args(int argc, char** argv, int start, const std::set<std::string>& with_value,
                      const std::set<std::string>& flags, NtnetArgs* args, std::string* error) {
  bool options_end = false;
  for (int i = start; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_end || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
      args->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      args->help = true;
      continue;
    }
    std::string name = arg.substr(2);
    std::string value;
    bool has_value = false;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (with_value.count(name)) {
      if (!has_value) {
        if (i + 1 >= argc) {
          *error = "option --" + name + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      args->values[name] = value;
    } else if (flags.count(name)) {
      if (has_value) {
        *error = "option --" + name + " takes no value";
        return false;
      }
      args->flags.insert(name);
    } else {
      *error = "unknown option --" + name;
      return false;
    }
  }
  return true;
}
