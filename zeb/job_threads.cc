#include "zeb/job_threads.h"

#include <cstring>

#include "platform/kernel/handle.h"
#include "platform/kernel/module.h"
#include "platform/process/process.h"
#include "platform/security/security_descriptor.h"
#include "platform/sync/event.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"
#include "zeb/event_logger.h"
#include "zeb/job_chain.h"
#include "zeb/job_store.h"

namespace {

struct JobThreadStart {
  ZebService* service;
  int slot;
  std::string name;
};

// The end of a run, under the lock: the service's handle of the DoneEvent
// closed (under the lock, so a stop command that copies it meanwhile never
// copies a closed handle), the runtime fields cleared, the exit code stored
// (not 259), the job saved and its successors started.
void record_end(ZebService& service, int slot, const std::string& name, HANDLE stop_event,
                LONG exit_code) {
  for (;;) {
    ZebJobsLock lock(service);
    if (!lock.held()) {
      zeb_log(ZEB_EV_LOCK_TIMEOUT, false);
      // The table must not be touched without the lock; a stopping service
      // gets one more chance, then the end of this run is not recorded.
      if (WaitForSingleObject(service.done_event, 0) == WAIT_OBJECT_0) {
        ZebJobsLock last(service);
        CloseHandle(stop_event);
        if (!last.held()) return;
        JobRecord& rec = service.table->at(slot);
        if (job_name(rec) == name) {
          job_mark_ended(&rec, exit_code);
          job_store_save(service.jobs_key, rec);
        }
        return;
      }
      continue;
    }
    CloseHandle(stop_event);
    JobRecord& rec = service.table->at(slot);
    if (job_name(rec) == name) {
      job_mark_ended(&rec, exit_code);
      job_store_save(service.jobs_key, rec);
    }
    zeb_start_successors(service, name, exit_code);
    return;
  }
}

DWORD job_thread(void* parameter) {
  JobThreadStart* start = static_cast<JobThreadStart*>(parameter);
  ZebService& service = *start->service;
  const int slot = start->slot;
  const std::string name = start->name;
  delete start;

  // The DoneEvent carries a present but null access list, so that the job
  // runner, whoever it runs as, can wait on it and signal it.
  SECURITY_DESCRIPTOR sd;
  const char* sd_failure = nullptr;
  if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) {
    sd_failure = "InitializeSecurityDescriptor(DoneEvent)";
  } else if (!SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE)) {
    sd_failure = "SetSecurityDescriptorDacl(DoneEvent)";
  }
  if (sd_failure != nullptr) {
    zeb_log_api_error(static_cast<long>(GetLastError()), sd_failure);
    service.starting[slot] = false;
    --service.job_threads;
    return 0;
  }

  ZebJobsLock lock(service);
  if (!lock.held()) {
    // The start is given up: nothing of the table may be read or changed.
    zeb_log(ZEB_EV_LOCK_TIMEOUT, false);
    service.starting[slot] = false;
    --service.job_threads;
    return 0;
  }
  JobRecord& rec = service.table->at(slot);
  if (job_name(rec) != name) {
    // The job was deleted or renamed before its thread came to run.
    service.starting[slot] = false;
    lock.release();
    --service.job_threads;
    return 0;
  }

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), &sd, TRUE};
  HANDLE event = CreateEventA(&inherit, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    zeb_log_api_error(static_cast<long>(GetLastError()), "CreateEvent(DoneEvent)");
    service.starting[slot] = false;
    lock.release();
    --service.job_threads;
    return 0;
  }
  HANDLE stop_event = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &stop_event, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    zeb_log_api_error(static_cast<long>(GetLastError()), "DuplicateHandle(DoneEvent)");
    CloseHandle(event);
    service.starting[slot] = false;
    lock.release();
    --service.job_threads;
    return 0;
  }

  char exe[1024];
  DWORD exe_length = GetModuleFileNameA(nullptr, exe, sizeof exe);
  bool started = false;
  LONG failure = 0;
  PROCESS_INFORMATION pi{};
  if (exe_length == 0 || exe_length >= sizeof exe) {
    failure = static_cast<LONG>(GetLastError());
    zeb_log_api_error(failure, "GetModuleFileName()");
  } else {
    std::string command = zeb_spawn_command_line(
        exe, static_cast<long>(reinterpret_cast<intptr_t>(event)), service.interactive, rec);
    std::string title = "ZEB:" + name;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.lpTitle = title.data();
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = ((rec.flags & JOB_OWN_DESKTOP) != 0 && service.interactive)
                         ? SW_HIDE
                         : SW_SHOWMINIMIZED;
    started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                             CREATE_NEW_CONSOLE | CREATE_DEFAULT_ERROR_MODE |
                                 CREATE_SEPARATE_WOW_VDM,
                             nullptr, nullptr, &si, &pi) != FALSE;
    if (!started) {
      failure = static_cast<LONG>(GetLastError());
      zeb_log_api_error(failure, "CreateProcess(ZebJob)");
    }
  }
  CloseHandle(event);

  if (!started) {
    // The run failed before it began: its result is the system error, so
    // "_F" and "_A" successors follow, not "_S" ones.
    service.starting[slot] = false;
    CloseHandle(stop_event);
    if (failure == 0) failure = static_cast<LONG>(ERROR_INVALID_FUNCTION);
    job_mark_ended(&rec, failure);
    job_store_save(service.jobs_key, rec);
    zeb_start_successors(service, name, failure);
    lock.release();
    --service.job_threads;
    return 0;
  }

  job_mark_started(&rec, pi.dwProcessId,
                   static_cast<DWORD>(reinterpret_cast<intptr_t>(stop_event)), zeb_now(service));
  service.starting[slot] = false;
  job_store_save(service.jobs_key, rec);
  lock.release();
  std::string pid_text = std::to_string(pi.dwProcessId);
  zeb_log(ZEB_EV_PROCESS_CREATED, false, (pid_text + " (ZebJob main process)").c_str(),
          name.c_str());

  HANDLE waits[2] = {pi.hProcess, service.done_event};
  for (;;) {
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, 2000);
    if (r == WAIT_OBJECT_0 || r == WAIT_OBJECT_0 + 1 || r == WAIT_FAILED) break;
  }
  DWORD exit_code = STILL_ACTIVE;
  if (!GetExitCodeProcess(pi.hProcess, &exit_code)) exit_code = STILL_ACTIVE;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  std::string exit_text = pid_text + ", ExitCode=" + std::to_string(static_cast<LONG>(exit_code)) +
                          " (zebjob main process)";
  zeb_log(ZEB_EV_PROCESS_EXIT, false, exit_text.c_str(), name.c_str());

  record_end(service, slot, name, stop_event, static_cast<LONG>(exit_code));
  --service.job_threads;
  return 0;
}

}  // namespace

std::string zeb_spawn_command_line(const std::string& exe, long event_handle, bool interactive,
                                   const JobRecord& rec) {
  std::string line = exe.find_first_of(" \t") != std::string::npos ? "\"" + exe + "\"" : exe;
  line += " SpAwN *" + std::to_string(event_handle) + "*" + std::to_string(interactive ? 1 : 0) +
          "*" + std::to_string(static_cast<long>(rec.flags)) + "*" +
          std::to_string(static_cast<long>(rec.account_index)) + "*" + job_name(rec) + "*" +
          job_command(rec);
  return line;
}

bool zeb_start_job(ZebService& service, int slot) {
  if (!JobTable::valid_slot(slot) || job_is_free(service.table->at(slot))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  auto* start = new JobThreadStart{&service, slot, job_name(service.table->at(slot))};
  service.starting[slot] = true;
  ++service.job_threads;
  HANDLE thread = CreateThread(nullptr, ZEB_JOB_THREAD_STACK, job_thread, start, 0, nullptr);
  if (thread == nullptr) {
    DWORD error = GetLastError();
    delete start;
    service.starting[slot] = false;
    --service.job_threads;
    SetLastError(error);
    return false;
  }
  CloseHandle(thread);
  return true;
}

void zeb_start_successors(ZebService& service, const std::string& ended, LONG exit_code) {
  for (int slot : job_chain_successors(*service.table, ended.c_str(), exit_code)) {
    if (zeb_job_busy(service, slot)) continue;
    zeb_start_job(service, slot);
  }
}
