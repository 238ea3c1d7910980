// set: changes the configuration of the scheduler service on one server
// (type, start type, account) and its settings "Logging" and "TempDir".
#include <cstdio>
#include <string>

#include "lib/frame.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"
#include "zeb/server_actions.h"
#include "zeb/server_files.h"
#include "zeb/server_prompts.h"
#include "zeb/server_record.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"
#include "zeb/zeb_text.h"

namespace {

// The service manager part of set: false when the database could not be
// locked or the service opened (the action ends); a refused change is
// reported and the action goes on.
bool change_config(ServerRun& run, const std::string& server) {
  const ZebClientArgs& args = *run.args;
  SC_HANDLE scm = OpenSCManagerA(server.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
  if (scm == nullptr) {
    zeb_call_error("OpenSCManager", server, static_cast<long>(GetLastError()));
    return false;
  }
  SC_LOCK lock = LockServiceDatabase(scm);
  if (lock == nullptr) {
    zeb_call_error("LockServiceDatabase", server, static_cast<long>(GetLastError()));
    CloseServiceHandle(scm);
    return false;
  }
  SC_HANDLE service = OpenServiceA(scm, ZEB_SERVICE_NAME, SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    zeb_call_error("OpenService", server, static_cast<long>(GetLastError()));
    UnlockServiceDatabase(lock);
    CloseServiceHandle(scm);
    return false;
  }
  DWORD type = SERVICE_NO_CHANGE;
  if (args.interactive == 1) type = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
  if (args.interactive == 0) type = SERVICE_WIN32_OWN_PROCESS;
  DWORD start = SERVICE_NO_CHANGE;
  if (args.autostart == 1) start = SERVICE_AUTO_START;
  if (args.autostart == 0) start = SERVICE_DEMAND_START;
  const char* account = nullptr;
  std::string password;
  const char* password_arg = nullptr;
  if (args.account_given) {
    account = args.account.c_str();
    if (!zeb_equal_nocase(args.account, "LocalSystem")) {
      password = zeb_service_password(run, args.account);
    }
    password_arg = password.c_str();  // "" for LocalSystem: no password
  }
  if (!ChangeServiceConfigA(service, type, start, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                            nullptr, account, password_arg, ZEB_SERVICE_NAME)) {
    zeb_call_error("ChangeService", server, static_cast<long>(GetLastError()));
  }
  UnlockServiceDatabase(lock);
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
  return true;
}

// "Logging" (/l) and "TempDir" (/T); false when the key cannot be opened.
bool write_settings(const ZebClientArgs& args, const std::string& server) {
  HKEY key = nullptr;
  LONG rc = zeb_connect_service_key(server, &key);
  if (rc != ERROR_SUCCESS) return false;
  if (args.logging_given &&
      (rc = zeb_write_logging(key, zeb_logging_mask(args.logging))) != ERROR_SUCCESS) {
    zeb_call_error("RegSetValue", ZEB_VALUE_LOGGING, rc);
  }
  if (args.out_dir_given &&
      (rc = zeb_write_temp_dir(key, args.out_dir.c_str())) != ERROR_SUCCESS) {
    zeb_call_error("RegSetValue", ZEB_VALUE_TEMP_DIR, rc);
  }
  RegCloseKey(key);
  return true;
}

}  // namespace

bool zeb_server_set(ServerRun& run, const std::string& domain, const std::string& server) {
  ServerRecord record;
  if (server_record_query(domain.c_str(), server.c_str(), &record) != 0) return false;
  if (!server_record_matches(record, run.args->criteria)) return true;
  ++run.servers;
  const std::string question =
      std::string("Modify '") + ZEB_SERVICE_NAME + "' on '" + server + "' ?\n";
  if (!confirm(question.c_str())) return false;
  if (!change_config(run, server)) return false;
  if ((run.args->logging_given || run.args->out_dir_given) && !write_settings(*run.args, server)) {
    return false;
  }
  ++run.count;
  printf("ZEB-INFO, Modified '%s' on '%s'\n", ZEB_SERVICE_NAME, server.c_str());
  return true;
}
