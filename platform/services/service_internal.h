// What the service control manager's files share: handles, text
// conversion, access rules, the registry mirror and the control socket.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/network/machine_store.h"
#include "platform/services/service_store.h"
#include "platform/services/services.h"
#include "platform/win32_types.h"

// An open service control manager or service.
struct NtScHandle {
  uint32_t magic = 0;
  bool manager = false;
  std::string machine;  // upper case
  bool local = false;
  std::shared_ptr<MachineStore> store;
  DWORD access = 0;     // granted rights (generic rights mapped)
  std::string service;  // service name as stored (services only)
};

// A lock of a machine's service database.
struct NtScLock {
  uint32_t magic = 0;
  std::shared_ptr<MachineStore> store;
  int64_t token = 0;
};

// The handle when it is a live one of the wanted kind, else null with
// ERROR_INVALID_HANDLE set.
NtScHandle* nt_sc_lookup(SC_HANDLE handle, bool manager);
SC_HANDLE nt_sc_register(std::unique_ptr<NtScHandle> handle);

// Null or the handle's machine when reachable; RPC_S_SERVER_UNAVAILABLE for
// a remote machine that went offline.
DWORD nt_sc_check_online(const NtScHandle& handle);

// Whether the calling thread's user administers `machine`.
bool nt_sc_caller_is_admin(const std::string& machine);

// Text of the A calls (ANSI page) and the W calls, to and from UTF-8.
std::string nt_sc_from_ansi(const char* text);
std::string nt_sc_from_wide(const WCHAR* text);
std::u16string nt_sc_to_wide(const std::string& utf8);
std::string nt_sc_to_ansi(const std::string& utf8);

// Brings the status of a service whose supervisor has gone without a word
// (killed, machine folder copied) to STOPPED. The record is reread.
void nt_sc_reap(MachineStore& store, NtServiceRecord* record);

// The status part of a record.
SERVICE_STATUS nt_sc_status_of(const NtServiceRecord& record);

// Milliseconds a service has to reach its dispatcher and to answer a
// control: NT_SERVICE_TIMEOUT_MS, else 30000.
DWORD nt_sc_timeout_ms();

// Registry mirror under HKLM\SYSTEM\CurrentControlSet\Services\<name>.
DWORD nt_sc_mirror_write(const std::string& machine, const NtServiceRecord& record);
DWORD nt_sc_mirror_delete(const std::string& machine, const std::string& name);
// The machine's environment variables (Session Manager\Environment), in
// value order; REG_EXPAND_SZ values as stored.
struct NtMachineVariable {
  std::string name;
  std::string value;
  bool expand = false;
};
std::vector<NtMachineVariable> nt_sc_machine_environment(const std::string& machine);

// Removes a stopped service marked for delete (row and registry key).
void nt_sc_remove_if_marked(MachineStore& store, const std::string& machine,
                            const std::string& name);

// The control socket of a service: <machine dir>/run/services/<hash>.sock.
std::string nt_sc_socket_path(const std::string& machine, const std::string& name);
// A listening SOCK_SEQPACKET socket at `path` (-1 and a Win32 error).
int nt_sc_socket_listen(const std::string& path, DWORD* error);
int nt_sc_socket_connect(const std::string& path, DWORD* error);

// The wire format of a control and its answer.
struct NtScControlRequest {
  uint32_t magic;
  uint32_t control;
};
struct NtScControlReply {
  uint32_t magic;
  uint32_t error;
  SERVICE_STATUS status;
};
constexpr uint32_t kScControlMagic = 0x4E545343;  // "NTSC"

// NT_SERVICE=<run id>:<MACHINE>:<name>, set by the supervisor for the
// service process.
constexpr const char* kScServiceEnv = "NT_SERVICE";

// What a change function of nt_service_modify returns to leave the record
// as it is (ERROR_CANCELLED).
constexpr DWORD kScNoChange = 1223;

// StartService and ControlService after the handle's checks: the work on a
// machine's store, for the API and for the network's administration.
DWORD nt_sc_start(MachineStore& store, const std::string& machine, const std::string& name,
                  const std::vector<std::string>& args);
DWORD nt_sc_control(MachineStore& store, const std::string& machine, const std::string& name,
                    DWORD control, SERVICE_STATUS* status);
