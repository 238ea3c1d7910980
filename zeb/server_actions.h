// The per-server actions of the client's server commands and what they
// share during one run: the parsed command line, the program's own
// executable and version, answers given once for all servers, and the
// counts the summaries and the totals line print.
#pragma once

#include <string>

#include "zeb/client_args.h"
#include "zeb/user_command.h"

struct ServerRun {
  const ZebClientArgs* args = nullptr;
  std::string own_version;  // "V2.0.0100"
  std::string own_exe;      // the running executable's path
  bool wildcard_servers = false;  // the server pattern has wildcards
  std::string format;  // per-server line (show) or per-account line (user)

  // add: the target path given once for all servers ("y" to the question).
  bool path_for_all = false;
  std::string path_all;
  // add and set: the service account's password, asked at most once.
  bool password_known = false;
  std::string password;

  long servers = 0;  // servers that met the criteria (~S of the totals)
  long count = 0;    // servers the command counted (~M, the summary)
  UserCommandTotals users;  // user: accounts listed, added, deleted, modified
  int exit_code = 0;        // non-zero: the run ends with it (87)
};

// "ZEB-ERROR, <call>(<object>) failed, error=<n>" on standard error, after
// what standard output holds so far.
void zeb_call_error(const char* call, const std::string& object, long error);

// Each action prints its own lines and returns true when the server was
// handled (a server skipped by the criteria is handled but not counted).
// `server` is "\\NAME".
bool zeb_server_add(ServerRun& run, const std::string& domain, const std::string& server);
bool zeb_server_remove(ServerRun& run, const std::string& domain, const std::string& server);
bool zeb_server_set(ServerRun& run, const std::string& domain, const std::string& server);
// `control`: SERVICE_CONTROL_STOP, _PAUSE, _CONTINUE, or 0 for a start.
bool zeb_server_control(ServerRun& run, const std::string& domain, const std::string& server,
                        DWORD control);
bool zeb_server_update(ServerRun& run, const std::string& domain, const std::string& server);
bool zeb_server_show(ServerRun& run, const std::string& domain, const std::string& server);
bool zeb_server_user(ServerRun& run, const std::string& domain, const std::string& server);

// Starts the service on `server` after its confirmation: the start action
// without the query and criteria (used by add with /A1 and by upd). Polls
// 60 x 1000 ms with `long_wait`, else 20 x 500 ms. True when the request
// was sent; `arrived` tells whether RUNNING came in time.
bool zeb_start_service(const std::string& server, bool long_wait, bool* arrived);
