#include "lib/remote_file_name.h"

#include <cctype>
#include <cstring>

#include "platform/kernel/identity.h"

namespace {

const char* bare_name(const char* server) {
  while (*server == '\\') ++server;
  return server;
}

bool equal_nocase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) !=
        std::toupper(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

}  // namespace

bool is_local_server(const char* server) {
  if (server == nullptr) return true;
  const char* name = bare_name(server);
  if (*name == '\0') return true;
  char computer[64] = "";
  DWORD size = sizeof computer;
  if (!GetComputerNameA(computer, &size)) return false;
  return equal_nocase(name, computer);
}

bool is_drive_path(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::string remote_file_name(const char* server, const std::string& path) {
  if (is_local_server(server) || !is_drive_path(path)) return path;
  std::string name = "\\\\";
  name += bare_name(server);
  name += '\\';
  name += path[0];
  name += '$';
  name += path.substr(2);
  return name;
}
