#include "morva/install_paths.h"

#include <strings.h>

#include "lib/remote_file_name.h"


namespace {

constexpr char kSystemRoot[] = "%SystemRoot%";
constexpr size_t kSystemRootLength = sizeof kSystemRoot - 1;  // 12
constexpr char kWindows[] = "~WINDOWS";
constexpr size_t kWindowsLength = sizeof kWindows - 1;  // 8

size_t last_separator(const std::string& path) { return path.find_last_of("\\/"); }

}  // namespace

bool starts_with_system_root(const std::string& path) {
  return path.size() >= kSystemRootLength &&
         strncasecmp(path.c_str(), kSystemRoot, kSystemRootLength) == 0;
}

std::string install_target_path(const std::string& option_path, bool remote,
                                const std::string& exe_name) {
  std::string directory = option_path;
  if (directory.empty()) {
    if (!remote) return std::string();
    directory = std::string(kSystemRoot) + "\\SYSTEM32";
  }
  if (directory.back() != '\\') directory += '\\';
  return directory + exe_name;
}

std::string reach_path(const std::string& server, bool remote, const std::string& path,
                       const std::string& local_system_root) {
  if (starts_with_system_root(path)) {
    std::string rest = path.substr(kSystemRootLength);
    return remote ? server + "\\ADMIN$" + rest : local_system_root + rest;
  }
  return remote ? remote_file_name(server.c_str(), path) : path;
}

std::string profile_directory_value(const std::string& option_directory) {
  if (option_directory.empty()) return std::string(kSystemRoot) + "\\SYSTEM32";
  if (option_directory.size() >= kWindowsLength &&
      strncasecmp(option_directory.c_str(), kWindows, kWindowsLength) == 0) {
    return kSystemRoot + option_directory.substr(kWindowsLength);
  }
  return option_directory;
}

std::string path_file_name(const std::string& path) {
  size_t cut = last_separator(path);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
