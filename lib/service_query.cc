#include "lib/service_query.h"

#include <cstdio>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"

namespace {

void print_error(const char* prefix, const char* call, const std::string& object, long error) {
  fflush(stdout);
  fprintf(stderr, "%s-ERROR, %s(%s) failed, error=%ld\n", prefix, call, object.c_str(), error);
}

// A REG_SZ or REG_EXPAND_SZ value read into at most `max` bytes.
LONG read_text(HKEY key, const char* name, DWORD max, std::string* text) {
  std::vector<char> data(max + 1, '\0');
  DWORD size = max;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  data[size < max ? size : max] = '\0';
  *text = data.data();
  return ERROR_SUCCESS;
}

void read_values(const char* prefix, const char* server, const char* service, unsigned values,
                 ServiceQuery* out) {
  if (values == 0) return;
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(server, HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) {
    print_error(prefix, "RegConnectRegistry", server ? server : "", rc);
    return;
  }
  HKEY key = nullptr;
  const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + service;
  rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    print_error(prefix, "RegOpenKey", std::string("Services\\") + service, rc);
    RegCloseKey(root);
    return;
  }
  if (values & SERVICE_VALUE_LOGGING) {
    DWORD mask = 0;
    DWORD size = sizeof mask;
    DWORD type = 0;
    rc = RegQueryValueExA(key, "Logging", nullptr, &type, reinterpret_cast<BYTE*>(&mask), &size);
    if (rc == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof mask)) {
      rc = ERROR_INVALID_DATA;
    }
    if (rc == ERROR_SUCCESS) {
      out->logging = mask;
      out->logging_range = logging_range_text(mask);
    } else {
      print_error(prefix, "RegQueryValue", "Logging", rc);
    }
  }
  if (values & SERVICE_VALUE_TEMP_DIR) {
    rc = read_text(key, "TempDir", SERVICE_TEMP_DIR_MAX, &out->temp_dir);
    if (rc != ERROR_SUCCESS) print_error(prefix, "RegQueryValue", "TempDir", rc);
  }
  if (values & SERVICE_VALUE_VERSION) {
    rc = read_text(key, "Version", SERVICE_VERSION_MAX, &out->version);
    if (rc != ERROR_SUCCESS) print_error(prefix, "RegQueryValue", "Version", rc);
  }
  RegCloseKey(key);
  RegCloseKey(root);
}

}  // namespace

const char* service_state_word(DWORD state) {
  static const char* const kWords[] = {"STOPPED",    "STARTING", "STOPPING", "RUNNING",
                                       "CONTINUING", "PAUSING",  "PAUSED"};
  return state >= 1 && state <= 7 ? kWords[state - 1] : "";
}

std::string logging_range_text(DWORD mask) {
  std::string text;
  for (int bit = 0; bit < 16; ++bit) {
    if ((mask & (1u << bit)) == 0) continue;
    if (!text.empty()) text += ',';
    text += std::to_string(bit);
  }
  return text.empty() ? std::string("0") : text;
}

std::string path_directory(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

DWORD query_service(const char* prefix, const char* server, const char* service,
                    unsigned values, ServiceQuery* out) {
  *out = ServiceQuery();
  const std::string where = server ? server : "";
  SC_HANDLE scm = OpenSCManagerA(server, nullptr, SC_MANAGER_CONNECT);
  if (scm == nullptr) {
    const DWORD error = GetLastError();
    print_error(prefix, "OpenSCManager", where, static_cast<long>(error));
    return error;
  }
  SC_HANDLE handle = OpenServiceA(scm, service, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
  if (handle == nullptr) {
    const DWORD error = GetLastError();
    print_error(prefix, "OpenService", where, static_cast<long>(error));
    CloseServiceHandle(scm);
    return error;
  }
  DWORD error = 0;
  SERVICE_STATUS status{};
  alignas(8) BYTE buffer[SERVICE_CONFIG_MAX];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  if (!QueryServiceStatus(handle, &status)) {
    error = GetLastError();
    print_error(prefix, "QueryServiceStatus", where, static_cast<long>(error));
  } else if (!QueryServiceConfigA(handle, config, sizeof buffer, &needed)) {
    error = GetLastError();
    print_error(prefix, "QueryServiceConfig", where, static_cast<long>(error));
  } else {
    out->state = status.dwCurrentState;
    out->service_type = config->dwServiceType;
    out->start_type = config->dwStartType;
    out->path = config->lpBinaryPathName ? config->lpBinaryPathName : "";
    out->directory = path_directory(out->path);
    out->account = config->lpServiceStartName ? config->lpServiceStartName : "";
    out->interactive = (config->dwServiceType & SERVICE_INTERACTIVE_PROCESS) != 0;
  }
  CloseServiceHandle(handle);
  CloseServiceHandle(scm);
  if (error != 0) return error;
  read_values(prefix, server, service, values, out);
  return 0;
}
