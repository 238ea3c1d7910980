#include "platform/session/session.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"
#include "platform/process/exit_records.h"

namespace {

constexpr int kQueryWaitMs = 5000;
constexpr int kEndWaitMs = 120000;
constexpr UINT kKnownFlags = EWX_SHUTDOWN | EWX_REBOOT | EWX_FORCE | EWX_POWEROFF | EWX_FORCEIFHUNG;

struct SessionState {
  std::mutex lock;
  DWORD level = NT_DEFAULT_SHUTDOWN_LEVEL;
  DWORD flags = 0;
  int listener = -1;
  int conversation = -1;
  std::string file;    // the registration file
  std::string socket;  // its abstract socket name
};

SessionState& state() {
  static SessionState* s = new SessionState;
  return *s;
}

void make_folders(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') mkdir(path.substr(0, pos).c_str(), 0777);
  }
}

socklen_t abstract_address(const std::string& name, sockaddr_un* address) {
  memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  size_t n = std::min(name.size(), sizeof address->sun_path - 1);
  memcpy(address->sun_path + 1, name.data(), n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// Writes the registration file whole (a rename makes it appear at once).
bool write_registration(const SessionState& s) {
  std::string temp = s.file + ".new";
  FILE* f = fopen(temp.c_str(), "w");
  if (!f) return false;
  fprintf(f, "level=%lx flags=%lu socket=%s\n", static_cast<unsigned long>(s.level),
          static_cast<unsigned long>(s.flags), s.socket.c_str());
  bool ok = fclose(f) == 0;
  return ok && rename(temp.c_str(), s.file.c_str()) == 0;
}

// Waits until `fd` is readable; false on time-out.
bool wait_readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

// One packet as text; false at the end of the conversation or on time-out.
bool receive_text(int fd, int timeout_ms, std::string* text) {
  if (!wait_readable(fd, timeout_ms)) return false;
  char buffer[128];
  ssize_t n;
  do {
    n = recv(fd, buffer, sizeof buffer - 1, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  text->assign(buffer, static_cast<size_t>(n));
  return true;
}

bool send_text(int fd, const std::string& text) {
  return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

struct Registration {
  std::string file;
  unsigned long pid = 0;
  uint64_t start = 0;
  DWORD level = 0;
  std::string socket;
};

bool read_registration(const std::string& file, Registration* r) {
  FILE* f = fopen(file.c_str(), "r");
  if (!f) return false;
  unsigned long level = 0, flags = 0;
  char name[108] = {0};
  int got = fscanf(f, "level=%lx flags=%lu socket=%107s", &level, &flags, name);
  fclose(f);
  if (got != 3) return false;
  r->level = static_cast<DWORD>(level);
  r->socket = name;
  return true;
}

// The registrations of one session folder whose processes still run.
void collect(const std::string& folder, std::vector<Registration>* out) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    unsigned long pid = 0;
    unsigned long long start = 0;
    char tail = 0;
    if (sscanf(entry->d_name, "%lu-%llu%c", &pid, &start, &tail) != 2) continue;
    Registration r;
    r.file = folder + "/" + entry->d_name;
    r.pid = pid;
    r.start = start;
    if (nt_process_start_time(static_cast<pid_t>(pid)) != start) {
      unlink(r.file.c_str());  // its process is gone
      continue;
    }
    if (read_registration(r.file, &r)) out->push_back(r);
  }
  closedir(dir);
}

// Tells one program; false when it refused.
bool tell(const Registration& r, UINT flags, NtSessionProgram* program) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;
  sockaddr_un address;
  socklen_t length = abstract_address(r.socket, &address);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(fd);  // it stopped listening: nothing to tell
    program->ended = true;
    return true;
  }
  char text[64];
  if (!(flags & EWX_FORCE)) {
    snprintf(text, sizeof text, "QUERY %u", flags);
    std::string answer;
    if (send_text(fd, text) && receive_text(fd, kQueryWaitMs, &answer) && answer == "0") {
      program->refused = true;
      snprintf(text, sizeof text, "END 0 %u", flags);
      send_text(fd, text);
      close(fd);
      return false;
    }
  }
  snprintf(text, sizeof text, "END 1 %u", flags);
  if (send_text(fd, text)) {
    // The conversation ends with the program.
    std::string rest;
    while (receive_text(fd, kEndWaitMs, &rest)) {
    }
    program->ended = wait_readable(fd, 0);
  }
  close(fd);
  return true;
}

}  // namespace

std::string nt_session_folder(const std::string& machine, const std::string& user) {
  std::string m = nt_upper_utf8(machine);
  if (m.rfind("\\\\", 0) == 0) m = m.substr(2);
  return nt_network_machine_dir(nt_network_root(), m) + "/run/sessions/" + nt_upper_utf8(user);
}

BOOL SetProcessShutdownParameters(DWORD level, DWORD flags) {
  if (level < 0x100 || level > 0x3FF || (flags & ~SHUTDOWN_NORETRY) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SessionState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.level = level;
  s.flags = flags;
  if (s.listener >= 0) write_registration(s);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetProcessShutdownParameters(DWORD* level, DWORD* flags) {
  if (!level || !flags) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SessionState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  *level = s.level;
  *flags = s.flags;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

int nt_session_join() {
  SessionState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.listener >= 0) return s.listener;
  const pid_t pid = getpid();
  const uint64_t start = nt_process_start_time(pid);
  char name[64];
  snprintf(name, sizeof name, "%lu-%llu", static_cast<unsigned long>(pid),
           static_cast<unsigned long long>(start));
  std::string folder = nt_session_folder(nt_local_machine_name(), nt_user_name());
  make_folders(folder);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    SetLastError(win32_error_from_errno(errno));
    return -1;
  }
  s.socket = std::string("ntsession-") + name;
  sockaddr_un address;
  socklen_t length = abstract_address(s.socket, &address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 4) != 0) {
    DWORD error = win32_error_from_errno(errno);
    close(fd);
    SetLastError(error);
    return -1;
  }
  s.file = folder + "/" + name;
  if (!write_registration(s)) {
    DWORD error = win32_error_from_errno(errno);
    close(fd);
    SetLastError(error);
    return -1;
  }
  s.listener = fd;
  SetLastError(ERROR_SUCCESS);
  return fd;
}

void nt_session_leave() {
  SessionState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.listener < 0) return;
  unlink(s.file.c_str());
  close(s.listener);
  s.listener = -1;
  if (s.conversation >= 0) close(s.conversation);
  s.conversation = -1;
}

bool nt_session_next_message(NtSessionMessage* message) {
  if (!message) return false;
  SessionState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.listener < 0) return false;
  for (;;) {
    if (s.conversation < 0) {
      s.conversation = accept4(s.listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (s.conversation < 0) return false;
    }
    std::string text;
    if (!receive_text(s.conversation, kQueryWaitMs, &text)) {
      close(s.conversation);
      s.conversation = -1;
      continue;  // another conversation may wait
    }
    unsigned ending = 0, flags = 0;
    if (sscanf(text.c_str(), "QUERY %u", &flags) == 1) {
      message->kind = NtSessionMessageKind::query_end_session;
      message->ending = false;
      message->flags = flags;
      return true;
    }
    if (sscanf(text.c_str(), "END %u %u", &ending, &flags) == 2) {
      message->kind = NtSessionMessageKind::end_session;
      message->ending = ending != 0;
      message->flags = flags;
      if (!message->ending) {
        close(s.conversation);
        s.conversation = -1;
      }
      // An ending session keeps the conversation open: the program's end
      // closes it, and the logoff waits for that.
      return true;
    }
  }
}

void nt_session_reply(BOOL allow) {
  SessionState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.conversation >= 0) send_text(s.conversation, allow ? "1" : "0");
}

DWORD nt_logoff_session(const std::string& machine, const std::string& user, UINT flags,
                        unsigned long skip_pid, std::vector<NtSessionProgram>* told) {
  if (machine.empty()) return ERROR_INVALID_PARAMETER;
  std::vector<Registration> programs;
  if (!user.empty()) {
    collect(nt_session_folder(machine, user), &programs);
  } else {
    std::string sessions = nt_session_folder(machine, "");
    if (DIR* dir = opendir(sessions.c_str())) {
      while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        collect(sessions + entry->d_name, &programs);
      }
      closedir(dir);
    }
  }
  // Higher levels first; equal levels in the order they started.
  std::stable_sort(programs.begin(), programs.end(),
                   [](const Registration& a, const Registration& b) {
                     if (a.level != b.level) return a.level > b.level;
                     return a.start < b.start;
                   });
  for (const Registration& r : programs) {
    if (r.pid == skip_pid) continue;
    NtSessionProgram program;
    program.pid = r.pid;
    program.level = r.level;
    bool allowed = tell(r, flags, &program);
    // A program that was told the end and ended is no longer of the session.
    if (allowed && program.ended) unlink(r.file.c_str());
    if (told) told->push_back(program);
    if (!allowed) return ERROR_CANCELLED;
  }
  return ERROR_SUCCESS;
}

BOOL ExitWindowsEx(UINT flags, DWORD /*reason*/) {
  if ((flags & ~kKnownFlags) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  DWORD error = nt_logoff_session(nt_local_machine_name(), nt_user_name(), flags,
                                  static_cast<unsigned long>(getpid()), nullptr);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}
