#include "platform/sync/waitable.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/process/process.h"
#include "platform/sync/thread.h"

// Defined by the process module: the object of GetCurrentProcess().
std::shared_ptr<NtWaitable> nt_current_process_waitable();

namespace {

using Clock = std::chrono::steady_clock;

// The wake descriptor of the calling thread, made on first use and closed
// when the thread ends.
struct ThreadWaiter {
  NtWaiter waiter;
  ThreadWaiter() { waiter.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }
  ~ThreadWaiter() {
    int old;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);  // close() is a cancellation point
    if (waiter.wake_fd >= 0) close(waiter.wake_fd);
  }
};

NtWaiter& this_waiter() {
  thread_local ThreadWaiter w;
  return w.waiter;
}

bool granted(const NtWaiter& w, const NtWaitable* object) {
  return std::find(w.granted.begin(), w.granted.end(), object) != w.granted.end();
}

// Registers the waiter with the objects while it polls; unregisters on every
// way out, a cancelled thread's unwinding included.
class Registration {
 public:
  Registration(NtWaiter& waiter, const std::vector<std::shared_ptr<NtWaitable>>& objects)
      : waiter_(waiter), objects_(objects) {}
  ~Registration() {
    if (!active_) return;
    std::lock_guard<std::mutex> guard(nt_sync_lock());
    drop_locked();
  }
  void add_locked() {
    if (active_) return;
    for (const auto& o : objects_) o->wait_register_locked(&waiter_);
    active_ = true;
  }
  void drop_locked() {
    if (!active_) return;
    for (const auto& o : objects_) o->wait_unregister_locked(&waiter_);
    active_ = false;
    waiter_.granted.clear();
  }

 private:
  NtWaiter& waiter_;
  const std::vector<std::shared_ptr<NtWaitable>>& objects_;
  bool active_ = false;
};

// Result of one look at the objects under the lock.
constexpr DWORD NOT_YET = 0xFFFFFFFEu;

DWORD try_any_locked(const std::vector<std::shared_ptr<NtWaitable>>& objects, NtWaiter& w,
                     pid_t tid) {
  for (size_t i = 0; i < objects.size(); ++i) {
    NtWaitable* o = objects[i].get();
    if (granted(w, o)) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
    if (!o->wait_ready_locked(tid)) continue;
    NtTake take = o->wait_take_locked(tid);
    if (take == NtTake::taken) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
    if (take == NtTake::abandoned) return WAIT_ABANDONED_0 + static_cast<DWORD>(i);
  }
  return NOT_YET;
}

DWORD try_all_locked(const std::vector<std::shared_ptr<NtWaitable>>& objects, NtWaiter& w,
                     pid_t tid) {
  for (const auto& o : objects) {
    if (!granted(w, o.get()) && !o->wait_ready_locked(tid)) return NOT_YET;
  }
  std::vector<size_t> taken;
  DWORD abandoned = NOT_YET;
  for (size_t i = 0; i < objects.size(); ++i) {
    NtWaitable* o = objects[i].get();
    if (granted(w, o)) continue;  // the pulse took it already
    NtTake take = o->wait_take_locked(tid);
    if (take == NtTake::lost) {
      for (size_t j : taken) objects[j]->wait_untake_locked(tid);
      return NOT_YET;
    }
    taken.push_back(i);
    if (take == NtTake::abandoned && abandoned == NOT_YET) {
      abandoned = WAIT_ABANDONED_0 + static_cast<DWORD>(i);
    }
  }
  return abandoned == NOT_YET ? WAIT_OBJECT_0 : abandoned;
}

void drain(int fd) {
  uint64_t value;
  while (read(fd, &value, sizeof value) > 0) {
  }
}

}  // namespace

std::mutex& nt_sync_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

pid_t nt_current_tid() {
  thread_local pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  return tid;
}

bool nt_fd_readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

void nt_eventfd_set(int fd) {
  if (nt_fd_readable(fd)) return;
  uint64_t one = 1;
  ssize_t rc;
  do {
    rc = write(fd, &one, sizeof one);
  } while (rc < 0 && errno == EINTR);
}

bool nt_eventfd_clear(int fd) {
  uint64_t value;
  ssize_t rc;
  do {
    rc = read(fd, &value, sizeof value);
  } while (rc < 0 && errno == EINTR);
  return rc == sizeof value;
}

DWORD nt_wait_objects(const std::vector<std::shared_ptr<NtWaitable>>& objects, bool wait_all,
                      DWORD timeout_ms) {
  if (objects.empty() || objects.size() > MAXIMUM_WAIT_OBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  if (wait_all) {
    for (size_t i = 0; i < objects.size(); ++i) {
      for (size_t j = i + 1; j < objects.size(); ++j) {
        if (objects[i] == objects[j]) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
      }
    }
  }
  const bool forever = timeout_ms == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const pid_t tid = nt_current_tid();
  NtWaiter& waiter = this_waiter();
  Registration registration(waiter, objects);
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    {
      std::lock_guard<std::mutex> guard(nt_sync_lock());
      DWORD result = wait_all ? try_all_locked(objects, waiter, tid)
                              : try_any_locked(objects, waiter, tid);
      if (result != NOT_YET) {
        registration.drop_locked();
        return result;
      }
      // A pulse that could not complete a wait-all is lost, as in NT.
      waiter.granted.clear();
      if (!forever && Clock::now() >= deadline) {
        registration.drop_locked();
        return WAIT_TIMEOUT;
      }
      registration.add_locked();
      for (const auto& o : objects) {
        // A wait-all polls only what it still misses, or it would spin on
        // the objects that are signalled already.
        if (wait_all && o->wait_ready_locked(tid)) continue;
        fds.push_back(pollfd{o->wait_fd(), POLLIN, 0});
      }
      if (waiter.wake_fd >= 0) fds.push_back(pollfd{waiter.wake_fd, POLLIN, 0});
    }
    int wait_ms = -1;
    if (!forever) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      // Round up so that a wait never ends before its time.
      wait_ms = static_cast<int>(std::max<int64_t>(0, left.count() + 1));
    }
    int rc = poll(fds.data(), fds.size(), wait_ms);
    if (rc < 0 && errno != EINTR) {
      set_last_error_from_errno();
      return WAIT_FAILED;
    }
    if (waiter.wake_fd >= 0) drain(waiter.wake_fd);
  }
}

std::shared_ptr<NtWaitable> nt_lookup_waitable(HANDLE handle) {
  if (handle == GetCurrentProcess()) return nt_current_process_waitable();
  if (handle == GetCurrentThread()) return nt_current_thread_waitable();
  return nt_lookup_handle_as<NtWaitable>(handle);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<NtWaitable> object = nt_lookup_waitable(handle);
  if (!object) return WAIT_FAILED;
  return nt_wait_objects({object}, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                             DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<NtWaitable>> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    std::shared_ptr<NtWaitable> object = nt_lookup_waitable(handles[i]);
    if (!object) return WAIT_FAILED;
    objects.push_back(std::move(object));
  }
  return nt_wait_objects(objects, wait_all != FALSE, milliseconds);
}
