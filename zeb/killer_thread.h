// The Killer Thread of a job run: waits for the run's DoneEvent. When the
// event comes while the run is still going (the stop command), it ends the
// tracked processes from the newest to the oldest with exit code 1067;
// when the run is over already (-1 in the first entry), it just ends.
#pragma once

#include <string>

#include "platform/win32_types.h"
#include "zeb/process_table.h"

constexpr DWORD ZEB_KILLED_EXIT_CODE = 1067;

struct KillerArgs {
  HANDLE done_event = nullptr;
  ZebProcessTable* table = nullptr;
  std::string job_name;
};

// Terminates every tracked process, newest first, with 1067, printing and
// logging each. Processes that appear in the table while it works (a
// process forked just before its parent was killed) are killed in further
// passes, so none of the tree is left running. Returns how many were
// terminated.
DWORD killer_end_processes(ZebProcessTable* table, const std::string& job_name);

// Thread entry: `param` is a KillerArgs that outlives the thread.
DWORD killer_thread(void* param);
