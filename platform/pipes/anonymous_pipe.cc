#include "platform/pipes/anonymous_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/kernel/error.h"
#include "platform/pipes/pipe_io.h"

namespace {

constexpr DWORD DEFAULT_PIPE_SIZE = 65536;

class NtPipeEnd : public NtIoObject {
 public:
  NtPipeEnd(int fd, bool write_end) : fd_(fd), write_end_(write_end) {}
  ~NtPipeEnd() override {
    if (fd_ >= 0) close(fd_);
  }

  BOOL nt_read(void* buffer, DWORD count, DWORD* done) override {
    *done = 0;
    if (write_end_) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (count == 0) return TRUE;
    ssize_t got;
    do {
      got = read(fd_, buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      set_last_error_from_errno();
      return FALSE;
    }
    if (got == 0) {
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    *done = static_cast<DWORD>(got);
    return TRUE;
  }

  BOOL nt_write(const void* buffer, DWORD count, DWORD* done) override {
    *done = 0;
    if (!write_end_) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    while (*done < count) {
      ssize_t put = nt_write_no_sigpipe(fd_, static_cast<const char*>(buffer) + *done,
                                        count - *done);
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
    info->kind = "apipe";
    info->fd = fd_;
    info->extra = write_end_ ? "w" : "r";
    return true;
  }

 private:
  const int fd_;
  const bool write_end_;
};

}  // namespace

std::shared_ptr<KernelObject> nt_anonymous_pipe_from_fd(int fd, const std::string& extra) {
  if (extra != "r" && extra != "w") return nullptr;
  return std::make_shared<NtPipeEnd>(fd, extra == "w");
}

BOOL CreatePipe(HANDLE* read_pipe, HANDLE* write_pipe, SECURITY_ATTRIBUTES* security,
                DWORD size) {
  if (read_pipe == nullptr || write_pipe == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    set_last_error_from_errno();
    return FALSE;
  }
  if (size > DEFAULT_PIPE_SIZE) fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(size));
  auto reader = std::make_shared<NtPipeEnd>(fds[0], false);
  auto writer = std::make_shared<NtPipeEnd>(fds[1], true);
  DWORD flags = nt_handle_flags_for(security);
  HANDLE r = nt_insert_handle(reader, flags);
  if (!r) return FALSE;
  HANDLE w = nt_insert_handle(writer, flags);
  if (!w) {
    DWORD error = GetLastError();
    CloseHandle(r);
    SetLastError(error);
    return FALSE;
  }
  *read_pipe = r;
  *write_pipe = w;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
