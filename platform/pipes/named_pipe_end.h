// The objects behind named pipe handles (internal to platform/pipes).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/handle.h"
#include "platform/kernel/identity.h"
#include "platform/win32_types.h"

// One connected socket; closed when the last user lets go, so that a reader
// in another thread never reads a reused descriptor.
struct NtPipeConnection {
  explicit NtPipeConnection(int fd) : fd(fd) {}
  ~NtPipeConnection();
  NtPipeConnection(const NtPipeConnection&) = delete;
  NtPipeConnection& operator=(const NtPipeConnection&) = delete;
  const int fd;
};

class NtNamedPipe;

// The instances of one pipe name in this process and their listening
// socket. The socket file is removed when the last instance goes.
class NtPipeGroup {
 public:
  NtPipeGroup(std::string path, int listen_fd, int lock_fd, DWORD max_instances,
              bool message_type, DWORD default_timeout);
  ~NtPipeGroup();
  NtPipeGroup(const NtPipeGroup&) = delete;
  NtPipeGroup& operator=(const NtPipeGroup&) = delete;

  const std::string path;
  const int listen_fd;
  const int lock_fd;
  const DWORD max_instances;
  const bool message_type;
  const DWORD default_timeout;
  std::vector<NtNamedPipe*> instances;  // guarded by the world lock
};

enum class NtPipeState { listening, connected, disconnected };

// A server instance or a client end.
class NtNamedPipe : public NtIoObject {
 public:
  // A client end (or an inherited end) over a connected socket.
  NtNamedPipe(std::shared_ptr<NtPipeConnection> connection, bool message_type, bool message_read,
              bool can_read, bool can_write);
  // A server instance of `group`, listening.
  NtNamedPipe(std::shared_ptr<NtPipeGroup> group, bool message_type, bool message_read, bool nowait,
              bool can_read, bool can_write, uint64_t listen_order);
  ~NtNamedPipe() override;

  BOOL nt_read(void* buffer, DWORD count, DWORD* done) override;
  BOOL nt_write(const void* buffer, DWORD count, DWORD* done) override;
  int nt_stdio_fd() const override;
  bool nt_inherit_info(NtInheritInfo* info) const override;

  bool is_server() const { return group_ != nullptr; }
  NtPipeGroup* group() const { return group_.get(); }

  DWORD connect();     // ConnectNamedPipe
  DWORD disconnect();  // DisconnectNamedPipe
  DWORD set_mode(DWORD mode);
  DWORD peek(void* buffer, DWORD size, DWORD* read, DWORD* total, DWORD* left);
  DWORD impersonate();

  // Under the world lock (the acceptor): whether the instance takes a
  // client now, and giving it one.
  bool listening_locked() const { return state_ == NtPipeState::listening; }
  uint64_t listen_order_locked() const { return listen_order_; }
  void attach_locked(std::shared_ptr<NtPipeConnection> connection, const NtIdentity& client);

 private:
  // The connection to use, or null with the Win32 error of the state.
  std::shared_ptr<NtPipeConnection> connection_for_io(DWORD* error);
  BOOL serve_pending(void* buffer, DWORD count, DWORD* done);

  const std::shared_ptr<NtPipeGroup> group_;  // null for a client end
  const bool message_type_;
  bool message_read_;
  bool nowait_ = false;
  const bool can_read_ = true;
  const bool can_write_ = true;

  // Guarded by the world lock.
  NtPipeState state_;
  std::shared_ptr<NtPipeConnection> connection_;
  NtIdentity client_;
  uint64_t listen_order_ = 0;

  // One reader at a time; the rest of a message read in part.
  std::mutex read_lock_;
  std::string pending_;
  size_t pending_offset_ = 0;
};

// The lock and signal of every named pipe state of this process.
std::mutex& nt_pipe_world_lock();
std::condition_variable& nt_pipe_world_changed();
uint64_t nt_pipe_next_listen_order_locked();

// Packets of the layer.
extern const char NT_PIPE_CONNECT[];
extern const char NT_PIPE_QUERY[];
extern const char NT_PIPE_OK[];
extern const char NT_PIPE_BUSY[];
extern const char NT_PIPE_AVAILABLE[];

// Splits a packet of NUL-ended fields.
std::vector<std::string> nt_pipe_packet_fields(const char* data, size_t size);
// Sends one packet without raising SIGPIPE; false when it did not go whole.
bool nt_pipe_send_packet(int fd, const std::string& packet);
// Receives one packet within `timeout_ms`; false on time-out, error or end.
bool nt_pipe_receive_packet(int fd, int timeout_ms, std::string* packet);
// A socket address for `path`, going through /proc/self/fd/<dir> when the
// path is too long for sun_path (then *dir_fd is opened and must be closed).
bool nt_pipe_socket_address(const std::string& path, struct sockaddr_un* address, int* dir_fd);
