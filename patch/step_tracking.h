// Process-tree tracking of one step: the runner is the debugger of the
// step's process and of every process that it or its descendants start, and
// the step passes when every process of the tree has ended with an accepted
// exit code. The time limit bounds the quiet time between two debug events,
// not the step's whole duration.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32_types.h"

// The ids of the live processes of a step, kept packed: the live processes
// occupy the first entries, in the order they were created.
constexpr size_t PROCESS_TABLE_MAX = 64;

class ProcessTable {
 public:
  // False when the table is full.
  bool add(DWORD id);
  // Removes `id` and moves the following ids down; false when it is not there.
  bool remove(DWORD id);
  bool contains(DWORD id) const;
  size_t size() const { return count_; }
  DWORD at(size_t i) const { return ids_[i]; }
  void clear() { count_ = 0; }

 private:
  DWORD ids_[PROCESS_TABLE_MAX] = {};
  size_t count_ = 0;
};

// What the tracking of one step is told.
struct TrackedStep {
  const char* patch_name;   // the patch file name, for messages
  const char* step_name;    // the section name
  const char* errorlevels;  // accepted exit codes (range text)
  DWORD time_limit;         // seconds of quiet time allowed, not 0
  bool verbose;
};

// Follows the debug events of the processes that the calling thread debugs
// (a process just created with DEBUG_PROCESS) until no process of the tree
// is live, the quiet time runs out, or a process ends with an exit code
// outside `errorlevels`. Processes still live then are terminated (exit
// code 0). Returns true when the step passed; otherwise `failure` holds the
// failure message ("errorlevel (%ld) mismatch ..." or "timeout (%ld sec) ...").
//
// A process that would be the 65th live one at the same time cannot be
// followed: it is terminated at once and the step fails with "more than 64
// processes for patch %s, step %s".
bool track_step(const TrackedStep& step, std::string* failure);

// Milliseconds of a time limit in seconds: past 49 days the wait is cut to
// the longest finite one, never wrapping to a short wait or to INFINITE.
DWORD time_limit_ms(DWORD seconds);
