// The services table of a machine's store, and the database lock.
//
// Tables of the subsystem "services" (version 1):
//   services(name_key PRIMARY KEY, name, display_name, display_key, type,
//            start_type, error_control, binary_path, load_order_group,
//            dependencies, account, password, state, win32_exit_code,
//            specific_exit_code, check_point, wait_hint, controls_accepted,
//            process_id, process_exit_code, run_id, connected,
//            delete_pending, start_args, supervisor_pid, supervisor_start)
//   service_lock(id=1, owner, pid, pid_start, token, since)
//
// Texts are UTF-8; name_key and display_key are the upper-cased names (the
// service name space ignores case). Lists (dependencies, start arguments)
// are NUL-separated. run_id counts the starts of a service, so that the
// supervisor of an earlier run never overwrites the status of a later one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

struct NtServiceRecord {
  std::string name;
  std::string display_name;
  DWORD type = 0;
  DWORD start_type = 0;
  DWORD error_control = 0;
  std::string binary_path;
  std::string load_order_group;
  std::vector<std::string> dependencies;
  std::string account;   // "LocalSystem", ".\user" or "DOMAIN\user"
  std::string password;  // never handed out by the API
  // Status.
  DWORD state = 1;       // SERVICE_STOPPED
  DWORD win32_exit_code = 0;
  DWORD specific_exit_code = 0;
  DWORD check_point = 0;
  DWORD wait_hint = 0;
  DWORD controls_accepted = 0;
  DWORD process_id = 0;
  DWORD process_exit_code = 0;  // of the last run's process
  int64_t run_id = 0;
  bool connected = false;       // the process reached its dispatcher
  bool delete_pending = false;
  std::vector<std::string> start_args;
  DWORD supervisor_pid = 0;
  uint64_t supervisor_start = 0;
};

// Upper-cased key of a service or display name.
std::string nt_service_key(const std::string& name);

DWORD nt_service_prepare(MachineStore& store);

// ERROR_SERVICE_DOES_NOT_EXIST when there is no such service.
DWORD nt_service_get(MachineStore& store, const std::string& name, NtServiceRecord* record);
// The service whose display name is `display` (ERROR_SERVICE_DOES_NOT_EXIST).
DWORD nt_service_get_by_display(MachineStore& store, const std::string& display,
                                NtServiceRecord* record);
// Every service, ordered by key.
DWORD nt_service_list(MachineStore& store, std::vector<NtServiceRecord>* records);
// ERROR_SERVICE_EXISTS when the name is taken (ERROR_SERVICE_MARKED_FOR_DELETE
// when it belongs to a service marked for delete), ERROR_DUPLICATE_SERVICE_NAME
// when the name or display name clashes with another service's.
DWORD nt_service_insert(MachineStore& store, const NtServiceRecord& record);
// Reads, changes with `change` and writes back in one transaction; `change`
// returns ERROR_SUCCESS to commit. ERROR_SERVICE_DOES_NOT_EXIST when absent.
DWORD nt_service_modify(MachineStore& store, const std::string& name,
                        const std::function<DWORD(NtServiceRecord&)>& change);
DWORD nt_service_remove(MachineStore& store, const std::string& name);

// The database lock. ERROR_SERVICE_DATABASE_LOCKED when another holds it
// (a lock whose process has ended is free again).
DWORD nt_service_lock_acquire(MachineStore& store, const std::string& owner, int64_t* token);
// ERROR_INVALID_SERVICE_LOCK when `token` is not the lock held.
DWORD nt_service_lock_release(MachineStore& store, int64_t token);
// Whether a live lock is held, and by whom.
DWORD nt_service_lock_held(MachineStore& store, bool* held, std::string* owner);

// Whether the process (pid, start time) still runs (start 0: any).
bool nt_service_process_alive(DWORD pid, uint64_t start);
