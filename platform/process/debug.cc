// The debug event calls over ptrace.
//
// Every debugger thread has a session (thread-local): the tasks it traces,
// the processes they belong to, events waiting to be handed out and the
// events handed out but not continued yet. Only that thread makes ptrace
// calls and waits for its tracees, so the kernel's rule that the tracer
// thread alone may control them holds.
//
// Attaching: CreateProcessA starts a debuggee held before its exec (the
// CREATE_SUSPENDED mechanism of spawn.h), the debugger thread seizes it
// (PTRACE_SEIZE with the options) and then lets it exec; the exec stop is
// its creation event. Descendants are attached by the kernel
// (PTRACE_O_TRACEFORK, VFORK, CLONE) and stop first with PTRACE_EVENT_STOP.
//
// Waiting: a tracee's status is first peeked (WNOWAIT), so that an exit is
// written to the process records ("final") before the status is reaped and
// every other waiter of the network reads the same code. Stops are
// consumed at once. With an infinite time-out the thread blocks in waitid
// over its own tasks (__WNOTHREAD); with a finite one, or when a child of
// the thread that is no tracee has something to report, it polls: every
// 20 to 100 microseconds for the first 20 milliseconds of a wait, then
// less and less often, down to every 2 milliseconds.
#include "platform/process/debug.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/process/debug_attach.h"
#include "platform/process/exit_records.h"
#include "platform/process/process.h"
#include "platform/process/process_object.h"

namespace {

constexpr int EVENT_STOP = 0x80;  // PTRACE_EVENT_STOP

// The processes (thread group ids) that some thread of this process debugs.
struct TracedSet {
  std::mutex lock;
  std::set<pid_t> pids;
};

TracedSet& traced_set() {
  static TracedSet* set = new TracedSet;
  return *set;
}

void mark_traced(pid_t pid, bool on) {
  TracedSet& t = traced_set();
  std::lock_guard<std::mutex> guard(t.lock);
  if (on) {
    t.pids.insert(pid);
  } else {
    t.pids.erase(pid);
  }
}

pid_t current_tid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// Tgid and TracerPid of a task; false when it is gone.
bool task_status(pid_t tid, pid_t* tgid, pid_t* tracer) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(tid));
  FILE* f = fopen(path, "re");
  if (f == nullptr) return false;
  char line[256];
  *tgid = 0;
  *tracer = 0;
  while (fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, "Tgid:", 5) == 0) *tgid = static_cast<pid_t>(atoi(line + 5));
    if (strncmp(line, "TracerPid:", 10) == 0) *tracer = static_cast<pid_t>(atoi(line + 10));
  }
  fclose(f);
  return *tgid != 0;
}

bool is_stop_signal(int sig) {
  return sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

long options_for(bool follow, bool kill_on_exit) {
  long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC | PTRACE_O_TRACECLONE;
  if (follow) options |= PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK;
  if (kill_on_exit) options |= PTRACE_O_EXITKILL;
  return options;
}

int waitid_retry(idtype_t type, id_t id, siginfo_t* info, int options) {
  int rc;
  do {
    info->si_pid = 0;
    rc = waitid(type, id, info, options);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// A thread of a debuggee, as the handle of CREATE_THREAD_DEBUG_EVENT: its
// id is the thread's, waits and exit code are those of its process.
class DebuggeeThread : public NtThreadLike {
 public:
  DebuggeeThread(std::shared_ptr<NtProcess> process, pid_t tid)
      : process_(std::move(process)), tid_(tid) {}
  bool wait_ready_locked(pid_t tid) override { return process_->wait_ready_locked(tid); }
  int wait_fd() const override { return process_->wait_fd(); }
  DWORD thread_id() const override { return static_cast<DWORD>(tid_); }
  DWORD exit_code() override { return process_->exit_code(); }
  DWORD resume() override { return 0; }
  BOOL terminate(DWORD code) override {
    DWORD error = process_->terminate(code);
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return FALSE;
    }
    return TRUE;
  }

 private:
  std::shared_ptr<NtProcess> process_;
  pid_t tid_;
};

// A read handle on the program a process runs (hFile of the events); null
// when it cannot be opened.
HANDLE image_file_handle(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/exe", static_cast<int>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // GENERIC_READ access.
  std::shared_ptr<KernelObject> file = nt_import_inherited_object("file", fd, "80000000");
  if (!file) {
    close(fd);
    return nullptr;
  }
  DWORD error = GetLastError();
  HANDLE handle = nt_insert_handle(file);
  SetLastError(error);
  return handle;
}

struct Task {
  pid_t tid = 0;
  pid_t tgid = 0;
  bool follow = true;           // forks of the task are debugged too
  bool created = false;         // its CREATE event was given
  bool awaiting = false;        // stopped at an event not continued yet
  bool first_exec = false;      // a process started by CreateProcessA: created at its exec
  bool attached = false;        // DebugActiveProcess: a breakpoint follows its creation
  bool detach_at_start = false; // a process the debugger does not follow
  long options = 0;
  std::chrono::steady_clock::time_point learned;  // when its fork or clone was seen
};

struct Proc {
  pid_t pid = 0;
  uint64_t start = 0;
  std::shared_ptr<NtProcess> object;
};

enum class Resume { kContinue, kBreakpoint, kNothing };

struct Pending {
  pid_t pid = 0;
  pid_t tid = 0;
  Resume how = Resume::kNothing;
  int signal = 0;
};

struct Queued {
  DEBUG_EVENT event;
  Pending pending;
};

class Session {
 public:
  Session() : tracer_(current_tid()), owner_(getpid()) {}
  ~Session();

  bool owned() const { return tracer_ == current_tid() && owner_ == getpid(); }
  bool debugging() const { return !tasks_.empty() || !queued_.empty(); }

  DWORD attach_new(pid_t pid, DWORD flags, const std::shared_ptr<NtProcess>& object);
  void abandon(pid_t pid);
  DWORD attach_running(pid_t pid);
  BOOL wait(DEBUG_EVENT* event, DWORD ms);
  DWORD cont(DWORD pid, DWORD tid, DWORD status);
  DWORD stop(pid_t pid);
  void set_kill_on_exit(bool kill) { kill_on_exit_ = kill; }
  bool kill_on_exit() const { return kill_on_exit_; }

 private:
  bool take_queued(DEBUG_EVENT* event);
  bool poll(DEBUG_EVENT* event);
  bool block(DEBUG_EVENT* event, bool* fallback);
  bool exit_must_wait(pid_t tid) const;
  bool handle(pid_t tid, const siginfo_t& info, DEBUG_EVENT* event);
  bool handle_stop(Task& task, int status, DEBUG_EVENT* event);
  bool handle_exit(pid_t tid, const siginfo_t* info, DEBUG_EVENT* event);
  bool start_event(Task& task, DEBUG_EVENT* event);
  bool create_process_event(Task& task, Resume how, DEBUG_EVENT* event);
  Task* learn(pid_t tid, const Task* parent);
  void resume(Task& task, int sig);
  void give(DEBUG_EVENT* event, DWORD code, const Task& task, Resume how, int sig);
  void release(const std::vector<pid_t>& pids, bool kill);
  void reap(pid_t tid, pid_t tgid);

  const pid_t tracer_;
  const pid_t owner_;
  bool kill_on_exit_ = true;
  std::map<pid_t, Task> tasks_;     // by thread id
  std::map<pid_t, Proc> procs_;     // by process id
  std::deque<Queued> queued_;
  std::map<pid_t, Pending> pending_;  // by thread id
};

thread_local bool t_kill_on_exit = true;
thread_local std::unique_ptr<Session> t_session;

Session* session(bool create) {
  if (t_session && !t_session->owned()) {
    // A copy inherited through fork: this process traces nothing.
    (void)t_session.release();
  }
  if (!t_session && create) {
    t_session = std::make_unique<Session>();
    t_session->set_kill_on_exit(t_kill_on_exit);
  }
  return t_session.get();
}

Session::~Session() {
  if (!owned()) return;
  std::vector<pid_t> pids;
  for (const auto& [pid, proc] : procs_) pids.push_back(pid);
  release(pids, kill_on_exit_);
}

DWORD Session::attach_new(pid_t pid, DWORD flags, const std::shared_ptr<NtProcess>& object) {
  // With both flags NT debugs the new process alone.
  const bool follow = (flags & DEBUG_PROCESS) && !(flags & DEBUG_ONLY_THIS_PROCESS);
  const long options = options_for(follow, kill_on_exit_);
  if (ptrace(PTRACE_SEIZE, pid, nullptr, reinterpret_cast<void*>(options)) != 0) {
    return errno == EPERM ? ERROR_ACCESS_DENIED : win32_error_from_errno(errno);
  }
  Task task;
  task.tid = pid;
  task.tgid = pid;
  task.follow = follow;
  task.first_exec = true;
  task.options = options;
  tasks_[pid] = task;
  Proc proc;
  proc.pid = pid;
  proc.start = object->start();
  proc.object = object;
  procs_[pid] = proc;
  mark_traced(pid, true);
  return ERROR_SUCCESS;
}

void Session::abandon(pid_t pid) {
  auto it = tasks_.find(pid);
  if (it == tasks_.end()) return;
  siginfo_t info;
  // The child failed before its exec and ends by itself.
  if (waitid_retry(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | __WALL) == 0) {
    auto proc = procs_.find(pid);
    uint64_t start = proc != procs_.end() ? proc->second.start : 0;
    nt_record_process_line(pid, start, "final",
                           nt_code_of_end(pid, start, info.si_code == CLD_EXITED, info.si_status));
    waitid_retry(P_PID, static_cast<id_t>(pid), &info, WEXITED | __WALL);
  }
  tasks_.erase(it);
  procs_.erase(pid);
  mark_traced(pid, false);
}

DWORD Session::attach_running(pid_t pid) {
  if (pid <= 0) return ERROR_INVALID_PARAMETER;
  if (pid == getpid()) return ERROR_ACCESS_DENIED;
  if (procs_.count(pid) != 0) return ERROR_ACCESS_DENIED;
  std::shared_ptr<NtProcess> object = nt_known_process(pid);
  if (!object) {
    DWORD error = nt_open_process_object(pid, &object);
    if (error != ERROR_SUCCESS) return error;
    nt_remember_process(object);
  }
  const long options = options_for(true, kill_on_exit_);
  if (ptrace(PTRACE_SEIZE, pid, nullptr, reinterpret_cast<void*>(options)) != 0) {
    return errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED;
  }
  Task task;
  task.tid = pid;
  task.tgid = pid;
  task.attached = true;
  task.options = options;
  tasks_[pid] = task;
  Proc proc;
  proc.pid = pid;
  proc.start = object->start();
  proc.object = object;
  procs_[pid] = proc;
  mark_traced(pid, true);
  ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr);
  // The other threads of the process, each with its own creation event.
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/task", static_cast<int>(pid));
  if (DIR* dir = opendir(path)) {
    while (dirent* entry = readdir(dir)) {
      pid_t tid = static_cast<pid_t>(atoi(entry->d_name));
      if (tid <= 0 || tid == pid) continue;
      if (ptrace(PTRACE_SEIZE, tid, nullptr, reinterpret_cast<void*>(options)) != 0) continue;
      Task thread;
      thread.tid = tid;
      thread.tgid = pid;
      thread.options = options;
      tasks_[tid] = thread;
      ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr);
    }
    closedir(dir);
  }
  return ERROR_SUCCESS;
}

bool Session::take_queued(DEBUG_EVENT* event) {
  if (queued_.empty()) return false;
  Queued q = queued_.front();
  queued_.pop_front();
  *event = q.event;
  pending_[q.pending.tid] = q.pending;
  return true;
}

void Session::give(DEBUG_EVENT* event, DWORD code, const Task& task, Resume how, int sig) {
  event->dwDebugEventCode = code;
  event->dwProcessId = static_cast<DWORD>(task.tgid);
  event->dwThreadId = static_cast<DWORD>(task.tid);
  Pending p;
  p.pid = task.tgid;
  p.tid = task.tid;
  p.how = how;
  p.signal = sig;
  pending_[task.tid] = p;
}

Task* Session::learn(pid_t tid, const Task* parent) {
  auto it = tasks_.find(tid);
  if (it != tasks_.end()) return &it->second;
  Task task;
  task.tid = tid;
  task.learned = std::chrono::steady_clock::now();
  pid_t tgid = 0, tracer = 0;
  if (!task_status(tid, &tgid, &tracer)) tgid = tid;
  task.tgid = tgid;
  if (parent != nullptr) {
    task.follow = parent->follow;
    task.options = parent->options;
    // A clone that is a process of its own, from a process whose children
    // are not debugged.
    task.detach_at_start = tgid == tid && !parent->follow;
  } else {
    task.follow = true;
    task.options = options_for(true, kill_on_exit_);
  }
  return &(tasks_[tid] = task);
}

void Session::resume(Task& task, int sig) {
  task.awaiting = false;
  long wanted = (task.options & ~PTRACE_O_EXITKILL) | (kill_on_exit_ ? PTRACE_O_EXITKILL : 0);
  if (wanted != task.options &&
      ptrace(PTRACE_SETOPTIONS, task.tid, nullptr, reinterpret_cast<void*>(wanted)) == 0) {
    task.options = wanted;
  }
  // A task killed meanwhile (ESRCH) reports its exit next.
  ptrace(PTRACE_CONT, task.tid, nullptr, reinterpret_cast<void*>(static_cast<long>(sig)));
}

bool Session::create_process_event(Task& task, Resume how, DEBUG_EVENT* event) {
  const pid_t pid = task.tgid;
  auto it = procs_.find(pid);
  if (it == procs_.end()) {
    Proc proc;
    proc.pid = pid;
    proc.object = nt_known_process(pid);
    if (proc.object && proc.object->start() != nt_process_start_time(pid)) proc.object.reset();
    if (!proc.object && nt_open_process_object(pid, &proc.object) == ERROR_SUCCESS) {
      nt_remember_process(proc.object);
    }
    proc.start = proc.object ? proc.object->start() : nt_process_start_time(pid);
    it = procs_.emplace(pid, proc).first;
    mark_traced(pid, true);
  }
  task.created = true;
  task.awaiting = how != Resume::kNothing;
  memset(event, 0, sizeof *event);
  give(event, CREATE_PROCESS_DEBUG_EVENT, task, how, 0);
  CREATE_PROCESS_DEBUG_INFO& info = event->u.CreateProcessInfo;
  DWORD error = GetLastError();
  if (it->second.object) {
    info.hProcess = nt_insert_handle(it->second.object);
    info.hThread = nt_insert_handle(std::make_shared<DebuggeeThread>(it->second.object, task.tid));
  }
  info.hFile = image_file_handle(pid);
  SetLastError(error);
  return true;
}

bool Session::start_event(Task& task, DEBUG_EVENT* event) {
  pid_t tgid = 0, tracer = 0;
  if (task_status(task.tid, &tgid, &tracer)) task.tgid = tgid;
  if (task.tgid != task.tid) {
    // A thread: a process that is not known (cannot happen) lets it run.
    auto proc = procs_.find(task.tgid);
    if (proc == procs_.end() || !proc->second.object) {
      task.created = true;
      resume(task, 0);
      return false;
    }
    task.created = true;
    task.awaiting = true;
    memset(event, 0, sizeof *event);
    give(event, CREATE_THREAD_DEBUG_EVENT, task, Resume::kContinue, 0);
    DWORD error = GetLastError();
    event->u.CreateThread.hThread =
        nt_insert_handle(std::make_shared<DebuggeeThread>(proc->second.object, task.tid));
    SetLastError(error);
    return true;
  }
  if (task.detach_at_start) {
    ptrace(PTRACE_DETACH, task.tid, nullptr, nullptr);
    tasks_.erase(task.tid);
    return false;
  }
  return create_process_event(task, task.attached ? Resume::kBreakpoint : Resume::kContinue,
                              event);
}

bool Session::handle_stop(Task& task, int status, DEBUG_EVENT* event) {
  const int ptrace_event = (status >> 8) & 0xFF;
  const int sig = status & 0xFF;
  if (ptrace_event == EVENT_STOP) {
    if (!task.created && !task.first_exec) return start_event(task, event);
    if (is_stop_signal(sig)) {
      // A group stop: the task stays stopped as job control asked, and
      // still reports to us (PTRACE_LISTEN).
      ptrace(PTRACE_LISTEN, task.tid, nullptr, nullptr);
      return false;
    }
    resume(task, 0);
    return false;
  }
  if (ptrace_event == PTRACE_EVENT_FORK || ptrace_event == PTRACE_EVENT_VFORK ||
      ptrace_event == PTRACE_EVENT_CLONE) {
    unsigned long child = 0;
    if (ptrace(PTRACE_GETEVENTMSG, task.tid, nullptr, &child) == 0 && child != 0) {
      learn(static_cast<pid_t>(child), &task);
    }
    resume(task, 0);
    return false;
  }
  if (ptrace_event == PTRACE_EVENT_EXEC) {
    // A thread other than the main one that execs takes over the main
    // thread's id; its own id is gone.
    unsigned long former = 0;
    if (ptrace(PTRACE_GETEVENTMSG, task.tid, nullptr, &former) == 0 &&
        static_cast<pid_t>(former) != task.tid) {
      tasks_.erase(static_cast<pid_t>(former));
      pending_.erase(static_cast<pid_t>(former));
    }
    if (task.first_exec && !task.created) {
      return create_process_event(task, Resume::kBreakpoint, event);
    }
    task.awaiting = true;
    memset(event, 0, sizeof *event);
    give(event, LOAD_DLL_DEBUG_EVENT, task, Resume::kContinue, 0);
    DWORD error = GetLastError();
    event->u.LoadDll.hFile = image_file_handle(task.tgid);
    SetLastError(error);
    return true;
  }
  if (ptrace_event != 0) {
    resume(task, 0);
    return false;
  }
  // A signal on its way to the task: it goes on at once.
  resume(task, sig);
  return false;
}

void Session::reap(pid_t tid, pid_t tgid) {
  siginfo_t info;
  waitid_retry(P_PID, static_cast<id_t>(tid), &info, WEXITED | WNOHANG | __WALL);
  if (tid == tgid) mark_traced(tgid, false);
}

bool Session::handle_exit(pid_t tid, const siginfo_t* info, DEBUG_EVENT* event) {
  auto it = tasks_.find(tid);
  if (it == tasks_.end()) return false;
  Task task = it->second;
  tasks_.erase(it);
  const bool exited = info != nullptr && info->si_code == CLD_EXITED;
  const int value = info != nullptr ? info->si_status : 0;
  if (task.tgid != task.tid) {
    if (info != nullptr) reap(tid, task.tgid);
    if (!task.created) return false;
    memset(event, 0, sizeof *event);
    give(event, EXIT_THREAD_DEBUG_EVENT, task, Resume::kNothing, 0);
    event->u.ExitThread.dwExitCode =
        exited ? static_cast<DWORD>(value) & 0xFF : nt_exit_code_for_signal(value);
    return true;
  }
  // The end of a process; one that never reported its creation does it now.
  DEBUG_EVENT create;
  const bool create_first = !task.created;
  if (create_first) create_process_event(task, Resume::kNothing, &create);
  auto proc = procs_.find(task.tgid);
  const uint64_t start = proc != procs_.end() ? proc->second.start : 0;
  DWORD code;
  if (info != nullptr) {
    code = nt_code_of_end(task.tgid, start, exited, value);
    nt_record_process_line(task.tgid, start, "final", code);
    reap(tid, task.tgid);
  } else {
    // Reaped by someone else: the records tell.
    NtProcessRecord record;
    nt_read_process_record(task.tgid, start, &record);
    code = record.final_set ? record.final_code
           : record.terminated ? record.terminate_code
                               : ERROR_PROCESS_ABORTED;
    mark_traced(task.tgid, false);
  }
  if (proc != procs_.end()) procs_.erase(proc);
  // Threads of the process that did not report their end are gone too.
  for (auto t = tasks_.begin(); t != tasks_.end();) {
    t = t->second.tgid == task.tgid ? tasks_.erase(t) : std::next(t);
  }
  DEBUG_EVENT exit_event;
  memset(&exit_event, 0, sizeof exit_event);
  give(&exit_event, EXIT_PROCESS_DEBUG_EVENT, task, Resume::kNothing, 0);
  exit_event.u.ExitProcess.dwExitCode = code;
  if (create_first) {
    pending_.erase(task.tid);
    *event = create;
    Pending nothing;
    nothing.pid = task.tgid;
    nothing.tid = task.tid;
    pending_[task.tid] = nothing;
    Queued q;
    q.event = exit_event;
    q.pending = nothing;
    queued_.push_back(q);
  } else {
    *event = exit_event;
  }
  return true;
}

bool Session::handle(pid_t tid, const siginfo_t& info, DEBUG_EVENT* event) {
  if (info.si_code == CLD_EXITED || info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED) {
    return handle_exit(tid, &info, event);
  }
  siginfo_t consumed;
  waitid_retry(P_PID, static_cast<id_t>(tid), &consumed, WSTOPPED | WNOHANG | __WALL);
  auto it = tasks_.find(tid);
  if (it == tasks_.end()) return false;
  if (info.si_code != CLD_TRAPPED) {
    resume(it->second, 0);
    return false;
  }
  return handle_stop(it->second, info.si_status, event);
}

// A task's exit waits while another task, seen at its parent's fork or
// clone, has not reached its first stop yet: the child's creation is told
// before the parent's end, so a debugger never sees an empty tree that is
// about to grow. The wait is bounded in case such a first stop never comes.
bool Session::exit_must_wait(pid_t tid) const {
  constexpr auto kLongest = std::chrono::seconds(2);
  const auto now = std::chrono::steady_clock::now();
  for (const auto& [other, task] : tasks_) {
    if (other != tid && !task.created && !task.first_exec && !task.attached &&
        now - task.learned < kLongest) {
      return true;
    }
  }
  return false;
}

static bool is_exit(const siginfo_t& info) {
  return info.si_code == CLD_EXITED || info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
}

bool Session::poll(DEBUG_EVENT* event) {
  std::vector<pid_t> running;
  for (const auto& [tid, task] : tasks_) {
    if (!task.awaiting) running.push_back(tid);
  }
  for (pid_t tid : running) {
    if (tasks_.count(tid) == 0) continue;
    siginfo_t info;
    int rc = waitid_retry(P_PID, static_cast<id_t>(tid), &info,
                          WEXITED | WSTOPPED | WNOHANG | WNOWAIT | __WALL);
    if (rc < 0) {
      if (errno == ECHILD && handle_exit(tid, nullptr, event)) return true;
      continue;
    }
    if (info.si_pid == 0) continue;
    if (is_exit(info) && exit_must_wait(tid)) continue;
    if (handle(tid, info, event)) return true;
  }
  return false;
}

bool Session::block(DEBUG_EVENT* event, bool* fallback) {
  siginfo_t info;
  int rc = waitid_retry(P_ALL, 0, &info, WEXITED | WSTOPPED | WNOWAIT | __WALL | __WNOTHREAD);
  if (rc < 0 || info.si_pid == 0) {
    *fallback = true;
    return false;
  }
  const pid_t tid = info.si_pid;
  if (tasks_.count(tid) == 0) {
    pid_t tgid = 0, tracer = 0;
    if (!task_status(tid, &tgid, &tracer) || tracer != current_tid()) {
      // A child of this thread that is not debugged: it is not ours to
      // reap, so watch the tracees one by one for this wait.
      *fallback = true;
      return false;
    }
    learn(tid, nullptr);
  }
  if (tasks_[tid].awaiting || (is_exit(info) && exit_must_wait(tid))) {
    *fallback = true;
    return false;
  }
  return handle(tid, info, event);
}

BOOL Session::wait(DEBUG_EVENT* event, DWORD ms) {
  using clock = std::chrono::steady_clock;
  const auto started = clock::now();
  const auto deadline = started + std::chrono::milliseconds(ms);
  auto pause = std::chrono::microseconds(20);
  bool fallback = false;
  for (;;) {
    if (take_queued(event)) return TRUE;
    if (poll(event)) return TRUE;
    if (take_queued(event)) return TRUE;
    bool any_running = false;
    for (const auto& [tid, task] : tasks_) any_running = any_running || !task.awaiting;
    if (ms == INFINITE && !fallback && any_running) {
      if (block(event, &fallback)) return TRUE;
      continue;
    }
    auto now = clock::now();
    if (ms != INFINITE && now >= deadline) {
      SetLastError(ERROR_SEM_TIMEOUT);
      return FALSE;
    }
    auto sleep = pause;
    if (ms != INFINITE) {
      sleep = std::min(sleep, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now) +
                                  std::chrono::microseconds(1));
    }
    std::this_thread::sleep_for(sleep);
    // Events of a busy tree come a few milliseconds apart: the pause stays
    // short for a while, then grows so that a quiet wait costs little.
    const bool quiet_long = clock::now() - started > std::chrono::milliseconds(20);
    pause = std::min(pause * 2, std::chrono::microseconds(quiet_long ? 2000 : 100));
  }
}

DWORD Session::cont(DWORD pid, DWORD tid, DWORD status) {
  if (status != DBG_CONTINUE && status != DBG_EXCEPTION_NOT_HANDLED) {
    return ERROR_INVALID_PARAMETER;
  }
  auto it = pending_.find(static_cast<pid_t>(tid));
  if (it == pending_.end() || it->second.pid != static_cast<pid_t>(pid)) {
    return ERROR_INVALID_PARAMETER;
  }
  Pending p = it->second;
  pending_.erase(it);
  auto task = tasks_.find(p.tid);
  switch (p.how) {
    case Resume::kBreakpoint: {
      // The initial breakpoint comes next, the process still stopped.
      Queued q;
      memset(&q.event, 0, sizeof q.event);
      q.event.dwDebugEventCode = EXCEPTION_DEBUG_EVENT;
      q.event.dwProcessId = pid;
      q.event.dwThreadId = tid;
      q.event.u.Exception.ExceptionRecord.ExceptionCode = EXCEPTION_BREAKPOINT;
      q.event.u.Exception.dwFirstChance = 1;
      q.pending = p;
      q.pending.how = Resume::kContinue;
      queued_.push_front(q);
      break;
    }
    case Resume::kContinue:
      if (task != tasks_.end()) resume(task->second, p.signal);
      break;
    case Resume::kNothing:
      break;
  }
  return ERROR_SUCCESS;
}

// Lets the processes `pids` go: killed (and reaped) or detached.
void Session::release(const std::vector<pid_t>& pids, bool kill) {
  std::set<pid_t> scope(pids.begin(), pids.end());
  auto in_scope = [&](const Task& t) { return scope.count(t.tgid) != 0; };
  if (kill) {
    for (pid_t pid : pids) ::kill(pid, SIGKILL);
  }
  // Threads before the main threads: a process's end is reported after its
  // threads'.
  std::vector<pid_t> order;
  for (const auto& [tid, task] : tasks_) {
    if (in_scope(task) && task.tid != task.tgid) order.push_back(tid);
  }
  for (const auto& [tid, task] : tasks_) {
    if (in_scope(task) && task.tid == task.tgid) order.push_back(tid);
  }
  std::deque<pid_t> work(order.begin(), order.end());
  while (!work.empty()) {
    pid_t tid = work.front();
    work.pop_front();
    auto it = tasks_.find(tid);
    if (it == tasks_.end()) continue;
    Task task = it->second;
    auto proc = procs_.find(task.tgid);
    const uint64_t start = proc != procs_.end() ? proc->second.start : 0;
    if (!kill && !task.awaiting && task.created) ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr);
    int detach_signal = 0;
    if (!kill && task.awaiting) {
      auto p = pending_.find(tid);
      if (p != pending_.end()) detach_signal = p->second.signal;
    }
    bool done = false;
    if (!kill && task.awaiting) {
      ptrace(PTRACE_DETACH, tid, nullptr, reinterpret_cast<void*>(static_cast<long>(detach_signal)));
      done = true;
    }
    while (!done) {
      siginfo_t info;
      if (waitid_retry(P_PID, static_cast<id_t>(tid), &info,
                       WEXITED | WSTOPPED | WNOWAIT | __WALL) != 0) {
        break;  // gone
      }
      if (info.si_code == CLD_EXITED || info.si_code == CLD_KILLED ||
          info.si_code == CLD_DUMPED) {
        if (tid == task.tgid) {
          nt_record_process_line(task.tgid, start, "final",
                                 nt_code_of_end(task.tgid, start, info.si_code == CLD_EXITED,
                                                info.si_status));
        }
        waitid_retry(P_PID, static_cast<id_t>(tid), &info, WEXITED | __WALL);
        break;
      }
      siginfo_t consumed;
      waitid_retry(P_PID, static_cast<id_t>(tid), &consumed, WSTOPPED | WNOHANG | __WALL);
      if (kill) {
        ptrace(PTRACE_CONT, tid, nullptr, nullptr);  // on to its death
        continue;
      }
      const int ptrace_event = (info.si_status >> 8) & 0xFF;
      int sig = 0;
      if (ptrace_event == PTRACE_EVENT_FORK || ptrace_event == PTRACE_EVENT_VFORK ||
          ptrace_event == PTRACE_EVENT_CLONE) {
        unsigned long child = 0;
        if (ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &child) == 0 && child != 0) {
          Task copy = task;
          Task* learned = learn(static_cast<pid_t>(child), &copy);
          learned->created = true;  // it stops once: detach it there
          scope.insert(learned->tgid);
          work.push_back(learned->tid);
        }
      } else if (ptrace_event == 0) {
        sig = info.si_status & 0xFF;  // a signal on its way goes on
      }
      ptrace(PTRACE_DETACH, tid, nullptr, reinterpret_cast<void*>(static_cast<long>(sig)));
      done = true;
    }
    tasks_.erase(tid);
    pending_.erase(tid);
  }
  for (pid_t pid : scope) {
    procs_.erase(pid);
    mark_traced(pid, false);
  }
  for (auto q = queued_.begin(); q != queued_.end();) {
    q = scope.count(static_cast<pid_t>(q->event.dwProcessId)) != 0 ? queued_.erase(q)
                                                                   : std::next(q);
  }
}

DWORD Session::stop(pid_t pid) {
  if (procs_.count(pid) == 0) return ERROR_INVALID_PARAMETER;
  release({pid}, false);
  return ERROR_SUCCESS;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
#define NT_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NT_LEAK_CHECKED 1
#endif
#endif

#ifdef NT_LEAK_CHECKED
// The leak check at exit stops the world with ptrace, which fails in a
// process that is being debugged and turns its exit code into 1: a
// debuggee skips the check.
extern "C" int __lsan_is_turned_off() {
  pid_t tgid = 0, tracer = 0;
  return task_status(getpid(), &tgid, &tracer) && tracer != 0 ? 1 : 0;
}
#endif

bool nt_process_is_debugged(pid_t pid) {
  TracedSet& t = traced_set();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.pids.count(pid) != 0;
}

DWORD nt_debug_attach_new_process(pid_t pid, DWORD creation_flags,
                                  const std::shared_ptr<NtProcess>& process) {
  return session(true)->attach_new(pid, creation_flags, process);
}

void nt_debug_abandon_new_process(pid_t pid) {
  if (Session* s = session(false)) s->abandon(pid);
}

BOOL WaitForDebugEvent(DEBUG_EVENT* event, DWORD milliseconds) {
  if (event == nullptr) return fail(ERROR_INVALID_PARAMETER);
  Session* s = session(false);
  if (s == nullptr) return fail(ERROR_INVALID_HANDLE);
  return s->wait(event, milliseconds);
}

BOOL ContinueDebugEvent(DWORD process_id, DWORD thread_id, DWORD continue_status) {
  Session* s = session(false);
  if (s == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD error = s->cont(process_id, thread_id, continue_status);
  if (error != ERROR_SUCCESS) return fail(error);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL DebugActiveProcessStop(DWORD process_id) {
  Session* s = session(false);
  if (s == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD error = s->stop(static_cast<pid_t>(process_id));
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

BOOL DebugActiveProcess(DWORD process_id) {
  DWORD error = session(true)->attach_running(static_cast<pid_t>(process_id));
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

BOOL DebugSetProcessKillOnExit(BOOL kill_on_exit) {
  t_kill_on_exit = kill_on_exit != FALSE;
  if (Session* s = session(false)) s->set_kill_on_exit(t_kill_on_exit);
  return TRUE;
}
