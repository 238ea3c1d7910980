#include "platform/security/privilege.h"

#include <strings.h>

#include <cstring>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/nls/codepage.h"

namespace {

const char* const kNames[] = {
    SE_CREATE_TOKEN_NAME,        SE_ASSIGNPRIMARYTOKEN_NAME, SE_LOCK_MEMORY_NAME,
    SE_INCREASE_QUOTA_NAME,      SE_MACHINE_ACCOUNT_NAME,    SE_TCB_NAME,
    SE_SECURITY_NAME,            SE_TAKE_OWNERSHIP_NAME,     SE_LOAD_DRIVER_NAME,
    SE_SYSTEM_PROFILE_NAME,      SE_SYSTEMTIME_NAME,         SE_PROF_SINGLE_PROCESS_NAME,
    SE_INC_BASE_PRIORITY_NAME,   SE_CREATE_PAGEFILE_NAME,    SE_CREATE_PERMANENT_NAME,
    SE_BACKUP_NAME,              SE_RESTORE_NAME,            SE_SHUTDOWN_NAME,
    SE_DEBUG_NAME,               SE_AUDIT_NAME,              SE_SYSTEM_ENVIRONMENT_NAME,
    SE_CHANGE_NOTIFY_NAME,       SE_REMOTE_SHUTDOWN_NAME,
};
static_assert(sizeof kNames / sizeof kNames[0] ==
                  SE_MAX_WELL_KNOWN_PRIVILEGE - SE_MIN_WELL_KNOWN_PRIVILEGE + 1,
              "one name per value");

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// The named system must answer (the lookup is a remote call in NT).
template <typename Char>
DWORD check_system(const Char* system) {
  if (system == nullptr || system[0] == 0) return ERROR_SUCCESS;
  NtMachineRef machine;
  DWORD err;
  if constexpr (sizeof(Char) == 1) {
    err = nt_open_machine_a(system, &machine);
  } else {
    err = nt_open_machine_w(system, &machine);
  }
  return err == ERROR_SUCCESS ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

template <typename Char>
BOOL lookup_value(const Char* system, const std::string& name, PLUID luid) {
  if (luid == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD err = check_system(system);
  if (err != ERROR_SUCCESS) return fail(err);
  DWORD value = nt_privilege_value(name);
  if (value == 0) return fail(ERROR_NO_SUCH_PRIVILEGE);
  luid->LowPart = value;
  luid->HighPart = 0;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

template <typename Char>
BOOL put_name(const std::basic_string<Char>& name, Char* buffer, DWORD* size) {
  if (buffer == nullptr || name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Char));
  *size = static_cast<DWORD>(name.size());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

template <typename Char>
const char* lookup_name(const Char* system, PLUID luid, DWORD* size) {
  if (luid == nullptr || size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DWORD err = check_system(system);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return nullptr;
  }
  const char* name = luid->HighPart == 0 ? nt_privilege_name(luid->LowPart) : nullptr;
  if (name == nullptr) SetLastError(ERROR_NO_SUCH_PRIVILEGE);
  return name;
}

}  // namespace

const char* nt_privilege_name(DWORD value) {
  if (value < SE_MIN_WELL_KNOWN_PRIVILEGE || value > SE_MAX_WELL_KNOWN_PRIVILEGE) return nullptr;
  return kNames[value - SE_MIN_WELL_KNOWN_PRIVILEGE];
}

DWORD nt_privilege_value(const std::string& name) {
  for (DWORD v = SE_MIN_WELL_KNOWN_PRIVILEGE; v <= SE_MAX_WELL_KNOWN_PRIVILEGE; ++v) {
    if (strcasecmp(name.c_str(), nt_privilege_name(v)) == 0) return v;
  }
  return 0;
}

BOOL LookupPrivilegeValueA(const char* system, const char* name, PLUID luid) {
  if (name == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return lookup_value(system, std::string(name), luid);
}

BOOL LookupPrivilegeValueW(const WCHAR* system, const WCHAR* name, PLUID luid) {
  if (name == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return lookup_value(system, nt_wide_to_ansi(name), luid);
}

BOOL LookupPrivilegeNameA(const char* system, PLUID luid, char* name, DWORD* size) {
  const char* found = lookup_name(system, luid, size);
  if (found == nullptr) return FALSE;
  return put_name(std::string(found), name, size);
}

BOOL LookupPrivilegeNameW(const WCHAR* system, PLUID luid, WCHAR* name, DWORD* size) {
  const char* found = lookup_name(system, luid, size);
  if (found == nullptr) return FALSE;
  return put_name(nt_ansi_to_wide(found), name, size);
}
