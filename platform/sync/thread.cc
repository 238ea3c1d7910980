#include "platform/sync/thread.h"

#include <limits.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "platform/kernel/error.h"

namespace {

constexpr size_t STACK_GRANULE = 64 * 1024;
constexpr size_t DEFAULT_STACK = 1024 * 1024;

// A thread of this process.
class NtThread : public NtThreadLike {
 public:
  NtThread() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~NtThread() override {
    if (fd_ >= 0) close(fd_);
  }

  bool valid() const { return fd_ >= 0; }

  bool wait_ready_locked(pid_t /*tid*/) override { return nt_fd_readable(fd_); }
  int wait_fd() const override { return fd_; }

  DWORD thread_id() const override {
    std::lock_guard<std::mutex> guard(m_);
    return static_cast<DWORD>(tid_);
  }

  DWORD exit_code() override {
    std::lock_guard<std::mutex> guard(m_);
    return finished_ ? code_ : STILL_ACTIVE;
  }

  DWORD resume() override {
    std::lock_guard<std::mutex> guard(m_);
    DWORD previous = suspend_;
    if (suspend_ > 0 && --suspend_ == 0) cv_.notify_all();
    return previous;
  }

  BOOL terminate(DWORD code) override;

  // Called by the thread itself.
  void started(pid_t tid, pthread_t self, DWORD suspend) {
    std::lock_guard<std::mutex> guard(m_);
    tid_ = tid;
    pthread_ = self;
    running_ = true;
    suspend_ = suspend;
    cv_.notify_all();
  }
  // Blocks a suspended thread until it is resumed or terminated; false when
  // it is to end without running.
  bool wait_until_resumed() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return suspend_ == 0 || terminating_; });
    return !terminating_;
  }
  // Blocks the creator until the thread has said who it is.
  void wait_until_started() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return running_; });
  }
  // The code to end with: ExitThread's and TerminateThread's win over the
  // return value.
  void set_code(DWORD code, bool from_return) {
    std::lock_guard<std::mutex> guard(m_);
    if (from_return && (code_set_ || terminating_)) return;
    if (!terminating_) {
      pending_ = code;
      code_set_ = true;
    }
  }
  void finish() {
    {
      std::lock_guard<std::mutex> guard(m_);
      if (finished_) return;
      finished_ = true;
      code_ = pending_;
    }
    std::lock_guard<std::mutex> guard(nt_sync_lock());
    nt_eventfd_set(fd_);
  }

 private:
  const int fd_;
  mutable std::mutex m_;
  std::condition_variable cv_;
  pid_t tid_ = 0;
  pthread_t pthread_{};
  bool running_ = false;
  bool finished_ = false;
  bool terminating_ = false;
  bool code_set_ = false;
  DWORD suspend_ = 0;
  DWORD pending_ = 0;
  DWORD code_ = STILL_ACTIVE;
};

// The calling thread's object; finishing it when the thread ends covers the
// threads that CreateThread did not start.
struct SelfHolder {
  std::shared_ptr<NtThread> state;
  ~SelfHolder() {
    // A cancellation must not strike inside a destructor.
    int old;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);
    if (state) state->finish();
  }
};

SelfHolder& self_holder() {
  thread_local SelfHolder holder;
  return holder;
}

std::shared_ptr<NtThread> current_thread() {
  SelfHolder& holder = self_holder();
  if (!holder.state) {
    holder.state = std::make_shared<NtThread>();
    holder.state->started(nt_current_tid(), pthread_self(), 0);
  }
  return holder.state;
}

BOOL NtThread::terminate(DWORD code) {
  if (thread_id() == GetCurrentThreadId()) ExitThread(code);
  std::lock_guard<std::mutex> guard(m_);
  if (finished_ || terminating_) return TRUE;
  terminating_ = true;
  pending_ = code;
  code_set_ = true;
  if (suspend_ > 0) {
    cv_.notify_all();  // it ends without running
  } else {
    // The thread cannot pass finish() while this lock is held, so its
    // pthread_t is still valid here.
    pthread_cancel(pthread_);
  }
  return TRUE;
}

struct StartBlock {
  std::shared_ptr<NtThread> state;
  LPTHREAD_START_ROUTINE start;
  void* parameter;
  DWORD suspend;
};

void* thread_main(void* arg) {
  std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(arg));
  std::shared_ptr<NtThread> state = block->state;
  // Runs on a normal return, after ExitThread and when the thread is
  // cancelled by TerminateThread (its stack unwinds through here).
  struct Finisher {
    NtThread* state;
    ~Finisher() {
      int old;
      pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);
      state->finish();
    }
  } finisher{state.get()};
  self_holder().state = state;
  state->started(nt_current_tid(), pthread_self(), block->suspend);
  if (!state->wait_until_resumed()) return nullptr;
  DWORD code = block->start(block->parameter);
  state->set_code(code, true);
  return nullptr;
}

size_t round_up(size_t value, size_t granule) {
  if (value > SIZE_MAX - granule) return SIZE_MAX / granule * granule;
  return (value + granule - 1) / granule * granule;
}

}  // namespace

size_t nt_thread_stack_size(size_t requested, DWORD flags) {
  size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
  if (requested == 0) return 0;  // the process default
  if (flags & STACK_SIZE_PARAM_IS_A_RESERVATION) {
    return std::max(round_up(requested, STACK_GRANULE), minimum);
  }
  return std::max(round_up(requested, STACK_GRANULE), DEFAULT_STACK);
}

HANDLE CreateThread(SECURITY_ATTRIBUTES* security, size_t stack_size,
                    LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags, DWORD* thread_id) {
  if (start == nullptr || (flags & ~(CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto state = std::make_shared<NtThread>();
  if (!state->valid()) {
    set_last_error_from_errno();
    return nullptr;
  }
  HANDLE handle = nt_insert_handle(state, nt_handle_flags_for(security));
  if (!handle) return nullptr;

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  size_t size = nt_thread_stack_size(stack_size, flags);
  int rc = size ? pthread_attr_setstacksize(&attr, size) : 0;
  auto* block = new StartBlock{state, start, parameter, (flags & CREATE_SUSPENDED) ? 1u : 0u};
  pthread_t thread;
  if (rc == 0) rc = pthread_create(&thread, &attr, thread_main, block);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete block;
    CloseHandle(handle);
    SetLastError(rc == EINVAL ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  state->wait_until_started();
  if (thread_id) *thread_id = state->thread_id();
  SetLastError(ERROR_SUCCESS);
  return handle;
}

void ExitThread(DWORD exit_code) {
  std::shared_ptr<NtThread> state = current_thread();
  state->set_code(exit_code, false);
  state.reset();
  pthread_exit(nullptr);
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code) {
  std::shared_ptr<NtThreadLike> object = thread == GetCurrentThread()
                                             ? nt_current_thread_waitable()
                                             : nt_lookup_handle_as<NtThreadLike>(thread);
  if (!object) return FALSE;
  if (exit_code == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *exit_code = object->exit_code();
  return TRUE;
}

DWORD ResumeThread(HANDLE thread) {
  std::shared_ptr<NtThreadLike> object = thread == GetCurrentThread()
                                             ? nt_current_thread_waitable()
                                             : nt_lookup_handle_as<NtThreadLike>(thread);
  if (!object) return static_cast<DWORD>(-1);
  return object->resume();
}

BOOL TerminateThread(HANDLE thread, DWORD exit_code) {
  std::shared_ptr<NtThreadLike> object = thread == GetCurrentThread()
                                             ? nt_current_thread_waitable()
                                             : nt_lookup_handle_as<NtThreadLike>(thread);
  if (!object) return FALSE;
  return object->terminate(exit_code);
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(nt_current_tid()); }

DWORD GetThreadId(HANDLE thread) {
  std::shared_ptr<NtThreadLike> object = thread == GetCurrentThread()
                                             ? nt_current_thread_waitable()
                                             : nt_lookup_handle_as<NtThreadLike>(thread);
  if (!object) return 0;
  return object->thread_id();
}

std::shared_ptr<NtThreadLike> nt_current_thread_waitable() { return current_thread(); }
