#include "platform/files/current_directory.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/files/drives.h"
#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/host_names.h"
#include "platform/files/nt_path.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"

namespace {

struct State {
  std::mutex lock;
  bool started = false;
  std::string owner;  // network root, machine and user the state belongs to
  NtCurrentDirs dirs;
};

State& state() {
  static State* s = new State;
  return *s;
}

std::string env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

std::string owner_key() {
  return env("NT_NETWORK") + '\n' + env("XDG_DATA_HOME") + '\n' + env("COMPUTERNAME") + '\n' +
         env("USERNAME") + '\n' + env("USERDOMAIN");
}

std::string real_path(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return std::string();
  std::string out(real);
  free(real);
  return out;
}

// True when `dir` is `root` or lies below it; `rest` gets the part below.
bool below_root(const std::string& dir, const std::string& root, std::string* rest) {
  if (root.empty()) return false;
  if (root == "/") {
    *rest = dir.substr(1);
    return true;
  }
  if (dir.compare(0, root.size(), root) != 0) return false;
  if (dir.size() == root.size()) {
    rest->clear();
    return true;
  }
  if (dir[root.size()] != '/') return false;
  *rest = dir.substr(root.size() + 1);
  return true;
}

// The NT form of the host's working directory: through the deepest drive of
// the local machine that holds it, else the host path itself. The network is
// not created for this: without one the host path is taken.
std::string initial_directory() {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) return "/";
  std::string host(cwd);
  free(cwd);
  if (!nt_network_exists(nt_network_root())) return host;
  std::vector<NtLocalDrive> drives;
  if (nt_local_drives(&drives) != ERROR_SUCCESS) return host;
  std::string best_rest;
  char best_letter = 0;
  size_t best_length = 0;
  for (const NtLocalDrive& d : drives) {
    NtRootDir root;
    if (nt_local_drive_root(d, &root) != ERROR_SUCCESS) continue;
    std::string real = real_path(root.host);
    std::string rest;
    if (!below_root(host, real, &rest)) continue;
    if (best_letter == 0 || real.size() > best_length) {
      best_letter = d.letter;
      best_length = real.size();
      best_rest = rest;
    }
  }
  if (best_letter == 0) return host;
  std::string nt = std::string(1, best_letter) + ":\\";
  for (char c : best_rest) nt += c == '/' ? '\\' : c;
  return nt;
}

// Starts the state when needed; the lock is held.
void start_locked(State& s) {
  std::string owner = owner_key();
  if (s.started && s.owner == owner) return;
  s.dirs = NtCurrentDirs();
  s.owner = owner;
  s.started = true;
  s.dirs.current = initial_directory();
  if (s.dirs.current.size() >= 2 && s.dirs.current[1] == ':') {
    s.dirs.drives[static_cast<size_t>(s.dirs.current[0] - 'A')] = s.dirs.current;
  }
}

// Win32 copy-out: the length, or the size needed when it does not fit.
DWORD copy_out(const std::string& text, DWORD size, char* buffer) {
  if (!buffer && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

char upper_letter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

DWORD nt_get_full_path(std::string_view path, std::string* full) {
  State& s = state();
  // Absolute forms need no current directory (and no network).
  const bool absolute =
      (!path.empty() && path[0] == '/') ||
      (path.size() >= 2 && nt_is_separator(path[0]) && nt_is_separator(path[1])) ||
      (path.size() >= 3 && path[1] == ':' && nt_is_separator(path[2]));
  if (absolute) return nt_full_path(path, NtCurrentDirs(), full);
  std::lock_guard<std::mutex> guard(s.lock);
  start_locked(s);
  return nt_full_path(path, s.dirs, full);
}

std::string nt_current_directory() {
  State& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  start_locked(s);
  return s.dirs.current;
}

void nt_reset_current_directories() {
  State& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.started = false;
  s.dirs = NtCurrentDirs();
}

DWORD GetCurrentDirectoryA(DWORD size, char* buffer) {
  return copy_out(nt_host_to_ansi(nt_current_directory()), size, buffer);
}

BOOL SetCurrentDirectoryA(const char* path) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string full;
  DWORD err = nt_get_full_path(nt_ansi_to_host(path), &full);
  if (err != ERROR_SUCCESS) {
    SetLastError(err == ERROR_INVALID_NAME && !*path ? ERROR_PATH_NOT_FOUND : err);
    return FALSE;
  }
  NtResolvedPath resolved;
  if ((err = nt_resolve_full_path(full, &resolved)) != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  struct stat st;
  if (stat(resolved.host.c_str(), &st) != 0) {
    nt_fail(nt_lookup_error(errno, resolved.host));
    return FALSE;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if ((err = nt_check_file_access(resolved.host, NtFileOperation::traverse)) != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  if (chdir(resolved.host.c_str()) != 0) {
    set_last_error_from_errno();
    return FALSE;
  }
  // Kept without a separator at the end, except for a root.
  std::string root = nt_path_root(full);
  while (full.size() > root.size() && nt_is_separator(full.back())) full.pop_back();
  State& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  start_locked(s);
  s.dirs.current = full;
  if (full.size() >= 2 && full[1] == ':') {
    s.dirs.drives[static_cast<size_t>(upper_letter(full[0]) - 'A')] = full;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD GetFullPathNameA(const char* name, DWORD size, char* buffer, char** file_part) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string full;
  DWORD err = nt_get_full_path(nt_ansi_to_host(name), &full);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return 0;
  }
  std::string text = nt_host_to_ansi(full);
  DWORD result = copy_out(text, size, buffer);
  if (file_part && result != 0 && result < size) {
    size_t last = text.find_last_of("\\/");
    size_t root = nt_host_to_ansi(nt_path_root(full)).size();
    if (last == std::string::npos || last + 1 >= text.size() || text.size() <= root) {
      *file_part = nullptr;
    } else {
      *file_part = buffer + last + 1;
    }
  }
  return result;
}
