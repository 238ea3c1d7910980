#include "morva/server_actions.h"

#include <strings.h>

#include <cstring>

#include "lib/command_line_parser.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/remote_file_name.h"
#include "lib/service_polling.h"
#include "lib/version_backup.h"
#include "morva/install_paths.h"
#include "morva/messages.h"
#include "morva/morva_names.h"
#include "platform/files/file_copy.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"

namespace {

constexpr char kEventSourceParent[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

void copy_cut(const std::string& text, char* out) {
  size_t keep = ansi_cut_bytes(text.c_str(), ARG_TEXT_SIZE - 1);
  std::memcpy(out, text.data(), keep);
  out[keep] = '\0';
}

bool same_file_name(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The record passes the criteria (-p, -A).
bool meets_criteria(const InstallerSettings& settings, const ServerRecord& record) {
  if (settings.criteria == nullptr) return true;
  ServerFields fields;
  fill_server_fields(record, &fields);
  return match_criteria(fields.table, settings.criteria);
}

std::string question(const char* format, const std::string& a, const std::string& b,
                     const std::string& c = "", const std::string& d = "") {
  char line[2048];
  std::snprintf(line, sizeof line, format, a.c_str(), b.c_str(), c.c_str(), d.c_str());
  return line;
}

// The configured path of an open service; false (printed) on failure.
bool configured_path(SC_HANDLE service, const std::string& server, std::string* path) {
  alignas(QUERY_SERVICE_CONFIGA) char buffer[SERVICE_CONFIG_MAX];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  if (!QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
    morva_error("MORVA-ERROR, QueryServiceConfig(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(GetLastError()));
    return false;
  }
  *path = config->lpBinaryPathName ? config->lpBinaryPathName : "";
  return true;
}

// Opens the service on `server` with all access (printing failures).
SC_HANDLE open_service(const std::string& server, SC_HANDLE* manager) {
  *manager = OpenSCManagerA(server.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
  if (*manager == nullptr) {
    morva_error("MORVA-ERROR, OpenSCManager(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(GetLastError()));
    return nullptr;
  }
  SC_HANDLE service = OpenServiceA(*manager, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    morva_error("MORVA-ERROR, OpenService(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(GetLastError()));
    CloseServiceHandle(*manager);
    *manager = nullptr;
  }
  return service;
}

void close_service(SC_HANDLE service, SC_HANDLE manager) {
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
}

// Writes the values of add into the service key; false when any failed.
bool write_service_values(const InstallerSettings& settings, const std::string& server) {
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(server.c_str(), HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) {
    morva_error("MORVA-ERROR, RegConnectRegistry(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(rc));
    return false;
  }
  HKEY key = nullptr;
  rc = RegOpenKeyExA(root, MORVA_SERVICE_KEY, 0, KEY_WRITE, &key);
  RegCloseKey(root);
  if (rc != ERROR_SUCCESS) {
    morva_error("MORVA-ERROR, RegOpenKey(Services\\%s) failed, error=%ld\n", MORVA_SERVICE_NAME,
                static_cast<long>(rc));
    return false;
  }
  bool ok = true;
  auto write = [&](const char* name, DWORD type, const std::string& text) {
    LONG err = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    if (err != ERROR_SUCCESS) {
      morva_error("MORVA-ERROR, RegSetValue(%s) failed, error=%ld\n", name, static_cast<long>(err));
      ok = false;
    }
  };
  write(MORVA_VALUE_VERSION, REG_SZ, settings.own_version);
  write(MORVA_VALUE_PROFILE, REG_EXPAND_SZ, profile_directory_value(settings.option_directory));
  RegCloseKey(key);
  return ok;
}

// Deletes the event source key on `server` (printing the outcome).
void delete_event_source(const std::string& server) {
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(server.c_str(), HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) {
    morva_error("MORVA-ERROR, RegConnectRegistry(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(rc));
    return;
  }
  HKEY parent = nullptr;
  if (RegOpenKeyExA(root, kEventSourceParent, 0, KEY_ALL_ACCESS, &parent) == ERROR_SUCCESS) {
    if (RegDeleteKeyA(parent, MORVA_SERVICE_NAME) == ERROR_SUCCESS) {
      morva_info("MORVA-INFO, Deleted key 'EventLog\\%s' on '%s'\n", MORVA_SERVICE_NAME,
                 server.c_str());
    }
    RegCloseKey(parent);
  }
  RegCloseKey(root);
}

// The query every action but add begins with.
bool query(const std::string& domain, const std::string& server, ServerRecord* record) {
  record->domain = domain;
  record->server = server;
  return query_service("MORVA", server.c_str(), MORVA_SERVICE_NAME, SERVICE_VALUE_VERSION,
                       &record->query) == ERROR_SUCCESS;
}

}  // namespace

void fill_server_fields(const ServerRecord& record, ServerFields* fields) {
  copy_cut(record.domain, fields->domain);
  copy_cut(record.server, fields->server);
  copy_cut(record.query.directory, fields->directory);
  copy_cut(autostart_word(record.query.start_type), fields->autostart);
  copy_cut(record.query.version, fields->version);
  fields->table[0] = {ARG_STRING, 'D', ARG_OPTIONAL, fields->domain, 0};
  fields->table[1] = {ARG_STRING, 'S', ARG_OPTIONAL, fields->server, 0};
  fields->table[2] = {ARG_STRING, 'p', ARG_OPTIONAL, fields->directory, 0};
  fields->table[3] = {ARG_STRING, 'A', ARG_OPTIONAL, fields->autostart, 0};
  fields->table[4] = {ARG_STRING, 'V', ARG_OPTIONAL, fields->version, 0};
  fields->table[5] = {ARG_END, 0, 0, nullptr, 0};
}

const char* autostart_word(DWORD start_type) {
  switch (start_type) {
    case SERVICE_DEMAND_START:
      return "0";
    case SERVICE_DISABLED:
      return "Disabled";
    default:
      return "1";
  }
}

ActionOutcome add_server(const InstallerSettings& settings, const std::string&,
                         const std::string& server) {
  ActionOutcome outcome;
  if (!confirm(question("Install %s on %s ?\n", MORVA_SERVICE_NAME, server).c_str())) {
    return outcome;
  }
  outcome.ok = false;
  SC_HANDLE manager = OpenSCManagerA(server.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    morva_error("MORVA-ERROR, OpenSCManager(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(GetLastError()));
    return outcome;
  }
  bool remote = !is_local_server(server.c_str());
  std::string target = install_target_path(settings.option_path, remote, settings.program_name);
  if (target.empty()) target = settings.program_path;

  SC_HANDLE service = CreateServiceA(
      manager, MORVA_SERVICE_NAME, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, target.c_str(),
      MORVA_LOAD_ORDER_GROUP, nullptr, nullptr, nullptr, nullptr);
  if (service == nullptr) {
    morva_error("MORVA-ERROR, CreateService(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(GetLastError()));
    CloseServiceHandle(manager);
    return outcome;
  }
  std::string file = reach_path(server, remote, target, settings.local_system_root);
  if (!same_file_name(file, settings.program_path)) {
    if (!CopyFileA(settings.program_path.c_str(), file.c_str(), FALSE)) {
      morva_error("MORVA-ERROR, CopyFile(%s,%s) failed, error=%ld\n",
                  settings.program_path.c_str(), file.c_str(), static_cast<long>(GetLastError()));
      DeleteService(service);
      close_service(service, manager);
      return outcome;
    }
    morva_info("MORVA-INFO, Copied %s to %s\n", settings.program_path.c_str(), file.c_str());
  }
  close_service(service, manager);
  morva_info("MORVA-INFO, Successfully added '%s' on '%s'\n", MORVA_SERVICE_NAME, server.c_str());
  outcome.counted = true;
  outcome.ok = write_service_values(settings, server);
  return outcome;
}

ActionOutcome delete_server(const InstallerSettings& settings, const std::string& domain,
                            const std::string& server) {
  ActionOutcome outcome;
  ServerRecord record;
  if (!query(domain, server, &record)) return ActionOutcome{false, false};
  if (!meets_criteria(settings, record)) return outcome;
  if (!confirm(question("Remove %s on %s ?\n", MORVA_SERVICE_NAME, server).c_str())) {
    return outcome;
  }
  outcome.ok = false;
  delete_event_source(server);
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = open_service(server, &manager);
  if (service == nullptr) return outcome;
  std::string path;
  bool have_path = configured_path(service, server, &path);
  if (!have_path) morva_error("           executable file will not be deleted\n");
  // The service is not stopped first: a running one goes when it ends.
  if (!DeleteService(service)) {
    morva_error("MORVA-ERROR, DeleteService(%s) failed, error=%ld\n", server.c_str(),
                static_cast<long>(GetLastError()));
    close_service(service, manager);
    return outcome;
  }
  close_service(service, manager);
  morva_info("MORVA-INFO, Successfully deleted '%s' on '%s'\n", MORVA_SERVICE_NAME,
             server.c_str());
  outcome.counted = true;
  outcome.ok = have_path;
  if (!have_path || path.empty()) return outcome;

  bool remote = !is_local_server(server.c_str());
  std::string file = reach_path(server, remote, path, settings.local_system_root);
  if (same_file_name(file, settings.program_path)) {
    // A service registered in place is this very program: it stays.
    morva_info("MORVA-INFO, %s is the running program, not deleted\n", file.c_str());
    return outcome;
  }
  if (!confirm(question("Delete executable file '%s' on '%s' ?\n", path, server).c_str())) {
    return outcome;
  }
  if (DeleteFileA(file.c_str())) {
    morva_info("MORVA-INFO, Deleted %s\n", file.c_str());
  } else {
    morva_error("MORVA-ERROR, DeleteFile(%s) failed, error=%ld\n", file.c_str(),
                static_cast<long>(GetLastError()));
    outcome.ok = false;
  }
  return outcome;
}

ActionOutcome update_server(const InstallerSettings& settings, const std::string& domain,
                            const std::string& server) {
  ActionOutcome outcome;
  ServerRecord record;
  if (!query(domain, server, &record)) return ActionOutcome{false, false};
  if (!meets_criteria(settings, record)) return outcome;
  const std::string& installed = record.query.version;
  if (strcasecmp(installed.c_str(), settings.own_version.c_str()) == 0) {
    morva_info("MORVA-INFO, %s has same version (%s)\n", server.c_str(), installed.c_str());
    return outcome;
  }
  if (!confirm(question("Update %s %s on %s with %s ?\n", MORVA_SERVICE_NAME, installed,
                        server, settings.own_version)
                   .c_str())) {
    return outcome;
  }
  outcome.ok = false;
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = open_service(server, &manager);
  if (service == nullptr) return outcome;
  std::string path;
  if (!configured_path(service, server, &path) || path.empty()) {
    morva_error("           executable file cannot be found\n");
    close_service(service, manager);
    return outcome;
  }
  SERVICE_STATUS status{};
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  morva_info("MORVA-INFO, stopping service on '%s'...", server.c_str());
  poll_service_state(service, SERVICE_STOPPED, settings.poll_count, settings.poll_interval_ms);
  close_service(service, manager);

  bool remote = !is_local_server(server.c_str());
  std::string file = reach_path(server, remote, path, settings.local_system_root);
  bool copy = !same_file_name(file, settings.program_path);
  if (copy) {
    std::string keep = version_backup_name(file, installed);
    if (!keep.empty() && move_to_backup("MORVA", file, keep) != ERROR_SUCCESS) return outcome;
    if (!CopyFileA(settings.program_path.c_str(), file.c_str(), FALSE)) {
      morva_error("MORVA-ERROR, CopyFile(%s,%s) failed, error=%ld\n",
                  settings.program_path.c_str(), file.c_str(), static_cast<long>(GetLastError()));
      return outcome;
    }
  }
  outcome.ok = true;
  HKEY root = nullptr;
  HKEY key = nullptr;
  LONG rc = RegConnectRegistryA(server.c_str(), HKEY_LOCAL_MACHINE, &root);
  if (rc == ERROR_SUCCESS) {
    rc = RegOpenKeyExA(root, MORVA_SERVICE_KEY, 0, KEY_WRITE, &key);
    RegCloseKey(root);
  }
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExA(key, MORVA_VALUE_VERSION, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(settings.own_version.c_str()),
                        static_cast<DWORD>(settings.own_version.size() + 1));
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS) {
    morva_error("MORVA-ERROR, RegSetValue(%s=%s) failed, error=%ld\n", MORVA_VALUE_VERSION,
                settings.own_version.c_str(), static_cast<long>(rc));
    outcome.ok = false;
  }
  outcome.counted = true;
  if (copy) morva_info("MORVA-INFO, Copied %s to %s\n", settings.program_path.c_str(), file.c_str());
  morva_info("MORVA-INFO, Successfully updated %s on %s with %s\n", MORVA_SERVICE_NAME,
             server.c_str(), settings.own_version.c_str());
  return outcome;
}

ActionOutcome show_server(const InstallerSettings& settings, const std::string& domain,
                          const std::string& server) {
  ServerRecord record;
  if (!query(domain, server, &record)) return ActionOutcome{false, false};
  ServerFields fields;
  fill_server_fields(record, &fields);
  if (settings.criteria != nullptr && !match_criteria(fields.table, settings.criteria)) {
    return ActionOutcome{};
  }
  print_formatted(settings.format, fields.table, settings.ansi);
  return ActionOutcome{true, true};
}
