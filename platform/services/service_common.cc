#include <fcntl.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/nls/codepage.h"
#include "platform/pipes/named_pipe_end.h"
#include "platform/registry/registry.h"
#include "platform/services/service_internal.h"

#if __has_include("platform/accounts/account_auth.h")
#include "platform/accounts/account_auth.h"
#define NT_SC_HAVE_ACCOUNTS 1
#endif

namespace {

constexpr uint32_t kHandleMagic = 0x53434D48;  // "SCMH"
constexpr UINT kUtf8 = 65001;
constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
constexpr const char* kEnvironmentKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

std::mutex& handles_mutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::unordered_set<NtScHandle*>& handles() {
  static auto* s = new std::unordered_set<NtScHandle*>;
  return *s;
}

// Deletes a key with everything below it.
LONG delete_tree(HKEY parent, const std::u16string& name) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    WCHAR sub[256];
    DWORD size = 256;
    rc = RegEnumKeyExW(key, 0, sub, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    rc = delete_tree(key, std::u16string(sub, size));
    if (rc != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS && rc != ERROR_NO_MORE_ITEMS) return rc;
  return RegDeleteKeyW(parent, name.c_str());
}

LONG set_string(HKEY key, const char16_t* name, DWORD type, const std::u16string& value) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

LONG set_dword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

}  // namespace

NtScHandle* nt_sc_lookup(SC_HANDLE handle, bool manager) {
  auto* h = reinterpret_cast<NtScHandle*>(handle);
  std::lock_guard<std::mutex> g(handles_mutex());
  if (!h || handles().count(h) == 0 || h->magic != kHandleMagic || h->manager != manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return h;
}

SC_HANDLE nt_sc_register(std::unique_ptr<NtScHandle> handle) {
  handle->magic = kHandleMagic;
  NtScHandle* raw = handle.release();
  std::lock_guard<std::mutex> g(handles_mutex());
  handles().insert(raw);
  return reinterpret_cast<SC_HANDLE>(raw);
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  auto* h = reinterpret_cast<NtScHandle*>(hSCObject);
  {
    std::lock_guard<std::mutex> g(handles_mutex());
    if (!h || handles().erase(h) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  h->magic = 0;
  delete h;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD nt_sc_check_online(const NtScHandle& handle) {
  if (handle.local) return ERROR_SUCCESS;
  bool online = false;
  if (nt_machine_is_online(*handle.store, &online) != ERROR_SUCCESS || !online)
    return RPC_S_SERVER_UNAVAILABLE;
  return ERROR_SUCCESS;
}

bool nt_sc_caller_is_admin(const std::string& machine) {
#ifdef NT_SC_HAVE_ACCOUNTS
  return nt_caller_is_admin(machine);
#else
  // Until the account databases exist: the built-in administrator and the
  // system account administer every machine.
  (void)machine;
  std::string user = nt_user_name();
  return strcasecmp(user.c_str(), "Administrator") == 0 || strcasecmp(user.c_str(), "SYSTEM") == 0;
#endif
}

std::string nt_sc_from_ansi(const char* text) {
  if (!text) return std::string();
  return nt_wide_to_multibyte(kUtf8, nt_ansi_to_wide(text));
}

std::string nt_sc_from_wide(const WCHAR* text) {
  if (!text) return std::string();
  return nt_wide_to_multibyte(kUtf8, std::u16string_view(text));
}

std::u16string nt_sc_to_wide(const std::string& utf8) {
  return nt_multibyte_to_wide(kUtf8, utf8);
}

std::string nt_sc_to_ansi(const std::string& utf8) {
  return nt_wide_to_ansi(nt_sc_to_wide(utf8));
}

SERVICE_STATUS nt_sc_status_of(const NtServiceRecord& r) {
  SERVICE_STATUS s{};
  s.dwServiceType = r.type;
  s.dwCurrentState = r.state;
  s.dwControlsAccepted = r.controls_accepted;
  s.dwWin32ExitCode = r.win32_exit_code;
  s.dwServiceSpecificExitCode = r.specific_exit_code;
  s.dwCheckPoint = r.check_point;
  s.dwWaitHint = r.wait_hint;
  return s;
}

void nt_sc_reap(MachineStore& store, NtServiceRecord* record) {
  if (record->state == SERVICE_STOPPED || record->supervisor_pid == 0) return;
  if (nt_service_process_alive(record->supervisor_pid, record->supervisor_start)) return;
  int64_t run = record->run_id;
  nt_service_modify(store, record->name, [run](NtServiceRecord& r) -> DWORD {
    if (r.run_id != run || r.state == SERVICE_STOPPED) return kScNoChange;
    r.state = SERVICE_STOPPED;
    r.win32_exit_code = ERROR_PROCESS_ABORTED;
    r.process_exit_code = ERROR_PROCESS_ABORTED;
    r.controls_accepted = 0;
    r.check_point = 0;
    r.wait_hint = 0;
    r.process_id = 0;
    r.connected = false;
    return ERROR_SUCCESS;
  });
  NtServiceRecord fresh;
  if (nt_service_get(store, record->name, &fresh) == ERROR_SUCCESS) *record = fresh;
}

DWORD nt_sc_timeout_ms() {
  const char* v = getenv("NT_SERVICE_TIMEOUT_MS");
  if (v && *v) {
    char* end = nullptr;
    unsigned long n = strtoul(v, &end, 10);
    if (end && *end == '\0' && n > 0 && n <= 3600000) return static_cast<DWORD>(n);
  }
  return 30000;
}

DWORD nt_sc_mirror_write(const std::string& machine, const NtServiceRecord& r) {
  HKEY root = nullptr;
  LONG rc = nt_reg_open_machine_root(machine, HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  HKEY key = nullptr;
  std::u16string path = nt_sc_to_wide(std::string(kServicesKey) + "\\" + r.name);
  rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, &key, nullptr);
  RegCloseKey(root);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  LONG err = ERROR_SUCCESS;
  auto keep = [&err](LONG v) {
    if (err == ERROR_SUCCESS) err = v;
  };
  keep(set_dword(key, u"Type", r.type));
  keep(set_dword(key, u"Start", r.start_type));
  keep(set_dword(key, u"ErrorControl", r.error_control));
  keep(set_string(key, u"ImagePath", REG_EXPAND_SZ, nt_sc_to_wide(r.binary_path)));
  keep(set_string(key, u"DisplayName", REG_SZ, nt_sc_to_wide(r.display_name)));
  keep(set_string(key, u"ObjectName", REG_SZ, nt_sc_to_wide(r.account)));
  if (!r.load_order_group.empty())
    keep(set_string(key, u"Group", REG_SZ, nt_sc_to_wide(r.load_order_group)));
  else
    RegDeleteValueW(key, u"Group");
  if (!r.dependencies.empty()) {
    std::u16string multi;
    for (const std::string& d : r.dependencies) {
      multi += nt_sc_to_wide(d);
      multi.push_back(u'\0');
    }
    multi.push_back(u'\0');
    keep(RegSetValueExW(key, u"DependOnService", 0, REG_MULTI_SZ,
                        reinterpret_cast<const BYTE*>(multi.data()),
                        static_cast<DWORD>(multi.size() * sizeof(WCHAR))));
  } else {
    RegDeleteValueW(key, u"DependOnService");
  }
  RegCloseKey(key);
  return static_cast<DWORD>(err);
}

DWORD nt_sc_mirror_delete(const std::string& machine, const std::string& name) {
  HKEY root = nullptr;
  LONG rc = nt_reg_open_machine_root(machine, HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  HKEY services = nullptr;
  rc = RegOpenKeyExA(root, kServicesKey, 0, KEY_ALL_ACCESS, &services);
  RegCloseKey(root);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  rc = delete_tree(services, nt_sc_to_wide(name));
  RegCloseKey(services);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(rc);
}

std::vector<NtMachineVariable> nt_sc_machine_environment(const std::string& machine) {
  std::vector<NtMachineVariable> out;
  HKEY root = nullptr;
  if (nt_reg_open_machine_root(machine, HKEY_LOCAL_MACHINE, &root) != ERROR_SUCCESS) return out;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, kEnvironmentKey, 0, KEY_READ, &key);
  RegCloseKey(root);
  if (rc != ERROR_SUCCESS) return out;
  for (DWORD index = 0;; ++index) {
    WCHAR name[16384];
    DWORD name_size = 16384;
    DWORD type = 0;
    DWORD data_size = 0;
    rc = RegEnumValueW(key, index, name, &name_size, nullptr, &type, nullptr, &data_size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    std::u16string data((data_size + 1) / 2 + 1, u'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    name_size = 16384;
    rc = RegEnumValueW(key, index, name, &name_size, nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc != ERROR_SUCCESS) continue;
    data.resize(size / sizeof(WCHAR));
    while (!data.empty() && data.back() == u'\0') data.pop_back();
    std::u16string var_name(name, name_size);
    if (var_name.empty() || var_name.find(u'=') != std::u16string::npos) continue;
    out.push_back({nt_sc_from_wide(var_name.c_str()), nt_wide_to_multibyte(kUtf8, data),
                   type == REG_EXPAND_SZ});
  }
  RegCloseKey(key);
  return out;
}

void nt_sc_remove_if_marked(MachineStore& store, const std::string& machine,
                            const std::string& name) {
  NtServiceRecord r;
  if (nt_service_get(store, name, &r) != ERROR_SUCCESS) return;
  if (!r.delete_pending || r.state != SERVICE_STOPPED) return;
  // The key first: whoever sees the service gone sees its key gone.
  nt_sc_mirror_delete(machine, r.name);
  nt_service_remove(store, name);
}

std::string nt_sc_socket_path(const std::string& machine, const std::string& name) {
  // FNV-1a over the upper-cased name: any service name gives a short file name.
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : nt_service_key(name)) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char file[32];
  snprintf(file, sizeof file, "%016llx.sock", static_cast<unsigned long long>(h));
  return nt_network_machine_dir(nt_network_root(), machine) + "/run/services/" + file;
}

int nt_sc_socket_listen(const std::string& path, DWORD* error) {
  size_t slash = path.rfind('/');
  mkdir(path.substr(0, slash).c_str(), 0777);
  sockaddr_un address;
  int dir_fd = -1;
  if (!nt_pipe_socket_address(path, &address, &dir_fd)) {
    *error = win32_error_from_errno(errno);
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = win32_error_from_errno(errno);
    if (dir_fd >= 0) close(dir_fd);
    return -1;
  }
  unlink(address.sun_path);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
    *error = win32_error_from_errno(errno);
    close(fd);
    fd = -1;
  }
  if (dir_fd >= 0) close(dir_fd);
  return fd;
}

int nt_sc_socket_connect(const std::string& path, DWORD* error) {
  sockaddr_un address;
  int dir_fd = -1;
  if (!nt_pipe_socket_address(path, &address, &dir_fd)) {
    *error = win32_error_from_errno(errno);
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = win32_error_from_errno(errno);
    close(fd);
    fd = -1;
  } else if (fd < 0) {
    *error = win32_error_from_errno(errno);
  }
  if (dir_fd >= 0) close(dir_fd);
  return fd;
}
