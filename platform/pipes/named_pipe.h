// Named pipes: CreateNamedPipeA, ConnectNamedPipe, DisconnectNamedPipe,
// the client's CreateFileA on a pipe name, ReadFile/WriteFile on both ends,
// PeekNamedPipe, SetNamedPipeHandleState, WaitNamedPipeA, and the
// impersonation of the client.
//
// Design. "\\SRV\pipe\NAME" is a Unix SOCK_SEQPACKET socket at
// <network>/machines/SRV/run/pipe/<NAME>: one write is one read. The name
// is folded to lower case (ASCII; NT pipe names ignore case) and '/', '\',
// '%', a leading '.' and control characters are written as %XX; a name
// that becomes longer than 80 bytes is cut to 60 and given a hash of the
// whole (a socket address has room for little more).
//
// One process owns a pipe name: the first CreateNamedPipeA binds and listens
// on the socket, holding a lock file (run/pipe/.locks/<NAME>) so that a
// socket left behind by a dead server is recognised and replaced; further
// instances of this process share the listening socket (another process
// gets ERROR_ACCESS_DENIED, and instances past the maximum ERROR_PIPE_BUSY).
// The last instance to close removes the socket.
//
// Each process that serves pipes runs one acceptor thread. It accepts a
// connection, reads the client's first packet and gives the connection to
// the instance that has been listening longest. Packets of the layer, never
// seen by the callers:
//   client -> "NTPIPE-CONNECT\0<user>\0<domain>\0<machine>\0"
//   server -> "NTPIPE-OK\0<pipe type>\0"   or "NTPIPE-BUSY\0"
//   client -> "NTPIPE-QUERY\0"            (WaitNamedPipeA)
//   server -> "NTPIPE-AVAILABLE\0<default time-out>\0" or
//             "NTPIPE-BUSY\0<default time-out>\0", then closes.
// An instance listens from its creation and again after ConnectNamedPipe
// following a DisconnectNamedPipe; a client that finds no listening
// instance gets ERROR_PIPE_BUSY (231), a name nobody serves
// ERROR_FILE_NOT_FOUND (2), an unknown or offline machine
// ERROR_BAD_NETPATH (53). ConnectNamedPipe on an instance whose client
// came first fails with ERROR_PIPE_CONNECTED (535), as in NT.
//
// Reads: one read takes at most one message. In message read mode a buffer
// smaller than the message gets its first part and ERROR_MORE_DATA (234),
// the rest comes with the next reads; in byte read mode the same happens
// without the error. A read after the peer closed fails with
// ERROR_BROKEN_PIPE (109); a write, with ERROR_NO_DATA (232). Limits of
// the transport: a message larger than the socket buffer (about 200 KB) is
// sent as several messages of 64 KB, and a zero-byte write sends nothing.
//
// Impersonation: the identity of the client (its USERNAME, USERDOMAIN and
// machine, as its layer saw them when it connected) is kept with the
// instance; ImpersonateNamedPipeClient makes the calling thread act as that
// user (identity.h: GetUserNameA and the access checks read it) until
// RevertToSelf.
#pragma once

#include <memory>
#include <string>

#include "platform/kernel/handle.h"
#include "platform/kernel/error.h"
#include "platform/win32_types.h"

struct OVERLAPPED;

constexpr DWORD PIPE_ACCESS_INBOUND = 0x00000001;
constexpr DWORD PIPE_ACCESS_OUTBOUND = 0x00000002;
constexpr DWORD PIPE_ACCESS_DUPLEX = 0x00000003;
constexpr DWORD FILE_FLAG_FIRST_PIPE_INSTANCE = 0x00080000;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000u;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

constexpr DWORD PIPE_TYPE_BYTE = 0x00000000;
constexpr DWORD PIPE_TYPE_MESSAGE = 0x00000004;
constexpr DWORD PIPE_READMODE_BYTE = 0x00000000;
constexpr DWORD PIPE_READMODE_MESSAGE = 0x00000002;
constexpr DWORD PIPE_WAIT = 0x00000000;
constexpr DWORD PIPE_NOWAIT = 0x00000001;
constexpr DWORD PIPE_UNLIMITED_INSTANCES = 255;

constexpr DWORD NMPWAIT_USE_DEFAULT_WAIT = 0x00000000;
constexpr DWORD NMPWAIT_WAIT_FOREVER = 0xFFFFFFFFu;

// `name` must be "\\.\pipe\NAME" (ERROR_INVALID_NAME otherwise; longer than
// 256 characters: ERROR_FILENAME_EXCED_RANGE). Instances 1 to 255, a read
// mode that fits the type, no overlapped I/O: else ERROR_INVALID_PARAMETER.
// The buffer sizes are hints. A default time-out of 0 means 50 ms, as in NT.
HANDLE CreateNamedPipeA(const char* name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances,
                        DWORD out_buffer_size, DWORD in_buffer_size, DWORD default_timeout,
                        SECURITY_ATTRIBUTES* security);

// Waits until a client is connected to the instance (TRUE). A client that
// connected before: FALSE with ERROR_PIPE_CONNECTED (or ERROR_NO_DATA when
// it has closed again). PIPE_NOWAIT: FALSE with ERROR_PIPE_LISTENING when
// none is there. A client handle: ERROR_INVALID_FUNCTION.
BOOL ConnectNamedPipe(HANDLE pipe, OVERLAPPED* overlapped);
// Drops the client (unread data is lost); the instance must be connected
// again with ConnectNamedPipe before a client can use it.
BOOL DisconnectNamedPipe(HANDLE pipe);

// Read mode (PIPE_READMODE_*) and wait mode (PIPE_WAIT / PIPE_NOWAIT) of this
// handle; message read mode on a byte-type pipe: ERROR_INVALID_PARAMETER.
// Collection count and time-out are accepted and ignored (no network
// buffering here).
BOOL SetNamedPipeHandleState(HANDLE pipe, DWORD* mode, DWORD* max_collection_count,
                             DWORD* collect_data_timeout);

// Looks at what waits to be read, without taking it: up to `size` bytes of
// the next message into `buffer`, the bytes waiting in all, and the bytes of
// the next message beyond those copied.
BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* bytes_read,
                   DWORD* total_bytes_available, DWORD* bytes_left_this_message);

// Waits until an instance of the pipe listens: TRUE; FALSE with
// ERROR_FILE_NOT_FOUND when there is no such pipe, ERROR_SEM_TIMEOUT after
// `timeout` ms (NMPWAIT_USE_DEFAULT_WAIT: the pipe's default time-out,
// NMPWAIT_WAIT_FOREVER: no limit), ERROR_BAD_NETPATH for a bad machine.
BOOL WaitNamedPipeA(const char* name, DWORD timeout);

// The calling thread acts as the client of a connected server instance:
// ERROR_CANNOT_IMPERSONATE otherwise.
BOOL ImpersonateNamedPipeClient(HANDLE pipe);
// Ends the impersonation of the calling thread.
BOOL RevertToSelf();

// For CreateFileA of platform/files: whether `name` is a pipe path
// ("\\SERVER\pipe\..." or "\\.\pipe\...", either slash, any case), and the
// client open itself (Win32 results as CreateFileA's).
bool nt_is_pipe_path(const char* name);
HANDLE nt_open_pipe_client(const char* name, DWORD access, DWORD flags_and_attributes);

// The pipe end over an inherited descriptor (a connected end).
std::shared_ptr<KernelObject> nt_named_pipe_from_fd(int fd, const std::string& extra);
