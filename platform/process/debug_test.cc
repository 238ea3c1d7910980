#include "platform/process/debug.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/process/process.h"
#include "platform/process/process_test_util.h"
#include "platform/sync/waitable.h"

namespace {

// What one debugging run saw.
struct Trace {
  std::vector<DWORD> codes;             // event codes in order
  std::vector<DWORD> created;           // process ids in creation order
  std::map<DWORD, DWORD> exit_code;     // process id -> code
  std::map<DWORD, int> creates;         // process id -> CREATE events
  std::map<DWORD, int> exits;           // process id -> EXIT events
  int breakpoints = 0;
  int threads_created = 0;
  int threads_ended = 0;
  int images = 0;
  bool handles_ok = true;               // every handle of the events was usable
  bool timed_out = false;
};

// Handles the events of the calling thread's debuggees until no process of
// the tree is left, closing what the events bring. `on_create` may act on a
// new process (its handle still open).
template <typename OnCreate>
void debug_until_done(Trace* trace, DWORD timeout_ms, OnCreate on_create) {
  std::set<DWORD> live;
  bool any = false;
  while (!any || !live.empty()) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, timeout_ms)) {
      trace->timed_out = true;
      EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
      return;
    }
    trace->codes.push_back(event.dwDebugEventCode);
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        any = true;
        live.insert(event.dwProcessId);
        trace->created.push_back(event.dwProcessId);
        ++trace->creates[event.dwProcessId];
        const CREATE_PROCESS_DEBUG_INFO& info = event.u.CreateProcessInfo;
        DWORD code = 0;
        if (!GetExitCodeProcess(info.hProcess, &code) || code != STILL_ACTIVE ||
            GetProcessId(info.hProcess) != event.dwProcessId) {
          trace->handles_ok = false;
        }
        on_create(event);
        if (!CloseHandle(info.hProcess) || !CloseHandle(info.hThread) ||
            !CloseHandle(info.hFile)) {
          trace->handles_ok = false;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        live.erase(event.dwProcessId);
        ++trace->exits[event.dwProcessId];
        trace->exit_code[event.dwProcessId] = event.u.ExitProcess.dwExitCode;
        break;
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
          ++trace->breakpoints;
        } else {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        ++trace->threads_created;
        if (!CloseHandle(event.u.CreateThread.hThread)) trace->handles_ok = false;
        break;
      case EXIT_THREAD_DEBUG_EVENT:
        ++trace->threads_ended;
        break;
      case LOAD_DLL_DEBUG_EVENT:
        ++trace->images;
        if (!CloseHandle(event.u.LoadDll.hFile)) trace->handles_ok = false;
        break;
      default:
        break;
    }
    EXPECT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status));
  }
}

void debug_until_done(Trace* trace, DWORD timeout_ms = 20000) {
  debug_until_done(trace, timeout_ms, [](const DEBUG_EVENT&) {});
}

// Processes that this process left stopped, traced or unreaped: children in
// state Z or t, and any task whose tracer is one of our threads.
int leftovers() {
  std::set<pid_t> ours;
  char path[128];
  snprintf(path, sizeof path, "/proc/%d/task", static_cast<int>(getpid()));
  if (DIR* dir = opendir(path)) {
    while (dirent* e = readdir(dir)) {
      if (atoi(e->d_name) > 0) ours.insert(atoi(e->d_name));
    }
    closedir(dir);
  }
  int count = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  while (dirent* e = readdir(proc)) {
    int pid = atoi(e->d_name);
    if (pid <= 0) continue;
    snprintf(path, sizeof path, "/proc/%d/status", pid);
    FILE* f = fopen(path, "re");
    if (f == nullptr) continue;
    char line[256];
    char state = 0;
    int ppid = 0, tracer = 0;
    while (fgets(line, sizeof line, f) != nullptr) {
      if (strncmp(line, "State:", 6) == 0) sscanf(line + 6, " %c", &state);
      if (strncmp(line, "PPid:", 5) == 0) ppid = atoi(line + 5);
      if (strncmp(line, "TracerPid:", 10) == 0) tracer = atoi(line + 10);
    }
    fclose(f);
    if (ours.count(tracer) != 0) ++count;
    if (ppid == getpid() && (state == 'Z' || state == 't' || state == 'T')) ++count;
  }
  closedir(proc);
  return count;
}

// Waits a little for processes that are on their way out.
int leftovers_settled() {
  int count = 0;
  for (int i = 0; i < 100; ++i) {
    count = leftovers();
    if (count == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return count;
}

class DebugTest : public ::testing::Test {
 protected:
  void SetUp() override { probe_ = "\"" + probe_path() + "\""; }

  bool start(const std::string& line, DWORD flags, PROCESS_INFORMATION* info) {
    return start_child(line, info, FALSE, flags);
  }

  std::string probe_;
};

TEST_F(DebugTest, ForkedTreeReportsOneCreateAndOneExitPerProcess) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " fork-tree 2 10", DEBUG_PROCESS, &info));
  Trace trace;
  debug_until_done(&trace);
  ASSERT_FALSE(trace.timed_out);
  // Depth 2: the first process, two children, four grandchildren.
  ASSERT_EQ(trace.created.size(), 7u);
  EXPECT_EQ(trace.created[0], info.dwProcessId);
  for (DWORD pid : trace.created) {
    EXPECT_EQ(trace.creates[pid], 1) << pid;
    EXPECT_EQ(trace.exits[pid], 1) << pid;
  }
  std::map<DWORD, int> by_code;
  for (const auto& [pid, code] : trace.exit_code) ++by_code[code];
  EXPECT_EQ(by_code[12], 1);
  EXPECT_EQ(by_code[11], 2);
  EXPECT_EQ(by_code[10], 4);
  EXPECT_EQ(trace.exit_code[info.dwProcessId], 12u);
  // The first events: the creation, then the initial breakpoint.
  ASSERT_GE(trace.codes.size(), 2u);
  EXPECT_EQ(trace.codes[0], CREATE_PROCESS_DEBUG_EVENT);
  EXPECT_EQ(trace.codes[1], EXCEPTION_DEBUG_EVENT);
  EXPECT_EQ(trace.breakpoints, 1);
  EXPECT_EQ(trace.images, 0);  // forks without exec load nothing new
  EXPECT_TRUE(trace.handles_ok);
  // The creator's handle tells the same end.
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 12u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, ShellTreeWithExecsKeepsCodesBeyondEightBits) {
  PROCESS_INFORMATION info{};
  const std::string probe = probe_path();  // a path without blanks
  std::string line = "/bin/sh -c \"" + probe + " exit 5; " + probe + " exit 70000; exit 3\"";
  ASSERT_TRUE(start(line, DEBUG_PROCESS, &info));
  Trace trace;
  debug_until_done(&trace);
  ASSERT_FALSE(trace.timed_out);
  ASSERT_EQ(trace.created.size(), 3u);
  EXPECT_EQ(trace.exit_code[trace.created[0]], 3u);
  EXPECT_EQ(trace.exit_code[trace.created[1]], 5u);
  EXPECT_EQ(trace.exit_code[trace.created[2]], 70000u);
  // An exec is the same process with a new image, not a new process.
  EXPECT_EQ(trace.images, 2);
  EXPECT_TRUE(trace.handles_ok);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, OnlyThisProcessLeavesItsChildrenAlone) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " fork-tree 1 20", DEBUG_ONLY_THIS_PROCESS, &info));
  Trace trace;
  debug_until_done(&trace);
  ASSERT_FALSE(trace.timed_out);
  ASSERT_EQ(trace.created.size(), 1u);
  EXPECT_EQ(trace.exit_code[info.dwProcessId], 21u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // Both flags together debug the new process alone too.
  ASSERT_TRUE(start(probe_ + " fork-tree 1 30", DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS, &info));
  Trace both;
  debug_until_done(&both);
  ASSERT_EQ(both.created.size(), 1u);
  EXPECT_EQ(both.exit_code[info.dwProcessId], 31u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, SignalsAndThreads) {
  // A signal that is no debugging event reaches the debuggee's handler.
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " signal-self", DEBUG_PROCESS, &info));
  Trace trace;
  debug_until_done(&trace);
  EXPECT_EQ(trace.exit_code[info.dwProcessId], 7u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // A death by signal has the NT code of that signal.
  ASSERT_TRUE(start(probe_ + " abort", DEBUG_PROCESS, &info));
  Trace aborted;
  debug_until_done(&aborted);
  EXPECT_EQ(aborted.exit_code[info.dwProcessId], 3u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // Threads are threads, not processes.
  ASSERT_TRUE(start(probe_ + " threads 3", DEBUG_PROCESS, &info));
  Trace threads;
  debug_until_done(&threads);
  EXPECT_EQ(threads.created.size(), 1u);
  EXPECT_EQ(threads.threads_created, 3);
  EXPECT_EQ(threads.threads_ended, 3);
  EXPECT_EQ(threads.exit_code[info.dwProcessId], 0u);
  EXPECT_TRUE(threads.handles_ok);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, TerminatedDebuggeesReportTheTerminationCode) {
  // The first process ends at once; its children run on and are terminated
  // through the handles of their creation events, one while it is stopped.
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " spawn-bg 2 20000", DEBUG_PROCESS, &info));
  Trace trace;
  DWORD next_code = 4242;
  std::map<DWORD, DWORD> given;
  debug_until_done(&trace, 20000, [&](const DEBUG_EVENT& event) {
    if (event.dwProcessId == info.dwProcessId) return;
    EXPECT_TRUE(TerminateProcess(event.u.CreateProcessInfo.hProcess, next_code));
    given[event.dwProcessId] = next_code++;
  });
  ASSERT_FALSE(trace.timed_out);
  ASSERT_EQ(trace.created.size(), 3u);
  EXPECT_EQ(trace.exit_code[info.dwProcessId], 0u);
  ASSERT_EQ(given.size(), 2u);
  for (const auto& [pid, code] : given) EXPECT_EQ(trace.exit_code[pid], code) << pid;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);

  // A running debuggee terminated through the creator's handle.
  ASSERT_TRUE(start(probe_ + " sleep 20000", DEBUG_PROCESS, &info));
  DEBUG_EVENT event;
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  ASSERT_EQ(event.dwDebugEventCode, CREATE_PROCESS_DEBUG_EVENT);
  CloseHandle(event.u.CreateProcessInfo.hProcess);
  CloseHandle(event.u.CreateProcessInfo.hThread);
  CloseHandle(event.u.CreateProcessInfo.hFile);
  // Stopped at its event, it still runs as far as its handle tells.
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  ASSERT_EQ(event.dwDebugEventCode, EXCEPTION_DEBUG_EVENT);
  ASSERT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  EXPECT_TRUE(TerminateProcess(info.hProcess, 1067));
  Trace rest;
  std::set<DWORD> live{info.dwProcessId};
  while (!live.empty()) {
    ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      live.erase(event.dwProcessId);
      EXPECT_EQ(event.u.ExitProcess.dwExitCode, 1067u);
    }
    ASSERT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  }
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 1067u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, TimeOutsAndBadArguments) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " sleep 1500", DEBUG_PROCESS, &info));
  DEBUG_EVENT event;
  for (int i = 0; i < 2; ++i) {  // creation and breakpoint
    ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
      CloseHandle(event.u.CreateProcessInfo.hProcess);
      CloseHandle(event.u.CreateProcessInfo.hThread);
      CloseHandle(event.u.CreateProcessInfo.hFile);
      // Not the pending event, or a status NT does not know.
      SetLastError(0);
      EXPECT_FALSE(ContinueDebugEvent(event.dwProcessId + 1, event.dwThreadId, DBG_CONTINUE));
      EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
      SetLastError(0);
      EXPECT_FALSE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, 0x1234));
      EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    ASSERT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  }
  // Continuing twice is an error.
  SetLastError(0);
  EXPECT_FALSE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // The debuggee sleeps: a short wait times out after its time, not before.
  auto before = std::chrono::steady_clock::now();
  SetLastError(0);
  EXPECT_FALSE(WaitForDebugEvent(&event, 100));
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  auto waited = std::chrono::steady_clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  // A zero time-out only looks.
  EXPECT_FALSE(WaitForDebugEvent(&event, 0));
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  // The exit comes within a time-out that covers the rest of the sleep.
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  EXPECT_EQ(event.dwDebugEventCode, EXIT_PROCESS_DEBUG_EVENT);
  EXPECT_EQ(event.u.ExitProcess.dwExitCode, 0u);
  EXPECT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);

  SetLastError(0);
  EXPECT_FALSE(WaitForDebugEvent(nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // A thread that debugs nothing.
  DWORD error = 0;
  std::thread([&] {
    DEBUG_EVENT e;
    SetLastError(0);
    if (!WaitForDebugEvent(&e, 10)) error = GetLastError();
  }).join();
  EXPECT_EQ(error, ERROR_INVALID_HANDLE);
  SetLastError(0);
  EXPECT_FALSE(DebugActiveProcessStop(getpid()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(leftovers_settled(), 0);
}

// Starts `line` debugged from a thread of its own, takes the creation
// event and lets the thread end without continuing it.
DWORD debug_from_ending_thread(const std::string& line, BOOL kill_on_exit, HANDLE* process) {
  DWORD error = ERROR_SUCCESS;
  std::thread([&] {
    if (!kill_on_exit) DebugSetProcessKillOnExit(FALSE);
    PROCESS_INFORMATION info{};
    if (!start_child(line, &info, FALSE, DEBUG_PROCESS)) {
      error = GetLastError();
      return;
    }
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, 5000)) {
      error = GetLastError();
      return;
    }
    CloseHandle(event.u.CreateProcessInfo.hProcess);
    CloseHandle(event.u.CreateProcessInfo.hThread);
    CloseHandle(event.u.CreateProcessInfo.hFile);
    CloseHandle(info.hThread);
    *process = info.hProcess;
  }).join();
  return error;
}

TEST_F(DebugTest, DebuggeesOfAnEndingThreadAreKilledOrLetGo) {
  HANDLE process = nullptr;
  ASSERT_EQ(debug_from_ending_thread(probe_ + " sleep 20000", TRUE, &process), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_NE(code, STILL_ACTIVE);
  CloseHandle(process);

  // Let go, the debuggee runs on, as it was stopped at its creation.
  ASSERT_EQ(debug_from_ending_thread(probe_ + " sleep 300", FALSE, &process), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(process);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, StoppingTheDebuggingLetsTheProcessRun) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " exit 9", DEBUG_PROCESS, &info));
  DEBUG_EVENT event;
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  ASSERT_EQ(event.dwDebugEventCode, CREATE_PROCESS_DEBUG_EVENT);
  CloseHandle(event.u.CreateProcessInfo.hProcess);
  CloseHandle(event.u.CreateProcessInfo.hThread);
  CloseHandle(event.u.CreateProcessInfo.hFile);
  ASSERT_TRUE(DebugActiveProcessStop(info.dwProcessId));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 9u);
  // Nothing more comes from it, and its event cannot be continued.
  SetLastError(0);
  EXPECT_FALSE(WaitForDebugEvent(&event, 50));
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  EXPECT_FALSE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  SetLastError(0);
  EXPECT_FALSE(DebugActiveProcessStop(info.dwProcessId));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, SuspendedDebuggeeStartsAtResume) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " exit 4", DEBUG_PROCESS | CREATE_SUSPENDED, &info));
  DEBUG_EVENT event;
  SetLastError(0);
  EXPECT_FALSE(WaitForDebugEvent(&event, 100));
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  EXPECT_EQ(ResumeThread(info.hThread), 1u);
  Trace trace;
  debug_until_done(&trace);
  ASSERT_EQ(trace.created.size(), 1u);
  EXPECT_EQ(trace.exit_code[info.dwProcessId], 4u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // A program that is not there fails as without debugging, and leaves
  // nothing to debug behind.
  std::string missing = "/nonexistent/program";
  SetLastError(0);
  EXPECT_FALSE(start(missing, DEBUG_PROCESS, &info));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  EXPECT_FALSE(WaitForDebugEvent(&event, 50));
  EXPECT_EQ(leftovers_settled(), 0);
}

TEST_F(DebugTest, AttachingToARunningProcess) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(start(probe_ + " sleep 20000", 0, &info));
  ASSERT_TRUE(DebugActiveProcess(info.dwProcessId));
  SetLastError(0);
  EXPECT_FALSE(DebugActiveProcess(info.dwProcessId));  // debugged already
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  DEBUG_EVENT event;
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  ASSERT_EQ(event.dwDebugEventCode, CREATE_PROCESS_DEBUG_EVENT);
  EXPECT_EQ(event.dwProcessId, info.dwProcessId);
  CloseHandle(event.u.CreateProcessInfo.hProcess);
  CloseHandle(event.u.CreateProcessInfo.hThread);
  CloseHandle(event.u.CreateProcessInfo.hFile);
  ASSERT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  EXPECT_EQ(event.dwDebugEventCode, EXCEPTION_DEBUG_EVENT);
  EXPECT_EQ(event.u.Exception.ExceptionRecord.ExceptionCode, EXCEPTION_BREAKPOINT);
  ASSERT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  EXPECT_TRUE(TerminateProcess(info.hProcess, 55));
  ASSERT_TRUE(WaitForDebugEvent(&event, 5000));
  EXPECT_EQ(event.dwDebugEventCode, EXIT_PROCESS_DEBUG_EVENT);
  EXPECT_EQ(event.u.ExitProcess.dwExitCode, 55u);
  EXPECT_TRUE(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 55u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  SetLastError(0);
  EXPECT_FALSE(DebugActiveProcess(0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_FALSE(DebugActiveProcess(GetCurrentProcessId()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(leftovers_settled(), 0);
}

}  // namespace
