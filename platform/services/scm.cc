// The service control manager's database calls: open, create, change,
// query, delete and lock.
#include <strings.h>

#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/services/service_internal.h"
#include "platform/services/service_store.h"
#include "platform/services/services.h"
#include "platform/sync/waitable.h"

namespace {

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kMaximumAllowed = 0x02000000u;
constexpr DWORD kReadControl = 0x00020000u;
constexpr DWORD kStandardAll = 0x000F0000u;

// Longest service and display name, in characters: a service name is a
// registry key name too.
constexpr size_t kMaxServiceName = 255;

struct AccessMap {
  DWORD read, write, execute, all, user;  // user: what a non-administrator gets
};

constexpr AccessMap kManagerMap = {
    kReadControl | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE |
        SC_MANAGER_QUERY_LOCK_STATUS,
    kReadControl | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
    kReadControl | SC_MANAGER_CONNECT | SC_MANAGER_LOCK, SC_MANAGER_ALL_ACCESS,
    kReadControl | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE |
        SC_MANAGER_QUERY_LOCK_STATUS};

constexpr AccessMap kServiceMap = {
    kReadControl | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS,
    kReadControl | SERVICE_CHANGE_CONFIG,
    kReadControl | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
        SERVICE_USER_DEFINED_CONTROL,
    SERVICE_ALL_ACCESS,
    kReadControl | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS | SERVICE_USER_DEFINED_CONTROL};

// The rights granted for `desired`, or ERROR_ACCESS_DENIED.
DWORD grant(DWORD desired, const AccessMap& map, bool admin, DWORD* granted) {
  DWORD specific = desired & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll |
                               kMaximumAllowed);
  if (desired & kGenericRead) specific |= map.read;
  if (desired & kGenericWrite) specific |= map.write;
  if (desired & kGenericExecute) specific |= map.execute;
  if (desired & kGenericAll) specific |= map.all;
  DWORD allowed = admin ? (map.all | kStandardAll) : map.user;
  if (desired & kMaximumAllowed) specific |= allowed;
  if (specific & ~allowed) return ERROR_ACCESS_DENIED;
  *granted = specific;
  return ERROR_SUCCESS;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

SC_HANDLE fail_handle(DWORD error) {
  SetLastError(error);
  return nullptr;
}

bool is_local_system(const std::string& account) {
  return account.empty() || strcasecmp(account.c_str(), "LocalSystem") == 0;
}

DWORD check_name(const std::string& name) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos) return ERROR_INVALID_NAME;
  if (nt_sc_to_wide(name).size() > kMaxServiceName) return ERROR_INVALID_NAME;
  return ERROR_SUCCESS;
}

bool valid_type(DWORD type) {
  DWORD base = type & ~SERVICE_INTERACTIVE_PROCESS;
  if (base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS) return true;
  return (base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER) &&
         !(type & SERVICE_INTERACTIVE_PROCESS);
}

bool is_driver(DWORD type) { return (type & SERVICE_DRIVER) != 0; }

// The configuration rules CreateService and ChangeServiceConfig share.
DWORD check_config(const NtServiceRecord& r, bool tag_asked) {
  if (!valid_type(r.type)) return ERROR_INVALID_PARAMETER;
  if (r.start_type > SERVICE_DISABLED) return ERROR_INVALID_PARAMETER;
  if (r.start_type <= SERVICE_SYSTEM_START && !is_driver(r.type)) return ERROR_INVALID_PARAMETER;
  if (r.error_control > SERVICE_ERROR_CRITICAL) return ERROR_INVALID_PARAMETER;
  if (r.binary_path.empty()) return ERROR_INVALID_PARAMETER;
  if ((r.type & SERVICE_INTERACTIVE_PROCESS) && !is_local_system(r.account))
    return ERROR_INVALID_PARAMETER;
  if (tag_asked && r.start_type > SERVICE_SYSTEM_START) return ERROR_INVALID_PARAMETER;
  if (nt_sc_to_wide(r.display_name).size() > kMaxServiceName) return ERROR_INVALID_NAME;
  if (r.account.size() > 1024 || r.password.size() > 1024) return ERROR_INVALID_PARAMETER;
  for (const std::string& d : r.dependencies)
    if (d == "+" || check_name(d[0] == '+' ? d.substr(1) : d) != ERROR_SUCCESS)
      return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

template <typename Char, typename Convert>
std::vector<std::string> parse_list(const Char* list, Convert convert) {
  std::vector<std::string> out;
  if (!list) return out;
  while (*list) {
    const Char* end = list;
    while (*end) ++end;
    out.push_back(convert(std::basic_string<Char>(list, end).c_str()));
    list = end + 1;
  }
  return out;
}

// The text arguments of CreateService and ChangeServiceConfig in UTF-8; a
// null pointer is "not given".
struct ConfigText {
  const char* present[7] = {};  // non-null when given (points anywhere)
  std::string binary, group, start_name, password, display, name;
  std::vector<std::string> dependencies;
  bool deps_given = false;
};

// Fills the caller's buffer of QueryServiceConfig. `Char` is char (ANSI)
// or WCHAR.
template <typename Config, typename Char, typename Encode>
BOOL fill_config(const NtServiceRecord& r, Config* out, DWORD size, DWORD* needed,
                 Encode encode) {
  std::basic_string<Char> binary = encode(r.binary_path);
  std::basic_string<Char> group = encode(r.load_order_group);
  std::basic_string<Char> account = encode(r.account);
  std::basic_string<Char> display = encode(r.display_name);
  std::basic_string<Char> deps;
  for (const std::string& d : r.dependencies) {
    deps += encode(d);
    deps.push_back(Char(0));
  }
  if (r.dependencies.empty()) deps.push_back(Char(0));
  deps.push_back(Char(0));  // the list's end
  size_t chars = binary.size() + 1 + group.size() + 1 + account.size() + 1 + display.size() + 1 +
                 deps.size();
  size_t total = sizeof(Config) + chars * sizeof(Char);
  *needed = static_cast<DWORD>(total);
  if (size < total || !out) return fail(ERROR_INSUFFICIENT_BUFFER);
  memset(out, 0, total);
  Char* p = reinterpret_cast<Char*>(reinterpret_cast<BYTE*>(out) + sizeof(Config));
  auto put = [&p](const std::basic_string<Char>& s, bool terminate) {
    Char* start = p;
    memcpy(p, s.data(), s.size() * sizeof(Char));
    p += s.size();
    if (terminate) *p++ = Char(0);
    return start;
  };
  out->dwServiceType = r.type;
  out->dwStartType = r.start_type;
  out->dwErrorControl = r.error_control;
  out->lpBinaryPathName = put(binary, true);
  out->lpLoadOrderGroup = put(group, true);
  out->dwTagId = 0;
  out->lpDependencies = put(deps, false);
  out->lpServiceStartName = put(account, true);
  out->lpDisplayName = put(display, true);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

SC_HANDLE open_manager(const std::string& machine, bool machine_given, const std::string& database,
                       DWORD access) {
  if (!database.empty() && strcasecmp(database.c_str(), SERVICES_ACTIVE_DATABASEA) != 0)
    return fail_handle(ERROR_DATABASE_DOES_NOT_EXIST);
  NtMachineRef ref;
  DWORD err = nt_open_machine(machine_given ? machine : std::string(), &ref);
  if (err != ERROR_SUCCESS) return fail_handle(RPC_S_SERVER_UNAVAILABLE);
  auto h = std::make_unique<NtScHandle>();
  h->manager = true;
  h->machine = ref.name;
  h->local = ref.local || ref.name == nt_local_machine_name();
  h->store = ref.store;
  err = grant(access | SC_MANAGER_CONNECT, kManagerMap, nt_sc_caller_is_admin(ref.name),
              &h->access);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  if ((err = nt_service_prepare(*h->store)) != ERROR_SUCCESS) return fail_handle(err);
  SC_HANDLE result = nt_sc_register(std::move(h));
  SetLastError(ERROR_SUCCESS);
  return result;
}

SC_HANDLE create_service(SC_HANDLE manager, const std::string& name, const char* name_ptr,
                         const std::string& display, bool display_given, DWORD access,
                         DWORD type, DWORD start, DWORD error_control, const std::string& binary,
                         bool binary_given, const std::string& group, DWORD* tag,
                         const std::vector<std::string>& deps, const std::string& account,
                         bool account_given, const std::string& password) {
  NtScHandle* m = nt_sc_lookup(manager, true);
  if (!m) return nullptr;
  DWORD err = nt_sc_check_online(*m);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  if (!(m->access & SC_MANAGER_CREATE_SERVICE)) return fail_handle(ERROR_ACCESS_DENIED);
  if (!name_ptr) return fail_handle(ERROR_INVALID_PARAMETER);
  if ((err = check_name(name)) != ERROR_SUCCESS) return fail_handle(err);
  if (!binary_given) return fail_handle(ERROR_INVALID_PARAMETER);
  NtServiceRecord r;
  r.name = name;
  r.display_name = display_given && !display.empty() ? display : name;
  r.type = type;
  r.start_type = start;
  r.error_control = error_control;
  r.binary_path = binary;
  r.load_order_group = group;
  r.dependencies = deps;
  r.account = account_given && !account.empty() ? account : "LocalSystem";
  r.password = is_local_system(r.account) ? std::string() : password;
  if (is_driver(type) && !account_given) r.account.clear();
  if ((err = check_config(r, tag != nullptr)) != ERROR_SUCCESS) return fail_handle(err);
  DWORD granted = 0;
  if ((err = grant(access, kServiceMap, nt_sc_caller_is_admin(m->machine), &granted)) !=
      ERROR_SUCCESS)
    return fail_handle(err);
  if ((err = nt_service_insert(*m->store, r)) != ERROR_SUCCESS) return fail_handle(err);
  if ((err = nt_sc_mirror_write(m->machine, r)) != ERROR_SUCCESS) {
    nt_service_remove(*m->store, r.name);
    return fail_handle(err);
  }
  if (tag) *tag = 0;
  auto h = std::make_unique<NtScHandle>();
  h->machine = m->machine;
  h->local = m->local;
  h->store = m->store;
  h->access = granted;
  h->service = r.name;
  SC_HANDLE result = nt_sc_register(std::move(h));
  SetLastError(ERROR_SUCCESS);
  return result;
}

SC_HANDLE open_service(SC_HANDLE manager, const std::string& name, bool given, DWORD access) {
  NtScHandle* m = nt_sc_lookup(manager, true);
  if (!m) return nullptr;
  DWORD err = nt_sc_check_online(*m);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  if (!given) return fail_handle(ERROR_INVALID_PARAMETER);
  if ((err = check_name(name)) != ERROR_SUCCESS) return fail_handle(err);
  NtServiceRecord r;
  if ((err = nt_service_get(*m->store, name, &r)) != ERROR_SUCCESS) return fail_handle(err);
  DWORD granted = 0;
  if ((err = grant(access, kServiceMap, nt_sc_caller_is_admin(m->machine), &granted)) !=
      ERROR_SUCCESS)
    return fail_handle(err);
  auto h = std::make_unique<NtScHandle>();
  h->machine = m->machine;
  h->local = m->local;
  h->store = m->store;
  h->access = granted;
  h->service = r.name;
  SC_HANDLE result = nt_sc_register(std::move(h));
  SetLastError(ERROR_SUCCESS);
  return result;
}

// The service of a handle with `right`, reachable, and its record (reaped).
DWORD service_of(SC_HANDLE handle, DWORD right, NtScHandle** out, NtServiceRecord* record) {
  NtScHandle* h = nt_sc_lookup(handle, false);
  if (!h) return ERROR_INVALID_HANDLE;
  DWORD err = nt_sc_check_online(*h);
  if (err != ERROR_SUCCESS) return err;
  if ((h->access & right) != right) return ERROR_ACCESS_DENIED;
  if (record) {
    if ((err = nt_service_get(*h->store, h->service, record)) != ERROR_SUCCESS) return err;
    nt_sc_reap(*h->store, record);
  }
  *out = h;
  return ERROR_SUCCESS;
}

BOOL change_config(SC_HANDLE service, DWORD type, DWORD start, DWORD error_control,
                   const std::string* binary, const std::string* group, DWORD* tag,
                   const std::vector<std::string>* deps, const std::string* account,
                   const std::string* password, const std::string* display) {
  NtScHandle* h = nullptr;
  DWORD err = service_of(service, SERVICE_CHANGE_CONFIG, &h, nullptr);
  if (err != ERROR_SUCCESS) return fail(err);
  if (binary && binary->empty()) return fail(ERROR_INVALID_PARAMETER);
  NtServiceRecord changed;
  err = nt_service_modify(*h->store, h->service, [&](NtServiceRecord& r) -> DWORD {
    if (r.delete_pending) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (type != SERVICE_NO_CHANGE) r.type = type;
    if (start != SERVICE_NO_CHANGE) r.start_type = start;
    if (error_control != SERVICE_NO_CHANGE) r.error_control = error_control;
    if (binary) r.binary_path = *binary;
    if (group) r.load_order_group = *group;
    if (deps) r.dependencies = *deps;
    if (account) r.account = account->empty() ? std::string("LocalSystem") : *account;
    if (password) r.password = *password;
    if (is_local_system(r.account)) r.password.clear();
    if (display && !display->empty()) r.display_name = *display;
    DWORD e = check_config(r, tag != nullptr);
    if (e != ERROR_SUCCESS) return e;
    changed = r;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  if (tag) *tag = 0;
  if ((err = nt_sc_mirror_write(h->machine, changed)) != ERROR_SUCCESS) return fail(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

std::string from_ansi_or_empty(const char* text) { return nt_sc_from_ansi(text); }
std::string from_wide_or_empty(const WCHAR* text) { return nt_sc_from_wide(text); }

}  // namespace

SC_HANDLE OpenSCManagerA(const char* lpMachineName, const char* lpDatabaseName,
                         DWORD dwDesiredAccess) {
  bool given = lpMachineName && *lpMachineName;
  return open_manager(from_ansi_or_empty(lpMachineName), given,
                      from_ansi_or_empty(lpDatabaseName), dwDesiredAccess);
}

SC_HANDLE OpenSCManagerW(const WCHAR* lpMachineName, const WCHAR* lpDatabaseName,
                         DWORD dwDesiredAccess) {
  bool given = lpMachineName && *lpMachineName;
  return open_manager(from_wide_or_empty(lpMachineName), given,
                      from_wide_or_empty(lpDatabaseName), dwDesiredAccess);
}

SC_HANDLE CreateServiceA(SC_HANDLE hSCManager, const char* lpServiceName,
                         const char* lpDisplayName, DWORD dwDesiredAccess, DWORD dwServiceType,
                         DWORD dwStartType, DWORD dwErrorControl, const char* lpBinaryPathName,
                         const char* lpLoadOrderGroup, DWORD* lpdwTagId,
                         const char* lpDependencies, const char* lpServiceStartName,
                         const char* lpPassword) {
  return create_service(
      hSCManager, nt_sc_from_ansi(lpServiceName), lpServiceName, nt_sc_from_ansi(lpDisplayName),
      lpDisplayName != nullptr, dwDesiredAccess, dwServiceType, dwStartType, dwErrorControl,
      nt_sc_from_ansi(lpBinaryPathName), lpBinaryPathName && *lpBinaryPathName,
      nt_sc_from_ansi(lpLoadOrderGroup), lpdwTagId, parse_list(lpDependencies, nt_sc_from_ansi),
      nt_sc_from_ansi(lpServiceStartName), lpServiceStartName != nullptr,
      nt_sc_from_ansi(lpPassword));
}

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, const WCHAR* lpServiceName,
                         const WCHAR* lpDisplayName, DWORD dwDesiredAccess, DWORD dwServiceType,
                         DWORD dwStartType, DWORD dwErrorControl, const WCHAR* lpBinaryPathName,
                         const WCHAR* lpLoadOrderGroup, DWORD* lpdwTagId,
                         const WCHAR* lpDependencies, const WCHAR* lpServiceStartName,
                         const WCHAR* lpPassword) {
  return create_service(
      hSCManager, nt_sc_from_wide(lpServiceName),
      lpServiceName ? reinterpret_cast<const char*>(lpServiceName) : nullptr,
      nt_sc_from_wide(lpDisplayName), lpDisplayName != nullptr, dwDesiredAccess, dwServiceType,
      dwStartType, dwErrorControl, nt_sc_from_wide(lpBinaryPathName),
      lpBinaryPathName && *lpBinaryPathName, nt_sc_from_wide(lpLoadOrderGroup), lpdwTagId,
      parse_list(lpDependencies, nt_sc_from_wide), nt_sc_from_wide(lpServiceStartName),
      lpServiceStartName != nullptr, nt_sc_from_wide(lpPassword));
}

SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, const char* lpServiceName, DWORD dwDesiredAccess) {
  return open_service(hSCManager, nt_sc_from_ansi(lpServiceName), lpServiceName != nullptr,
                      dwDesiredAccess);
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, const WCHAR* lpServiceName, DWORD dwDesiredAccess) {
  return open_service(hSCManager, nt_sc_from_wide(lpServiceName), lpServiceName != nullptr,
                      dwDesiredAccess);
}

BOOL DeleteService(SC_HANDLE hService) {
  NtScHandle* h = nullptr;
  NtServiceRecord r;
  DWORD err = service_of(hService, DELETE, &h, &r);
  if (err != ERROR_SUCCESS) return fail(err);
  err = nt_service_modify(*h->store, h->service, [](NtServiceRecord& rec) -> DWORD {
    if (rec.delete_pending) return ERROR_SERVICE_MARKED_FOR_DELETE;
    rec.delete_pending = true;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  // A stopped service goes at once; a running one when its process ends.
  nt_sc_remove_if_marked(*h->store, h->machine, h->service);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  NtScHandle* h = nullptr;
  NtServiceRecord r;
  if (!nt_sc_lookup(hService, false)) return FALSE;
  if (!lpServiceStatus) return fail(ERROR_INVALID_PARAMETER);
  DWORD err = service_of(hService, SERVICE_QUERY_STATUS, &h, &r);
  if (err != ERROR_SUCCESS) return fail(err);
  *lpServiceStatus = nt_sc_status_of(r);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig,
                         DWORD cbBufSize, DWORD* pcbBytesNeeded) {
  NtScHandle* h = nullptr;
  NtServiceRecord r;
  DWORD err = service_of(hService, SERVICE_QUERY_CONFIG, &h, &r);
  if (err != ERROR_SUCCESS) return fail(err);
  if (!pcbBytesNeeded) return fail(ERROR_INVALID_PARAMETER);
  return fill_config<QUERY_SERVICE_CONFIGA, char>(r, lpServiceConfig, cbBufSize, pcbBytesNeeded,
                                                  nt_sc_to_ansi);
}

BOOL QueryServiceConfigW(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGW lpServiceConfig,
                         DWORD cbBufSize, DWORD* pcbBytesNeeded) {
  NtScHandle* h = nullptr;
  NtServiceRecord r;
  DWORD err = service_of(hService, SERVICE_QUERY_CONFIG, &h, &r);
  if (err != ERROR_SUCCESS) return fail(err);
  if (!pcbBytesNeeded) return fail(ERROR_INVALID_PARAMETER);
  return fill_config<QUERY_SERVICE_CONFIGW, WCHAR>(r, lpServiceConfig, cbBufSize, pcbBytesNeeded,
                                                   nt_sc_to_wide);
}

namespace {

// The ANSI and wide forms: texts converted to UTF-8, a null text left
// unchanged.
template <typename Char, typename Convert>
BOOL change_config_texts(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                         DWORD dwErrorControl, const Char* lpBinaryPathName,
                         const Char* lpLoadOrderGroup, DWORD* lpdwTagId,
                         const Char* lpDependencies, const Char* lpServiceStartName,
                         const Char* lpPassword, const Char* lpDisplayName, Convert convert) {
  std::string binary = convert(lpBinaryPathName), group = convert(lpLoadOrderGroup),
              account = convert(lpServiceStartName), password = convert(lpPassword),
              display = convert(lpDisplayName);
  std::vector<std::string> deps = parse_list(lpDependencies, convert);
  return change_config(hService, dwServiceType, dwStartType, dwErrorControl,
                       lpBinaryPathName ? &binary : nullptr, lpLoadOrderGroup ? &group : nullptr,
                       lpdwTagId, lpDependencies ? &deps : nullptr,
                       lpServiceStartName ? &account : nullptr, lpPassword ? &password : nullptr,
                       lpDisplayName ? &display : nullptr);
}

}  // namespace

BOOL ChangeServiceConfigA(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                          DWORD dwErrorControl, const char* lpBinaryPathName,
                          const char* lpLoadOrderGroup, DWORD* lpdwTagId,
                          const char* lpDependencies, const char* lpServiceStartName,
                          const char* lpPassword, const char* lpDisplayName) {
  return change_config_texts(hService, dwServiceType, dwStartType, dwErrorControl,
                             lpBinaryPathName, lpLoadOrderGroup, lpdwTagId, lpDependencies,
                             lpServiceStartName, lpPassword, lpDisplayName, nt_sc_from_ansi);
}

BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                          DWORD dwErrorControl, const WCHAR* lpBinaryPathName,
                          const WCHAR* lpLoadOrderGroup, DWORD* lpdwTagId,
                          const WCHAR* lpDependencies, const WCHAR* lpServiceStartName,
                          const WCHAR* lpPassword, const WCHAR* lpDisplayName) {
  return change_config_texts(hService, dwServiceType, dwStartType, dwErrorControl,
                             lpBinaryPathName, lpLoadOrderGroup, lpdwTagId, lpDependencies,
                             lpServiceStartName, lpPassword, lpDisplayName, nt_sc_from_wide);
}

namespace {
std::mutex& locks_mutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::unordered_set<NtScLock*>& locks() {
  static auto* s = new std::unordered_set<NtScLock*>;
  return *s;
}
constexpr uint32_t kLockMagic = 0x53434C4B;  // "SCLK"
}  // namespace

SC_LOCK LockServiceDatabase(SC_HANDLE hSCManager) {
  NtScHandle* m = nt_sc_lookup(hSCManager, true);
  if (!m) return nullptr;
  DWORD err = nt_sc_check_online(*m);
  if (err == ERROR_SUCCESS && !(m->access & SC_MANAGER_LOCK)) err = ERROR_ACCESS_DENIED;
  int64_t token = 0;
  if (err == ERROR_SUCCESS) err = nt_service_lock_acquire(*m->store, nt_user_name(), &token);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return nullptr;
  }
  auto* lock = new NtScLock;
  lock->magic = kLockMagic;
  lock->store = m->store;
  lock->token = token;
  {
    std::lock_guard<std::mutex> g(locks_mutex());
    locks().insert(lock);
  }
  SetLastError(ERROR_SUCCESS);
  return lock;
}

BOOL UnlockServiceDatabase(SC_LOCK ScLock) {
  auto* lock = static_cast<NtScLock*>(ScLock);
  {
    std::lock_guard<std::mutex> g(locks_mutex());
    if (!lock || locks().erase(lock) == 0) return fail(ERROR_INVALID_SERVICE_LOCK);
  }
  DWORD err = nt_service_lock_release(*lock->store, lock->token);
  lock->magic = 0;
  delete lock;
  if (err != ERROR_SUCCESS) return fail(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL EnumServicesStatusA(SC_HANDLE hSCManager, DWORD dwServiceType, DWORD dwServiceState,
                         LPENUM_SERVICE_STATUSA lpServices, DWORD cbBufSize,
                         DWORD* pcbBytesNeeded, DWORD* lpServicesReturned,
                         DWORD* lpResumeHandle) {
  NtScHandle* m = nt_sc_lookup(hSCManager, true);
  if (!m) return FALSE;
  DWORD err = nt_sc_check_online(*m);
  if (err != ERROR_SUCCESS) return fail(err);
  if (!(m->access & SC_MANAGER_ENUMERATE_SERVICE)) return fail(ERROR_ACCESS_DENIED);
  if (!pcbBytesNeeded || !lpServicesReturned) return fail(ERROR_INVALID_PARAMETER);
  if ((dwServiceType & ~SERVICE_TYPE_ALL) || !(dwServiceType & (SERVICE_WIN32 | SERVICE_DRIVER)) ||
      dwServiceState < SERVICE_ACTIVE || dwServiceState > SERVICE_STATE_ALL)
    return fail(ERROR_INVALID_PARAMETER);
  std::vector<NtServiceRecord> all;
  if ((err = nt_service_list(*m->store, &all)) != ERROR_SUCCESS) return fail(err);
  std::vector<NtServiceRecord> chosen;
  for (NtServiceRecord& r : all) {
    nt_sc_reap(*m->store, &r);
    if (!(r.type & dwServiceType & (SERVICE_WIN32 | SERVICE_DRIVER))) continue;
    bool active = r.state != SERVICE_STOPPED;
    if ((active && !(dwServiceState & SERVICE_ACTIVE)) ||
        (!active && !(dwServiceState & SERVICE_INACTIVE)))
      continue;
    chosen.push_back(r);
  }
  DWORD index = lpResumeHandle ? *lpResumeHandle : 0;
  *lpServicesReturned = 0;
  *pcbBytesNeeded = 0;
  // Entries from the front of the buffer, strings from its end.
  size_t used_front = 0;
  size_t used_back = 0;
  DWORD i = index;
  for (; i < chosen.size(); ++i) {
    std::string name = nt_sc_to_ansi(chosen[i].name);
    std::string display = nt_sc_to_ansi(chosen[i].display_name);
    size_t need = sizeof(ENUM_SERVICE_STATUSA) + name.size() + 1 + display.size() + 1;
    if (!lpServices || used_front + used_back + need > cbBufSize) break;
    BYTE* base = reinterpret_cast<BYTE*>(lpServices);
    used_back += name.size() + 1;
    char* name_at = reinterpret_cast<char*>(base + cbBufSize - used_back);
    memcpy(name_at, name.c_str(), name.size() + 1);
    used_back += display.size() + 1;
    char* display_at = reinterpret_cast<char*>(base + cbBufSize - used_back);
    memcpy(display_at, display.c_str(), display.size() + 1);
    ENUM_SERVICE_STATUSA& e = lpServices[*lpServicesReturned];
    e.lpServiceName = name_at;
    e.lpDisplayName = display_at;
    e.ServiceStatus = nt_sc_status_of(chosen[i]);
    used_front += sizeof(ENUM_SERVICE_STATUSA);
    ++*lpServicesReturned;
  }
  if (i < chosen.size()) {
    size_t rest = 0;
    for (DWORD j = i; j < chosen.size(); ++j)
      rest += sizeof(ENUM_SERVICE_STATUSA) + nt_sc_to_ansi(chosen[j].name).size() + 1 +
              nt_sc_to_ansi(chosen[j].display_name).size() + 1;
    *pcbBytesNeeded = static_cast<DWORD>(rest);
    if (lpResumeHandle) *lpResumeHandle = i;
    return fail(ERROR_MORE_DATA);
  }
  if (lpResumeHandle) *lpResumeHandle = 0;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
