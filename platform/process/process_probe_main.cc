// A small child program for the process and pipe tests. It reports what it
// received from its parent and acts on handles it inherited.
//
//   nt_process_probe cmdline            CMDLINE=[<GetCommandLineA>]
//   nt_process_probe argv ...           ARG <i>=[<argv[i]>] for each argument
//   nt_process_probe env NAME...        ENV NAME=[value] or ENV NAME unset
//   nt_process_probe envall             every environment entry, ENV=<entry>
//   nt_process_probe cwd                CWD=[<current directory>]
//   nt_process_probe handles            HANDLE <value> <kind> inherit=<0|1>
//   nt_process_probe startup            the STARTUPINFO fields
//   nt_process_probe ids                GROUP=<leads its process group>
//                                       SESSION=<leads its session> NICE=<n>
//   nt_process_probe set-event H        SetEvent(H); exit 0 or the error
//   nt_process_probe wait-event H MS    exit code = WaitForSingleObject(H, MS)
//   nt_process_probe set-wait H1 H2 MS  SetEvent(H1), then the wait on H2
//   nt_process_probe wait-process PID MS  OpenProcess, wait; EXIT=<code>
//   nt_process_probe exit N             ExitProcess(N)
//   nt_process_probe return N           return N from main
//   nt_process_probe sleep MS           Sleep(MS), exit 0
//   nt_process_probe cat                copies standard input to output,
//                                       then "ERR" to standard error
//   nt_process_probe write H TEXT       WriteFile(H, TEXT)
//   nt_process_probe pipe-client NAME TEXT  writes TEXT to the pipe and
//                                       prints REPLY=[<answer>]
//   nt_process_probe pipe-serve NAME    serves the pipe until its standard
//                                       input ends; prints LISTENING first
//   nt_process_probe fork-tree D CODE   forks two children, each a tree of
//                                       depth D-1 (plain fork, no exec); a
//                                       process at depth d exits CODE+d after
//                                       its children
//   nt_process_probe threads N          runs N threads that end, exit 0
//   nt_process_probe spawn-bg N MS      starts N children "sleep MS" with
//                                       CreateProcessA and exits 0 at once
//   nt_process_probe signal-self        SIGUSR1 to itself: exit 7 when its
//                                       handler ran, 1 otherwise
//   nt_process_probe abort              abort() (SIGABRT)
//   nt_process_probe desktop            STATION=[<name>] DESKTOP=[<name>] of
//                                       its window station and desktop
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/desktop.h"
#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/command_line.h"
#include "platform/kernel/error.h"
#include "platform/pipes/named_pipe.h"
#include "platform/process/inherit.h"
#include "platform/process/process.h"
#include "platform/sync/sync.h"

extern char** environ;

namespace {

HANDLE handle_arg(const char* text) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoul(text, nullptr, 0)));
}

int list_handles() {
  for (uintptr_t value = NT_HANDLE_STEP; value <= 1024 * NT_HANDLE_STEP; value += NT_HANDLE_STEP) {
    HANDLE h = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(h, &flags)) continue;
    NtInheritInfo info;
    std::string kind = nt_inherit_info_of(nt_lookup_handle(h), &info) ? info.kind : "other";
    printf("HANDLE %lu %s inherit=%d\n", static_cast<unsigned long>(value), kind.c_str(),
           (flags & HANDLE_FLAG_INHERIT) ? 1 : 0);
  }
  return 0;
}

int print_startup() {
  STARTUPINFOA si;
  GetStartupInfoA(&si);
  printf("DESKTOP=[%s]\n", si.lpDesktop ? si.lpDesktop : "(null)");
  printf("TITLE=[%s]\n", si.lpTitle ? si.lpTitle : "(null)");
  printf("FLAGS=%lu SHOW=%u X=%lu Y=%lu XSIZE=%lu YSIZE=%lu\n",
         static_cast<unsigned long>(si.dwFlags), static_cast<unsigned>(si.wShowWindow),
         static_cast<unsigned long>(si.dwX), static_cast<unsigned long>(si.dwY),
         static_cast<unsigned long>(si.dwXSize), static_cast<unsigned long>(si.dwYSize));
  return 0;
}

int copy_input() {
  char buffer[4096];
  ssize_t got;
  while ((got = read(0, buffer, sizeof buffer)) > 0) {
    if (write(1, buffer, static_cast<size_t>(got)) != got) return 1;
  }
  if (write(2, "ERR", 3) != 3) return 1;
  return 0;
}

int pipe_client(const char* name, const char* text) {
  HANDLE pipe = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    printf("OPEN-ERROR=%lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  DWORD done = 0;
  if (!WriteFile(pipe, text, static_cast<DWORD>(strlen(text)), &done, nullptr)) return 2;
  char reply[1024];
  if (!ReadFile(pipe, reply, sizeof reply - 1, &done, nullptr)) return 3;
  reply[done] = '\0';
  printf("REPLY=[%s]\n", reply);
  CloseHandle(pipe);
  return 0;
}

int pipe_serve(const char* name) {
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                 1, 1024, 1024, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    printf("CREATE-ERROR=%lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  printf("LISTENING\n");
  fflush(stdout);
  char buffer[64];
  while (read(0, buffer, sizeof buffer) > 0) {
  }
  CloseHandle(pipe);
  return 0;
}

int fork_tree(int depth, int code) {
  int level = depth;
  while (level > 0) {
    pid_t children[2] = {0, 0};
    bool in_child = false;
    for (pid_t& child : children) {
      child = fork();
      if (child == 0) {
        in_child = true;
        break;
      }
    }
    if (!in_child) {
      for (pid_t child : children) {
        if (child > 0) waitpid(child, nullptr, 0);
      }
      break;
    }
    --level;  // the child goes on one level down
  }
  fflush(stdout);
  _exit(code + level);
}

int run_threads(int count) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([] { Sleep(20); });
  }
  for (std::thread& t : threads) t.join();
  return 0;
}

int spawn_background(int count, const char* ms) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  for (int i = 0; i < count; ++i) {
    std::string line = std::string("\"") + self + "\" sleep " + ms;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return 1;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  return 0;
}

volatile sig_atomic_t g_signalled = 0;

int signal_self() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = [](int) { g_signalled = 1; };
  sigaction(SIGUSR1, &action, nullptr);
  kill(getpid(), SIGUSR1);
  return g_signalled ? 7 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  // The action is the first argument that names one: a command line whose
  // program name held blanks gives the words of that name first.
  static const char* const actions[] = {
      "cmdline", "argv", "env", "envall", "cwd", "handles", "startup", "ids", "set-event", "wait-event",
      "set-wait", "wait-process", "exit", "return", "sleep", "cat", "write", "pipe-client",
      "pipe-serve", "fork-tree", "threads", "spawn-bg", "signal-self", "abort", "desktop"};
  int first = 1;
  auto known = [&](const char* word) {
    for (const char* a : actions) {
      if (strcmp(a, word) == 0) return true;
    }
    return false;
  };
  while (first < argc && !known(argv[first])) ++first;
  if (first >= argc) return 87;
  argv += first - 1;
  argc -= first - 1;
  std::string action = argv[1];
  if (action == "cmdline") {
    printf("CMDLINE=[%s]\n", GetCommandLineA());
    return 0;
  }
  if (action == "argv") {
    for (int i = 0; i < argc; ++i) printf("ARG %d=[%s]\n", i, argv[i]);
    return 0;
  }
  if (action == "env") {
    for (int i = 2; i < argc; ++i) {
      const char* value = getenv(argv[i]);
      if (value) {
        printf("ENV %s=[%s]\n", argv[i], value);
      } else {
        printf("ENV %s unset\n", argv[i]);
      }
    }
    return 0;
  }
  if (action == "envall") {
    for (char** e = environ; *e; ++e) printf("ENV=%s\n", *e);
    return 0;
  }
  if (action == "cwd") {
    char cwd[4096];
    printf("CWD=[%s]\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
    return 0;
  }
  if (action == "handles") return list_handles();
  if (action == "ids") {
    errno = 0;
    int nice_value = getpriority(PRIO_PROCESS, 0);
    printf("GROUP=%d SESSION=%d NICE=%d\n", getpgid(0) == getpid() ? 1 : 0,
           getsid(0) == getpid() ? 1 : 0, nice_value);
    return 0;
  }
  if (action == "startup") return print_startup();
  if (action == "set-event" && argc > 2) {
    return SetEvent(handle_arg(argv[2])) ? 0 : static_cast<int>(GetLastError());
  }
  // Wait results need more than the 8 bits a plain exit keeps.
  if (action == "wait-event" && argc > 3) {
    ExitProcess(WaitForSingleObject(handle_arg(argv[2]), strtoul(argv[3], nullptr, 10)));
  }
  if (action == "set-wait" && argc > 4) {
    if (!SetEvent(handle_arg(argv[2]))) return 100;
    ExitProcess(WaitForSingleObject(handle_arg(argv[3]), strtoul(argv[4], nullptr, 10)));
  }
  if (action == "wait-process" && argc > 3) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                 static_cast<DWORD>(strtoul(argv[2], nullptr, 10)));
    if (!process) {
      printf("OPEN-ERROR=%lu\n", static_cast<unsigned long>(GetLastError()));
      return 1;
    }
    DWORD wait = WaitForSingleObject(process, strtoul(argv[3], nullptr, 10));
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    printf("WAIT=%lu EXIT=%lu\n", static_cast<unsigned long>(wait), static_cast<unsigned long>(code));
    return 0;
  }
  if (action == "exit" && argc > 2) ExitProcess(static_cast<UINT>(strtoul(argv[2], nullptr, 0)));
  if (action == "return" && argc > 2) return atoi(argv[2]);
  if (action == "sleep" && argc > 2) {
    Sleep(strtoul(argv[2], nullptr, 10));
    return 0;
  }
  if (action == "cat") return copy_input();
  if (action == "write" && argc > 3) {
    DWORD done = 0;
    return WriteFile(handle_arg(argv[2]), argv[3], static_cast<DWORD>(strlen(argv[3])), &done,
                     nullptr)
               ? 0
               : static_cast<int>(GetLastError());
  }
  if (action == "pipe-client" && argc > 3) return pipe_client(argv[2], argv[3]);
  if (action == "pipe-serve" && argc > 2) return pipe_serve(argv[2]);
  if (action == "fork-tree" && argc > 3) return fork_tree(atoi(argv[2]), atoi(argv[3]));
  if (action == "threads" && argc > 2) return run_threads(atoi(argv[2]));
  if (action == "spawn-bg" && argc > 3) return spawn_background(atoi(argv[2]), argv[3]);
  if (action == "signal-self") return signal_self();
  if (action == "abort") abort();
  if (action == "desktop") {
    char station[300] = "?";
    char desktop[300] = "?";
    DWORD needed = 0;
    GetUserObjectInformationA(GetProcessWindowStation(), UOI_NAME, station, sizeof station, &needed);
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop,
                              sizeof desktop, &needed);
    printf("STATION=[%s] DESKTOP=[%s]\n", station, desktop);
    return 0;
  }
  return 87;
}
