#include "platform/files/path.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/kernel/error.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_drive_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string with_slashes(const char* path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string windows_directory() {
  const char* root = getenv("SYSTEMROOT");
  if (root && *root) return root;
  return "C:\\WINNT";
}

// Copies `text` the Win32 way for the directory calls.
UINT copy_directory(const std::string& text, char* buffer, UINT size) {
  if (!buffer && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

}  // namespace

bool nt_host_path(const char* nt_path, std::string* host) {
  if (!nt_path || !*nt_path || !host) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (is_separator(nt_path[0]) && is_separator(nt_path[1])) {
    // \\SERVER\SHARE\..., \\.\device, //SERVER/...: the share table of the
    // named machine will resolve these.
    SetLastError(ERROR_BAD_NETPATH);
    return false;
  }
  if (is_drive_letter(nt_path[0]) && nt_path[1] == ':') {
    // The drive table of the local machine will resolve these.
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::string path = with_slashes(nt_path);
  if (path[0] == '/') {
    *host = path;
    return true;
  }
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::string base(cwd);
  free(cwd);
  if (base.empty() || base.back() != '/') base += '/';
  *host = base + path;
  return true;
}

bool nt_path_has_directory(const char* nt_path) {
  if (!nt_path) return false;
  for (const char* p = nt_path; *p; ++p) {
    if (is_separator(*p) || *p == ':') return true;
  }
  return false;
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  return copy_directory(windows_directory(), buffer, size);
}

UINT GetSystemDirectoryA(char* buffer, UINT size) {
  return copy_directory(windows_directory() + "\\system32", buffer, size);
}
