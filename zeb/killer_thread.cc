#include "zeb/killer_thread.h"

#include <cstdio>
#include <set>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/process/process.h"
#include "platform/sync/waitable.h"
#include "zeb/event_logger.h"

namespace {

// Enough to catch the children a dying tree forks while it is killed.
constexpr int kMaxPasses = 8;

bool terminate_one(DWORD pid, const std::string& job_name) {
  std::string id = std::to_string(static_cast<long>(pid));
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) {
    DWORD error = GetLastError();
    printf("Cannot open process %ld, error=%ld\n", static_cast<long>(pid),
           static_cast<long>(error));
    zeb_log(ZEB_EV_CANNOT_OPEN_PROCESS, false,
            (id + ", Error=" + std::to_string(static_cast<long>(error))).c_str(),
            job_name.c_str());
    return false;
  }
  printf("Process %ld about to be terminated\n", static_cast<long>(pid));
  bool ok = TerminateProcess(process, ZEB_KILLED_EXIT_CODE) != FALSE;
  if (ok) {
    zeb_log(ZEB_EV_PROCESS_ABORTED, false, id.c_str(), job_name.c_str());
  } else {
    DWORD error = GetLastError();
    zeb_log(ZEB_EV_CANNOT_ABORT, false,
            (id + ", Error=" + std::to_string(static_cast<long>(error))).c_str(),
            job_name.c_str());
    printf("Cannot terminate process %ld, error=%ld\n", static_cast<long>(pid),
           static_cast<long>(error));
  }
  CloseHandle(process);
  return ok;
}

}  // namespace

DWORD killer_end_processes(ZebProcessTable* table, const std::string& job_name) {
  std::set<DWORD> tried;
  DWORD killed = 0;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    std::vector<DWORD> ids = table->ids();
    bool any = false;
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
      if (*it == 0 || !tried.insert(*it).second) continue;
      any = true;
      if (terminate_one(*it, job_name)) ++killed;
    }
    if (!any) {
      if (pass > 0) break;
    }
    if (table->over()) break;
    // Give the main thread a moment to record children seen in the meantime.
    Sleep(50);
  }
  fflush(stdout);
  return killed;
}

DWORD killer_thread(void* param) {
  auto* args = static_cast<KillerArgs*>(param);
  WaitForSingleObject(args->done_event, INFINITE);
  if (args->table->over()) {
    printf("EndThread:Exit...\n");
    fflush(stdout);
    return 0;
  }
  killer_end_processes(args->table, args->job_name);
  return 0;
}
