// Reading the state and configuration of a service on a server: its status
// and configuration through the server's service control manager, and the
// values of its service key through the server's registry. Messages carry
// the tool's prefix ("ZEB", "MORVA"); errors go to standard error as
// "<prefix>-ERROR, <call>(<object>) failed, error=<code>".
#pragma once

#include <string>

#include "platform/win32_types.h"

// Largest configuration read, and the sizes of the values read.
constexpr DWORD SERVICE_CONFIG_MAX = 1024;
constexpr DWORD SERVICE_TEMP_DIR_MAX = 256;
constexpr DWORD SERVICE_VERSION_MAX = 32;

// Which values of the service key to read.
constexpr unsigned SERVICE_VALUE_LOGGING = 1;   // "Logging", REG_DWORD
constexpr unsigned SERVICE_VALUE_TEMP_DIR = 2;  // "TempDir"
constexpr unsigned SERVICE_VALUE_VERSION = 4;   // "Version"

struct ServiceQuery {
  DWORD state = 0;           // SERVICE_STOPPED ... SERVICE_PAUSED
  DWORD service_type = 0;
  DWORD start_type = 0;
  std::string path;          // the configured executable path
  std::string directory;     // the path up to and including its last '\'
  std::string account;       // the configured logon account
  bool interactive = false;  // the type carries SERVICE_INTERACTIVE_PROCESS
  DWORD logging = 0;         // empty text below when it could not be read
  std::string logging_range;
  std::string temp_dir;
  std::string version;
};

// "STOPPED", "STARTING", "STOPPING", "RUNNING", "CONTINUING", "PAUSING",
// "PAUSED" for the states 1 to 7; "" for any other.
const char* service_state_word(DWORD state);

// The numbers of the set bits 0..15 joined by ",", "0" when none is set.
std::string logging_range_text(DWORD mask);

// The path up to and including its last backslash (or '/'); empty without.
std::string path_directory(const std::string& path);

// Opens the service manager of `server` (null: this machine) and the
// service `service` for reading, reads its status and configuration (at
// most SERVICE_CONFIG_MAX bytes). A failure prints
// "<prefix>-ERROR, OpenSCManager(%s)", "OpenService(%s)",
// "QueryServiceStatus(%s)" or "QueryServiceConfig(%s)" with the server and
// returns the error. Then reads the values named by `values` from the
// service key of the server's registry; a registry failure prints
// "RegConnectRegistry(%s)", "RegOpenKey(Services\%s)" (service name) or
// "RegQueryValue(%s)" (value name) and leaves that text empty, without
// failing the query. Returns 0 when the service was read.
DWORD query_service(const char* prefix, const char* server, const char* service,
                    unsigned values, ServiceQuery* out);
