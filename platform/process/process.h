// Processes: CreateProcessA, OpenProcess, GetExitCodeProcess,
// TerminateProcess, ExitProcess, GetStartupInfoA, DuplicateHandle,
// GetStdHandle and the ids.
//
// A process is a Linux process; its handle holds a pidfd, so a wait on it
// works for any process (a child or one opened with OpenProcess) and the
// handle is signalled when the process ends.
//
// What a child receives from CreateProcessA (spawn.h has the mechanics):
//   - the program: application name or first token of the command line,
//     resolved as command_resolve.h describes;
//   - the exact command line text, through NT_CMDLINE=<pid>:<text>
//     (GetCommandLineA), and argv split as NT's C runtime splits it;
//   - the environment block given ("NAME=value" strings, each ended by a
//     NUL, the block by an empty string; CREATE_UNICODE_ENVIRONMENT for a
//     UTF-16 block), else the parent's environment;
//   - the current directory given (an NT path, ERROR_DIRECTORY when it is no
//     directory), else the parent's;
//   - standard handles: with STARTF_USESTDHANDLES the three handles of
//     STARTUPINFO (files, pipes, or null / INVALID_HANDLE_VALUE for
//     /dev/null; also when bInheritHandles is FALSE), else the parent's
//     descriptors 0, 1 and 2. There are no
//     consoles: CREATE_NEW_CONSOLE keeps the parent's terminal, and
//     DETACHED_PROCESS gives the child a session of its own;
//   - with bInheritHandles, every inheritable handle (handle.h);
//   - the STARTUPINFO fields lpDesktop, lpTitle, the positions and sizes,
//     dwFlags and wShowWindow, through NT_STARTUP=<pid>:<fields>
//     (GetStartupInfoA).
// CREATE_SUSPENDED keeps the child before its exec until ResumeThread on
// PROCESS_INFORMATION.hThread; in that state DuplicateHandle can pass
// handles into it. CREATE_NEW_PROCESS_GROUP gives it a process group of
// its own; IDLE_PRIORITY_CLASS and BELOW_NORMAL_PRIORITY_CLASS lower its
// priority, higher classes are accepted without effect. DEBUG_PROCESS and
// DEBUG_ONLY_THIS_PROCESS make the calling thread the debugger of the child
// (debug.h).
//
// Exit codes. A process that called ExitProcess has that code, all 32 bits
// (the layer records codes beyond the 8 bits Linux keeps, exit_records.h);
// one that ended otherwise has its 8-bit status. One that TerminateProcess
// killed has the code given to TerminateProcess, for every waiter of the
// network. One killed by a signal otherwise has:
//   SIGSEGV, SIGBUS   0xC0000005 (access violation)
//   SIGILL            0xC000001D (illegal instruction)
//   SIGFPE            0xC0000094 (integer division by zero)
//   SIGINT            0xC000013A (ended by Ctrl+C)
//   SIGABRT           3 (as abort() of the C runtime ends a program)
//   any other         1067 ERROR_PROCESS_ABORTED
// A process that is not our child and whose status nobody of the layer saw
// (reaped by a parent outside the layer before we looked) reports 1067 too.
#pragma once

#include <sys/types.h>

#include "platform/kernel/handle.h"
#include "platform/process/debug.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"
#include "platform/win32_types.h"

constexpr DWORD DEBUG_PROCESS = 0x00000001;
constexpr DWORD DEBUG_ONLY_THIS_PROCESS = 0x00000002;
constexpr DWORD DETACHED_PROCESS = 0x00000008;
constexpr DWORD CREATE_NEW_CONSOLE = 0x00000010;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
constexpr DWORD IDLE_PRIORITY_CLASS = 0x00000040;
constexpr DWORD HIGH_PRIORITY_CLASS = 0x00000080;
constexpr DWORD REALTIME_PRIORITY_CLASS = 0x00000100;
constexpr DWORD CREATE_NEW_PROCESS_GROUP = 0x00000200;
constexpr DWORD CREATE_UNICODE_ENVIRONMENT = 0x00000400;
constexpr DWORD CREATE_SEPARATE_WOW_VDM = 0x00000800;
constexpr DWORD CREATE_SHARED_WOW_VDM = 0x00001000;
constexpr DWORD BELOW_NORMAL_PRIORITY_CLASS = 0x00004000;
constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x00008000;
constexpr DWORD CREATE_DEFAULT_ERROR_MODE = 0x04000000;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;
constexpr DWORD STARTF_USESIZE = 0x00000002;
constexpr DWORD STARTF_USEPOSITION = 0x00000004;
constexpr DWORD STARTF_USECOUNTCHARS = 0x00000008;
constexpr DWORD STARTF_USEFILLATTRIBUTE = 0x00000010;
constexpr DWORD STARTF_RUNFULLSCREEN = 0x00000020;
constexpr DWORD STARTF_FORCEONFEEDBACK = 0x00000040;
constexpr DWORD STARTF_FORCEOFFFEEDBACK = 0x00000080;
constexpr DWORD STARTF_USESTDHANDLES = 0x00000100;

constexpr WORD SW_HIDE = 0;
constexpr WORD SW_SHOWNORMAL = 1;
constexpr WORD SW_SHOWMINIMIZED = 2;
constexpr WORD SW_SHOWMAXIMIZED = 3;
constexpr WORD SW_SHOWNOACTIVATE = 4;
constexpr WORD SW_SHOW = 5;
constexpr WORD SW_MINIMIZE = 6;
constexpr WORD SW_SHOWMINNOACTIVE = 7;

constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_DUP_HANDLE = 0x0040;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_ALL_ACCESS = 0x001F0FFF;

constexpr DWORD DUPLICATE_CLOSE_SOURCE = 0x00000001;
constexpr DWORD DUPLICATE_SAME_ACCESS = 0x00000002;

constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

struct STARTUPINFOA {
  DWORD cb;
  char* lpReserved;
  char* lpDesktop;
  char* lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

// The pseudo handle of the calling process, as NT gives it.
inline HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

// Starts a program (see above). Errors: ERROR_INVALID_PARAMETER (no
// program, null startup or information, DETACHED_PROCESS with
// CREATE_NEW_CONSOLE), ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND (no such
// program), ERROR_ACCESS_DENIED (not executable, a directory),
// ERROR_BAD_EXE_FORMAT (not a program), ERROR_DIRECTORY (bad current
// directory), ERROR_INVALID_HANDLE (a standard handle that names no file or
// pipe), ERROR_ACCESS_DENIED (a debuggee that cannot be traced).
BOOL CreateProcessA(const char* application_name, char* command_line,
                    SECURITY_ATTRIBUTES* process_attributes, SECURITY_ATTRIBUTES* thread_attributes,
                    BOOL inherit_handles, DWORD creation_flags, void* environment,
                    const char* current_directory, STARTUPINFOA* startup_info,
                    PROCESS_INFORMATION* process_information);

// A handle to any process by id; ERROR_INVALID_PARAMETER when there is no
// such process (or for id 0).
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD process_id);
// STILL_ACTIVE (259) while the process runs, then its exit code.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code);
// Kills the process; every waiter then sees `exit_code`. An ended process:
// ERROR_ACCESS_DENIED, as in NT. The calling process itself ends as by
// ExitProcess.
BOOL TerminateProcess(HANDLE process, UINT exit_code);
DWORD GetCurrentProcessId();
DWORD GetProcessId(HANDLE process);
// Ends the process with `exit_code` (all 32 bits reach the waiters):
// standard streams are flushed, no static destructors run (other threads
// may still be using what they would destroy).
[[noreturn]] void ExitProcess(UINT exit_code);

// The fields the parent gave (see above); without NT_STARTUP for this
// process: all zero but cb, no desktop, no title.
void GetStartupInfoA(STARTUPINFOA* startup_info);

// Duplicates a handle of the calling process (GetCurrentProcess() or a
// handle to it as source process) into the calling process, or into a
// suspended child created by this process (the handle value is the lowest
// one free in the child's table). Other source or target processes:
// ERROR_NOT_SUPPORTED; an object that cannot cross into a child:
// ERROR_NOT_SUPPORTED. DUPLICATE_CLOSE_SOURCE closes the source handle in
// every case, as in NT. Pseudo handles of the current process and thread
// give real handles.
BOOL DuplicateHandle(HANDLE source_process, HANDLE source_handle, HANDLE target_process,
                     HANDLE* target_handle, DWORD desired_access, BOOL inherit_handle,
                     DWORD options);

// Handles of descriptors 0, 1 and 2 (one each, made on first use; closing it
// leaves the descriptor itself open). Other values: INVALID_HANDLE_VALUE
// with ERROR_INVALID_PARAMETER.
HANDLE GetStdHandle(DWORD which);


// The NT exit code of a process killed by signal `sig` (see above).
DWORD nt_exit_code_for_signal(int sig);
