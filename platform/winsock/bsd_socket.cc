#include "platform/winsock/bsd_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bsd_socket {

namespace {

sockaddr_in make_address(uint32_t address, uint16_t port) {
  sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_port = port;
  sa.sin_addr.s_addr = address;
  return sa;
}

int host_flags(int flags) {
  int out = MSG_NOSIGNAL;
  if (flags & MESSAGE_OOB) out |= MSG_OOB;
  if (flags & MESSAGE_PEEK) out |= MSG_PEEK;
  if (flags & MESSAGE_DONTROUTE) out |= MSG_DONTROUTE;
  return out;
}

bool option_names(Option option, int* level, int* name) {
  *level = SOL_SOCKET;
  switch (option) {
    case OPTION_REUSEADDR: *name = SO_REUSEADDR; return true;
    case OPTION_KEEPALIVE: *name = SO_KEEPALIVE; return true;
    case OPTION_BROADCAST: *name = SO_BROADCAST; return true;
    case OPTION_SNDBUF: *name = SO_SNDBUF; return true;
    case OPTION_RCVBUF: *name = SO_RCVBUF; return true;
    case OPTION_ERROR: *name = SO_ERROR; return true;
    case OPTION_TYPE: *name = SO_TYPE; return true;
    case OPTION_NODELAY:
      *level = IPPROTO_TCP;
      *name = TCP_NODELAY;
      return true;
    case OPTION_LINGER: break;
  }
  errno = ENOPROTOOPT;
  return false;
}

int address_of(int (*call)(int, sockaddr*, socklen_t*), int fd, uint32_t* address,
               uint16_t* port) {
  sockaddr_in sa;
  socklen_t length = sizeof sa;
  memset(&sa, 0, sizeof sa);
  if (call(fd, reinterpret_cast<sockaddr*>(&sa), &length) != 0) return -1;
  if (sa.sin_family != AF_INET) {
    errno = EAFNOSUPPORT;
    return -1;
  }
  if (address) *address = sa.sin_addr.s_addr;
  if (port) *port = sa.sin_port;
  return 0;
}

}  // namespace

int create_ipv4(Kind kind, int protocol) {
  int type = kind == KIND_STREAM ? SOCK_STREAM : kind == KIND_DATAGRAM ? SOCK_DGRAM : -1;
  if (type < 0) {
    errno = ESOCKTNOSUPPORT;
    return -1;
  }
  return socket(AF_INET, type | SOCK_CLOEXEC, protocol);
}

int connect_ipv4(int fd, uint32_t address, uint16_t port) {
  sockaddr_in sa = make_address(address, port);
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

int bind_ipv4(int fd, uint32_t address, uint16_t port) {
  sockaddr_in sa = make_address(address, port);
  return bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

int listen_on(int fd, int backlog) { return listen(fd, backlog); }

int accept_ipv4(int fd, uint32_t* address, uint16_t* port) {
  sockaddr_in sa;
  socklen_t length = sizeof sa;
  int out;
  do {
    out = accept4(fd, reinterpret_cast<sockaddr*>(&sa), &length, SOCK_CLOEXEC);
  } while (out < 0 && errno == EINTR);
  if (out >= 0) {
    if (address) *address = sa.sin_addr.s_addr;
    if (port) *port = sa.sin_port;
  }
  return out;
}

int local_address(int fd, uint32_t* address, uint16_t* port) {
  return address_of(getsockname, fd, address, port);
}

int peer_address(int fd, uint32_t* address, uint16_t* port) {
  return address_of(getpeername, fd, address, port);
}

ssize_t send_bytes(int fd, const void* data, size_t length, int flags) {
  ssize_t rc;
  do {
    rc = send(fd, data, length, host_flags(flags));
  } while (rc < 0 && errno == EINTR);
  return rc;
}

ssize_t receive_bytes(int fd, void* data, size_t length, int flags) {
  ssize_t rc;
  do {
    rc = recv(fd, data, length, host_flags(flags) & ~MSG_NOSIGNAL);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

int shut_down(int fd, int how) {
  int host_how = how == SHUT_RECEIVE ? SHUT_RD : how == SHUT_SEND ? SHUT_WR : SHUT_RDWR;
  if (how < SHUT_RECEIVE || how > SHUT_BOTH) {
    errno = EINVAL;
    return -1;
  }
  return shutdown(fd, host_how);
}

int close_socket(int fd) { return close(fd); }

int bytes_waiting(int fd, uint32_t* count) {
  int waiting = 0;
  if (ioctl(fd, FIONREAD, &waiting) != 0) return -1;
  *count = static_cast<uint32_t>(waiting);
  return 0;
}

int set_nonblocking(int fd, bool on) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return -1;
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags);
}

int at_out_of_band_mark(int fd, bool* at_mark) {
  int mark = 0;
  if (ioctl(fd, SIOCATMARK, &mark) != 0) return -1;
  *at_mark = mark != 0;
  return 0;
}

int is_socket(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return -1;
  return S_ISSOCK(st.st_mode) ? 1 : 0;
}

bool stream_without_peer(int fd) {
  int type = 0;
  socklen_t length = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM) {
    return false;
  }
  sockaddr_in sa;
  socklen_t sa_length = sizeof sa;
  return getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &sa_length) != 0 && errno == ENOTCONN;
}

int set_int_option(int fd, Option option, int value) {
  int level, name;
  if (!option_names(option, &level, &name)) return -1;
  return setsockopt(fd, level, name, &value, sizeof value);
}

int get_int_option(int fd, Option option, int* value) {
  int level, name;
  if (!option_names(option, &level, &name)) return -1;
  socklen_t length = sizeof *value;
  if (getsockopt(fd, level, name, value, &length) != 0) return -1;
  if (option == OPTION_TYPE) *value = *value == SOCK_STREAM ? KIND_STREAM : KIND_DATAGRAM;
  return 0;
}

int set_linger(int fd, int on, int seconds) {
  linger value{on, seconds};
  return setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

int get_linger(int fd, int* on, int* seconds) {
  linger value{};
  socklen_t length = sizeof value;
  if (getsockopt(fd, SOL_SOCKET, SO_LINGER, &value, &length) != 0) return -1;
  *on = value.l_onoff;
  *seconds = value.l_linger;
  return 0;
}

bool parse_dotted(const char* text, uint32_t* address) {
  in_addr parsed;
  if (!text || inet_aton(text, &parsed) == 0) return false;
  *address = parsed.s_addr;
  return true;
}

std::string format_dotted(uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr value;
  value.s_addr = address;
  inet_ntop(AF_INET, &value, text, sizeof text);
  return text;
}

LookupResult lookup_ipv4(const char* name, std::string* canonical,
                         std::vector<uint32_t>* addresses) {
  addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(name, nullptr, &hints, &found);
  if (rc != 0) {
    switch (rc) {
      case EAI_NONAME:
#ifdef EAI_NODATA
      case EAI_NODATA:
#endif
        return rc == EAI_NONAME ? LOOKUP_NOT_FOUND : LOOKUP_NO_DATA;
      case EAI_AGAIN: return LOOKUP_TRY_AGAIN;
      case EAI_ADDRFAMILY: return LOOKUP_NO_DATA;
      default: return LOOKUP_FAILED;
    }
  }
  canonical->assign(found->ai_canonname ? found->ai_canonname : name);
  addresses->clear();
  for (addrinfo* p = found; p; p = p->ai_next) {
    if (p->ai_family != AF_INET) continue;
    uint32_t address = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
    bool seen = false;
    for (uint32_t a : *addresses) seen = seen || a == address;
    if (!seen) addresses->push_back(address);
  }
  freeaddrinfo(found);
  return addresses->empty() ? LOOKUP_NO_DATA : LOOKUP_OK;
}

}  // namespace bsd_socket
