// upd: replaces the executable of the scheduler service on one server with
// the running one, keeping the old file under a name with its version, and
// restarts a service that was running without its autostart jobs.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "lib/frame.h"
#include "lib/remote_file_name.h"
#include "lib/service_polling.h"
#include "lib/service_query.h"
#include "lib/version_backup.h"
#include "platform/kernel/error.h"
#include "platform/services/services.h"
#include "zeb/server_actions.h"
#include "zeb/server_files.h"
#include "zeb/server_record.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"
#include "zeb/zeb_text.h"

namespace {

// Stops the service and reads its configured path; false (with its
// messages) when the configuration cannot be read.
bool stop_and_locate(const std::string& server, std::string* path) {
  SC_HANDLE scm = nullptr;
  SC_HANDLE service = nullptr;
  if (!zeb_open_service(server, &scm, &service)) return false;
  alignas(8) BYTE buffer[SERVICE_CONFIG_MAX];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  bool ok = QueryServiceConfigA(service, config, sizeof buffer, &needed) &&
            config->lpBinaryPathName != nullptr && *config->lpBinaryPathName != '\0';
  if (!ok) {
    zeb_call_error("QueryServiceConfig", server, static_cast<long>(GetLastError()));
    fputs("           executable file cannot be found\n", stderr);
  } else {
    *path = config->lpBinaryPathName;
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
        ControlService(service, SERVICE_CONTROL_STOP, &status)) {
      printf("stopping service on '%s'...", server.c_str());
      fflush(stdout);
      poll_service_state(service, SERVICE_STOPPED, SERVICE_POLL_COUNT, SERVICE_POLL_INTERVAL_MS);
    }
  }
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
  return ok;
}

void write_no_autostart(const std::string& server, DWORD value) {
  HKEY key = nullptr;
  if (zeb_connect_service_key(server, &key) != 0) return;
  const LONG rc = zeb_write_no_autostart(key, value);
  if (rc != ERROR_SUCCESS) zeb_call_error("RegSetValue", ZEB_VALUE_NO_AUTOSTART, rc);
  RegCloseKey(key);
}

// The service clears "No Autostart Jobs" itself once it has loaded its jobs,
// a moment after it reports RUNNING; the client's own reset waits for that
// (at most 10 s), so that it cannot come before the service has read it.
void wait_no_autostart_read(const std::string& server) {
  HKEY key = nullptr;
  if (zeb_connect_service_key(server, &key) != 0) return;
  for (int i = 0; i < 100 && zeb_read_no_autostart(key) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  RegCloseKey(key);
}

}  // namespace

bool zeb_server_update(ServerRun& run, const std::string& domain, const std::string& server) {
  ServerRecord record;
  if (server_record_query(domain.c_str(), server.c_str(), &record) != 0) return false;
  if (!server_record_matches(record, run.args->criteria)) return true;
  ++run.servers;
  if (zeb_equal_nocase(record.version, run.own_version)) {
    printf("ZEB-INFO, %s has same version (%s)\n", server.c_str(), record.version.c_str());
    return true;
  }
  const std::string question = std::string("Update ") + ZEB_SERVICE_NAME + " " + record.version +
                               " on " + server + " with " + run.own_version + " ?\n";
  if (!confirm(question.c_str())) return false;

  std::string path;
  if (!stop_and_locate(server, &path)) return false;
  const std::string target = remote_file_name(server.c_str(), path);
  // A service installed in place runs this very file: nothing to copy.
  const bool in_place = is_local_server(server.c_str()) && zeb_equal_nocase(path, run.own_exe);
  if (!in_place) {
    const std::string backup = version_backup_name(target, record.version);
    if (!backup.empty() && move_to_backup("ZEB", target, backup) != 0) return false;
    const DWORD rc = zeb_copy_executable(run.own_exe, target);
    if (rc != 0) {
      zeb_call_error("CopyFile", run.own_exe + "," + target, static_cast<long>(rc));
      return false;
    }
  }
  HKEY key = nullptr;
  if (zeb_connect_service_key(server, &key) == 0) {
    const LONG rc = zeb_write_version(key, run.own_version.c_str());
    if (rc != ERROR_SUCCESS) {
      zeb_call_error("RegSetValue", std::string(ZEB_VALUE_VERSION) + "=" + run.own_version, rc);
    }
    RegCloseKey(key);
  }
  ++run.count;
  if (!in_place) printf("ZEB-INFO, Copied %s to %s\n", run.own_exe.c_str(), target.c_str());
  printf("ZEB-INFO, Successfully updated %s on %s with %s\n", ZEB_SERVICE_NAME, server.c_str(),
         run.own_version.c_str());

  if (record.query.state == SERVICE_RUNNING) {
    write_no_autostart(server, 1);
    bool arrived = false;
    if (zeb_start_service(server, true, &arrived) && arrived) wait_no_autostart_read(server);
    write_no_autostart(server, 0);
  }
  return true;
}
