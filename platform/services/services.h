// The service control manager: installing, configuring and controlling
// services of a machine (local or "\\NAME"), and the calls a service process
// makes to talk to it.
//
// Each machine keeps a services table in its store; the configuration is
// mirrored under HKLM\SYSTEM\CurrentControlSet\Services\<name>. StartService
// runs the service's program as a detached daemon under a small supervisor
// (nt_service_supervisor) that records STOPPED and the exit code when the
// program ends. The service process connects through
// StartServiceCtrlDispatcher to a Unix socket in the machine's run/ folder;
// ControlService delivers controls through that socket.
//
// Every call leaves a Win32 error code with SetLastError. The service error
// codes (1051..1078) are declared here. Notable rules:
//   - service and display names share one name space, case ignored, at most
//     255 characters (a service name is a registry key name); longer or
//     empty names, or names with '/' or '\', are ERROR_INVALID_NAME;
//   - an unreachable machine is RPC_S_SERVER_UNAVAILABLE, also for handles
//     of a machine that went offline since;
//   - callers who do not administer the machine get read access only
//     (ERROR_ACCESS_DENIED for create, lock, change, start, stop, delete);
//   - a service process that ends without reporting STOPPED is recorded
//     STOPPED with ERROR_PROCESS_ABORTED; one that does not reach its
//     dispatcher, or a control that is not answered, within
//     NT_SERVICE_TIMEOUT_MS (else 30 s) fails with
//     ERROR_SERVICE_REQUEST_TIMEOUT;
//   - while the database is locked, StartService fails with
//     ERROR_SERVICE_DATABASE_LOCKED;
//   - a service with an account other than LocalSystem starts only when the
//     stored password is right (ERROR_SERVICE_LOGON_FAILED).
#pragma once

#include "platform/win32_types.h"

// ---- Handles -------------------------------------------------------------

struct NtScHandle;
using SC_HANDLE = NtScHandle*;
using LPSC_HANDLE = SC_HANDLE*;

struct NtServiceStatusHandle;
using SERVICE_STATUS_HANDLE = NtServiceStatusHandle*;

using SC_LOCK = void*;

// ---- Errors --------------------------------------------------------------


// ---- Constants -----------------------------------------------------------

#define SERVICES_ACTIVE_DATABASEA "ServicesActive"
#define SERVICES_ACTIVE_DATABASEW u"ServicesActive"

constexpr DWORD SERVICE_NO_CHANGE = 0xFFFFFFFFu;

// Service types.
constexpr DWORD SERVICE_KERNEL_DRIVER = 0x00000001;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x00000002;
constexpr DWORD SERVICE_ADAPTER = 0x00000004;
constexpr DWORD SERVICE_RECOGNIZER_DRIVER = 0x00000008;
constexpr DWORD SERVICE_DRIVER = 0x0000000B;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x00000010;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x00000020;
constexpr DWORD SERVICE_WIN32 = 0x00000030;
constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x00000100;
constexpr DWORD SERVICE_TYPE_ALL = 0x0000013F;

// Start types.
constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

// Error control.
constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;
constexpr DWORD SERVICE_ERROR_SEVERE = 2;
constexpr DWORD SERVICE_ERROR_CRITICAL = 3;

// Current states.
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

// State selection of EnumServicesStatus.
constexpr DWORD SERVICE_ACTIVE = 1;
constexpr DWORD SERVICE_INACTIVE = 2;
constexpr DWORD SERVICE_STATE_ALL = 3;

// Controls (128..255 are user-defined).
constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 5;

// Controls accepted.
constexpr DWORD SERVICE_ACCEPT_STOP = 0x00000001;
constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x00000002;
constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x00000004;

// Access to the service control manager.
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_LOCK = 0x0008;
constexpr DWORD SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
constexpr DWORD SC_MANAGER_MODIFY_BOOT_CONFIG = 0x0020;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0x000F003F;

// Access to a service.
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
constexpr DWORD SERVICE_ALL_ACCESS = 0x000F01FF;

// ---- Structures ----------------------------------------------------------

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};
using LPSERVICE_STATUS = SERVICE_STATUS*;

// The strings follow the structure in the caller's buffer.
struct QUERY_SERVICE_CONFIGA {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  char* lpBinaryPathName;
  char* lpLoadOrderGroup;
  DWORD dwTagId;
  char* lpDependencies;  // NUL-separated list ending with an empty string
  char* lpServiceStartName;
  char* lpDisplayName;
};
using LPQUERY_SERVICE_CONFIGA = QUERY_SERVICE_CONFIGA*;

struct QUERY_SERVICE_CONFIGW {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  WCHAR* lpBinaryPathName;
  WCHAR* lpLoadOrderGroup;
  DWORD dwTagId;
  WCHAR* lpDependencies;
  WCHAR* lpServiceStartName;
  WCHAR* lpDisplayName;
};
using LPQUERY_SERVICE_CONFIGW = QUERY_SERVICE_CONFIGW*;

struct ENUM_SERVICE_STATUSA {
  char* lpServiceName;
  char* lpDisplayName;
  SERVICE_STATUS ServiceStatus;
};
using LPENUM_SERVICE_STATUSA = ENUM_SERVICE_STATUSA*;

using LPSERVICE_MAIN_FUNCTIONA = void (*)(DWORD dwNumServicesArgs, char** lpServiceArgVectors);
using LPSERVICE_MAIN_FUNCTIONW = void (*)(DWORD dwNumServicesArgs, WCHAR** lpServiceArgVectors);
using LPHANDLER_FUNCTION = void (*)(DWORD dwControl);

struct SERVICE_TABLE_ENTRYA {
  char* lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};
using LPSERVICE_TABLE_ENTRYA = SERVICE_TABLE_ENTRYA*;

struct SERVICE_TABLE_ENTRYW {
  WCHAR* lpServiceName;
  LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
};
using LPSERVICE_TABLE_ENTRYW = SERVICE_TABLE_ENTRYW*;

// ---- Service control manager ---------------------------------------------

// lpMachineName: null or empty for the local machine, else "\\NAME" or
// "NAME". An unknown or offline machine fails with RPC_S_SERVER_UNAVAILABLE.
// Creating, locking and all access need an administrator of that machine.
SC_HANDLE OpenSCManagerA(const char* lpMachineName, const char* lpDatabaseName,
                         DWORD dwDesiredAccess);
SC_HANDLE OpenSCManagerW(const WCHAR* lpMachineName, const WCHAR* lpDatabaseName,
                         DWORD dwDesiredAccess);

SC_HANDLE CreateServiceA(SC_HANDLE hSCManager, const char* lpServiceName,
                         const char* lpDisplayName, DWORD dwDesiredAccess, DWORD dwServiceType,
                         DWORD dwStartType, DWORD dwErrorControl, const char* lpBinaryPathName,
                         const char* lpLoadOrderGroup, DWORD* lpdwTagId,
                         const char* lpDependencies, const char* lpServiceStartName,
                         const char* lpPassword);
SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, const WCHAR* lpServiceName,
                         const WCHAR* lpDisplayName, DWORD dwDesiredAccess, DWORD dwServiceType,
                         DWORD dwStartType, DWORD dwErrorControl, const WCHAR* lpBinaryPathName,
                         const WCHAR* lpLoadOrderGroup, DWORD* lpdwTagId,
                         const WCHAR* lpDependencies, const WCHAR* lpServiceStartName,
                         const WCHAR* lpPassword);

SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, const char* lpServiceName, DWORD dwDesiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, const WCHAR* lpServiceName, DWORD dwDesiredAccess);

BOOL DeleteService(SC_HANDLE hService);
BOOL CloseServiceHandle(SC_HANDLE hSCObject);

BOOL QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus);

// Fills the structure and its strings into cbBufSize bytes; a smaller
// buffer fails with ERROR_INSUFFICIENT_BUFFER and *pcbBytesNeeded set.
BOOL QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig,
                         DWORD cbBufSize, DWORD* pcbBytesNeeded);
BOOL QueryServiceConfigW(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGW lpServiceConfig,
                         DWORD cbBufSize, DWORD* pcbBytesNeeded);

// SERVICE_NO_CHANGE for a number and null for a text keep the value.
BOOL ChangeServiceConfigA(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                          DWORD dwErrorControl, const char* lpBinaryPathName,
                          const char* lpLoadOrderGroup, DWORD* lpdwTagId,
                          const char* lpDependencies, const char* lpServiceStartName,
                          const char* lpPassword, const char* lpDisplayName);
BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                          DWORD dwErrorControl, const WCHAR* lpBinaryPathName,
                          const WCHAR* lpLoadOrderGroup, DWORD* lpdwTagId,
                          const WCHAR* lpDependencies, const WCHAR* lpServiceStartName,
                          const WCHAR* lpPassword, const WCHAR* lpDisplayName);

SC_LOCK LockServiceDatabase(SC_HANDLE hSCManager);
BOOL UnlockServiceDatabase(SC_LOCK ScLock);

BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, const char** lpServiceArgVectors);
BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                   const WCHAR** lpServiceArgVectors);

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus);

BOOL EnumServicesStatusA(SC_HANDLE hSCManager, DWORD dwServiceType, DWORD dwServiceState,
                         LPENUM_SERVICE_STATUSA lpServices, DWORD cbBufSize,
                         DWORD* pcbBytesNeeded, DWORD* lpServicesReturned,
                         DWORD* lpResumeHandle);

// ---- Calls of the service process ----------------------------------------

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable);
BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable);

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* lpServiceName,
                                                  LPHANDLER_FUNCTION lpHandlerProc);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(const WCHAR* lpServiceName,
                                                  LPHANDLER_FUNCTION lpHandlerProc);

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus);
