// The host's BSD sockets, behind plain types so that the Windows Sockets
// layer never sees the host's socket headers (whose macros and structures
// carry the same names). Addresses and ports are in network byte order.
// Functions that fail return -1 and leave errno as the host set it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bsd_socket {

// Socket kinds of this layer's callers.
enum Kind { KIND_STREAM = 1, KIND_DATAGRAM = 2 };

int create_ipv4(Kind kind, int protocol);
int connect_ipv4(int fd, uint32_t address, uint16_t port);
int bind_ipv4(int fd, uint32_t address, uint16_t port);
int listen_on(int fd, int backlog);
// The accepted descriptor; the peer's address and port when asked for.
int accept_ipv4(int fd, uint32_t* address, uint16_t* port);
int local_address(int fd, uint32_t* address, uint16_t* port);
int peer_address(int fd, uint32_t* address, uint16_t* port);

enum MessageFlags { MESSAGE_OOB = 1, MESSAGE_PEEK = 2, MESSAGE_DONTROUTE = 4 };
// send never raises SIGPIPE; a broken connection fails with EPIPE.
ssize_t send_bytes(int fd, const void* data, size_t length, int flags);
ssize_t receive_bytes(int fd, void* data, size_t length, int flags);

enum ShutdownHow { SHUT_RECEIVE = 0, SHUT_SEND = 1, SHUT_BOTH = 2 };
int shut_down(int fd, int how);
int close_socket(int fd);

int bytes_waiting(int fd, uint32_t* count);
int set_nonblocking(int fd, bool on);
int at_out_of_band_mark(int fd, bool* at_mark);

// 1 for a socket, 0 for another descriptor, -1 for no descriptor.
int is_socket(int fd);
// True for a stream socket without a connected peer (never connected, or a
// connect that failed).
bool stream_without_peer(int fd);

// Options by their host names; `level_socket` false means the TCP level.
enum Option {
  OPTION_REUSEADDR,
  OPTION_KEEPALIVE,
  OPTION_BROADCAST,
  OPTION_SNDBUF,
  OPTION_RCVBUF,
  OPTION_ERROR,
  OPTION_TYPE,
  OPTION_LINGER,
  OPTION_NODELAY,
};
int set_int_option(int fd, Option option, int value);
int get_int_option(int fd, Option option, int* value);
// Linger as on/seconds.
int set_linger(int fd, int on, int seconds);
int get_linger(int fd, int* on, int* seconds);

// Dotted address text in any of the BSD forms ("a.b.c.d", "a.b.c", "a.b",
// "a", parts decimal, octal or hexadecimal); false when it is none.
bool parse_dotted(const char* text, uint32_t* address);
std::string format_dotted(uint32_t address);

// Name lookup for IPv4. Returns 0 and fills the outputs, else one of the
// results below.
enum LookupResult {
  LOOKUP_OK = 0,
  LOOKUP_NOT_FOUND,
  LOOKUP_TRY_AGAIN,
  LOOKUP_NO_DATA,
  LOOKUP_FAILED
};
LookupResult lookup_ipv4(const char* name, std::string* canonical,
                         std::vector<uint32_t>* addresses);

}  // namespace bsd_socket
