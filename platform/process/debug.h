// Debugging processes: the debug event calls over ptrace.
//
// CreateProcessA with DEBUG_PROCESS makes the calling thread the debugger of
// the new process and of every process it or its descendants start; with
// DEBUG_ONLY_THIS_PROCESS of the new process alone (its children run free).
// Only that thread waits for and continues their events (ptrace allows one
// tracer thread); each debugging thread sees only its own debuggees.
//
// Events, in the order a process gives them:
//   CREATE_PROCESS_DEBUG_EVENT  once per process, when it is first seen
//                               stopped (the first process at its exec, a
//                               descendant right after its fork). hProcess
//                               works with TerminateProcess,
//                               GetExitCodeProcess and the waits; hThread is
//                               its main thread; hFile a read handle on its
//                               program. The three handles are new handles
//                               of the debugger's, to be closed by it.
//                               lpImageName and the addresses are null.
//   EXCEPTION_DEBUG_EVENT       EXCEPTION_BREAKPOINT once, right after the
//                               CREATE event of a process that CreateProcessA
//                               or DebugActiveProcess gave the debugger (the
//                               loader breakpoint of NT), dwFirstChance 1.
//                               No other exceptions are reported: a signal
//                               goes on to the debuggee without an event.
//   CREATE_THREAD_DEBUG_EVENT / EXIT_THREAD_DEBUG_EVENT
//                               for threads beyond the main one (clone with
//                               CLONE_THREAD); hThread is the debugger's to
//                               close (its waits end with the process).
//   LOAD_DLL_DEBUG_EVENT        when a debuggee replaces its program (exec):
//                               it stays the same process. hFile is a read
//                               handle on the new program, the debugger's to
//                               close.
//   EXIT_PROCESS_DEBUG_EVENT    once per process, with its NT exit code: the
//                               exit status, the code given to
//                               TerminateProcess, the code of ExitProcess
//                               beyond 8 bits, or the code of the signal that
//                               killed it (nt_exit_code_for_signal). A
//                               process that ended before it could be seen
//                               stopped still gets its CREATE event first.
// A debuggee is stopped from its event until ContinueDebugEvent
// (DBG_CONTINUE and DBG_EXCEPTION_NOT_HANDLED act alike). Stops that are no
// event (a fork seen in the parent, a signal on its way, a job-control
// stop) never wait for the debugger. A debuggee's handles work as any
// process's: STILL_ACTIVE while it runs or stands stopped, its exit code as
// soon as it has ended (the debugger reaps it when it gives the EXIT event).
//
// When the debugger thread ends (its thread-local session is destroyed) its
// debuggees are killed, as NT kills them, unless
// DebugSetProcessKillOnExit(FALSE) was called: then they are detached and
// run on. Should the thread vanish without its destructors, the kernel
// does the same (PTRACE_O_EXITKILL while kill-on-exit is on, else a plain
// detach). DebugActiveProcessStop detaches one process and lets it run.
#pragma once

#include "platform/sync/thread.h"
#include "platform/win32_types.h"

constexpr DWORD EXCEPTION_DEBUG_EVENT = 1;
constexpr DWORD CREATE_THREAD_DEBUG_EVENT = 2;
constexpr DWORD CREATE_PROCESS_DEBUG_EVENT = 3;
constexpr DWORD EXIT_THREAD_DEBUG_EVENT = 4;
constexpr DWORD EXIT_PROCESS_DEBUG_EVENT = 5;
constexpr DWORD LOAD_DLL_DEBUG_EVENT = 6;
constexpr DWORD UNLOAD_DLL_DEBUG_EVENT = 7;
constexpr DWORD OUTPUT_DEBUG_STRING_EVENT = 8;
constexpr DWORD RIP_EVENT = 9;

constexpr DWORD DBG_CONTINUE = 0x00010002;
constexpr DWORD DBG_EXCEPTION_NOT_HANDLED = 0x80010001;

constexpr DWORD EXCEPTION_BREAKPOINT = 0x80000003;
constexpr DWORD EXCEPTION_SINGLE_STEP = 0x80000004;
constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005;
constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;

struct EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  EXCEPTION_RECORD* ExceptionRecord;
  void* ExceptionAddress;
  DWORD NumberParameters;
  uintptr_t ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};

struct EXCEPTION_DEBUG_INFO {
  EXCEPTION_RECORD ExceptionRecord;
  DWORD dwFirstChance;
};

struct CREATE_THREAD_DEBUG_INFO {
  HANDLE hThread;
  void* lpThreadLocalBase;
  LPTHREAD_START_ROUTINE lpStartAddress;
};

struct CREATE_PROCESS_DEBUG_INFO {
  HANDLE hFile;
  HANDLE hProcess;
  HANDLE hThread;
  void* lpBaseOfImage;
  DWORD dwDebugInfoFileOffset;
  DWORD nDebugInfoSize;
  void* lpThreadLocalBase;
  LPTHREAD_START_ROUTINE lpStartAddress;
  void* lpImageName;
  WORD fUnicode;
};

struct EXIT_THREAD_DEBUG_INFO {
  DWORD dwExitCode;
};

struct EXIT_PROCESS_DEBUG_INFO {
  DWORD dwExitCode;
};

struct LOAD_DLL_DEBUG_INFO {
  HANDLE hFile;
  void* lpBaseOfDll;
  DWORD dwDebugInfoFileOffset;
  DWORD nDebugInfoSize;
  void* lpImageName;
  WORD fUnicode;
};

struct UNLOAD_DLL_DEBUG_INFO {
  void* lpBaseOfDll;
};

struct OUTPUT_DEBUG_STRING_INFO {
  char* lpDebugStringData;
  WORD fUnicode;
  WORD nDebugStringLength;
};

struct RIP_INFO {
  DWORD dwError;
  DWORD dwType;
};

struct DEBUG_EVENT {
  DWORD dwDebugEventCode;
  DWORD dwProcessId;
  DWORD dwThreadId;
  union {
    EXCEPTION_DEBUG_INFO Exception;
    CREATE_THREAD_DEBUG_INFO CreateThread;
    CREATE_PROCESS_DEBUG_INFO CreateProcessInfo;
    EXIT_THREAD_DEBUG_INFO ExitThread;
    EXIT_PROCESS_DEBUG_INFO ExitProcess;
    LOAD_DLL_DEBUG_INFO LoadDll;
    UNLOAD_DLL_DEBUG_INFO UnloadDll;
    OUTPUT_DEBUG_STRING_INFO DebugString;
    RIP_INFO RipInfo;
  } u;
};

// Waits up to `milliseconds` (INFINITE for ever) for the next event of the
// calling thread's debuggees. FALSE with ERROR_SEM_TIMEOUT when none came;
// ERROR_INVALID_PARAMETER for a null event; ERROR_INVALID_HANDLE when the
// thread debugs nothing.
BOOL WaitForDebugEvent(DEBUG_EVENT* event, DWORD milliseconds);

// Lets the debuggee (process id, thread id) of the last event go on.
// ERROR_INVALID_PARAMETER for a bad continue status or when that event is
// not the one pending.
BOOL ContinueDebugEvent(DWORD process_id, DWORD thread_id, DWORD continue_status);

// Stops debugging a process of the calling thread: it is let go and runs on.
// ERROR_INVALID_PARAMETER when the thread does not debug it.
BOOL DebugActiveProcessStop(DWORD process_id);

// Makes the calling thread the debugger of a running process (and of the
// processes it starts from then on); its threads are attached too. Events
// follow as for a new process: CREATE_PROCESS (then CREATE_THREAD for each
// further thread) and the breakpoint. ERROR_INVALID_PARAMETER for id 0 or
// no such process, ERROR_ACCESS_DENIED for the calling process itself, a
// process debugged already or one that may not be traced.
BOOL DebugActiveProcess(DWORD process_id);

// Whether the debuggees of the calling thread are killed (TRUE, the
// default) or let go (FALSE) when the thread or its process ends.
BOOL DebugSetProcessKillOnExit(BOOL kill_on_exit);
