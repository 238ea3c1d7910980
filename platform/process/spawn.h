// Starting a Linux process for CreateProcessA: fork and exec, done safely.
//
// Everything the child needs is built before fork: the argument vector, the
// environment with a buffer for each entry that names the child's process
// id (NT_CMDLINE, NT_HANDLES, NT_STARTUP: the id is written by the child
// into room left in front of the text), the descriptor plan. Between fork
// and exec the child makes only async-signal-safe calls:
//
//   1. a new process group or session when asked; signal dispositions back
//      to their defaults, no signal blocked;
//   2. the descriptors it keeps (inherited handles, standard handles, its
//      control socket and its error pipe) are moved to base, base+1, ...
//      where base lies above every one of them, and every other descriptor
//      is closed: only inheritable handles cross, whatever else the parent
//      has open;
//   3. a suspended child (CREATE_SUSPENDED) waits on its control socket:
//      the parent may pass it further descriptors (DuplicateHandle into the
//      child) with the new NT_HANDLES text, and the resume message lets it
//      go on;
//   4. standard handles on 0, 1 and 2; the current directory; the process
//      id into the environment buffers; exec. A failure of chdir or exec
//      writes errno to the error pipe, whose closing on exec tells the
//      parent that the program runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/win32_types.h"

// One descriptor a child receives for an inherited handle.
struct NtSpawnHandle {
  uintptr_t handle = 0;   // the handle value in the child
  std::string kind;       // as in NT_HANDLES
  int fd = -1;            // in the parent
  std::string extra;
};

struct NtSpawnRequest {
  std::string program;                 // host path of the executable
  std::vector<std::string> argv;
  std::vector<std::string> env;        // NAME=value, without the per-process entries
  std::string command_line;            // NT_CMDLINE text
  std::string startup;                 // NT_STARTUP text (after "<pid>:")
  std::vector<NtSpawnHandle> handles;  // inherited handles
  int stdio[3] = {-1, -1, -1};         // descriptors for 0, 1, 2; -1 keeps the parent's
  std::string current_directory;       // host path; empty keeps the parent's
  bool suspended = false;
  bool new_process_group = false;
  bool detached = false;               // a session of its own (no terminal)
  int nice_increment = 0;              // lower priority classes
};

// A child that waits before exec for its resume (CREATE_SUSPENDED).
struct NtSuspendedChild {
  int control_fd = -1;                 // parent end of the control socket
  int error_fd = -1;                   // read end of the error pipe
  int next_fd = 0;                     // first descriptor number free in the child
  std::vector<NtSpawnHandle> handles;  // handles the child will have
  size_t handles_capacity = 0;         // room for the NT_HANDLES text
};

struct NtSpawnResult {
  pid_t pid = 0;
  int pidfd = -1;
  NtSuspendedChild suspended;          // control_fd >= 0 when suspended
};

// Starts the process; ERROR_SUCCESS or a Win32 error (the exec error of a
// child that is not suspended is reported here).
DWORD nt_spawn(const NtSpawnRequest& request, NtSpawnResult* result);

// Passes `fd` to a suspended child as handle `handle` of kind `kind`: the
// new NT_HANDLES text goes with it. ERROR_NOT_ENOUGH_MEMORY when the text
// outgrows its room.
DWORD nt_spawn_pass_handle(NtSuspendedChild* child, pid_t pid, const NtSpawnHandle& handle);

// Lets a suspended child go on. Returns ERROR_SUCCESS once the program
// runs, or the Win32 error of its failed exec.
DWORD nt_spawn_resume(NtSuspendedChild* child);

// Closes what the parent kept for a suspended child (it then ends).
void nt_spawn_release(NtSuspendedChild* child);

// The NT_HANDLES value of a list (without "<pid>:").
std::string nt_handles_text(const std::vector<NtSpawnHandle>& handles);

// Splits a Win32 environment block (NAME=value strings, each NUL-terminated,
// the block ended by an empty string) into entries.
std::vector<std::string> nt_environment_block_entries(const char* block);
