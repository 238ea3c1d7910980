#include "platform/process/process_object.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/process/exit_records.h"
#include "platform/process/process.h"

namespace {

int open_pidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// The NT code of a child's end as waitid tells it, with what the records
// add: ExitProcess codes beyond 8 bits and TerminateProcess codes.
DWORD code_of_end(pid_t pid, uint64_t start, bool exited, int value, bool terminated_here,
                  DWORD terminate_code) {
  NtProcessRecord record;
  nt_read_process_record(pid, start, &record);
  if (exited) {
    DWORD status = static_cast<DWORD>(value) & 0xFF;
    if (record.exit_set && (record.exit_code & 0xFF) == status) return record.exit_code;
    return status;
  }
  if (value == SIGKILL) {
    if (terminated_here) return terminate_code;
    if (record.terminated) return record.terminate_code;
  }
  return nt_exit_code_for_signal(value);
}

// Collects a child that has ended: determines its code, records it for the
// other waiters and reaps it. False while it still runs.
bool collect_child(pid_t pid, int pidfd, uint64_t start, bool terminated_here,
                   DWORD terminate_code, DWORD* code) {
  siginfo_t info;
  info.si_pid = 0;
  int rc;
  do {
    rc = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info,
                WEXITED | WNOHANG | WNOWAIT);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    // Somebody else in this process reaped it; the records may know.
    NtProcessRecord record;
    nt_read_process_record(pid, start, &record);
    *code = record.final_set ? record.final_code
            : terminated_here ? terminate_code
                              : ERROR_PROCESS_ABORTED;
    return true;
  }
  if (info.si_pid == 0) return false;
  *code = code_of_end(pid, start, info.si_code == CLD_EXITED, info.si_status, terminated_here,
                      terminate_code);
  nt_record_process_line(pid, start, "final", *code);
  // A debuggee's end belongs to its debugger thread, which reaps it after
  // giving the exit event (and writes the same final line first).
  if (nt_process_is_debugged(pid)) return true;
  do {
    rc = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED);
  } while (rc < 0 && errno == EINTR);
  return true;
}

// The code of a process that is not our child, once its pidfd says it ended.
DWORD code_of_foreign(pid_t pid, uint64_t start) {
  int status = 0;
  if (start != 0 && nt_process_zombie_status(pid, start, &status)) {
    if (WIFEXITED(status)) return code_of_end(pid, start, true, WEXITSTATUS(status), false, 0);
    if (WIFSIGNALED(status)) return code_of_end(pid, start, false, WTERMSIG(status), false, 0);
  }
  NtProcessRecord record;
  nt_read_process_record(pid, start, &record);
  if (record.final_set) return record.final_code;
  return ERROR_PROCESS_ABORTED;
}

// Reaps children whose handles were all closed before they ended.
class OrphanReaper {
 public:
  static OrphanReaper& instance() {
    static OrphanReaper* reaper = new OrphanReaper;
    return *reaper;
  }

  void adopt(pid_t pid, int pidfd, uint64_t start) {
    std::lock_guard<std::mutex> guard(lock_);
    orphans_.push_back(Orphan{pid, pidfd, start});
    if (!started_) {
      started_ = true;
      std::thread([this] { run(); }).detach();
    }
    uint64_t one = 1;
    if (write(wake_fd_, &one, sizeof one) < 0) {
      // The counter is full: the reaper is awake anyway.
    }
  }

 private:
  struct Orphan {
    pid_t pid;
    int pidfd;
    uint64_t start;
  };

  OrphanReaper() : wake_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

  void run() {
    for (;;) {
      std::vector<pollfd> fds;
      {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto it = orphans_.begin(); it != orphans_.end();) {
          DWORD code;
          if (nt_fd_readable(it->pidfd) &&
              collect_child(it->pid, it->pidfd, it->start, false, 0, &code)) {
            close(it->pidfd);
            it = orphans_.erase(it);
          } else {
            fds.push_back(pollfd{it->pidfd, POLLIN, 0});
            ++it;
          }
        }
      }
      fds.push_back(pollfd{wake_fd_, POLLIN, 0});
      poll(fds.data(), fds.size(), -1);
      uint64_t value;
      while (read(wake_fd_, &value, sizeof value) > 0) {
      }
    }
  }

  std::mutex lock_;
  std::vector<Orphan> orphans_;
  bool started_ = false;
  const int wake_fd_;
};

struct Registry {
  std::mutex lock;
  std::map<pid_t, std::weak_ptr<NtProcess>> processes;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

}  // namespace

DWORD nt_code_of_end(pid_t pid, uint64_t start, bool exited, int value) {
  return code_of_end(pid, start, exited, value, false, 0);
}

DWORD nt_exit_code_for_signal(int sig) {
  switch (sig) {
    case SIGSEGV:
    case SIGBUS: return 0xC0000005u;
    case SIGILL: return 0xC000001Du;
    case SIGFPE: return 0xC0000094u;
    case SIGINT: return 0xC000013Au;
    case SIGABRT: return 3;
    default: return ERROR_PROCESS_ABORTED;
  }
}

NtProcess::NtProcess(pid_t pid, int pidfd, uint64_t start, bool child)
    : pid_(pid), pidfd_(pidfd), start_(start), child_(child) {}

NtProcess::~NtProcess() {
  nt_spawn_release(&suspended_);  // a child never resumed ends now
  if (child_ && !reaped_ && pidfd_ >= 0) {
    DWORD code;
    if (nt_fd_readable(pidfd_) &&
        collect_child(pid_, pidfd_, start_, terminated_, terminate_code_, &code)) {
      close(pidfd_);
    } else {
      OrphanReaper::instance().adopt(pid_, pidfd_, start_);
    }
    return;
  }
  if (pidfd_ >= 0) close(pidfd_);
}

bool NtProcess::is_self() const { return pid_ == getpid(); }

bool NtProcess::wait_ready_locked(pid_t /*tid*/) { return pidfd_ >= 0 && nt_fd_readable(pidfd_); }

bool NtProcess::nt_inherit_info(NtInheritInfo* info) const {
  if (pidfd_ < 0) return false;
  info->kind = "process";
  info->fd = pidfd_;
  info->extra = std::to_string(pid_) + "." + std::to_string(start_);
  return true;
}

void NtProcess::collect_locked() {
  if (ended_ || pidfd_ < 0 || is_self()) return;
  if (!nt_fd_readable(pidfd_)) return;
  DWORD code = 0;
  if (child_) {
    if (!collect_child(pid_, pidfd_, start_, terminated_, terminate_code_, &code)) return;
    reaped_ = true;
    if (start_error_ != 0) code = start_error_;
  } else {
    code = code_of_foreign(pid_, start_);
    if (terminated_ && code == ERROR_PROCESS_ABORTED) code = terminate_code_;
  }
  code_ = code;
  ended_ = true;
}

DWORD NtProcess::exit_code() {
  std::lock_guard<std::mutex> guard(m_);
  collect_locked();
  return ended_ ? code_ : STILL_ACTIVE;
}

DWORD NtProcess::terminate(DWORD code) {
  if (is_self()) ExitProcess(code);
  std::lock_guard<std::mutex> guard(m_);
  collect_locked();
  if (ended_ || pidfd_ < 0 || nt_fd_readable(pidfd_)) return ERROR_ACCESS_DENIED;
  // The record comes first, so that whoever sees the process end finds it.
  nt_record_process_line(pid_, start_, "terminate", code);
  terminated_ = true;
  terminate_code_ = code;
  if (syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0) != 0) {
    return errno == ESRCH ? ERROR_ACCESS_DENIED : win32_error_from_errno(errno);
  }
  return ERROR_SUCCESS;
}

void NtProcess::set_suspended(const NtSuspendedChild& child) {
  std::lock_guard<std::mutex> guard(m_);
  suspended_ = child;
  suspend_count_ = 1;
}

DWORD NtProcess::resume() {
  std::lock_guard<std::mutex> guard(m_);
  DWORD previous = suspend_count_;
  if (suspend_count_ > 0 && --suspend_count_ == 0) {
    DWORD error = nt_spawn_resume(&suspended_);
    if (error != ERROR_SUCCESS) start_error_ = error;
  }
  return previous;
}

DWORD NtProcess::pass_handle(const NtInheritInfo& info, uintptr_t* value) {
  std::lock_guard<std::mutex> guard(m_);
  if (suspend_count_ == 0 || suspended_.control_fd < 0) return ERROR_NOT_SUPPORTED;
  // The lowest value the child's table leaves free.
  auto used = [this](uintptr_t value) {
    for (const NtSpawnHandle& h : suspended_.handles) {
      if (h.handle == value) return true;
    }
    return false;
  };
  uintptr_t candidate = NT_HANDLE_STEP;
  while (used(candidate)) candidate += NT_HANDLE_STEP;
  NtSpawnHandle entry;
  entry.handle = candidate;
  entry.kind = info.kind;
  entry.fd = info.fd;
  entry.extra = info.extra;
  DWORD error = nt_spawn_pass_handle(&suspended_, pid_, entry);
  if (error == ERROR_SUCCESS) *value = candidate;
  return error;
}

BOOL NtChildThread::terminate(DWORD code) {
  DWORD error = process_->terminate(code);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

std::shared_ptr<NtProcess> nt_known_process(pid_t pid) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.processes.find(pid);
  if (it == r.processes.end()) return nullptr;
  std::shared_ptr<NtProcess> process = it->second.lock();
  if (!process) {
    r.processes.erase(it);
    return nullptr;
  }
  return process;
}

void nt_remember_process(const std::shared_ptr<NtProcess>& process) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (auto it = r.processes.begin(); it != r.processes.end();) {
    it = it->second.expired() ? r.processes.erase(it) : std::next(it);
  }
  r.processes[process->pid()] = process;
}

std::shared_ptr<NtProcess> nt_self_process() {
  static std::mutex lock;
  static std::shared_ptr<NtProcess>* self = nullptr;
  static pid_t self_pid = 0;
  std::lock_guard<std::mutex> guard(lock);
  // After a fork the child is a process of its own.
  if (self == nullptr || self_pid != getpid()) {
    self_pid = getpid();
    self = new std::shared_ptr<NtProcess>(std::make_shared<NtProcess>(
        self_pid, open_pidfd(self_pid), nt_process_start_time(self_pid), false));
  }
  return *self;
}

DWORD nt_open_process_object(pid_t pid, std::shared_ptr<NtProcess>* out) {
  int pidfd = open_pidfd(pid);
  if (pidfd < 0) {
    return errno == ESRCH || errno == EINVAL ? ERROR_INVALID_PARAMETER
                                             : win32_error_from_errno(errno);
  }
  *out = std::make_shared<NtProcess>(pid, pidfd, nt_process_start_time(pid), false);
  return ERROR_SUCCESS;
}

std::shared_ptr<NtWaitable> nt_current_process_waitable() { return nt_self_process(); }
