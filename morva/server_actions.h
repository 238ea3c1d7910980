// The installer's work on one server: add, del, upd and sho of the service
// "ZA Divedido Zodeveza". Each action prints its own lines, asks before it
// changes anything (unless yes to all), and tells whether the server counts.
#pragma once

#include <string>

#include "lib/arg_spec.h"
#include "lib/service_query.h"

// The service on one server, as the installer's actions query it.
struct ServerRecord {
  std::string domain;  // the server's domain
  std::string server;  // "\\NAME"
  ServiceQuery query;  // state, configuration and "Version"
};

// The autostart word of a start type: "1", "0" (on demand) or "Disabled".
const char* autostart_word(DWORD start_type);

struct InstallerSettings {
  std::string option_path;        // /p: directory of the executable
  std::string option_directory;   // /d: profile directory
  std::string program_path;       // the running program
  std::string program_name;       // its file name
  std::string own_version;        // version string of the running program
  std::string local_system_root;  // the Windows directory of this machine
  const ArgSpec* criteria = nullptr;
  const char* format = "";  // the per-server line (~F)
  bool ansi = false;        // /a: no OEM conversion
  // Status polls while waiting for a service to stop, and their interval.
  int poll_count = 20;
  DWORD poll_interval_ms = 500;
};

struct ActionOutcome {
  bool counted = false;  // the server counts for the summary
  bool ok = true;        // the action did all it had to
};

ActionOutcome add_server(const InstallerSettings& settings, const std::string& domain,
                         const std::string& server);
ActionOutcome delete_server(const InstallerSettings& settings, const std::string& domain,
                            const std::string& server);
ActionOutcome update_server(const InstallerSettings& settings, const std::string& domain,
                            const std::string& server);
ActionOutcome show_server(const InstallerSettings& settings, const std::string& domain,
                          const std::string& server);

// The placeholder table of a server record (letters D, S, p, A, V) with its
// texts, each cut to fit ARG_TEXT_SIZE bytes.
struct ServerFields {
  char domain[ARG_TEXT_SIZE];
  char server[ARG_TEXT_SIZE];
  char directory[ARG_TEXT_SIZE];
  char autostart[ARG_TEXT_SIZE];
  char version[ARG_TEXT_SIZE];
  ArgSpec table[6];
};
void fill_server_fields(const ServerRecord& record, ServerFields* fields);
