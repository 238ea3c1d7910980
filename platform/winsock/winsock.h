// Windows Sockets 1.1 over the host's BSD sockets.
//
// The calls that carry BSD names (socket, connect, send, recv, ...) and the
// socket types and constants live in namespace ws, because the host's C
// library owns those names; the WSA calls are global, as in Win32. This
// header includes no host socket header.
//
// Semantics are those of Win32: every call but the byte-order and address
// helpers fails with WSANOTINITIALISED before WSAStartup (and after the last
// WSACleanup); failures return SOCKET_ERROR (or INVALID_SOCKET, or null) and
// leave a WSA error number (10000 and up) for WSAGetLastError, never an
// errno value (ECONNREFUSED becomes WSAECONNREFUSED 10061 and so on). Sends
// never raise SIGPIPE: a broken connection fails with WSAECONNRESET.
// A SOCKET is the host descriptor's number.
//
// Test setting: the environment variable NT_PORT_MAP, a list of
// "port:port" pairs separated by commas ("25:2525,110:2110"), redirects a
// connect to the first port of a pair to the second one, so that programs
// that always talk to a fixed port (mail on 25) can reach a test server on
// a free port. It is read at each connect; bind and listen are not changed.
//
// ioctlsocket with FIONREAD on a stream socket that has no connected peer
// (never connected, or its connect failed) fails with WSAENOTCONN, so that a
// program that does not look at its connect result sees the failure at its
// first read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr WORD MAKEWORD(BYTE low, BYTE high) {
  return static_cast<WORD>(low | (static_cast<WORD>(high) << 8));
}
constexpr BYTE LOBYTE(WORD w) { return static_cast<BYTE>(w & 0xFF); }
constexpr BYTE HIBYTE(WORD w) { return static_cast<BYTE>(w >> 8); }

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

struct WSADATA {
  WORD wVersion;      // the version the caller is to use (major low, minor high)
  WORD wHighVersion;  // the highest version offered: 1.1
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};

// Version negotiation as Win32 does it: a request below 1.0 fails with
// WSAVERNOTSUPPORTED; 1.0 gets 1.0; 1.1 and anything higher get 1.1. Every
// successful call must be matched by a WSACleanup. Returns 0 or the error
// (not through WSAGetLastError).
int WSAStartup(WORD version_requested, WSADATA* data);
// 0, or SOCKET_ERROR with WSANOTINITIALISED when nothing is started.
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

// The WSA error an errno value stands for.
DWORD wsa_error_from_errno(int err);

namespace ws {

using SOCKET = uintptr_t;
using u_char = unsigned char;
using u_short = uint16_t;
using u_int = unsigned int;
using u_long = ULONG;

constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_UNSPEC = 0;
constexpr int AF_INET = 2;
constexpr int PF_INET = AF_INET;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

constexpr u_long INADDR_ANY = 0x00000000u;
constexpr u_long INADDR_LOOPBACK = 0x7F000001u;  // host order; use htonl
constexpr u_long INADDR_NONE = 0xFFFFFFFFu;

constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;
constexpr int MSG_DONTROUTE = 0x4;

constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

constexpr long FIONREAD = 0x4004667FL;
constexpr long FIONBIO = 0x8004667EL;
constexpr long SIOCATMARK = 0x40047307L;

constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_KEEPALIVE = 0x0008;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_LINGER = 0x0080;
constexpr int SO_SNDBUF = 0x1001;
constexpr int SO_RCVBUF = 0x1002;
constexpr int SO_ERROR = 0x1007;
constexpr int SO_TYPE = 0x1008;
constexpr int TCP_NODELAY = 0x0001;

struct in_addr {
  u_long s_addr;  // network byte order
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  short sin_family;
  u_short sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

struct linger {
  u_short l_onoff;
  u_short l_linger;
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;  // addresses of h_length bytes, network order; null-terminated
};

SOCKET socket(int af, int type, int protocol);
int bind(SOCKET s, const sockaddr* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
// FIONREAD (bytes waiting), FIONBIO (non-zero: non-blocking), SIOCATMARK.
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);

// The result lives in storage of the calling thread until its next call.
// Unknown names fail with WSAHOST_NOT_FOUND.
hostent* gethostbyname(const char* name);
// The local machine's name (the computer name); WSAEFAULT when it does not
// fit with its terminator.
int gethostname(char* name, int namelen);

// These work without WSAStartup.
u_long inet_addr(const char* cp);
char* inet_ntoa(in_addr in);  // storage of the calling thread
u_short htons(u_short v);
u_short ntohs(u_short v);
u_long htonl(u_long v);
u_long ntohl(u_long v);

}  // namespace ws
