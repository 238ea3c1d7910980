#include "lib/program_directory.h"

#include <vector>

#include "platform/kernel/module.h"

std::string directory_of(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return ".";
  if (cut == 0) return path.substr(0, 1);
  return path.substr(0, cut);
}

std::string program_directory() {
  std::vector<char> buffer(4096);
  DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return ".";
  return directory_of(std::string(buffer.data(), length));
}
