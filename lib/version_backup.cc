#include "lib/version_backup.h"

#include <cstdio>

#include "platform/files/file_copy.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"

std::string version_backup_name(const std::string& path, const std::string& version) {
  const size_t slash = path.find_last_of("\\/:");
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name_start) return std::string();
  return path.substr(0, dot + 1) + (version.empty() ? std::string("old") : version);
}

DWORD move_to_backup(const char* prefix, const std::string& file, const std::string& backup) {
  DeleteFileA(backup.c_str());  // an older backup of the same version goes
  if (!MoveFileA(file.c_str(), backup.c_str())) {
    const DWORD error = GetLastError();
    fflush(stdout);
    fprintf(stderr, "%s-ERROR, cannot move %s to %s, error=%ld\n", prefix, file.c_str(),
            backup.c_str(), static_cast<long>(error));
    return error != 0 ? error : 1;
  }
  printf("%s-INFO, moved %s to %s\n", prefix, file.c_str(), backup.c_str());
  return 0;
}
