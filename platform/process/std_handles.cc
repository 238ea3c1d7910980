// GetStdHandle: handles of the descriptors 0, 1 and 2.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/kernel/error.h"
#include "platform/process/process.h"

namespace {

// A standard stream: its own duplicate of the descriptor, so that closing
// the handle leaves the stream itself open. A read returns what is there
// (at least one byte, or 0 at the end), as a console or pipe read does.
class NtStdStream : public NtIoObject {
 public:
  explicit NtStdStream(int fd) : fd_(fd) {}
  ~NtStdStream() override {
    if (fd_ >= 0) close(fd_);
  }
  BOOL nt_read(void* buffer, DWORD count, DWORD* done) override {
    *done = 0;
    ssize_t got;
    do {
      got = read(fd_, buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      set_last_error_from_errno();
      return FALSE;
    }
    *done = static_cast<DWORD>(got);
    return TRUE;
  }
  BOOL nt_write(const void* buffer, DWORD count, DWORD* done) override {
    *done = 0;
    while (*done < count) {
      ssize_t put = write(fd_, static_cast<const char*>(buffer) + *done, count - *done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        if (put < 0 && errno == EPIPE) {
          SetLastError(ERROR_NO_DATA);
        } else {
          set_last_error_from_errno();
        }
        return FALSE;
      }
      *done += static_cast<DWORD>(put);
    }
    return TRUE;
  }
  int nt_stdio_fd() const override { return fd_; }
  bool nt_inherit_info(NtInheritInfo* info) const override {
    info->kind = "std";
    info->fd = fd_;
    return true;
  }

 private:
  const int fd_;
};

}  // namespace

HANDLE GetStdHandle(DWORD which) {
  int index;
  switch (which) {
    case STD_INPUT_HANDLE: index = 0; break;
    case STD_OUTPUT_HANDLE: index = 1; break;
    case STD_ERROR_HANDLE: index = 2; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  static std::mutex lock;
  static HANDLE handles[3] = {nullptr, nullptr, nullptr};
  static std::weak_ptr<KernelObject> objects[3];
  std::lock_guard<std::mutex> guard(lock);
  // The same handle each time, unless it was closed.
  if (handles[index]) {
    std::shared_ptr<KernelObject> live = objects[index].lock();
    if (live && nt_lookup_handle(handles[index]) == live) return handles[index];
  }
  int fd = fcntl(index, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  auto stream = std::make_shared<NtStdStream>(fd);
  HANDLE handle = nt_insert_handle(stream);
  if (!handle) return INVALID_HANDLE_VALUE;
  handles[index] = handle;
  objects[index] = stream;
  return handle;
}

std::shared_ptr<KernelObject> nt_std_stream_from_fd(int fd) { return std::make_shared<NtStdStream>(fd); }
