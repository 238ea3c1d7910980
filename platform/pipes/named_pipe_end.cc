#include "platform/pipes/named_pipe_end.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/pipes/named_pipe.h"

const char NT_PIPE_CONNECT[] = "NTPIPE-CONNECT";
const char NT_PIPE_QUERY[] = "NTPIPE-QUERY";
const char NT_PIPE_OK[] = "NTPIPE-OK";
const char NT_PIPE_BUSY[] = "NTPIPE-BUSY";
const char NT_PIPE_AVAILABLE[] = "NTPIPE-AVAILABLE";

namespace {

// Messages that do not fit the socket buffer go in pieces of this size.
constexpr size_t MESSAGE_PIECE = 64 * 1024;

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

DWORD socket_error(int err) {
  if (err == EPIPE || err == ECONNRESET || err == ENOTCONN) return ERROR_NO_DATA;
  return win32_error_from_errno(err);
}

DWORD queued_bytes(int fd) {
  int n = 0;
  if (ioctl(fd, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<DWORD>(n);
}

bool peer_gone(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
}

}  // namespace

NtPipeConnection::~NtPipeConnection() {
  if (fd >= 0) close(fd);
}

std::mutex& nt_pipe_world_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::condition_variable& nt_pipe_world_changed() {
  static std::condition_variable* cv = new std::condition_variable;
  return *cv;
}

uint64_t nt_pipe_next_listen_order_locked() {
  static uint64_t next = 0;
  return ++next;
}

NtNamedPipe::NtNamedPipe(std::shared_ptr<NtPipeConnection> connection, bool message_type,
                         bool message_read, bool can_read, bool can_write)
    : message_type_(message_type),
      message_read_(message_read),
      can_read_(can_read),
      can_write_(can_write),
      state_(NtPipeState::connected),
      connection_(std::move(connection)) {}

NtNamedPipe::NtNamedPipe(std::shared_ptr<NtPipeGroup> group, bool message_type, bool message_read,
                         bool nowait, bool can_read, bool can_write, uint64_t listen_order)
    : group_(std::move(group)),
      message_type_(message_type),
      message_read_(message_read),
      nowait_(nowait),
      can_read_(can_read),
      can_write_(can_write),
      state_(NtPipeState::listening),
      listen_order_(listen_order) {}

NtNamedPipe::~NtNamedPipe() {
  std::shared_ptr<NtPipeConnection> connection;
  {
    std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
    if (group_) {
      auto& list = group_->instances;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    connection = std::move(connection_);
  }
  // The descriptor closes with the last reference; a child that inherited
  // the end keeps its own.
}

std::shared_ptr<NtPipeConnection> NtNamedPipe::connection_for_io(DWORD* error) {
  std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
  switch (state_) {
    case NtPipeState::listening: *error = ERROR_PIPE_LISTENING; return nullptr;
    case NtPipeState::disconnected: *error = ERROR_PIPE_NOT_CONNECTED; return nullptr;
    case NtPipeState::connected: break;
  }
  if (!connection_) *error = ERROR_PIPE_NOT_CONNECTED;
  return connection_;
}

BOOL NtNamedPipe::serve_pending(void* buffer, DWORD count, DWORD* done) {
  size_t rest = pending_.size() - pending_offset_;
  size_t n = std::min<size_t>(count, rest);
  if (n > 0) memcpy(buffer, pending_.data() + pending_offset_, n);
  pending_offset_ += n;
  *done = static_cast<DWORD>(n);
  if (pending_offset_ == pending_.size()) {
    pending_.clear();
    pending_offset_ = 0;
  }
  if (n < rest && message_read_) return fail(ERROR_MORE_DATA);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL NtNamedPipe::nt_read(void* buffer, DWORD count, DWORD* done) {
  *done = 0;
  if (!can_read_) return fail(ERROR_ACCESS_DENIED);
  if (buffer == nullptr && count > 0) return fail(ERROR_NOACCESS);
  for (;;) {
    std::shared_ptr<NtPipeConnection> connection;
    {
      std::lock_guard<std::mutex> guard(read_lock_);
      if (!pending_.empty()) return serve_pending(buffer, count, done);
      DWORD error = ERROR_SUCCESS;
      connection = connection_for_io(&error);
      if (!connection) return fail(error);
      ssize_t size = recv(connection->fd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
      if (size == 0) return fail(ERROR_BROKEN_PIPE);
      if (size > 0) {
        if (static_cast<size_t>(size) <= count) {
          ssize_t got = recv(connection->fd, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
          if (got < 0) return fail(socket_error(errno));
          *done = static_cast<DWORD>(got);
          SetLastError(ERROR_SUCCESS);
          return TRUE;
        }
        pending_.resize(static_cast<size_t>(size));
        ssize_t got = recv(connection->fd, pending_.data(), pending_.size(), MSG_DONTWAIT);
        if (got < 0) {
          pending_.clear();
          return fail(socket_error(errno));
        }
        pending_.resize(static_cast<size_t>(got));
        pending_offset_ = 0;
        return serve_pending(buffer, count, done);
      }
      if (errno == ECONNRESET) return fail(ERROR_BROKEN_PIPE);
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return fail(win32_error_from_errno(errno));
      }
      if (nowait_) return fail(ERROR_NO_DATA);
    }
    // Wait outside the lock: another reader or PeekNamedPipe may go on.
    pollfd p{connection->fd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
  }
}

BOOL NtNamedPipe::nt_write(const void* buffer, DWORD count, DWORD* done) {
  *done = 0;
  if (!can_write_) return fail(ERROR_ACCESS_DENIED);
  if (buffer == nullptr && count > 0) return fail(ERROR_NOACCESS);
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<NtPipeConnection> connection = connection_for_io(&error);
  if (!connection) return fail(error);
  const char* data = static_cast<const char*>(buffer);
  size_t piece = count;
  while (*done < count) {
    size_t n = std::min<size_t>(piece, count - *done);
    ssize_t put = send(connection->fd, data + *done, n, MSG_NOSIGNAL | (nowait_ ? MSG_DONTWAIT : 0));
    if (put < 0) {
      if (errno == EINTR) continue;
      if (errno == EMSGSIZE && piece > MESSAGE_PIECE) {
        piece = MESSAGE_PIECE;
        continue;
      }
      if (nowait_ && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      return fail(socket_error(errno));
    }
    *done += static_cast<DWORD>(put);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

int NtNamedPipe::nt_stdio_fd() const {
  std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
  return connection_ ? connection_->fd : -1;
}

bool NtNamedPipe::nt_inherit_info(NtInheritInfo* info) const {
  std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
  if (!connection_ || state_ != NtPipeState::connected) return false;
  info->kind = "npipe";
  info->fd = connection_->fd;
  info->extra = std::string(message_type_ ? "m" : "b") + (message_read_ ? "m" : "b");
  return true;
}

DWORD NtNamedPipe::connect() {
  if (!is_server()) return ERROR_INVALID_FUNCTION;
  std::unique_lock<std::mutex> lock(nt_pipe_world_lock());
  if (state_ == NtPipeState::connected) {
    return connection_ && peer_gone(connection_->fd) ? ERROR_NO_DATA : ERROR_PIPE_CONNECTED;
  }
  if (state_ == NtPipeState::disconnected) {
    state_ = NtPipeState::listening;
    listen_order_ = nt_pipe_next_listen_order_locked();
  }
  if (nowait_) return ERROR_PIPE_LISTENING;
  nt_pipe_world_changed().wait(lock, [this] { return state_ != NtPipeState::listening; });
  return state_ == NtPipeState::connected ? ERROR_SUCCESS : ERROR_PIPE_NOT_CONNECTED;
}

DWORD NtNamedPipe::disconnect() {
  if (!is_server()) return ERROR_INVALID_FUNCTION;
  std::shared_ptr<NtPipeConnection> connection;
  {
    std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
    connection = std::move(connection_);
    state_ = NtPipeState::disconnected;
    client_ = NtIdentity{};
  }
  if (connection) shutdown(connection->fd, SHUT_RDWR);
  std::lock_guard<std::mutex> guard(read_lock_);
  pending_.clear();
  pending_offset_ = 0;
  return ERROR_SUCCESS;
}

DWORD NtNamedPipe::set_mode(DWORD mode) {
  if (mode & ~(PIPE_READMODE_MESSAGE | PIPE_NOWAIT)) return ERROR_INVALID_PARAMETER;
  if ((mode & PIPE_READMODE_MESSAGE) && !message_type_) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(read_lock_);
  message_read_ = mode & PIPE_READMODE_MESSAGE;
  nowait_ = mode & PIPE_NOWAIT;
  return ERROR_SUCCESS;
}

DWORD NtNamedPipe::peek(void* buffer, DWORD size, DWORD* read, DWORD* total, DWORD* left) {
  DWORD copied = 0, available = 0, remaining = 0;
  std::lock_guard<std::mutex> guard(read_lock_);
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<NtPipeConnection> connection = connection_for_io(&error);
  if (!pending_.empty()) {
    size_t rest = pending_.size() - pending_offset_;
    copied = static_cast<DWORD>(std::min<size_t>(buffer ? size : 0, rest));
    if (copied > 0) memcpy(buffer, pending_.data() + pending_offset_, copied);
    available = static_cast<DWORD>(rest) + (connection ? queued_bytes(connection->fd) : 0);
    remaining = static_cast<DWORD>(rest) - copied;
  } else {
    if (!connection) return error;
    ssize_t n = recv(connection->fd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (n == 0) return ERROR_BROKEN_PIPE;
    if (n > 0) {
      copied = static_cast<DWORD>(std::min<size_t>(buffer ? size : 0, static_cast<size_t>(n)));
      if (copied > 0) {
        ssize_t got = recv(connection->fd, buffer, copied, MSG_PEEK | MSG_DONTWAIT);
        copied = got > 0 ? static_cast<DWORD>(got) : 0;
      }
      available = queued_bytes(connection->fd);
      remaining = static_cast<DWORD>(n) - copied;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return errno == ECONNRESET ? ERROR_BROKEN_PIPE : win32_error_from_errno(errno);
    }
  }
  if (read) *read = copied;
  if (total) *total = available;
  if (left) *left = message_type_ ? remaining : 0;
  return ERROR_SUCCESS;
}

DWORD NtNamedPipe::impersonate() {
  NtIdentity client;
  {
    std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
    if (!is_server() || state_ != NtPipeState::connected || client_.user.empty()) {
      return ERROR_CANNOT_IMPERSONATE;
    }
    client = client_;
  }
  nt_impersonate(client);
  return ERROR_SUCCESS;
}

void NtNamedPipe::attach_locked(std::shared_ptr<NtPipeConnection> connection,
                                const NtIdentity& client) {
  connection_ = std::move(connection);
  client_ = client;
  state_ = NtPipeState::connected;
  nt_pipe_world_changed().notify_all();
}

std::vector<std::string> nt_pipe_packet_fields(const char* data, size_t size) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      fields.emplace_back(data + start, i - start);
      start = i + 1;
    }
  }
  return fields;
}

bool nt_pipe_send_packet(int fd, const std::string& packet) {
  ssize_t sent;
  do {
    sent = send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(packet.size());
}

bool nt_pipe_receive_packet(int fd, int timeout_ms, std::string* packet) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return false;
  ssize_t size = recv(fd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  if (size <= 0) return false;
  packet->resize(static_cast<size_t>(size));
  ssize_t got = recv(fd, packet->data(), packet->size(), MSG_DONTWAIT);
  if (got <= 0) return false;
  packet->resize(static_cast<size_t>(got));
  return true;
}

bool nt_pipe_socket_address(const std::string& path, sockaddr_un* address, int* dir_fd) {
  memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  *dir_fd = -1;
  std::string target = path;
  if (target.size() >= sizeof address->sun_path) {
    // Too long for sun_path: reach the folder through its descriptor.
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    *dir_fd = open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (*dir_fd < 0) return false;
    target = "/proc/self/fd/" + std::to_string(*dir_fd) + path.substr(slash);
    if (target.size() >= sizeof address->sun_path) {
      close(*dir_fd);
      *dir_fd = -1;
      errno = ENAMETOOLONG;
      return false;
    }
  }
  memcpy(address->sun_path, target.c_str(), target.size() + 1);
  return true;
}
