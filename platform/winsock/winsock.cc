#include "platform/winsock/winsock.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/winsock/bsd_socket.h"

namespace {

std::atomic<int> g_started{0};

bool started() {
  if (g_started.load() > 0) return true;
  SetLastError(WSANOTINITIALISED);
  return false;
}

int fail(DWORD code) {
  SetLastError(code);
  return ws::SOCKET_ERROR;
}

int fail_errno() { return fail(wsa_error_from_errno(errno)); }

// The descriptor of a socket handle, or -1 with WSAENOTSOCK.
int descriptor(ws::SOCKET s) {
  if (s == ws::INVALID_SOCKET || s > 0x7FFFFFFF ||
      bsd_socket::is_socket(static_cast<int>(s)) != 1) {
    SetLastError(WSAENOTSOCK);
    return -1;
  }
  return static_cast<int>(s);
}

// The port a connect to `port` (host order) goes to under NT_PORT_MAP.
uint16_t mapped_port(uint16_t port) {
  const char* map = getenv("NT_PORT_MAP");
  if (!map) return port;
  const char* p = map;
  while (*p) {
    char* end = nullptr;
    unsigned long from = strtoul(p, &end, 10);
    if (end == p || *end != ':') break;
    p = end + 1;
    unsigned long to = strtoul(p, &end, 10);
    if (end == p) break;
    if (from == port && to > 0 && to <= 0xFFFF) return static_cast<uint16_t>(to);
    p = end;
    if (*p == ',') ++p;
  }
  return port;
}

// Reads an IPv4 socket address given by the caller.
bool read_address(const ws::sockaddr* name, int namelen, uint32_t* address, uint16_t* port) {
  if (!name || namelen < static_cast<int>(sizeof(ws::sockaddr_in))) {
    SetLastError(WSAEFAULT);
    return false;
  }
  const auto* in = reinterpret_cast<const ws::sockaddr_in*>(name);
  if (in->sin_family != ws::AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return false;
  }
  *address = in->sin_addr.s_addr;
  *port = in->sin_port;
  return true;
}

// Writes an IPv4 socket address into the caller's buffer.
bool write_address(uint32_t address, uint16_t port, ws::sockaddr* name, int* namelen) {
  if (!name || !namelen) return true;
  if (*namelen < static_cast<int>(sizeof(ws::sockaddr_in))) {
    SetLastError(WSAEFAULT);
    return false;
  }
  ws::sockaddr_in out;
  memset(&out, 0, sizeof out);
  out.sin_family = ws::AF_INET;
  out.sin_port = port;
  out.sin_addr.s_addr = address;
  memcpy(name, &out, sizeof out);
  *namelen = sizeof out;
  return true;
}

bool option_of(int level, int optname, bsd_socket::Option* option) {
  if (level == ws::SOL_SOCKET) {
    switch (optname) {
      case ws::SO_REUSEADDR: *option = bsd_socket::OPTION_REUSEADDR; return true;
      case ws::SO_KEEPALIVE: *option = bsd_socket::OPTION_KEEPALIVE; return true;
      case ws::SO_BROADCAST: *option = bsd_socket::OPTION_BROADCAST; return true;
      case ws::SO_SNDBUF: *option = bsd_socket::OPTION_SNDBUF; return true;
      case ws::SO_RCVBUF: *option = bsd_socket::OPTION_RCVBUF; return true;
      case ws::SO_ERROR: *option = bsd_socket::OPTION_ERROR; return true;
      case ws::SO_TYPE: *option = bsd_socket::OPTION_TYPE; return true;
      case ws::SO_LINGER: *option = bsd_socket::OPTION_LINGER; return true;
      default: return false;
    }
  }
  if (level == ws::IPPROTO_TCP && optname == ws::TCP_NODELAY) {
    *option = bsd_socket::OPTION_NODELAY;
    return true;
  }
  return false;
}

struct HostEntryStorage {
  ws::hostent entry;
  std::string name;
  std::vector<uint32_t> addresses;
  std::vector<char*> address_list;
  char* no_aliases[1] = {nullptr};
};

}  // namespace

DWORD wsa_error_from_errno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH:
    case EHOSTDOWN: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

int WSAStartup(WORD version_requested, WSADATA* data) {
  if (!data) return static_cast<int>(WSAEFAULT);
  const BYTE major = LOBYTE(version_requested);
  const BYTE minor = HIBYTE(version_requested);
  memset(data, 0, sizeof *data);
  data->wHighVersion = MAKEWORD(1, 1);
  if (major < 1) {
    data->wVersion = data->wHighVersion;
    return static_cast<int>(WSAVERNOTSUPPORTED);
  }
  data->wVersion = (major == 1 && minor == 0) ? MAKEWORD(1, 0) : MAKEWORD(1, 1);
  strcpy(data->szDescription, "Windows Sockets 1.1 over BSD sockets");
  strcpy(data->szSystemStatus, "Running");
  data->iMaxSockets = 1024;
  data->iMaxUdpDg = 65467;
  ++g_started;
  return 0;
}

int WSACleanup() {
  int count = g_started.load();
  while (count > 0 && !g_started.compare_exchange_weak(count, count - 1)) {
  }
  if (count <= 0) return fail(WSANOTINITIALISED);
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }

void WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

namespace ws {

SOCKET socket(int af, int type, int protocol) {
  if (!started()) return INVALID_SOCKET;
  if (af != AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  bsd_socket::Kind kind;
  if (type == SOCK_STREAM) {
    kind = bsd_socket::KIND_STREAM;
  } else if (type == SOCK_DGRAM) {
    kind = bsd_socket::KIND_DATAGRAM;
  } else {
    SetLastError(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  int fd = bsd_socket::create_ipv4(kind, protocol);
  if (fd < 0) {
    fail_errno();
    return INVALID_SOCKET;
  }
  return static_cast<SOCKET>(fd);
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  uint32_t address;
  uint16_t port;
  if (!read_address(name, namelen, &address, &port)) return SOCKET_ERROR;
  return bsd_socket::bind_ipv4(fd, address, port) == 0 ? 0 : fail_errno();
}

int listen(SOCKET s, int backlog) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  return bsd_socket::listen_on(fd, backlog) == 0 ? 0 : fail_errno();
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  if (!started()) return INVALID_SOCKET;
  int fd = descriptor(s);
  if (fd < 0) return INVALID_SOCKET;
  if (addr && addrlen && *addrlen < static_cast<int>(sizeof(sockaddr_in))) {
    SetLastError(WSAEFAULT);
    return INVALID_SOCKET;
  }
  uint32_t address = 0;
  uint16_t port = 0;
  int out = bsd_socket::accept_ipv4(fd, &address, &port);
  if (out < 0) {
    fail_errno();
    return INVALID_SOCKET;
  }
  write_address(address, port, addr, addrlen);
  return static_cast<SOCKET>(out);
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  uint32_t address;
  uint16_t port;
  if (!read_address(name, namelen, &address, &port)) return SOCKET_ERROR;
  port = htons(mapped_port(ntohs(port)));
  return bsd_socket::connect_ipv4(fd, address, port) == 0 ? 0 : fail_errno();
}

int send(SOCKET s, const char* buf, int len, int flags) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  if (len < 0 || (!buf && len > 0)) return fail(WSAEFAULT);
  ssize_t sent = bsd_socket::send_bytes(fd, buf, static_cast<size_t>(len), flags);
  return sent < 0 ? fail_errno() : static_cast<int>(sent);
}

int recv(SOCKET s, char* buf, int len, int flags) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  if (len < 0 || (!buf && len > 0)) return fail(WSAEFAULT);
  ssize_t got = bsd_socket::receive_bytes(fd, buf, static_cast<size_t>(len), flags);
  return got < 0 ? fail_errno() : static_cast<int>(got);
}

int shutdown(SOCKET s, int how) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  if (how < SD_RECEIVE || how > SD_BOTH) return fail(WSAEINVAL);
  return bsd_socket::shut_down(fd, how) == 0 ? 0 : fail_errno();
}

int closesocket(SOCKET s) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  return bsd_socket::close_socket(fd) == 0 ? 0 : fail_errno();
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  if (!argp) return fail(WSAEFAULT);
  switch (static_cast<uint32_t>(cmd)) {
    case static_cast<uint32_t>(FIONREAD): {
      if (bsd_socket::stream_without_peer(fd)) return fail(WSAENOTCONN);
      uint32_t count = 0;
      if (bsd_socket::bytes_waiting(fd, &count) != 0) return fail_errno();
      *argp = count;
      return 0;
    }
    case static_cast<uint32_t>(FIONBIO):
      return bsd_socket::set_nonblocking(fd, *argp != 0) == 0 ? 0 : fail_errno();
    case static_cast<uint32_t>(SIOCATMARK): {
      bool at_mark = false;
      if (bsd_socket::at_out_of_band_mark(fd, &at_mark) != 0) return fail_errno();
      // TRUE when no out-of-band data is waiting to be read.
      *argp = at_mark ? 0 : 1;
      return 0;
    }
    default: return fail(WSAEINVAL);
  }
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  bsd_socket::Option option;
  if (!option_of(level, optname, &option)) return fail(WSAENOPROTOOPT);
  if (!optval) return fail(WSAEFAULT);
  if (option == bsd_socket::OPTION_LINGER) {
    if (optlen < static_cast<int>(sizeof(linger))) return fail(WSAEFAULT);
    linger value;
    memcpy(&value, optval, sizeof value);
    return bsd_socket::set_linger(fd, value.l_onoff, value.l_linger) == 0 ? 0 : fail_errno();
  }
  int value = 0;
  if (optlen >= static_cast<int>(sizeof(int))) {
    memcpy(&value, optval, sizeof value);
  } else if (optlen >= 1) {
    value = static_cast<unsigned char>(optval[0]);  // BOOL options given as one byte
  } else {
    return fail(WSAEFAULT);
  }
  if (option == bsd_socket::OPTION_TYPE || option == bsd_socket::OPTION_ERROR) {
    return fail(WSAENOPROTOOPT);
  }
  return bsd_socket::set_int_option(fd, option, value) == 0 ? 0 : fail_errno();
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  bsd_socket::Option option;
  if (!option_of(level, optname, &option)) return fail(WSAENOPROTOOPT);
  if (!optval || !optlen) return fail(WSAEFAULT);
  if (option == bsd_socket::OPTION_LINGER) {
    if (*optlen < static_cast<int>(sizeof(linger))) return fail(WSAEFAULT);
    int on = 0, seconds = 0;
    if (bsd_socket::get_linger(fd, &on, &seconds) != 0) return fail_errno();
    linger value{static_cast<u_short>(on), static_cast<u_short>(seconds)};
    memcpy(optval, &value, sizeof value);
    *optlen = sizeof value;
    return 0;
  }
  if (*optlen < static_cast<int>(sizeof(int))) return fail(WSAEFAULT);
  int value = 0;
  if (bsd_socket::get_int_option(fd, option, &value) != 0) return fail_errno();
  if (option == bsd_socket::OPTION_ERROR) value = static_cast<int>(wsa_error_from_errno(value));
  if (option == bsd_socket::OPTION_TYPE) {
    value = value == bsd_socket::KIND_STREAM ? SOCK_STREAM : SOCK_DGRAM;
  }
  memcpy(optval, &value, sizeof value);
  *optlen = sizeof value;
  return 0;
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  if (!name || !namelen) return fail(WSAEFAULT);
  uint32_t address = 0;
  uint16_t port = 0;
  if (bsd_socket::local_address(fd, &address, &port) != 0) return fail_errno();
  return write_address(address, port, name, namelen) ? 0 : SOCKET_ERROR;
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
  if (!started()) return SOCKET_ERROR;
  int fd = descriptor(s);
  if (fd < 0) return SOCKET_ERROR;
  if (!name || !namelen) return fail(WSAEFAULT);
  uint32_t address = 0;
  uint16_t port = 0;
  if (bsd_socket::peer_address(fd, &address, &port) != 0) return fail_errno();
  return write_address(address, port, name, namelen) ? 0 : SOCKET_ERROR;
}

hostent* gethostbyname(const char* name) {
  if (!started()) return nullptr;
  if (!name) {
    SetLastError(WSAEFAULT);
    return nullptr;
  }
  thread_local HostEntryStorage storage;
  std::string canonical;
  std::vector<uint32_t> addresses;
  switch (bsd_socket::lookup_ipv4(name, &canonical, &addresses)) {
    case bsd_socket::LOOKUP_OK: break;
    case bsd_socket::LOOKUP_NOT_FOUND: SetLastError(WSAHOST_NOT_FOUND); return nullptr;
    case bsd_socket::LOOKUP_TRY_AGAIN: SetLastError(WSATRY_AGAIN); return nullptr;
    case bsd_socket::LOOKUP_NO_DATA: SetLastError(WSANO_DATA); return nullptr;
    default: SetLastError(WSANO_RECOVERY); return nullptr;
  }
  storage.name = canonical;
  storage.addresses = addresses;
  storage.address_list.clear();
  for (uint32_t& address : storage.addresses) {
    storage.address_list.push_back(reinterpret_cast<char*>(&address));
  }
  storage.address_list.push_back(nullptr);
  storage.entry.h_name = storage.name.data();
  storage.entry.h_aliases = storage.no_aliases;
  storage.entry.h_addrtype = AF_INET;
  storage.entry.h_length = 4;
  storage.entry.h_addr_list = storage.address_list.data();
  return &storage.entry;
}

int gethostname(char* name, int namelen) {
  if (!started()) return SOCKET_ERROR;
  std::string host = nt_local_machine_name();
  if (!name || namelen <= 0 || static_cast<size_t>(namelen) < host.size() + 1) {
    return fail(WSAEFAULT);
  }
  memcpy(name, host.c_str(), host.size() + 1);
  return 0;
}

u_long inet_addr(const char* cp) {
  uint32_t address;
  if (!cp || !bsd_socket::parse_dotted(cp, &address)) return INADDR_NONE;
  return address;
}

char* inet_ntoa(in_addr in) {
  thread_local char text[16];
  std::string dotted = bsd_socket::format_dotted(in.s_addr);
  strncpy(text, dotted.c_str(), sizeof text - 1);
  text[sizeof text - 1] = '\0';
  return text;
}

#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
u_short htons(u_short v) { return v; }
u_long htonl(u_long v) { return v; }
#else
u_short htons(u_short v) { return __builtin_bswap16(v); }
u_long htonl(u_long v) { return __builtin_bswap32(v); }
#endif
u_short ntohs(u_short v) { return htons(v); }
u_long ntohl(u_long v) { return htonl(v); }

}  // namespace ws
