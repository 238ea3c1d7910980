// Privileges: their names and locally unique identifiers (LUIDs), as NT 4
// numbers them, and the calls that translate between the two.
//
// The layer gives a token its privileges by who it is (token.h):
// administrators hold the backup, restore, take-ownership, security and
// the other administrative privileges, all disabled until adjusted but
// SeChangeNotifyPrivilege; other users hold SeChangeNotifyPrivilege and
// SeShutdownPrivilege; LocalSystem holds them all.
#pragma once

#include <string>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};
using PLUID = LUID*;

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x00000001;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD SE_PRIVILEGE_USED_FOR_ACCESS = 0x80000000u;

#define SE_CREATE_TOKEN_NAME "SeCreateTokenPrivilege"
#define SE_ASSIGNPRIMARYTOKEN_NAME "SeAssignPrimaryTokenPrivilege"
#define SE_LOCK_MEMORY_NAME "SeLockMemoryPrivilege"
#define SE_INCREASE_QUOTA_NAME "SeIncreaseQuotaPrivilege"
#define SE_MACHINE_ACCOUNT_NAME "SeMachineAccountPrivilege"
#define SE_TCB_NAME "SeTcbPrivilege"
#define SE_SECURITY_NAME "SeSecurityPrivilege"
#define SE_TAKE_OWNERSHIP_NAME "SeTakeOwnershipPrivilege"
#define SE_LOAD_DRIVER_NAME "SeLoadDriverPrivilege"
#define SE_SYSTEM_PROFILE_NAME "SeSystemProfilePrivilege"
#define SE_SYSTEMTIME_NAME "SeSystemtimePrivilege"
#define SE_PROF_SINGLE_PROCESS_NAME "SeProfileSingleProcessPrivilege"
#define SE_INC_BASE_PRIORITY_NAME "SeIncreaseBasePriorityPrivilege"
#define SE_CREATE_PAGEFILE_NAME "SeCreatePagefilePrivilege"
#define SE_CREATE_PERMANENT_NAME "SeCreatePermanentPrivilege"
#define SE_BACKUP_NAME "SeBackupPrivilege"
#define SE_RESTORE_NAME "SeRestorePrivilege"
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"
#define SE_DEBUG_NAME "SeDebugPrivilege"
#define SE_AUDIT_NAME "SeAuditPrivilege"
#define SE_SYSTEM_ENVIRONMENT_NAME "SeSystemEnvironmentPrivilege"
#define SE_CHANGE_NOTIFY_NAME "SeChangeNotifyPrivilege"
#define SE_REMOTE_SHUTDOWN_NAME "SeRemoteShutdownPrivilege"

// The privilege values (LowPart of the LUID; HighPart is 0).
constexpr DWORD SE_MIN_WELL_KNOWN_PRIVILEGE = 2;
constexpr DWORD SE_CREATE_TOKEN_PRIVILEGE = 2;
constexpr DWORD SE_ASSIGNPRIMARYTOKEN_PRIVILEGE = 3;
constexpr DWORD SE_LOCK_MEMORY_PRIVILEGE = 4;
constexpr DWORD SE_INCREASE_QUOTA_PRIVILEGE = 5;
constexpr DWORD SE_MACHINE_ACCOUNT_PRIVILEGE = 6;
constexpr DWORD SE_TCB_PRIVILEGE = 7;
constexpr DWORD SE_SECURITY_PRIVILEGE = 8;
constexpr DWORD SE_TAKE_OWNERSHIP_PRIVILEGE = 9;
constexpr DWORD SE_LOAD_DRIVER_PRIVILEGE = 10;
constexpr DWORD SE_SYSTEM_PROFILE_PRIVILEGE = 11;
constexpr DWORD SE_SYSTEMTIME_PRIVILEGE = 12;
constexpr DWORD SE_PROF_SINGLE_PROCESS_PRIVILEGE = 13;
constexpr DWORD SE_INC_BASE_PRIORITY_PRIVILEGE = 14;
constexpr DWORD SE_CREATE_PAGEFILE_PRIVILEGE = 15;
constexpr DWORD SE_CREATE_PERMANENT_PRIVILEGE = 16;
constexpr DWORD SE_BACKUP_PRIVILEGE = 17;
constexpr DWORD SE_RESTORE_PRIVILEGE = 18;
constexpr DWORD SE_SHUTDOWN_PRIVILEGE = 19;
constexpr DWORD SE_DEBUG_PRIVILEGE = 20;
constexpr DWORD SE_AUDIT_PRIVILEGE = 21;
constexpr DWORD SE_SYSTEM_ENVIRONMENT_PRIVILEGE = 22;
constexpr DWORD SE_CHANGE_NOTIFY_PRIVILEGE = 23;
constexpr DWORD SE_REMOTE_SHUTDOWN_PRIVILEGE = 24;
constexpr DWORD SE_MAX_WELL_KNOWN_PRIVILEGE = 24;

// The LUID of a privilege name (case ignored) on a system (null or empty:
// the local machine; another machine must be reachable, else
// RPC_S_SERVER_UNAVAILABLE). Unknown name: ERROR_NO_SUCH_PRIVILEGE.
BOOL LookupPrivilegeValueA(const char* system, const char* name, PLUID luid);
BOOL LookupPrivilegeValueW(const WCHAR* system, const WCHAR* name, PLUID luid);
// The name of a LUID. `*size` is the buffer in characters; too small:
// ERROR_INSUFFICIENT_BUFFER and *size the size needed with terminator; on
// success *size is the length without it. Unknown: ERROR_NO_SUCH_PRIVILEGE.
BOOL LookupPrivilegeNameA(const char* system, PLUID luid, char* name, DWORD* size);
BOOL LookupPrivilegeNameW(const WCHAR* system, PLUID luid, WCHAR* name, DWORD* size);

// ---- For the layer.

// The name of a privilege value, or null.
const char* nt_privilege_name(DWORD value);
// The value of a name (case ignored), or 0.
DWORD nt_privilege_value(const std::string& name);
