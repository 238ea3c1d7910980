// StartService and ControlService: starting a service's process under its
// supervisor, and delivering controls through its control socket.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/process/spawn.h"
#include "platform/services/service_internal.h"
#include "platform/services/service_launch.h"

#if __has_include("platform/accounts/account_auth.h")
#include "platform/accounts/account_auth.h"
#define NT_SC_HAVE_ACCOUNTS 1
#endif

extern char** environ;

namespace {

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string name_of(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// Sets NAME=value in `env`, replacing a variable whose name differs only in
// case (the name keeps the new spelling).
void put(std::vector<std::string>* env, const std::string& name, const std::string& value) {
  for (std::string& e : *env) {
    if (strcasecmp(name_of(e).c_str(), name.c_str()) == 0) {
      e = name + "=" + value;
      return;
    }
  }
  env->push_back(name + "=" + value);
}

const std::string* lookup(const std::vector<std::string>& env, const std::string& name) {
  for (const std::string& e : env)
    if (strcasecmp(name_of(e).c_str(), name.c_str()) == 0) return &e;
  return nullptr;
}

// %NAME% references replaced from `env`; unknown ones stay as written.
std::string expand(const std::string& text, const std::vector<std::string>& env) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(pos);
      break;
    }
    out += text.substr(pos, open - pos);
    std::string name = text.substr(open + 1, close - open - 1);
    const std::string* e = name.empty() ? nullptr : lookup(env, name);
    if (e) {
      out += e->substr(e->find('=') + 1);
      pos = close + 1;
    } else {
      out += text.substr(open, close - open);
      pos = close;
    }
  }
  return out;
}

std::string supervisor_program() {
  const char* env = getenv("NT_SERVICE_SUPERVISOR");
  if (env && *env) return env;
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "nt_service_supervisor";
  self[n] = '\0';
  std::string dir(self);
  dir.resize(dir.rfind('/') + 1);
  return dir + "nt_service_supervisor";
}

// A service with an account of its own runs only when its password is
// right: ERROR_SERVICE_LOGON_FAILED otherwise.
DWORD check_logon(const std::string& machine, const NtServiceRecord& r) {
  if (r.account.empty() || strcasecmp(r.account.c_str(), "LocalSystem") == 0) return ERROR_SUCCESS;
#ifdef NT_SC_HAVE_ACCOUNTS
  std::string domain = machine;
  std::string user = r.account;
  if (size_t slash = r.account.find('\\'); slash != std::string::npos) {
    domain = r.account.substr(0, slash);
    user = r.account.substr(slash + 1);
    if (domain == ".") domain = machine;
  }
  if (nt_account_check_password(domain, user, r.password) != ERROR_SUCCESS)
    return ERROR_SERVICE_LOGON_FAILED;
#else
  (void)machine;
#endif
  return ERROR_SUCCESS;
}

DWORD launch_supervisor(const std::string& machine, const NtServiceRecord& r, int64_t run) {
  NtSpawnRequest request;
  request.program = supervisor_program();
  request.argv = {request.program, machine, std::to_string(run), r.name};
  request.env = nt_service_environment(machine, r.account);
  request.detached = true;
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int& fd : request.stdio) fd = null_fd;
  NtSpawnResult result;
  DWORD err = nt_spawn(request, &result);
  if (null_fd >= 0) close(null_fd);
  if (err != ERROR_SUCCESS) return err;
  // The supervisor leaves a grandchild behind and ends at once.
  int status = 0;
  while (waitpid(result.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (result.pidfd >= 0) close(result.pidfd);
  return ERROR_SUCCESS;
}

DWORD start_service(SC_HANDLE service, const std::vector<std::string>& args) {
  NtScHandle* h = nt_sc_lookup(service, false);
  if (!h) return ERROR_INVALID_HANDLE;
  DWORD err = nt_sc_check_online(*h);
  if (err != ERROR_SUCCESS) return err;
  if (!(h->access & SERVICE_START)) return ERROR_ACCESS_DENIED;
  return nt_sc_start(*h->store, h->machine, h->service, args);
}

}  // namespace

DWORD nt_sc_start(MachineStore& store, const std::string& machine, const std::string& name,
                  const std::vector<std::string>& args) {
  NtServiceRecord current;
  DWORD err = nt_service_get(store, name, &current);
  if (err != ERROR_SUCCESS) return err;
  nt_sc_reap(store, &current);
  bool locked = false;
  if ((err = nt_service_lock_held(store, &locked, nullptr)) != ERROR_SUCCESS) return err;
  if (locked) return ERROR_SERVICE_DATABASE_LOCKED;
  if ((err = check_logon(machine, current)) != ERROR_SUCCESS) return err;
  NtServiceRecord started;
  err = nt_service_modify(store, name, [&](NtServiceRecord& r) -> DWORD {
    if (r.delete_pending) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (r.start_type == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    if (r.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    if (r.type & SERVICE_DRIVER) return ERROR_NOT_SUPPORTED;
    r.state = SERVICE_START_PENDING;
    // A service deleted and made again under the same name may still have
    // a supervisor finishing its last run: a new run must never be taken
    // for that one. Runs are therefore numbered by the start time in
    // microseconds (and always upwards); 0 means the service never ran.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    r.run_id = std::max<int64_t>(r.run_id + 1,
                                 static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
    r.connected = false;
    r.win32_exit_code = 0;
    r.specific_exit_code = 0;
    r.check_point = 0;
    r.wait_hint = 2000;
    r.controls_accepted = 0;
    r.process_id = 0;
    r.process_exit_code = 0;
    r.supervisor_pid = 0;
    r.supervisor_start = 0;
    r.start_args.clear();
    r.start_args.push_back(r.name);
    r.start_args.insert(r.start_args.end(), args.begin(), args.end());
    started = r;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return err;
  const int64_t run = started.run_id;
  err = launch_supervisor(machine, started, run);
  if (err != ERROR_SUCCESS) {
    nt_service_modify(store, name, [run, err](NtServiceRecord& r) -> DWORD {
      if (r.run_id != run) return kScNoChange;
      r.state = SERVICE_STOPPED;
      r.win32_exit_code = err;
      return ERROR_SUCCESS;
    });
    return err;
  }
  // Until the process reaches its dispatcher, or its supervisor gives up.
  const int64_t deadline = now_ms() + nt_sc_timeout_ms() + 5000;
  for (;;) {
    NtServiceRecord r;
    if ((err = nt_service_get(store, name, &r)) != ERROR_SUCCESS) return err;
    if (r.run_id != run) return ERROR_SUCCESS;
    if (r.connected && r.state != SERVICE_STOPPED) return ERROR_SUCCESS;
    if (r.state == SERVICE_STOPPED)
      return r.connected ? ERROR_SUCCESS
             : r.win32_exit_code != 0 ? r.win32_exit_code
                                      : ERROR_PROCESS_ABORTED;
    nt_sc_reap(store, &r);
    if (now_ms() > deadline) {
      // A supervisor that never reported leaves no run behind.
      nt_service_modify(store, name, [run](NtServiceRecord& rec) -> DWORD {
        if (rec.run_id != run || rec.state == SERVICE_STOPPED || rec.supervisor_pid != 0)
          return kScNoChange;
        rec.state = SERVICE_STOPPED;
        rec.win32_exit_code = ERROR_SERVICE_REQUEST_TIMEOUT;
        return ERROR_SUCCESS;
      });
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

namespace {

DWORD control_right(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE: return SERVICE_INTERROGATE;
    default:
      return control >= 128 && control <= 255 ? SERVICE_USER_DEFINED_CONTROL : 0;
  }
}

// Sends one control and reads the answer within the time-out.
DWORD deliver(const std::string& path, DWORD control, SERVICE_STATUS* status) {
  DWORD err = ERROR_SUCCESS;
  int fd = nt_sc_socket_connect(path, &err);
  if (fd < 0) return ERROR_SERVICE_REQUEST_TIMEOUT;
  NtScControlRequest request{kScControlMagic, control};
  if (send(fd, &request, sizeof request, MSG_NOSIGNAL) != sizeof request) {
    close(fd);
    return ERROR_SERVICE_REQUEST_TIMEOUT;
  }
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, static_cast<int>(nt_sc_timeout_ms()));
  } while (rc < 0 && errno == EINTR);
  NtScControlReply reply{};
  ssize_t got = rc > 0 ? recv(fd, &reply, sizeof reply, 0) : -1;
  close(fd);
  if (got != sizeof reply || reply.magic != kScControlMagic) return ERROR_SERVICE_REQUEST_TIMEOUT;
  *status = reply.status;
  return reply.error;
}

}  // namespace

std::vector<std::string> nt_service_environment(const std::string& machine,
                                                const std::string& account) {
  static const char* const kDropped[] = {"COMPUTERNAME", "USERNAME",   "USERDOMAIN", "SYSTEMROOT",
                                         "WINDIR",       "NT_NETWORK", "NT_CMDLINE", "NT_HANDLES",
                                         "NT_STARTUP",   "NT_SERVICE", "USERPROFILE"};
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry(*e);
    std::string name = name_of(entry);
    bool drop = false;
    for (const char* d : kDropped) drop = drop || strcasecmp(name.c_str(), d) == 0;
    if (!drop && !name.empty()) env.push_back(entry);
  }
  std::string user = account;
  std::string domain;
  if (account.empty() || strcasecmp(account.c_str(), "LocalSystem") == 0) {
    user = "SYSTEM";
    domain = "NT AUTHORITY";
  } else if (size_t slash = account.find('\\'); slash != std::string::npos) {
    domain = account.substr(0, slash);
    user = account.substr(slash + 1);
    if (domain == ".") domain = machine;
  } else {
    domain = machine;
  }
  std::string root = nt_network_root();
  char resolved[PATH_MAX];
  if (realpath(root.c_str(), resolved)) root = resolved;
  put(&env, "COMPUTERNAME", machine);
  put(&env, "USERNAME", user);
  put(&env, "USERDOMAIN", domain);
  put(&env, "SYSTEMROOT", "C:\\WINNT");
  put(&env, "windir", "C:\\WINNT");
  put(&env, "NT_NETWORK", root);
  for (const NtMachineVariable& v : nt_sc_machine_environment(machine))
    put(&env, v.name, v.expand ? expand(v.value, env) : v.value);
  return env;
}

BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, const char** lpServiceArgVectors) {
  if (dwNumServiceArgs > 0 && !lpServiceArgVectors) return fail(ERROR_INVALID_PARAMETER);
  std::vector<std::string> args;
  for (DWORD i = 0; i < dwNumServiceArgs; ++i) {
    if (!lpServiceArgVectors[i]) return fail(ERROR_INVALID_PARAMETER);
    args.push_back(nt_sc_from_ansi(lpServiceArgVectors[i]));
  }
  DWORD err = start_service(hService, args);
  if (err != ERROR_SUCCESS) return fail(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                   const WCHAR** lpServiceArgVectors) {
  if (dwNumServiceArgs > 0 && !lpServiceArgVectors) return fail(ERROR_INVALID_PARAMETER);
  std::vector<std::string> args;
  for (DWORD i = 0; i < dwNumServiceArgs; ++i) {
    if (!lpServiceArgVectors[i]) return fail(ERROR_INVALID_PARAMETER);
    args.push_back(nt_sc_from_wide(lpServiceArgVectors[i]));
  }
  DWORD err = start_service(hService, args);
  if (err != ERROR_SUCCESS) return fail(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  NtScHandle* h = nt_sc_lookup(hService, false);
  if (!h) return FALSE;
  DWORD err = nt_sc_check_online(*h);
  if (err != ERROR_SUCCESS) return fail(err);
  DWORD right = control_right(dwControl);
  if (right == 0 || !lpServiceStatus) return fail(ERROR_INVALID_PARAMETER);
  if ((h->access & right) != right) return fail(ERROR_ACCESS_DENIED);
  err = nt_sc_control(*h->store, h->machine, h->service, dwControl, lpServiceStatus);
  if (err != ERROR_SUCCESS) return fail(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD nt_sc_control(MachineStore& store, const std::string& machine, const std::string& name,
                    DWORD control, SERVICE_STATUS* out) {
  NtServiceRecord r;
  DWORD err = nt_service_get(store, name, &r);
  if (err != ERROR_SUCCESS) return err;
  nt_sc_reap(store, &r);
  *out = nt_sc_status_of(r);
  if (r.state == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
  if (r.state == SERVICE_START_PENDING || r.state == SERVICE_STOP_PENDING || !r.connected)
    return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  if (control == SERVICE_CONTROL_STOP && !(r.controls_accepted & SERVICE_ACCEPT_STOP))
    return ERROR_INVALID_SERVICE_CONTROL;
  if ((control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) &&
      !(r.controls_accepted & SERVICE_ACCEPT_PAUSE_CONTINUE))
    return ERROR_INVALID_SERVICE_CONTROL;
  SERVICE_STATUS status{};
  err = deliver(nt_sc_socket_path(machine, r.name), control, &status);
  if (err == ERROR_SERVICE_REQUEST_TIMEOUT) {
    // A process that ended meanwhile is no longer active.
    NtServiceRecord again;
    if (nt_service_get(store, name, &again) == ERROR_SUCCESS) {
      nt_sc_reap(store, &again);
      *out = nt_sc_status_of(again);
      if (again.state == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    }
    return err;
  }
  *out = status;
  return err;
}
