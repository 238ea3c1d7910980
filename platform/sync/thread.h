// Threads: CreateThread, ExitThread, GetExitCodeThread, ResumeThread,
// TerminateThread and the ids.
//
// A thread is a POSIX thread. Its handle is waitable: signalled once the
// thread has ended (returned from its start routine, called ExitThread or
// was terminated). The exit code is STILL_ACTIVE (259) while it runs.
//
// Stack size: as in NT, dwStackSize is what the thread may use at least; a
// size below the process default of 1 MB gets 1 MB (NT commits the size
// given and reserves the default), a larger size is rounded up to 64 KB;
// with STACK_SIZE_PARAM_IS_A_RESERVATION the size is the reservation itself
// (rounded up to 64 KB, at least the system minimum).
//
// TerminateThread cannot stop a POSIX thread at an arbitrary point safely:
// the thread is cancelled and ends at its next blocking call (a wait, a
// read of a pipe or file, a sleep), unwinding its stack. Mutexes that a
// thread still owns when it ends are abandoned (the next wait gets
// WAIT_ABANDONED_0 + i).
#pragma once

#include <sys/types.h>

#include <memory>

#include "platform/kernel/handle.h"
#include "platform/sync/waitable.h"
#include "platform/win32_types.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD STACK_SIZE_PARAM_IS_A_RESERVATION = 0x00010000;

// Pseudo handles, as NT gives them.
inline HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

// Something that behaves as a thread behind a handle: a thread of this
// process, or the main thread of a child process (PROCESS_INFORMATION).
class NtThreadLike : public NtWaitable {
 public:
  virtual DWORD thread_id() const = 0;
  // The exit code, STILL_ACTIVE while running.
  virtual DWORD exit_code() = 0;
  // Lowers the suspend count; the previous count, or (DWORD)-1 with the
  // last error.
  virtual DWORD resume() = 0;
  // Ends the thread with `code`; FALSE with the last error when it cannot.
  virtual BOOL terminate(DWORD code) = 0;
};

HANDLE CreateThread(SECURITY_ATTRIBUTES* security, size_t stack_size,
                    LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags, DWORD* thread_id);
[[noreturn]] void ExitThread(DWORD exit_code);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code);
DWORD ResumeThread(HANDLE thread);
BOOL TerminateThread(HANDLE thread, DWORD exit_code);
DWORD GetCurrentThreadId();
DWORD GetThreadId(HANDLE thread);

// The object of GetCurrentThread() (a real object for the calling thread,
// made on first use).
std::shared_ptr<NtThreadLike> nt_current_thread_waitable();

// The stack size a CreateThread request gets (exposed for tests).
size_t nt_thread_stack_size(size_t requested, DWORD flags);
