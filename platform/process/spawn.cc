#include "platform/process/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "platform/kernel/error.h"

namespace {

// Room in front of a per-process environment text for "NAME=<pid>".
constexpr size_t PID_ROOM = 32;
// Room left in NT_HANDLES for handles passed to a suspended child.
constexpr size_t HANDLES_RESERVE = 8192;

// Messages of the control socket: an 8-byte header (type, then a 32-bit
// number at offset 4) and for 'H' the text.
constexpr char MSG_FD = 'F';       // number: descriptor number in the child
constexpr char MSG_HANDLES = 'H';  // number: length of the text that follows
constexpr char MSG_GO = 'G';

// What the error pipe carries: where it failed and errno.
constexpr int STAGE_SETUP = 0;
constexpr int STAGE_DIRECTORY = 1;
constexpr int STAGE_EXEC = 2;

// An environment entry whose value begins with the child's process id.
struct PidEntry {
  const char* name = nullptr;  // "NT_CMDLINE"
  size_t name_length = 0;
  char* buffer = nullptr;      // PID_ROOM bytes, ':', the value and its NUL
  size_t capacity = 0;         // bytes for the value, NUL included
  int env_index = -1;
};

// All the child reads, laid out before fork.
struct ChildPlan {
  const char* program = nullptr;
  char* const* argv = nullptr;
  char** envp = nullptr;
  const int* wanted = nullptr;  // parent descriptors to keep, in order
  const bool* keep_open = nullptr;  // kept across exec (handles)
  int wanted_count = 0;
  int base = 3;
  int stdio_index[3] = {-1, -1, -1};
  int control_index = -1;
  int error_index = -1;
  const char* directory = nullptr;
  bool suspended = false;
  bool new_group = false;
  bool detached = false;
  int nice_increment = 0;
  PidEntry* pid_entries = nullptr;
  int pid_entry_count = 0;
  PidEntry* handles_entry = nullptr;  // the NT_HANDLES entry, for updates
};

// --- child side: async-signal-safe only -----------------------------------

[[noreturn]] void child_fail(const ChildPlan& plan, int stage) {
  int report[2] = {stage, errno};
  if (plan.error_index >= 0) {
    ssize_t ignored = write(plan.base + plan.error_index, report, sizeof report);
    (void)ignored;
  }
  _exit(127);
}

void close_from_to(unsigned first, unsigned last) {
  if (first > last) return;
#ifdef SYS_close_range
  if (syscall(SYS_close_range, first, last, 0) == 0) return;
#endif
  // Without close_range: up to the descriptor limit, at most 65536.
  struct rlimit limit;
  unsigned top = 65536;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < top) {
    top = static_cast<unsigned>(limit.rlim_cur);
  }
  if (last > top) last = top;
  for (unsigned fd = first; fd <= last; ++fd) close(static_cast<int>(fd));
}

size_t format_decimal(char* out, unsigned long value) {
  char digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

void fill_pid_entries(const ChildPlan& plan) {
  char pid_text[24];
  size_t pid_length = format_decimal(pid_text, static_cast<unsigned long>(getpid()));
  for (int i = 0; i < plan.pid_entry_count; ++i) {
    PidEntry& e = plan.pid_entries[i];
    size_t prefix = e.name_length + 1 + pid_length;
    char* start = e.buffer + PID_ROOM - prefix;
    memcpy(start, e.name, e.name_length);
    start[e.name_length] = '=';
    memcpy(start + e.name_length + 1, pid_text, pid_length);
    plan.envp[e.env_index] = start;
  }
}

// Serves the control socket of a suspended child until the resume message.
void child_wait_for_resume(const ChildPlan& plan) {
  const int control = plan.base + plan.control_index;
  for (;;) {
    char header[8];
    iovec parts[2];
    parts[0].iov_base = header;
    parts[0].iov_len = sizeof header;
    char* text = plan.handles_entry ? plan.handles_entry->buffer + PID_ROOM + 1 : nullptr;
    parts[1].iov_base = text;
    parts[1].iov_len = plan.handles_entry ? plan.handles_entry->capacity - 1 : 0;
    alignas(cmsghdr) char control_buffer[CMSG_SPACE(sizeof(int))];
    msghdr message;
    memset(&message, 0, sizeof message);
    message.msg_iov = parts;
    message.msg_iovlen = text ? 2 : 1;
    message.msg_control = control_buffer;
    message.msg_controllen = sizeof control_buffer;
    ssize_t got = recvmsg(control, &message, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < static_cast<ssize_t>(sizeof header)) _exit(1);  // the parent let it go
    int number;
    memcpy(&number, header + 4, sizeof number);
    if (header[0] == MSG_GO) return;
    if (header[0] == MSG_HANDLES && text != nullptr) {
      size_t length = static_cast<size_t>(number);
      if (length > plan.handles_entry->capacity - 1) length = plan.handles_entry->capacity - 1;
      text[length] = '\0';
    } else if (header[0] == MSG_FD) {
      cmsghdr* c = CMSG_FIRSTHDR(&message);
      if (c != nullptr && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
        int received;
        memcpy(&received, CMSG_DATA(c), sizeof received);
        if (received != number) {
          dup2(received, number);
          close(received);
        }
      }
    }
  }
}

[[noreturn]] void child_main(const ChildPlan& plan) {
  // A session of its own is a process group of its own too.
  if (plan.detached) {
    setsid();
  } else if (plan.new_group) {
    setpgid(0, 0);
  }
  struct sigaction plain;
  memset(&plain, 0, sizeof plain);
  plain.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &plain, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  for (int i = 0; i < plan.wanted_count; ++i) {
    if (dup2(plan.wanted[i], plan.base + i) < 0) child_fail(plan, STAGE_SETUP);
  }
  close_from_to(3, static_cast<unsigned>(plan.base - 1));
  close_from_to(static_cast<unsigned>(plan.base + plan.wanted_count), ~0u);
  for (int i = 0; i < plan.wanted_count; ++i) {
    if (!plan.keep_open[i]) fcntl(plan.base + i, F_SETFD, FD_CLOEXEC);
  }
  if (plan.suspended) child_wait_for_resume(plan);
  for (int k = 0; k < 3; ++k) {
    if (plan.stdio_index[k] >= 0 && dup2(plan.base + plan.stdio_index[k], k) < 0) {
      child_fail(plan, STAGE_SETUP);
    }
  }
  if (plan.nice_increment != 0) {
    errno = 0;
    int ignored = nice(plan.nice_increment);
    (void)ignored;
  }
  if (plan.directory != nullptr && chdir(plan.directory) != 0) child_fail(plan, STAGE_DIRECTORY);
  fill_pid_entries(plan);
  execve(plan.program, plan.argv, plan.envp);
  child_fail(plan, STAGE_EXEC);
}

// --- parent side -----------------------------------------------------------

DWORD exec_error(int stage, int err) {
  if (stage == STAGE_DIRECTORY) return ERROR_DIRECTORY;
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOEXEC:
    case ELIBBAD: return ERROR_BAD_EXE_FORMAT;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case E2BIG: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return win32_error_from_errno(err);
  }
}

// Reads the error pipe to its end: ERROR_SUCCESS when it closed empty (the
// program runs), else the reported error.
DWORD read_exec_report(int fd) {
  int report[2];
  size_t have = 0;
  while (have < sizeof report) {
    ssize_t got = read(fd, reinterpret_cast<char*>(report) + have, sizeof report - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    have += static_cast<size_t>(got);
  }
  if (have < sizeof report) return ERROR_SUCCESS;
  return exec_error(report[0], report[1]);
}

void reap(int pidfd) {
  siginfo_t info;
  while (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED) < 0 &&
         errno == EINTR) {
  }
}

int open_pidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

void close_fd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// A per-process entry with room for the id in front and `capacity` bytes
// (NUL included) for the value.
void make_pid_entry(const char* name, const std::string& value, size_t capacity,
                    std::vector<char>* storage, PidEntry* entry) {
  storage->assign(PID_ROOM + 1 + capacity, '\0');
  (*storage)[PID_ROOM] = ':';
  memcpy(storage->data() + PID_ROOM + 1, value.data(), value.size());
  entry->name = name;
  entry->name_length = strlen(name);
  entry->buffer = storage->data();
  entry->capacity = capacity;
}

bool send_control(int fd, char type, int number, const void* data, size_t size, int pass_fd) {
  char header[8] = {type, 0, 0, 0, 0, 0, 0, 0};
  memcpy(header + 4, &number, sizeof number);
  iovec parts[2];
  parts[0].iov_base = header;
  parts[0].iov_len = sizeof header;
  parts[1].iov_base = const_cast<void*>(data);
  parts[1].iov_len = size;
  msghdr message;
  memset(&message, 0, sizeof message);
  message.msg_iov = parts;
  message.msg_iovlen = size > 0 ? 2 : 1;
  alignas(cmsghdr) char control_buffer[CMSG_SPACE(sizeof(int))];
  if (pass_fd >= 0) {
    memset(control_buffer, 0, sizeof control_buffer);
    message.msg_control = control_buffer;
    message.msg_controllen = sizeof control_buffer;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &pass_fd, sizeof pass_fd);
  }
  ssize_t sent;
  do {
    sent = sendmsg(fd, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(sizeof header + size);
}

}  // namespace

std::string nt_handles_text(const std::vector<NtSpawnHandle>& handles) {
  std::string text;
  for (const NtSpawnHandle& h : handles) {
    if (!text.empty()) text += ',';
    text += std::to_string(h.handle) + "=" + h.kind + ":" + std::to_string(h.fd);
    if (!h.extra.empty()) text += ":" + h.extra;
  }
  return text;
}

std::vector<std::string> nt_environment_block_entries(const char* block) {
  std::vector<std::string> entries;
  if (block == nullptr) return entries;
  for (const char* p = block; *p != '\0'; p += strlen(p) + 1) entries.emplace_back(p);
  return entries;
}

DWORD nt_spawn(const NtSpawnRequest& request, NtSpawnResult* result) {
  *result = NtSpawnResult{};
  // Descriptors the child keeps, one slot per distinct parent descriptor.
  std::vector<int> wanted;
  std::vector<bool> keep;
  std::map<int, int> index_of;
  auto want = [&](int fd, bool keep_open) {
    auto it = index_of.find(fd);
    if (it != index_of.end()) {
      if (keep_open) keep[it->second] = true;
      return it->second;
    }
    int index = static_cast<int>(wanted.size());
    wanted.push_back(fd);
    keep.push_back(keep_open);
    index_of[fd] = index;
    return index;
  };

  int error_pipe[2];
  if (pipe2(error_pipe, O_CLOEXEC) != 0) return set_last_error_from_errno();
  int control[2] = {-1, -1};
  if (request.suspended && socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, control) != 0) {
    DWORD error = set_last_error_from_errno();
    close(error_pipe[0]);
    close(error_pipe[1]);
    return error;
  }

  std::vector<int> handle_index;
  for (const NtSpawnHandle& h : request.handles) handle_index.push_back(want(h.fd, true));
  ChildPlan plan;
  for (int k = 0; k < 3; ++k) {
    if (request.stdio[k] >= 0) plan.stdio_index[k] = want(request.stdio[k], false);
  }
  if (request.suspended) plan.control_index = want(control[1], false);
  plan.error_index = want(error_pipe[1], false);
  int highest = 2;
  for (int fd : wanted) highest = std::max(highest, fd);
  plan.base = highest + 1;

  // The handles as the child will number them.
  std::vector<NtSpawnHandle> child_handles = request.handles;
  for (size_t i = 0; i < child_handles.size(); ++i) child_handles[i].fd = plan.base + handle_index[i];

  // Environment: the given entries, then the per-process ones.
  std::vector<std::string> env;
  for (const std::string& e : request.env) {
    if (e.rfind("NT_CMDLINE=", 0) == 0 || e.rfind("NT_HANDLES=", 0) == 0 ||
        e.rfind("NT_STARTUP=", 0) == 0) {
      continue;
    }
    env.push_back(e);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  std::vector<char> storage[3];
  PidEntry entries[3];
  int entry_count = 0;
  auto add_entry = [&](const char* name, const std::string& value, size_t capacity) {
    make_pid_entry(name, value, capacity, &storage[entry_count], &entries[entry_count]);
    entries[entry_count].env_index = static_cast<int>(envp.size());
    envp.push_back(nullptr);  // filled by the child
    return &entries[entry_count++];
  };
  add_entry("NT_CMDLINE", request.command_line, request.command_line.size() + 1);
  add_entry("NT_STARTUP", request.startup, request.startup.size() + 1);
  std::string handles_text = nt_handles_text(child_handles);
  size_t handles_capacity = handles_text.size() + 1 + (request.suspended ? HANDLES_RESERVE : 0);
  if (!child_handles.empty() || request.suspended) {
    plan.handles_entry = add_entry("NT_HANDLES", handles_text, handles_capacity);
  }
  envp.push_back(nullptr);

  std::vector<std::string> args = request.argv;
  if (args.empty()) args.push_back(request.program);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  plan.program = request.program.c_str();
  plan.argv = argv.data();
  plan.envp = envp.data();
  plan.wanted = wanted.data();
  std::unique_ptr<bool[]> keep_flags(new bool[wanted.size() + 1]);
  for (size_t i = 0; i < wanted.size(); ++i) keep_flags[i] = keep[i];
  plan.keep_open = keep_flags.get();
  plan.wanted_count = static_cast<int>(wanted.size());
  plan.directory = request.current_directory.empty() ? nullptr : request.current_directory.c_str();
  plan.suspended = request.suspended;
  plan.new_group = request.new_process_group;
  plan.detached = request.detached;
  plan.nice_increment = request.nice_increment;
  plan.pid_entries = entries;
  plan.pid_entry_count = entry_count;

  pid_t pid = fork();
  if (pid == 0) child_main(plan);
  int fork_errno = errno;
  close(error_pipe[1]);
  if (control[1] >= 0) close(control[1]);
  if (pid < 0) {
    close(error_pipe[0]);
    if (control[0] >= 0) close(control[0]);
    SetLastError(fork_errno == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : win32_error_from_errno(fork_errno));
    return GetLastError();
  }
  int pidfd = open_pidfd(pid);
  if (request.suspended) {
    result->pid = pid;
    result->pidfd = pidfd;
    result->suspended.control_fd = control[0];
    result->suspended.error_fd = error_pipe[0];
    result->suspended.next_fd = plan.base + plan.wanted_count;
    result->suspended.handles = child_handles;
    result->suspended.handles_capacity = handles_capacity;
    return ERROR_SUCCESS;
  }
  DWORD error = read_exec_report(error_pipe[0]);
  close(error_pipe[0]);
  if (error != ERROR_SUCCESS) {
    if (pidfd >= 0) {
      reap(pidfd);
      close(pidfd);
    } else {
      waitpid(pid, nullptr, 0);
    }
    SetLastError(error);
    return error;
  }
  result->pid = pid;
  result->pidfd = pidfd;
  return ERROR_SUCCESS;
}

DWORD nt_spawn_pass_handle(NtSuspendedChild* child, pid_t /*pid*/, const NtSpawnHandle& handle) {
  if (child->control_fd < 0) return ERROR_INVALID_HANDLE;
  NtSpawnHandle entry = handle;
  entry.fd = child->next_fd;
  std::vector<NtSpawnHandle> handles = child->handles;
  handles.push_back(entry);
  std::string text = nt_handles_text(handles);
  if (text.size() + 1 > child->handles_capacity) return ERROR_NOT_ENOUGH_MEMORY;
  if (!send_control(child->control_fd, MSG_FD, entry.fd, nullptr, 0, handle.fd) ||
      !send_control(child->control_fd, MSG_HANDLES, static_cast<int>(text.size()), text.data(),
                    text.size(), -1)) {
    return ERROR_BROKEN_PIPE;
  }
  child->handles = std::move(handles);
  ++child->next_fd;
  return ERROR_SUCCESS;
}

DWORD nt_spawn_resume(NtSuspendedChild* child) {
  if (child->control_fd < 0) return ERROR_SUCCESS;
  bool sent = send_control(child->control_fd, MSG_GO, 0, nullptr, 0, -1);
  DWORD error = sent ? read_exec_report(child->error_fd) : ERROR_BROKEN_PIPE;
  nt_spawn_release(child);
  return error;
}

void nt_spawn_release(NtSuspendedChild* child) {
  close_fd(&child->control_fd);
  close_fd(&child->error_fd);
}
