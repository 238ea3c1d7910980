// A format argument may name a file that holds the format.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "platform/nls/ansi_chars.h"
#include "lib/format.h"
#include "platform/kernel/module.h"
#include "platform/nls/codepage.h"

namespace {

// The directory of the running program, without a trailing slash.
std::string find_program_directory() {
  char path[PATH_MAX];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return std::string();
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return std::string();
  if (slash == path) return "/";
  *slash = '\0';
  return path;
}

// The program does not move while it runs: its directory is looked up once
// (tools expand a format for every line they print).
const std::string& program_directory() {
  static const std::string directory = find_program_directory();
  return directory;
}

// Where the text is looked for: a bare name in the program's directory, a
// path (with a backslash, or a host path from the root) as given.
std::string file_path_of(const char* text) {
  if (std::strchr(text, '\\') != nullptr) {
    std::string path(text);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
  }
  if (text[0] == '/') return text;
  const std::string& dir = program_directory();
  if (dir.empty()) return std::string();
  std::string path = dir;
  if (path.back() != '/') path += '/';
  return path + text;
}

// Reads up to FORMAT_FILE_MAX bytes of a regular file, cut on a character
// boundary, into `out`; false (and `out` untouched) when it cannot be
// opened or read.
bool read_format_file(const std::string& path, char* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  // A few bytes beyond the limit show whether the last character is whole.
  char buffer[FORMAT_FILE_MAX + 3];
  size_t total = 0;
  while (total < sizeof buffer) {
    const ssize_t got = read(fd, buffer + total, sizeof buffer - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return false;
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  close(fd);
  const size_t keep = ansi_cut(GetACP(), buffer, total, FORMAT_FILE_MAX);
  std::memcpy(out, buffer, keep);
  out[keep] = '\0';
  return true;
}

}  // namespace

bool read_text_or_file(const char* text, char* out) {
  if (out == nullptr) return false;
  if (text == nullptr || text[0] == '\0') {
    out[0] = '\0';
    return false;
  }
  const std::string path = file_path_of(text);
  if (!path.empty() && read_format_file(path, out)) return true;
  const size_t length = std::strlen(text);
  const size_t keep = ansi_cut(GetACP(), text, length, FORMAT_FILE_MAX);
  std::memmove(out, text, keep);
  out[keep] = '\0';
  return false;
}
