// The supervisor of one run of a service (see service_launch.h).
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/network/network.h"
#include "platform/process/exit_records.h"
#include "platform/process/process.h"
#include "platform/kernel/environment.h"
#include "platform/services/service_internal.h"
#include "platform/services/service_launch.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"

extern char** environ;

namespace {

int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Ends the run: STOPPED, and the codes of a process that did not say so.
void finish(MachineStore& store, const std::string& name, int64_t run, DWORD win32_code,
            DWORD process_code) {
  nt_service_modify(store, name, [&](NtServiceRecord& r) -> DWORD {
    if (r.run_id != run) return kScNoChange;
    if (r.state != SERVICE_STOPPED) {
      r.win32_exit_code = win32_code;
      r.specific_exit_code = 0;
    }
    r.state = SERVICE_STOPPED;
    r.controls_accepted = 0;
    r.check_point = 0;
    r.wait_hint = 0;
    r.process_id = 0;
    r.process_exit_code = process_code;
    r.supervisor_pid = 0;
    r.supervisor_start = 0;
    return ERROR_SUCCESS;
  });
}

}  // namespace

int nt_service_supervise(int argc, char** argv) {
  if (argc != 4) return 2;
  // Leave the starter at once: it reaps this process, and the service's
  // process is this one's child.
  pid_t child = fork();
  if (child < 0) return 1;
  if (child > 0) _exit(0);

  const std::string machine = argv[1];
  const int64_t run = atoll(argv[2]);
  const std::string name = argv[3];
  NtMachineRef ref;
  if (nt_open_machine(machine, &ref, NtMachineAccess::admin) != ERROR_SUCCESS) return 1;
  MachineStore& store = *ref.store;

  pid_t self = getpid();
  NtServiceRecord record;
  DWORD err = nt_service_modify(store, name, [&](NtServiceRecord& r) -> DWORD {
    if (r.run_id != run) return kScNoChange;
    r.supervisor_pid = static_cast<DWORD>(self);
    r.supervisor_start = nt_process_start_time(self);
    record = r;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return 1;

  std::string block;
  for (char** e = environ; e && *e; ++e) {
    block += *e;
    block.push_back('\0');
  }
  block += std::string(kScServiceEnv) + "=" + std::to_string(run) + ":" + machine + ":" + name;
  block.push_back('\0');
  block.push_back('\0');

  // The image path is REG_EXPAND_SZ: %SystemRoot% and the like are
  // expanded in the service's environment, which this process has.
  std::string command = record.binary_path;
  if (command.find('%') != std::string::npos) {
    DWORD needed = ExpandEnvironmentStringsA(command.c_str(), nullptr, 0);
    if (needed > 0) {
      std::string expanded(needed, '\0');
      DWORD got = ExpandEnvironmentStringsA(command.c_str(), expanded.data(), needed);
      if (got > 0 && got <= needed) {
        expanded.resize(got - 1);
        command = expanded;
      }
    }
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  BOOL ok = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                           block.data(), "C:\\WINNT\\system32", &startup, &info);
  if (!ok && GetLastError() == ERROR_DIRECTORY)
    ok = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        block.data(), nullptr, &startup, &info);
  if (!ok) {
    finish(store, name, run, GetLastError(), 0);
    nt_sc_remove_if_marked(store, machine, name);
    return 0;
  }
  nt_service_modify(store, name, [&](NtServiceRecord& r) -> DWORD {
    if (r.run_id != run) return kScNoChange;
    r.process_id = info.dwProcessId;
    return ERROR_SUCCESS;
  });
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);

  // The process has the time-out to reach its dispatcher.
  bool timed_out = false;
  const int64_t deadline = now_ms() + nt_sc_timeout_ms();
  for (;;) {
    if (WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0) break;
    NtServiceRecord r;
    if (nt_service_get(store, name, &r) != ERROR_SUCCESS || r.run_id != run || r.connected) break;
    if (now_ms() > deadline) {
      timed_out = true;
      TerminateProcess(info.hProcess, ERROR_SERVICE_REQUEST_TIMEOUT);
      break;
    }
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  finish(store, name, run, timed_out ? ERROR_SERVICE_REQUEST_TIMEOUT : ERROR_PROCESS_ABORTED,
         code);
  unlink(nt_sc_socket_path(machine, name).c_str());
  nt_sc_remove_if_marked(store, machine, name);
  return 0;
}
