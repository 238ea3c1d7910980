#include "platform/sync/mutex.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/sync/named_objects.h"
#include "platform/sync/waitable.h"

namespace {

class NtMutex;

// The mutexes the calling thread owns; those still owned when the thread
// ends are abandoned.
struct OwnedMutexes {
  std::vector<std::weak_ptr<NtMutex>> owned;
  ~OwnedMutexes();
};

OwnedMutexes& owned_by_this_thread() {
  thread_local OwnedMutexes list;
  return list;
}

class NtMutex : public NtWaitable, public std::enable_shared_from_this<NtMutex> {
 public:
  explicit NtMutex(int fd) : fd_(fd) {}
  ~NtMutex() override {
    if (fd_ >= 0) close(fd_);
  }

  bool wait_ready_locked(pid_t tid) override { return owner_ == 0 || owner_ == tid; }
  NtTake wait_take_locked(pid_t tid) override {
    if (owner_ == tid) {
      ++recursion_;
      return NtTake::taken;
    }
    if (owner_ != 0) return NtTake::lost;
    owner_ = tid;
    recursion_ = 1;
    nt_eventfd_clear(fd_);
    owned_by_this_thread().owned.push_back(weak_from_this());
    if (abandoned_) {
      abandoned_ = false;
      return NtTake::abandoned;
    }
    return NtTake::taken;
  }
  void wait_untake_locked(pid_t tid) override {
    if (owner_ == tid) release_locked(tid);
  }
  int wait_fd() const override { return fd_; }

  bool release_locked(pid_t tid) {
    if (owner_ != tid) return false;
    if (--recursion_ == 0) free_locked(false);
    return true;
  }
  // Called by the owning thread's end.
  void abandon_locked(pid_t tid) {
    if (owner_ == tid) free_locked(true);
  }

 private:
  void free_locked(bool abandoned) {
    owner_ = 0;
    recursion_ = 0;
    abandoned_ = abandoned;
    nt_eventfd_set(fd_);
    if (abandoned) return;  // the owner's list is being taken down
    auto& list = owned_by_this_thread().owned;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const std::weak_ptr<NtMutex>& w) {
                                auto p = w.lock();
                                return !p || p.get() == this;
                              }),
               list.end());
  }

  const int fd_;
  pid_t owner_ = 0;
  DWORD recursion_ = 0;
  bool abandoned_ = false;
};

OwnedMutexes::~OwnedMutexes() {
  int old;
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);  // no cancellation inside a destructor
  std::vector<std::weak_ptr<NtMutex>> left;
  left.swap(owned);
  pid_t tid = nt_current_tid();
  std::lock_guard<std::mutex> guard(nt_sync_lock());
  for (auto& w : left) {
    if (auto m = w.lock()) m->abandon_locked(tid);
  }
}

}  // namespace

HANDLE CreateMutexA(SECURITY_ATTRIBUTES* security, BOOL initial_owner, const char* name) {
  bool created = false;
  std::function<std::shared_ptr<NtMutex>()> make = [&]() -> std::shared_ptr<NtMutex> {
    int fd = eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
      set_last_error_from_errno();
      return nullptr;
    }
    created = true;
    return std::make_shared<NtMutex>(fd);
  };
  HANDLE handle = nt_create_named<NtMutex>(name, make, nt_handle_flags_for(security));
  // Only a new mutex is taken for its creator, as in NT.
  if (handle && created && initial_owner) {
    DWORD error = GetLastError();
    auto mutex = nt_lookup_handle_as<NtMutex>(handle);
    std::lock_guard<std::mutex> guard(nt_sync_lock());
    mutex->wait_take_locked(nt_current_tid());
    SetLastError(error);
  }
  return handle;
}

HANDLE OpenMutexA(DWORD /*access*/, BOOL inherit, const char* name) {
  return nt_open_named<NtMutex>(name, inherit ? HANDLE_FLAG_INHERIT : 0);
}

BOOL ReleaseMutex(HANDLE handle) {
  std::shared_ptr<NtMutex> mutex = nt_lookup_handle_as<NtMutex>(handle);
  if (!mutex) return FALSE;
  std::lock_guard<std::mutex> guard(nt_sync_lock());
  if (!mutex->release_locked(nt_current_tid())) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}
