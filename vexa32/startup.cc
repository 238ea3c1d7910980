#include "vexa32/startup.h"

#include <strings.h>

std::string command_tail(const char* command_line) {
  if (!command_line) return "";
  const char* p = command_line;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

bool is_version_request(const std::string& tail) {
  return tail == "/?" || strcasecmp(tail.c_str(), "ver") == 0;
}
