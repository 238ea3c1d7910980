// The network administration's view of a machine's services: list them,
// boot the machine (start its automatic services), shut it down (stop
// them). These calls reach offline machines and check no caller rights.
#pragma once

#include <string>
#include <vector>

#include "platform/services/service_store.h"
#include "platform/win32_types.h"

struct NtServiceOutcome {
  std::string name;
  DWORD error = 0;     // ERROR_SUCCESS, or why it failed
  bool killed = false;  // shutdown: the process did not stop in time
};

// Every service of the machine, with the status of services whose
// supervisor has vanished brought to STOPPED.
DWORD nt_service_admin_list(const std::string& machine, std::vector<NtServiceRecord>* records);

// Marks the machine online and starts its SERVICE_AUTO_START services that
// are stopped, a service's dependencies before it (a dependency that is no
// service of the machine counts as running).
DWORD nt_service_boot(const std::string& machine, std::vector<NtServiceOutcome>* outcomes);

// Sends STOP to each running service, waits up to `timeout_ms` for all to
// stop, kills the processes of those that did not, and marks the machine
// offline.
DWORD nt_service_shutdown(const std::string& machine, DWORD timeout_ms,
                          std::vector<NtServiceOutcome>* outcomes);
