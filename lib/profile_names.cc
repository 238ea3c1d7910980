#include "lib/profile_names.h"

#include "platform/files/path.h"

ProfileNames split_profile_names(const char* list, DWORD length, DWORD size) {
  ProfileNames out;
  if (list == nullptr || length == 0) return out;
  for (const char* p = list; p < list + length && *p != '\0'; p += out.names.back().size() + 1) {
    out.names.emplace_back(p);
  }
  if (size >= 2 && length == size - 2 && !out.names.empty()) {
    out.names.pop_back();
    out.cut = true;
  }
  return out;
}

std::string profile_file_name(const char* file) {
  if (file == nullptr) return std::string();
  return nt_path_has_directory(file) ? std::string(file) : ".\\" + std::string(file);
}
