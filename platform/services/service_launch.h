// How a service process is launched: its environment and its supervisor.
//
// The supervisor (nt_service_supervisor, found through NT_SERVICE_SUPERVISOR
// or next to the running executable) is started detached with the
// service's environment; it forks once so that its starter can reap it at
// once, starts the service's binary path as the command line of a suspended
// process, records the process id, lets it run, and records STOPPED with
// the exit code when it ends. A process that does not reach its dispatcher
// within the time-out (NT_SERVICE_TIMEOUT_MS, else 30 s) is killed and the
// run ends with ERROR_SERVICE_REQUEST_TIMEOUT.
#pragma once

#include <string>
#include <vector>

// The environment of a service of `machine` running as `account`: the
// caller's environment without its identity, then COMPUTERNAME, USERNAME,
// USERDOMAIN (LocalSystem is SYSTEM of NT AUTHORITY, ".\user" a user of the
// machine), SYSTEMROOT, windir, NT_NETWORK (absolute), then the machine's
// variables from HKLM\SYSTEM\CurrentControlSet\Control\Session
// Manager\Environment (REG_EXPAND_SZ values expanded).
std::vector<std::string> nt_service_environment(const std::string& machine,
                                                const std::string& account);

// The supervisor's work: argv = { program, MACHINE, run id, service name }.
// Returns the supervisor's exit status.
int nt_service_supervise(int argc, char** argv);
