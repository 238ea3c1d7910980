#include "platform/files/file_errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/kernel/error.h"

std::string nt_host_parent(const std::string& host) {
  size_t end = host.size();
  while (end > 1 && host[end - 1] == '/') --end;
  if (end == 0) return ".";
  size_t slash = host.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return host.substr(0, slash);
}

DWORD nt_lookup_error(int err, const std::string& host) {
  if (err == ENOENT) {
    struct stat st;
    std::string parent = nt_host_parent(host);
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
  }
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  return win32_error_from_errno(err);
}

DWORD nt_fail(DWORD code) {
  SetLastError(code);
  return code;
}
