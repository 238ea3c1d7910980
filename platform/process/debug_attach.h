// How CreateProcessA hands a new debuggee to the calling thread's debugging
// session (debug.cc).
#pragma once

#include <sys/types.h>

#include <memory>

#include "platform/win32_types.h"

class NtProcess;

// Seizes `pid`, held before its exec, for the calling thread: DEBUG_PROCESS
// follows its descendants, DEBUG_ONLY_THIS_PROCESS (alone or with
// DEBUG_PROCESS) does not. Win32 error on failure.
DWORD nt_debug_attach_new_process(pid_t pid, DWORD creation_flags,
                                  const std::shared_ptr<NtProcess>& process);

// Forgets a new debuggee whose exec failed: waits for its end and reaps it.
void nt_debug_abandon_new_process(pid_t pid);
