#include "patch/step_tracking.h"

#include "lib/time_syntax.h"
#include "patch/failure_text.h"
#include "patch/patch_output.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/process/debug.h"
#include "platform/process/process.h"

namespace {

// The wait after a termination, for the event that the end gives.
constexpr DWORD TERMINATION_WAIT_MS = 1000;
// When the last known process of the tree has ended, a child that it
// started just before may not have given its creation event yet (the
// debugging layer can report a parent's end before its new child's start).
// The tree counts as ended only when no event follows within this time.
constexpr DWORD LATE_CHILD_WAIT_MS = 250;

void close_file_handle(HANDLE file) {
  // The file handles of the events are the debugger's to close; the process
  // and thread handles belong to the debug events and are closed by the
  // system after the process's exit event has been continued.
  if (file != nullptr && !CloseHandle(file)) patch_info("CloseHandle(hFile) failed");
}

std::string failure_too_many(const char* patch, const char* step) {
  return cut_text(std::string("more than 64 processes for patch ") + patch + ", step " + step,
                  FAILURE_TEXT_MAX);
}

// One debug event of a step's tree.
void handle_event(const DEBUG_EVENT& event, const TrackedStep& step, ProcessTable* table,
                  bool* failed, std::string* failure, DWORD* continue_status) {
  *continue_status = DBG_CONTINUE;
  switch (event.dwDebugEventCode) {
    case EXCEPTION_DEBUG_EVENT:
      if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
        *continue_status = DBG_EXCEPTION_NOT_HANDLED;
      }
      break;
    case CREATE_PROCESS_DEBUG_EVENT:
      if (step.verbose) patch_info("FIXAR-INFO, Process %ld created\n", long(event.dwProcessId));
      close_file_handle(event.u.CreateProcessInfo.hFile);
      if (!table->add(event.dwProcessId)) {
        // Not followed, so it must not run on unseen.
        TerminateProcess(event.u.CreateProcessInfo.hProcess, 0);
        if (!*failed) {
          *failed = true;
          *failure = failure_too_many(step.patch_name, step.step_name);
        }
      }
      break;
    case LOAD_DLL_DEBUG_EVENT:
      close_file_handle(event.u.LoadDll.hFile);
      break;
    case EXIT_PROCESS_DEBUG_EVENT: {
      DWORD code = event.u.ExitProcess.dwExitCode;
      if (!table->remove(event.dwProcessId)) break;  // one that was not followed
      if (step.verbose) {
        patch_info("FIXAR-INFO, Process %ld ended, exitcode=%ld\n", long(event.dwProcessId),
                   long(static_cast<int32_t>(code)));
      }
      if (!*failed && !in_range(step.errorlevels, static_cast<int32_t>(code))) {
        *failed = true;
        *failure = failure_errorlevel(code, step.patch_name, step.step_name);
      }
      break;
    }
    default:
      break;
  }
}

// Waits up to `ms` for one event, handles it for the table only (no exit
// code checks) and continues it. False when none came.
bool drain_one(DWORD ms, ProcessTable* table) {
  DEBUG_EVENT event;
  if (!WaitForDebugEvent(&event, ms)) return false;
  if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) table->remove(event.dwProcessId);
  if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
    // A process born while the tree is being ended: it ends with it.
    TerminateProcess(event.u.CreateProcessInfo.hProcess, 0);
    close_file_handle(event.u.CreateProcessInfo.hFile);
  } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
    close_file_handle(event.u.LoadDll.hFile);
  }
  ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
  return true;
}

// Terminates the processes left in the table and collects their ends, so
// that none of them is left stopped and no event of this tree reaches the
// next step.
void end_tree(const TrackedStep& step, ProcessTable* table) {
  ProcessTable left = *table;
  for (size_t i = 0; i < left.size(); ++i) {
    DWORD id = left.at(i);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (process != nullptr) {
      if (TerminateProcess(process, 0) && step.verbose) {
        patch_info("FIXAR-INFO, terminated process %ld\n", long(id));
      }
      CloseHandle(process);
    }
    drain_one(TERMINATION_WAIT_MS, table);
  }
  while (table->size() > 0 && drain_one(TERMINATION_WAIT_MS, table)) {
  }
}

}  // namespace

bool ProcessTable::add(DWORD id) {
  if (count_ == PROCESS_TABLE_MAX) return false;
  ids_[count_++] = id;
  return true;
}

bool ProcessTable::remove(DWORD id) {
  for (size_t i = 0; i < count_; ++i) {
    if (ids_[i] != id) continue;
    for (size_t j = i + 1; j < count_; ++j) ids_[j - 1] = ids_[j];
    --count_;
    return true;
  }
  return false;
}

bool ProcessTable::contains(DWORD id) const {
  for (size_t i = 0; i < count_; ++i) {
    if (ids_[i] == id) return true;
  }
  return false;
}

DWORD time_limit_ms(DWORD seconds) {
  uint64_t ms = uint64_t{seconds} * 1000;
  return ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
}

bool track_step(const TrackedStep& step, std::string* failure) {
  ProcessTable table;
  bool failed = false;
  bool seen = false;
  const DWORD wait_ms = time_limit_ms(step.time_limit);
  for (;;) {
    const bool tree_ended = seen && table.size() == 0;
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, tree_ended ? LATE_CHILD_WAIT_MS : wait_ms)) {
      DWORD err = GetLastError();
      if (tree_ended) return !failed;
      if (err != ERROR_SEM_TIMEOUT) {
        patch_error("FIXAR-ERROR, WaitForDebugEvent failed, error=%ld\n", long(err));
      }
      break;
    }
    DWORD status = DBG_CONTINUE;
    handle_event(event, step, &table, &failed, failure, &status);
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) seen = true;
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (failed) break;
  }
  end_tree(step, &table);
  if (!failed) *failure = failure_timeout(step.time_limit, step.patch_name, step.step_name);
  return false;
}
