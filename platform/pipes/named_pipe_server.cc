// The server side of named pipes: CreateNamedPipeA, the acceptor thread,
// and the calls on pipe handles.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <thread>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/pipes/named_pipe.h"
#include "platform/pipes/named_pipe_end.h"
#include "platform/pipes/pipe_name.h"
#include "platform/security/token.h"

namespace {

constexpr int HELLO_TIMEOUT_MS = 2000;
constexpr int LISTEN_BACKLOG = 64;
constexpr DWORD DEFAULT_TIMEOUT_MS = 50;

// The pipe names this process serves. Guarded by the world lock.
struct Served {
  std::map<std::string, std::weak_ptr<NtPipeGroup>> by_path;
  std::map<int, std::weak_ptr<NtPipeGroup>> by_listen_fd;
  int wake_fd = -1;
  bool acceptor_running = false;
};

Served& served() {
  static Served* s = new Served;
  return *s;
}

void wake_acceptor_locked() {
  Served& s = served();
  uint64_t one = 1;
  if (s.wake_fd >= 0 && write(s.wake_fd, &one, sizeof one) < 0) {
    // Full counter: the acceptor is awake anyway.
  }
}

std::string with_timeout(const char* word, DWORD timeout) {
  std::string packet = word;
  packet += '\0';
  packet += std::to_string(timeout);
  packet += '\0';
  return packet;
}

// Serves one accepted connection: its first packet decides.
void serve_connection(const std::shared_ptr<NtPipeGroup>& group, int fd) {
  auto connection = std::make_shared<NtPipeConnection>(fd);
  std::string packet;
  if (!nt_pipe_receive_packet(fd, HELLO_TIMEOUT_MS, &packet)) return;
  std::vector<std::string> fields = nt_pipe_packet_fields(packet.data(), packet.size());
  if (fields.empty()) return;
  std::unique_lock<std::mutex> lock(nt_pipe_world_lock());
  NtNamedPipe* chosen = nullptr;
  for (NtNamedPipe* instance : group->instances) {
    if (instance->listening_locked() &&
        (!chosen || instance->listen_order_locked() < chosen->listen_order_locked())) {
      chosen = instance;
    }
  }
  if (fields[0] == NT_PIPE_QUERY) {
    lock.unlock();
    nt_pipe_send_packet(fd, with_timeout(chosen ? NT_PIPE_AVAILABLE : NT_PIPE_BUSY,
                                         group->default_timeout));
    return;
  }
  if (fields[0] != NT_PIPE_CONNECT || fields.size() < 4) return;
  if (!chosen) {
    nt_pipe_send_packet(fd, std::string(NT_PIPE_BUSY) + '\0');
    return;
  }
  std::string ok = std::string(NT_PIPE_OK) + '\0' + (group->message_type ? "m" : "b") + '\0';
  if (!nt_pipe_send_packet(fd, ok)) return;
  chosen->attach_locked(connection, NtIdentity{fields[1], fields[2], fields[3]});
}

void acceptor_loop() {
  Served& s = served();
  for (;;) {
    std::vector<pollfd> fds;
    {
      std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
      for (const auto& [fd, group] : s.by_listen_fd) fds.push_back(pollfd{fd, POLLIN, 0});
    }
    fds.push_back(pollfd{s.wake_fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    uint64_t value;
    while (read(s.wake_fd, &value, sizeof value) > 0) {
    }
    for (size_t i = 0; i + 1 < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      std::shared_ptr<NtPipeGroup> group;
      {
        std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
        auto it = s.by_listen_fd.find(fds[i].fd);
        if (it != s.by_listen_fd.end()) group = it->second.lock();
      }
      if (!group) continue;  // closed meanwhile
      for (;;) {
        int fd = accept4(group->listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) break;
        serve_connection(group, fd);
      }
    }
  }
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::shared_ptr<NtNamedPipe> pipe_of(HANDLE handle) { return nt_lookup_handle_as<NtNamedPipe>(handle); }

// Binds a new listening socket for `path`, owning the name through the lock
// file. Win32 error on failure.
DWORD open_listener(const std::string& folder, const std::string& file, int* listen_fd,
                    int* lock_fd) {
  std::string lock_path = folder + "/.locks/" + file;
  int lock = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock < 0) return win32_error_from_errno(errno);
  if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
    close(lock);
    return ERROR_ACCESS_DENIED;  // another live process serves this name
  }
  std::string path = folder + "/" + file;
  unlink(path.c_str());  // left behind by a server that died
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    DWORD error = win32_error_from_errno(errno);
    close(lock);
    return error;
  }
  sockaddr_un address;
  int dir_fd = -1;
  bool ok = nt_pipe_socket_address(path, &address, &dir_fd) &&
            bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(fd, LISTEN_BACKLOG) == 0;
  int err = errno;
  if (dir_fd >= 0) close(dir_fd);
  if (!ok) {
    close(fd);
    close(lock);
    return win32_error_from_errno(err);
  }
  *listen_fd = fd;
  *lock_fd = lock;
  return ERROR_SUCCESS;
}

}  // namespace

NtPipeGroup::NtPipeGroup(std::string path, int listen_fd, int lock_fd, DWORD max_instances,
                         bool message_type, DWORD default_timeout)
    : path(std::move(path)),
      listen_fd(listen_fd),
      lock_fd(lock_fd),
      max_instances(max_instances),
      message_type(message_type),
      default_timeout(default_timeout) {}

NtPipeGroup::~NtPipeGroup() {
  {
    std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
    Served& s = served();
    auto it = s.by_path.find(path);
    if (it != s.by_path.end() && it->second.expired()) s.by_path.erase(it);
    s.by_listen_fd.erase(listen_fd);
    // The name goes before the lock, so that the next owner binds afresh.
    unlink(path.c_str());
    close(lock_fd);
    close(listen_fd);
    wake_acceptor_locked();
  }
}

HANDLE CreateNamedPipeA(const char* name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances,
                        DWORD /*out_buffer_size*/, DWORD /*in_buffer_size*/, DWORD default_timeout,
                        SECURITY_ATTRIBUTES* security) {
  constexpr DWORD known_open = PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE |
                               FILE_FLAG_WRITE_THROUGH | 0x000C0000u /* WRITE_DAC, WRITE_OWNER */ |
                               0x01000000u /* ACCESS_SYSTEM_SECURITY */;
  const DWORD access = open_mode & PIPE_ACCESS_DUPLEX;
  if (access == 0 || (open_mode & FILE_FLAG_OVERLAPPED) || (open_mode & ~known_open) ||
      (pipe_mode & ~(PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT)) ||
      ((pipe_mode & PIPE_READMODE_MESSAGE) && !(pipe_mode & PIPE_TYPE_MESSAGE)) ||
      max_instances < 1 || max_instances > PIPE_UNLIMITED_INSTANCES) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  NtPipePath path;
  DWORD error = nt_parse_pipe_path(name, &path);
  if (error == ERROR_SUCCESS && !path.server.empty()) error = ERROR_INVALID_NAME;
  std::string folder;
  if (error == ERROR_SUCCESS) error = nt_pipe_folder("", true, &folder);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  const std::string file = nt_pipe_file_name(path.name);
  const std::string socket_path = folder + "/" + file;
  const bool message_type = pipe_mode & PIPE_TYPE_MESSAGE;

  std::shared_ptr<NtNamedPipe> instance;
  // Declared before the lock: should this be the last reference, the
  // group's destructor (which takes the lock) runs after it is released.
  std::shared_ptr<NtPipeGroup> group;
  {
    std::lock_guard<std::mutex> guard(nt_pipe_world_lock());
    Served& s = served();
    auto it = s.by_path.find(socket_path);
    if (it != s.by_path.end()) group = it->second.lock();
    if (group) {
      if (open_mode & FILE_FLAG_FIRST_PIPE_INSTANCE) error = ERROR_ACCESS_DENIED;
      else if (group->instances.size() >= group->max_instances) error = ERROR_PIPE_BUSY;
    } else {
      int listen_fd = -1, lock_fd = -1;
      error = open_listener(folder, file, &listen_fd, &lock_fd);
      if (error == ERROR_SUCCESS) {
        group = std::make_shared<NtPipeGroup>(socket_path, listen_fd, lock_fd, max_instances,
                                              message_type,
                                              default_timeout ? default_timeout : DEFAULT_TIMEOUT_MS);
        s.by_path[socket_path] = group;
        s.by_listen_fd[listen_fd] = group;
        if (!s.acceptor_running) {
          s.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
          s.acceptor_running = true;
          std::thread(acceptor_loop).detach();
        }
        wake_acceptor_locked();
      }
    }
    if (error == ERROR_SUCCESS) {
      instance = std::make_shared<NtNamedPipe>(
          group, message_type, (pipe_mode & PIPE_READMODE_MESSAGE) != 0,
          (pipe_mode & PIPE_NOWAIT) != 0, (access & PIPE_ACCESS_INBOUND) != 0,
          (access & PIPE_ACCESS_OUTBOUND) != 0, nt_pipe_next_listen_order_locked());
      group->instances.push_back(instance.get());
    }
  }
  if (!instance) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = nt_insert_handle(instance, nt_handle_flags_for(security));
  if (!handle) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL ConnectNamedPipe(HANDLE handle, OVERLAPPED* overlapped) {
  std::shared_ptr<NtNamedPipe> pipe = pipe_of(handle);
  if (!pipe) return FALSE;
  if (overlapped != nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD error = pipe->connect();
  if (error != ERROR_SUCCESS) return fail(error);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL DisconnectNamedPipe(HANDLE handle) {
  std::shared_ptr<NtNamedPipe> pipe = pipe_of(handle);
  if (!pipe) return FALSE;
  DWORD error = pipe->disconnect();
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

BOOL SetNamedPipeHandleState(HANDLE handle, DWORD* mode, DWORD* /*max_collection_count*/,
                             DWORD* /*collect_data_timeout*/) {
  std::shared_ptr<NtNamedPipe> pipe = pipe_of(handle);
  if (!pipe) return FALSE;
  if (mode != nullptr) {
    DWORD error = pipe->set_mode(*mode);
    if (error != ERROR_SUCCESS) return fail(error);
  }
  return TRUE;
}

BOOL PeekNamedPipe(HANDLE handle, void* buffer, DWORD size, DWORD* bytes_read,
                   DWORD* total_bytes_available, DWORD* bytes_left_this_message) {
  std::shared_ptr<NtNamedPipe> pipe = pipe_of(handle);
  if (!pipe) return FALSE;
  DWORD error =
      pipe->peek(buffer, size, bytes_read, total_bytes_available, bytes_left_this_message);
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

BOOL ImpersonateNamedPipeClient(HANDLE handle) {
  std::shared_ptr<NtNamedPipe> pipe = pipe_of(handle);
  if (!pipe) return FALSE;
  DWORD error = pipe->impersonate();
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

// Ends impersonation of either kind: a pipe client's identity or a logged-on
// user's token (ImpersonateLoggedOnUser).
BOOL RevertToSelf() {
  nt_set_thread_token(nullptr);
  nt_revert_to_self();
  return TRUE;
}
