// A process tree of 201 processes (a shell that runs /bin/true 200 times),
// run plain and debugged: what following every process of a tree costs.
// Debugged, each child brings a creation, an image load (its exec) and an
// exit event, each a stop of the child until the debugger continues it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/kernel/error.h"
#include "platform/process/process.h"
#include "platform/sync/waitable.h"

namespace {

constexpr int kChildren = 200;

std::string tree_command() {
  return "/bin/sh -c \"i=0; while [ $i -lt " + std::to_string(kChildren) +
         " ]; do /bin/true; i=$((i+1)); done\"";
}

PROCESS_INFORMATION start_tree(DWORD flags) {
  std::string line = tree_command();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                      &startup, &info)) {
    abort();
  }
  return info;
}

void finish(PROCESS_INFORMATION* info) {
  WaitForSingleObject(info->hProcess, INFINITE);
  CloseHandle(info->hThread);
  CloseHandle(info->hProcess);
}

void BM_TreePlain(benchmark::State& state) {
  for (auto _ : state) {
    PROCESS_INFORMATION info = start_tree(0);
    finish(&info);
  }
  state.counters["processes"] = kChildren + 1;
}

// Follows the tree until its last process has ended; `timeout` INFINITE or
// a limit (which makes the debugger poll).
void follow_tree(benchmark::State& state, DWORD timeout) {
  int64_t events = 0;
  for (auto _ : state) {
    PROCESS_INFORMATION info = start_tree(DEBUG_PROCESS);
    std::set<DWORD> live;
    int created = 0;
    do {
      DEBUG_EVENT event;
      if (!WaitForDebugEvent(&event, timeout)) abort();
      ++events;
      if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
        ++created;
        live.insert(event.dwProcessId);
        CloseHandle(event.u.CreateProcessInfo.hFile);
        CloseHandle(event.u.CreateProcessInfo.hThread);
        CloseHandle(event.u.CreateProcessInfo.hProcess);
      } else if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
        live.erase(event.dwProcessId);
      } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
        CloseHandle(event.u.LoadDll.hFile);
      } else if (event.dwDebugEventCode == CREATE_THREAD_DEBUG_EVENT) {
        CloseHandle(event.u.CreateThread.hThread);
      }
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    } while (!live.empty());
    if (created != kChildren + 1) state.SkipWithError("a process was not reported");
    finish(&info);
  }
  state.counters["processes"] = kChildren + 1;
  state.counters["events/run"] =
      benchmark::Counter(static_cast<double>(events) / static_cast<double>(state.iterations()));
}

void BM_TreeDebugged(benchmark::State& state) { follow_tree(state, INFINITE); }

void BM_TreeDebuggedWithTimeout(benchmark::State& state) { follow_tree(state, 10000); }

BENCHMARK(BM_TreePlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TreeDebugged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TreeDebuggedWithTimeout)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
