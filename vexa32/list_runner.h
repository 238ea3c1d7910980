// Runs command lists entry by entry, pausing after an entry with the pause
// bit until the next timer tick, and handing an "Exit" entry to the agent.
#pragma once

#include <functional>
#include <string>

#include "vexa32/command_list.h"

enum class ListKind { start, middle, end, run_file };

// Run states of the agent.
constexpr int RUN_IDLE = 0;
constexpr int RUN_PAUSED_LIST = 1;
constexpr int RUN_PAUSED_RUN_FILE = 4;

class ListRunner {
 public:
  struct Hooks {
    // Starts a command line with a show mode; the WinExec result.
    std::function<UINT(const char* line, UINT show)> exec;
    // An "Exit" entry: `run_end` when its value is nonzero. The agent closes
    // and deletes the lock file, stops the timer, runs the End list
    // (run_end_list) and ends.
    std::function<void(bool run_end)> exit;
  };

  explicit ListRunner(Hooks hooks) : hooks_(std::move(hooks)) {}

  // Runs `list` from its first entry (the run state is set to idle first).
  void run(const CommandList& list, ListKind kind);
  // Goes on with a paused list at its next entry.
  void resume();
  // Runs the End list as a whole (it never pauses).
  void run_end_list(const CommandList& end_list) { run(end_list, ListKind::end); }

  int state() const { return state_; }
  // True once an Exit entry was handled.
  bool exited() const { return exited_; }

 private:
  void work();

  Hooks hooks_;
  CommandList list_;
  ListKind kind_ = ListKind::start;
  size_t next_ = 0;
  int state_ = RUN_IDLE;
  bool exited_ = false;
};
