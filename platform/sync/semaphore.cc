#include "platform/sync/semaphore.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <functional>

#include "platform/kernel/error.h"
#include "platform/sync/named_objects.h"
#include "platform/sync/waitable.h"

namespace {

class NtSemaphore : public NtWaitable {
 public:
  NtSemaphore(int fd, LONG count, LONG maximum) : fd_(fd), count_(count), maximum_(maximum) {}
  ~NtSemaphore() override {
    if (fd_ >= 0) close(fd_);
  }

  bool wait_ready_locked(pid_t /*tid*/) override { return count_ > 0; }
  NtTake wait_take_locked(pid_t /*tid*/) override {
    if (count_ == 0) return NtTake::lost;
    if (--count_ == 0) nt_eventfd_clear(fd_);
    return NtTake::taken;
  }
  void wait_untake_locked(pid_t /*tid*/) override {
    if (count_++ == 0) nt_eventfd_set(fd_);
  }
  int wait_fd() const override { return fd_; }

  DWORD release_locked(LONG count, LONG* previous) {
    if (count > maximum_ - count_) return ERROR_TOO_MANY_POSTS;
    if (previous) *previous = count_;
    if (count_ == 0) nt_eventfd_set(fd_);
    count_ += count;
    return ERROR_SUCCESS;
  }

 private:
  const int fd_;
  LONG count_;
  const LONG maximum_;
};

}  // namespace

HANDLE CreateSemaphoreA(SECURITY_ATTRIBUTES* security, LONG initial_count, LONG maximum_count,
                        const char* name) {
  if (maximum_count < 1 || initial_count < 0 || initial_count > maximum_count) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::function<std::shared_ptr<NtSemaphore>()> make = [&]() -> std::shared_ptr<NtSemaphore> {
    int fd = eventfd(initial_count > 0 ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
      set_last_error_from_errno();
      return nullptr;
    }
    return std::make_shared<NtSemaphore>(fd, initial_count, maximum_count);
  };
  return nt_create_named<NtSemaphore>(name, make, nt_handle_flags_for(security));
}

HANDLE OpenSemaphoreA(DWORD /*access*/, BOOL inherit, const char* name) {
  return nt_open_named<NtSemaphore>(name, inherit ? HANDLE_FLAG_INHERIT : 0);
}

BOOL ReleaseSemaphore(HANDLE handle, LONG release_count, LONG* previous_count) {
  std::shared_ptr<NtSemaphore> semaphore = nt_lookup_handle_as<NtSemaphore>(handle);
  if (!semaphore) return FALSE;
  if (release_count < 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(nt_sync_lock());
  DWORD error = semaphore->release_locked(release_count, previous_count);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
