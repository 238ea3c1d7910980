// del: removes the scheduler service from one server: stops it, deletes the
// service and its event source, and on request its executable file.
#include <cstdio>
#include <string>
#include <vector>

#include "lib/frame.h"
#include "lib/remote_file_name.h"
#include "lib/service_polling.h"
#include "lib/service_query.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"
#include "zeb/server_actions.h"
#include "zeb/server_files.h"
#include "zeb/server_record.h"
#include "zeb/service_keys.h"
#include "zeb/zeb_text.h"

namespace {

void delete_event_source(const std::string& server) {
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(server.c_str(), HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) {
    zeb_call_error("RegConnectRegistry", server, rc);
    return;
  }
  if (RegDeleteKeyA(root, ZEB_EVENT_SOURCE_KEY) == ERROR_SUCCESS) {
    printf("ZEB-INFO, Deleted key 'EventLog\\%s' on '%s'\n", ZEB_SERVICE_NAME, server.c_str());
  }
  RegCloseKey(root);
}

void delete_executable(ServerRun& run, const std::string& server, const std::string& path) {
  if (is_local_server(server.c_str()) && zeb_equal_nocase(path, run.own_exe)) {
    printf("ZEB-INFO, %s is the running executable, not deleted\n", path.c_str());
    return;
  }
  const std::string question =
      "Delete executable file '" + path + "' on '" + server + "' ?\n";
  if (!confirm(question.c_str())) return;
  const std::string file = remote_file_name(server.c_str(), path);
  if (DeleteFileA(file.c_str())) {
    printf("ZEB-INFO, Deleted %s\n", file.c_str());
  } else {
    zeb_call_error("DeleteFile", file, static_cast<long>(GetLastError()));
  }
}

}  // namespace

bool zeb_server_remove(ServerRun& run, const std::string& domain, const std::string& server) {
  ServerRecord record;
  if (server_record_query(domain.c_str(), server.c_str(), &record) != 0) return false;
  if (!server_record_matches(record, run.args->criteria)) return true;
  ++run.servers;
  const std::string question =
      std::string("Remove '") + ZEB_SERVICE_NAME + "' on '" + server + "' ?\n";
  if (!confirm(question.c_str())) return false;

  SC_HANDLE scm = nullptr;
  SC_HANDLE service = nullptr;
  if (!zeb_open_service(server, &scm, &service)) return false;
  std::string path;
  alignas(8) BYTE buffer[SERVICE_CONFIG_MAX];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  if (QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
    path = config->lpBinaryPathName ? config->lpBinaryPathName : "";
  } else {
    zeb_call_error("QueryServiceConfig", server, static_cast<long>(GetLastError()));
    fputs("           executable file will not be deleted\n", stderr);
  }

  SERVICE_STATUS status{};
  if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
      ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    printf("stopping service on '%s'...", server.c_str());
    fflush(stdout);
    poll_service_state(service, SERVICE_STOPPED, SERVICE_POLL_COUNT, SERVICE_POLL_INTERVAL_MS);
  }
  if (!DeleteService(service)) {
    zeb_call_error("DeleteService", server, static_cast<long>(GetLastError()));
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return false;
  }
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
  printf("Successfully deleted '%s' on '%s'\n", ZEB_SERVICE_NAME, server.c_str());
  ++run.count;

  delete_event_source(server);
  if (!path.empty()) delete_executable(run, server, path);
  return true;
}
