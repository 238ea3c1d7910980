#include "platform/sync/event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/sync/named_objects.h"

namespace {

class NtEvent : public NtWaitable {
 public:
  NtEvent(int fd, bool manual) : fd_(fd), manual_(manual) {}
  ~NtEvent() override {
    if (fd_ >= 0) close(fd_);
  }

  bool wait_ready_locked(pid_t /*tid*/) override { return nt_fd_readable(fd_); }
  NtTake wait_take_locked(pid_t /*tid*/) override {
    if (manual_) return NtTake::taken;
    // Reading zeroes the counter: exactly one waiter, in any process, gets it.
    return nt_eventfd_clear(fd_) ? NtTake::taken : NtTake::lost;
  }
  void wait_untake_locked(pid_t /*tid*/) override {
    if (!manual_) nt_eventfd_set(fd_);
  }
  void wait_register_locked(NtWaiter* waiter) override { waiters_.push_back(waiter); }
  void wait_unregister_locked(NtWaiter* waiter) override {
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
  }
  int wait_fd() const override { return fd_; }

  bool nt_inherit_info(NtInheritInfo* info) const override {
    info->kind = "event";
    info->fd = fd_;
    info->extra = manual_ ? "m" : "a";
    return true;
  }

  void set_locked() { nt_eventfd_set(fd_); }
  void reset_locked() { nt_eventfd_clear(fd_); }
  void pulse_locked() {
    for (NtWaiter* w : waiters_) {
      if (std::find(w->granted.begin(), w->granted.end(), this) == w->granted.end()) {
        w->granted.push_back(this);
      }
      uint64_t one = 1;
      if (w->wake_fd >= 0 && write(w->wake_fd, &one, sizeof one) < 0) {
        // The waiter's descriptor is full of wake-ups already; it wakes anyway.
      }
      if (!manual_) break;
    }
    nt_eventfd_clear(fd_);
  }

 private:
  const int fd_;
  const bool manual_;
  std::vector<NtWaiter*> waiters_;
};

std::shared_ptr<NtEvent> event_of(HANDLE handle) { return nt_lookup_handle_as<NtEvent>(handle); }

}  // namespace

std::shared_ptr<KernelObject> nt_event_from_fd(int fd, bool manual_reset) {
  return std::make_shared<NtEvent>(fd, manual_reset);
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manual_reset, BOOL initial_state,
                    const char* name) {
  std::function<std::shared_ptr<NtEvent>()> make = [&]() -> std::shared_ptr<NtEvent> {
    int fd = eventfd(initial_state ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
      set_last_error_from_errno();
      return nullptr;
    }
    return std::make_shared<NtEvent>(fd, manual_reset != FALSE);
  };
  return nt_create_named<NtEvent>(name, make, nt_handle_flags_for(security));
}

HANDLE OpenEventA(DWORD /*access*/, BOOL inherit, const char* name) {
  return nt_open_named<NtEvent>(name, inherit ? HANDLE_FLAG_INHERIT : 0);
}

BOOL SetEvent(HANDLE handle) {
  std::shared_ptr<NtEvent> event = event_of(handle);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> guard(nt_sync_lock());
  event->set_locked();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  std::shared_ptr<NtEvent> event = event_of(handle);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> guard(nt_sync_lock());
  event->reset_locked();
  return TRUE;
}

BOOL PulseEvent(HANDLE handle) {
  std::shared_ptr<NtEvent> event = event_of(handle);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> guard(nt_sync_lock());
  event->pulse_locked();
  return TRUE;
}
