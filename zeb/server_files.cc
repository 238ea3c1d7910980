#include "zeb/server_files.h"

#include <cstdio>

#include "lib/time_syntax.h"
#include "platform/files/directory.h"
#include "platform/files/file_copy.h"
#include "platform/kernel/error.h"
#include "platform/registry/registry.h"
#include "zeb/server_actions.h"
#include "zeb/service_keys.h"

std::string zeb_executable_name(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.find('.') == std::string::npos) name += ".exe";
  return name;
}

namespace {

// Creates every missing directory of `path` up to its last separator. A
// UNC path starts below its share ("\\SRV\C$\").
void create_parents(const std::string& path) {
  size_t start = 0;
  if (path.rfind("\\\\", 0) == 0) {
    const size_t server_end = path.find('\\', 2);
    if (server_end == std::string::npos) return;
    start = path.find('\\', server_end + 1);
    if (start == std::string::npos) return;
  } else if (path.size() > 2 && path[1] == ':') {
    start = 2;
  }
  for (size_t at = path.find_first_of("\\/", start + 1); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
}

}  // namespace

DWORD zeb_copy_executable(const std::string& source, const std::string& target) {
  if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return 0;
  DWORD error = GetLastError();
  if (error != ERROR_PATH_NOT_FOUND) return error;
  create_parents(target);
  if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return 0;
  error = GetLastError();
  return error != 0 ? error : ERROR_PATH_NOT_FOUND;
}

DWORD zeb_logging_mask(const std::string& range) {
  DWORD mask = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if (in_range(range.c_str(), bit)) mask |= 1u << bit;
  }
  return mask;
}

long zeb_connect_service_key(const std::string& server, HKEY* key) {
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(server.c_str(), HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) {
    fflush(stdout);
    fprintf(stderr, "ZEB-ERROR, RegConnectRegistry(%s) failed, error=%ld\n", server.c_str(),
            static_cast<long>(rc));
    return rc;
  }
  HKEY opened = nullptr;
  rc = RegOpenKeyExA(root, ZEB_SERVICE_KEY, 0, KEY_ALL_ACCESS, &opened);
  RegCloseKey(root);
  if (rc != ERROR_SUCCESS) {
    fflush(stdout);
    fprintf(stderr, "ZEB-ERROR, RegOpenKey(Services\\%s) failed, error=%ld\n", ZEB_SERVICE_NAME,
            static_cast<long>(rc));
    return rc;
  }
  *key = opened;
  return 0;
}

bool zeb_open_service(const std::string& server, SC_HANDLE* scm, SC_HANDLE* service) {
  *scm = OpenSCManagerA(server.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
  if (*scm == nullptr) {
    zeb_call_error("OpenSCManager", server, static_cast<long>(GetLastError()));
    return false;
  }
  *service = OpenServiceA(*scm, ZEB_SERVICE_NAME, SERVICE_ALL_ACCESS);
  if (*service == nullptr) {
    zeb_call_error("OpenService", server, static_cast<long>(GetLastError()));
    CloseServiceHandle(*scm);
    *scm = nullptr;
    return false;
  }
  return true;
}
