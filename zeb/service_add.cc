// add: installs the scheduler service on one server. The running executable
// is copied to the target path (through the administrative share of a
// remote server), the service is created, and its settings are written to
// the server's registry.
#include <cstdio>
#include <string>

#include "lib/frame.h"
#include "lib/remote_file_name.h"
#include "lib/time_syntax.h"
#include "platform/files/file_copy.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"
#include "zeb/server_actions.h"
#include "zeb/server_files.h"
#include "zeb/server_prompts.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"
#include "zeb/zeb_text.h"

namespace {

// The executable's path on the server: the running program itself for the
// local machine without /c, else the directory with a trailing backslash
// and the program's file name.
std::string target_file(ServerRun& run, const std::string& server) {
  const bool local = is_local_server(server.c_str());
  if (local && !run.args->path_given) return run.own_exe;
  std::string dir = local ? run.args->path : zeb_ask_target_path(run, server);
  if (dir.empty() || (dir.back() != '\\' && dir.back() != '/')) dir += '\\';
  return dir + zeb_executable_name(run.own_exe);
}

// "Logging", "TempDir" and "Version" under the service key; false when one
// of them could not be written.
bool write_settings(ServerRun& run, const std::string& server) {
  HKEY key = nullptr;
  LONG rc = zeb_connect_service_key(server, &key);
  if (rc != ERROR_SUCCESS) return false;
  bool ok = true;
  // Without /l the range is "0": bit 0 set.
  const DWORD mask = zeb_logging_mask(run.args->logging_given ? run.args->logging : "0");
  if ((rc = zeb_write_logging(key, mask)) != ERROR_SUCCESS) {
    zeb_call_error("RegSetValue", ZEB_VALUE_LOGGING, rc);
    ok = false;
  }
  const std::string temp =
      run.args->out_dir_given ? run.args->out_dir : std::string(ZEB_DEFAULT_TEMP_DIR);
  if ((rc = zeb_write_temp_dir(key, temp.c_str())) != ERROR_SUCCESS) {
    zeb_call_error("RegSetValue", ZEB_VALUE_TEMP_DIR, rc);
    ok = false;
  }
  if ((rc = zeb_write_version(key, run.own_version.c_str())) != ERROR_SUCCESS) {
    zeb_call_error("RegSetValue", ZEB_VALUE_VERSION, rc);
    ok = false;
  }
  RegCloseKey(key);
  return ok;
}

}  // namespace

bool zeb_server_add(ServerRun& run, const std::string& domain, const std::string& server) {
  (void)domain;
  ++run.servers;
  const std::string question =
      std::string("Install '") + ZEB_SERVICE_NAME + "' on '" + server + "' ?\n";
  if (!confirm(question.c_str())) return false;
  const ZebClientArgs& args = *run.args;
  const bool autostart = args.autostart == 1;
  const bool interactive = args.interactive == 1;

  SC_HANDLE scm = OpenSCManagerA(server.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
  if (scm == nullptr) {
    zeb_call_error("OpenSCManager", server, static_cast<long>(GetLastError()));
    return false;
  }
  const std::string target = target_file(run, server);
  // A remote server is reached through the administrative share of a
  // drive: a path without a drive letter would be copied to this machine.
  if (!is_local_server(server.c_str()) && !is_drive_path(target)) {
    fflush(stdout);
    fprintf(stderr, "ZEB-ERROR, target path '%s' on '%s' must begin with a drive letter\n",
            target.c_str(), server.c_str());
    CloseServiceHandle(scm);
    return false;
  }

  const bool own_account = args.account_given && !args.account.empty() &&
                           !zeb_equal_nocase(args.account, "LocalSystem");
  std::string password;
  if (own_account) password = zeb_service_password(run, args.account);

  DWORD type = SERVICE_WIN32_OWN_PROCESS;
  if (interactive && !own_account) type |= SERVICE_INTERACTIVE_PROCESS;
  static const char kDependencies[] = "LanmanWorkstation\0";
  SC_HANDLE service = CreateServiceA(
      scm, ZEB_SERVICE_NAME, ZEB_SERVICE_NAME, SERVICE_ALL_ACCESS, type,
      autostart ? SERVICE_AUTO_START : SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
      target.c_str(), nullptr, nullptr, kDependencies,
      own_account ? args.account.c_str() : nullptr, own_account ? password.c_str() : nullptr);
  if (service == nullptr) {
    zeb_call_error("CreateService", server, static_cast<long>(GetLastError()));
    CloseServiceHandle(scm);
    return false;
  }

  if (!zeb_equal_nocase(target, run.own_exe)) {
    const std::string remote = remote_file_name(server.c_str(), target);
    const DWORD rc = zeb_copy_executable(run.own_exe, remote);
    if (rc != 0) {
      zeb_call_error("CopyFile", run.own_exe + "," + remote, static_cast<long>(rc));
      DeleteService(service);
      CloseServiceHandle(service);
      CloseServiceHandle(scm);
      return false;
    }
    printf("ZEB-INFO, Copied %s to %s\n", run.own_exe.c_str(), remote.c_str());
  }
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
  printf("ZEB-INFO, Successfully added '%s' on '%s'\n", ZEB_SERVICE_NAME, server.c_str());
  ++run.count;

  bool ok = write_settings(run, server);
  if (autostart) {
    bool arrived = false;
    if (!zeb_start_service(server, false, &arrived) || !arrived) ok = false;
  }
  return ok;
}
