#include "platform/process/command_resolve.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Whether the last name of a path has an extension.
bool has_extension(const std::string& name) {
  size_t slash = name.find_last_of("\\/:");
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  return name.find('.', start) != std::string::npos;
}

enum class Probe { file, directory, missing };

Probe probe(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return Probe::missing;
  return S_ISDIR(st.st_mode) ? Probe::directory : Probe::file;
}

// Tries `host` and, without an extension, `host` + ".exe".
DWORD try_host(const std::string& host, const std::string& name, std::string* found) {
  Probe p = probe(host);
  if (p == Probe::file) {
    *found = host;
    return ERROR_SUCCESS;
  }
  if (!has_extension(name) && probe(host + ".exe") == Probe::file) {
    *found = host + ".exe";
    return ERROR_SUCCESS;
  }
  return p == Probe::directory ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> path_directories() {
  std::vector<std::string> dirs;
  const char* path = getenv("PATH");
  if (path == nullptr) return dirs;
  std::string value = path;
  char separator = value.find(';') != std::string::npos ? ';' : ':';
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(separator, start);
    if (end == std::string::npos) end = value.size();
    std::string entry = value.substr(start, end - start);
    if (!entry.empty()) {
      std::string host;
      if (separator == ';') {
        if (nt_host_path(entry.c_str(), &host)) dirs.push_back(host);
      } else {
        dirs.push_back(entry);
      }
    }
    start = end + 1;
  }
  return dirs;
}

}  // namespace

std::vector<std::string> nt_split_command_line(const std::string& text) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && is_blank(text[i])) ++i;
  if (i >= n) return args;
  // argv[0]: quotes group, backslashes are plain characters.
  std::string first;
  if (text[i] == '"') {
    ++i;
    while (i < n && text[i] != '"') first += text[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !is_blank(text[i])) first += text[i++];
  }
  args.push_back(first);
  for (;;) {
    while (i < n && is_blank(text[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !is_blank(text[i]))) {
      if (text[i] == '\\') {
        size_t slashes = 0;
        while (i < n && text[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && text[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (text[i] == '"') {
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += text[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::vector<std::string> nt_program_candidates(const std::string& command_line) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < command_line.size() && is_blank(command_line[i])) ++i;
  if (i >= command_line.size()) return names;
  if (command_line[i] == '"') {
    size_t end = command_line.find('"', i + 1);
    names.push_back(command_line.substr(i + 1, end == std::string::npos ? std::string::npos
                                                                         : end - i - 1));
    return names;
  }
  size_t start = i;
  while (i <= command_line.size()) {
    if (i == command_line.size() || is_blank(command_line[i])) {
      names.push_back(command_line.substr(start, i - start));
      while (i < command_line.size() && is_blank(command_line[i])) ++i;
      if (i >= command_line.size()) break;
    }
    ++i;
  }
  return names;
}

DWORD nt_find_program(const std::string& name, bool search_path, std::string* host) {
  if (name.empty()) return ERROR_FILE_NOT_FOUND;
  if (nt_path_has_directory(name.c_str())) {
    std::string path;
    if (!nt_host_path(name.c_str(), &path)) return GetLastError();
    DWORD error = try_host(path, name, host);
    if (error == ERROR_FILE_NOT_FOUND) {
      size_t slash = path.find_last_of('/');
      std::string parent = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
      if (probe(parent) != Probe::directory) return ERROR_PATH_NOT_FOUND;
    }
    return error;
  }
  DWORD first_error = ERROR_FILE_NOT_FOUND;
  std::vector<std::string> dirs;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) != nullptr) dirs.push_back(cwd);
  if (search_path) {
    for (std::string& d : path_directories()) dirs.push_back(std::move(d));
  }
  for (const std::string& dir : dirs) {
    std::string candidate = dir == "/" ? "/" + name : dir + "/" + name;
    DWORD error = try_host(candidate, name, host);
    if (error == ERROR_SUCCESS) return error;
    if (error != ERROR_FILE_NOT_FOUND && first_error == ERROR_FILE_NOT_FOUND) first_error = error;
  }
  return first_error;
}

DWORD nt_resolve_program(const char* application, const char* command_line, std::string* host) {
  if (application != nullptr && *application != '\0') {
    return nt_find_program(application, false, host);
  }
  if (command_line == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> names = nt_program_candidates(command_line);
  if (names.empty()) return ERROR_FILE_NOT_FOUND;
  // Of the failures, the one that says more than "not found" counts.
  DWORD failure = ERROR_FILE_NOT_FOUND;
  for (const std::string& name : names) {
    DWORD error = nt_find_program(name, true, host);
    if (error == ERROR_SUCCESS) return error;
    if (failure == ERROR_FILE_NOT_FOUND) failure = error;
  }
  return failure;
}
