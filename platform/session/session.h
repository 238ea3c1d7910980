// Logon sessions and their end: ExitWindowsEx(EWX_LOGOFF) and the
// query-end-session / end-session messages that window programs handle.
//
// A logon session is a machine and a user: the local machine
// (nt_local_machine_name) and the current user (nt_user_name, case
// ignored). A window program joins its session with nt_session_join: the
// layer writes a registration file
//
//   <network>/machines/<MACHINE>/run/sessions/<USER>/<pid>-<start>
//
// (start: the process start time, so a reused id is never taken for it)
// holding "level=<hex> flags=<n> socket=<name>", and listens on a
// SOCK_SEQPACKET socket of the abstract name space under that name. The
// descriptor nt_session_join returns becomes readable when the session
// talks to the program; the program then calls nt_session_next_message
// until it returns false, answers each query with nt_session_reply, and
// ends after an end-session message that says the session ends (its end
// closes the conversation, which the logoff waits for).
//
// Ending a session (ExitWindowsEx for the caller's own session, or
// nt_logoff_session for any, as `ntnet logoff` does) tells the registered
// programs one at a time, higher shutdown levels first (equal levels in
// the order they joined): without EWX_FORCE the program is first asked
// (query end session, answered within 5 s, silence counts as consent);
// a refusal stops the logoff there (ERROR_CANCELLED), and the program that
// refused gets an end-session message saying the session goes on. Then it
// gets the end-session message and the logoff waits up to 120 s for it to
// end before going on with the next. Registration files of processes that
// are gone are removed on the way, and so is that of a program once it
// ended after the end-session message. The process calling ExitWindowsEx is
// not told: it asked for the end and ends by itself.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

constexpr UINT EWX_LOGOFF = 0x00000000;
constexpr UINT EWX_SHUTDOWN = 0x00000001;
constexpr UINT EWX_REBOOT = 0x00000002;
constexpr UINT EWX_FORCE = 0x00000004;
constexpr UINT EWX_POWEROFF = 0x00000008;
constexpr UINT EWX_FORCEIFHUNG = 0x00000010;

constexpr DWORD SHUTDOWN_NORETRY = 0x00000001;

// The level of a process that never set one.
constexpr DWORD NT_DEFAULT_SHUTDOWN_LEVEL = 0x280;

// Levels 0x100 to 0x3FF (programs; 0x000-0x0FF belong to the system):
// higher levels are told first. Other levels, or flags other than
// SHUTDOWN_NORETRY: ERROR_INVALID_PARAMETER. A joined process's
// registration is updated.
BOOL SetProcessShutdownParameters(DWORD level, DWORD flags);
// Null arguments: ERROR_INVALID_PARAMETER.
BOOL GetProcessShutdownParameters(DWORD* level, DWORD* flags);

// EWX_LOGOFF, with EWX_FORCE (nobody is asked) or EWX_FORCEIFHUNG (same
// as without, since silence counts as consent), ends the caller's session
// as described above and returns when every program was told (FALSE with
// ERROR_CANCELLED when one refused). Shutting down or restarting the
// machine is not offered here: ERROR_NOT_SUPPORTED (`ntnet shutdown`
// does that). Unknown flags: ERROR_INVALID_PARAMETER.
BOOL ExitWindowsEx(UINT flags, DWORD reason);

// Joins the caller's session (once per process; again returns the same
// descriptor). The descriptor to watch, or -1 with the error set.
int nt_session_join();
// Leaves the session: removes the registration and closes the socket.
void nt_session_leave();

enum class NtSessionMessageKind { query_end_session, end_session };

struct NtSessionMessage {
  NtSessionMessageKind kind = NtSessionMessageKind::query_end_session;
  bool ending = false;  // end_session: true when the session really ends
  UINT flags = 0;       // the EWX_ flags of the logoff
};

// The next message of the session, waiting for it at most 5 s within a
// conversation; false when nothing is waiting (or the conversation ended).
bool nt_session_next_message(NtSessionMessage* message);
// The answer to the last query_end_session: TRUE lets the session end.
void nt_session_reply(BOOL allow);

// One program told by a logoff.
struct NtSessionProgram {
  unsigned long pid = 0;
  DWORD level = 0;
  bool refused = false;
  bool ended = false;  // it ended within the time allowed
};

// Ends the session of `user` on `machine` (both case ignored; an empty user
// means every session of the machine), telling every registered program
// except the process `skip_pid` (0: none). ERROR_SUCCESS, ERROR_CANCELLED
// when a program refused, ERROR_INVALID_PARAMETER for an empty machine.
// `told` (may be null) receives the programs in the order told.
DWORD nt_logoff_session(const std::string& machine, const std::string& user, UINT flags,
                        unsigned long skip_pid, std::vector<NtSessionProgram>* told);

// The folder of a session's registrations (not created).
std::string nt_session_folder(const std::string& machine, const std::string& user);
