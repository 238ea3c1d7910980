#include "utils/evsave/evsave_request.h"

#include <cstdio>
#include <cstring>

#include "platform/nls/codepage.h"

bool parse_evsave_arguments(int argc, char** argv, EvsaveRequest* request) {
  int next = 1;
  if (next < argc && strcmp(argv[next], "-c") == 0) {
    request->clear = true;
    ++next;
  }
  if (next >= argc) return false;
  std::string argument = argv[next++];
  argument.resize(nt_ansi_prefix_bytes(argument, kEvsaveMaxLogArgument));
  // "\\server\log": the server name ends at the next backslash.
  if (argument.size() >= 2 && argument[0] == '\\' && argument[1] == '\\') {
    size_t end = argument.find('\\', 2);
    if (end == std::string::npos) {
      request->server = argument.substr(2);
      request->log.clear();
    } else {
      request->server = argument.substr(2, end - 2);
      request->log = argument.substr(end + 1);
    }
  } else {
    request->log = argument;
  }
  if (next < argc) {
    request->has_file = true;
    request->file = argv[next];
  }
  return true;
}

std::string evsave_file_name(const EvsaveRequest& request, const std::string& machine,
                             const SYSTEMTIME& now) {
  if (request.has_file) return request.file + ".EVT";
  char stamp[32];
  snprintf(stamp, sizeof stamp, "%04u%02u%02u%02u%02u", static_cast<unsigned>(now.wYear),
           static_cast<unsigned>(now.wMonth), static_cast<unsigned>(now.wDay),
           static_cast<unsigned>(now.wHour), static_cast<unsigned>(now.wMinute));
  return machine + "_" + request.log + "_" + stamp + ".EVT";
}
