// The client side of named pipes: the open through CreateFileA,
// WaitNamedPipeA, and pipe ends inherited from a parent.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/pipes/named_pipe.h"
#include "platform/pipes/named_pipe_end.h"
#include "platform/pipes/pipe_name.h"

namespace {

constexpr int REPLY_TIMEOUT_MS = 10000;
constexpr int QUERY_TIMEOUT_MS = 2000;
constexpr int WAIT_STEP_MS = 20;

// Connects to the socket of a pipe: ERROR_FILE_NOT_FOUND when nobody serves
// it, ERROR_PIPE_BUSY when its queue is full, ERROR_BAD_NETPATH for a bad
// machine.
DWORD connect_socket(const NtPipePath& path, int* out) {
  std::string folder;
  DWORD error = nt_pipe_folder(path.server, false, &folder);
  if (error != ERROR_SUCCESS) return error;
  std::string socket_path = folder + "/" + nt_pipe_file_name(path.name);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return win32_error_from_errno(errno);
  sockaddr_un address;
  int dir_fd = -1;
  int rc = -1;
  if (nt_pipe_socket_address(socket_path, &address, &dir_fd)) {
    do {
      rc = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (rc < 0 && errno == EINTR);
  }
  int err = errno;
  if (dir_fd >= 0) close(dir_fd);
  if (rc != 0) {
    close(fd);
    switch (err) {
      case ENOENT:
      case ENOTDIR:
      case ECONNREFUSED: return ERROR_FILE_NOT_FOUND;
      case EAGAIN: return ERROR_PIPE_BUSY;
      default: return win32_error_from_errno(err);
    }
  }
  *out = fd;
  return ERROR_SUCCESS;
}

// The server's answer: ERROR_SUCCESS and its fields, ERROR_FILE_NOT_FOUND
// when it closed without one, ERROR_SEM_TIMEOUT when none came in time.
DWORD receive_reply(int fd, int timeout_ms, std::vector<std::string>* fields) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return ERROR_SEM_TIMEOUT;
  std::string packet;
  if (!nt_pipe_receive_packet(fd, 0, &packet)) return ERROR_FILE_NOT_FOUND;
  *fields = nt_pipe_packet_fields(packet.data(), packet.size());
  return fields->empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

}  // namespace

bool nt_is_pipe_path(const char* name) { return nt_pipe_path_form(name); }

HANDLE nt_open_pipe_client(const char* name, DWORD access, DWORD flags_and_attributes) {
  if (flags_and_attributes & FILE_FLAG_OVERLAPPED) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  NtPipePath path;
  DWORD error = nt_parse_pipe_path(name, &path);
  int fd = -1;
  if (error == ERROR_SUCCESS) error = connect_socket(path, &fd);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto connection = std::make_shared<NtPipeConnection>(fd);
  std::string hello = std::string(NT_PIPE_CONNECT) + '\0' + nt_user_name() + '\0' +
                      nt_user_domain() + '\0' + nt_local_machine_name() + '\0';
  std::vector<std::string> reply;
  if (!nt_pipe_send_packet(fd, hello)) {
    error = ERROR_FILE_NOT_FOUND;
  } else {
    error = receive_reply(fd, REPLY_TIMEOUT_MS, &reply);
  }
  if (error == ERROR_SUCCESS && reply[0] != NT_PIPE_OK) error = ERROR_PIPE_BUSY;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  const bool message_type = reply.size() > 1 && reply[1] == "m";
  // A client starts in byte read mode, as in NT.
  auto end = std::make_shared<NtNamedPipe>(connection, message_type, false,
                                           (access & GENERIC_READ) != 0,
                                           (access & GENERIC_WRITE) != 0);
  HANDLE handle = nt_insert_handle(end);
  if (!handle) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL WaitNamedPipeA(const char* name, DWORD timeout) {
  NtPipePath path;
  DWORD error = nt_parse_pipe_path(name, &path);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point begin = Clock::now();
  bool limited = timeout != NMPWAIT_WAIT_FOREVER;
  bool deadline_known = timeout != NMPWAIT_USE_DEFAULT_WAIT;
  Clock::time_point deadline = begin + std::chrono::milliseconds(limited ? timeout : 0);
  for (;;) {
    int fd = -1;
    error = connect_socket(path, &fd);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_BAD_NETPATH) {
      SetLastError(error);
      return FALSE;
    }
    if (error == ERROR_SUCCESS) {
      std::vector<std::string> reply;
      if (nt_pipe_send_packet(fd, std::string(NT_PIPE_QUERY) + '\0') &&
          receive_reply(fd, QUERY_TIMEOUT_MS, &reply) == ERROR_SUCCESS) {
        if (reply[0] == NT_PIPE_AVAILABLE) {
          close(fd);
          return TRUE;
        }
        if (!deadline_known && reply.size() > 1) {
          deadline = begin + std::chrono::milliseconds(strtoul(reply[1].c_str(), nullptr, 10));
          deadline_known = true;
        }
      }
      close(fd);
    }
    if (!deadline_known) {
      // The server did not say: its default would have been 50 ms.
      deadline = begin + std::chrono::milliseconds(50);
      deadline_known = true;
    }
    if (limited && deadline_known && Clock::now() >= deadline) {
      SetLastError(ERROR_SEM_TIMEOUT);
      return FALSE;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(WAIT_STEP_MS));
  }
}

std::shared_ptr<KernelObject> nt_named_pipe_from_fd(int fd, const std::string& extra) {
  if (extra.size() != 2) return nullptr;
  return std::make_shared<NtNamedPipe>(std::make_shared<NtPipeConnection>(fd), extra[0] == 'm',
                                       extra[1] == 'm', true, true);
}
