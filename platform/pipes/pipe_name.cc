#include "platform/pipes/pipe_name.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/kernel/error.h"
#include "platform/network/network.h"

namespace {

constexpr size_t MAX_PIPE_PATH = 256;
// A socket address holds about 108 bytes; the folder is reached through
// /proc/self/fd/<n>/ when the whole path is longer, which leaves room for
// names of 80 bytes.
constexpr size_t MAX_FILE_NAME = 80;
constexpr size_t CUT_LENGTH = 60;

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool make_dirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

}  // namespace

bool nt_pipe_path_form(const char* text) {
  if (text == nullptr || !is_separator(text[0]) || !is_separator(text[1])) return false;
  const char* server = text + 2;
  const char* end = server;
  while (*end != '\0' && !is_separator(*end)) ++end;
  if (end == server || *end == '\0') return false;
  return strncasecmp(end + 1, "pipe", 4) == 0 && is_separator(end[5]);
}

DWORD nt_parse_pipe_path(const char* text, NtPipePath* path) {
  if (!nt_pipe_path_form(text)) return ERROR_INVALID_NAME;
  if (strlen(text) > MAX_PIPE_PATH) return ERROR_FILENAME_EXCED_RANGE;
  const char* server = text + 2;
  const char* end = server;
  while (!is_separator(*end)) ++end;
  std::string name = end + 6;
  if (name.empty()) return ERROR_INVALID_NAME;
  path->server.assign(server, end);
  if (path->server == ".") path->server.clear();
  path->name = name;
  return ERROR_SUCCESS;
}

std::string nt_pipe_file_name(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' || (i == 0 && c == '.')) {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c - 'A' + 'a');
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.size() > MAX_FILE_NAME) {
    // FNV-1a of the whole, so that long names stay apart.
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : out) hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    out = out.substr(0, CUT_LENGTH) + tail;
  }
  return out;
}

DWORD nt_pipe_folder(const std::string& server, bool create, std::string* folder) {
  NtMachineRef machine;
  DWORD error = nt_open_machine(server, &machine);
  if (error != ERROR_SUCCESS) return error;
  *folder = nt_network_machine_dir(nt_network_root(), machine.name) + "/run/pipe";
  if (create && !make_dirs(*folder + "/.locks")) return win32_error_from_errno(errno);
  return ERROR_SUCCESS;
}
