// The service process's side: StartServiceCtrlDispatcher,
// RegisterServiceCtrlHandler and SetServiceStatus.
//
// The dispatcher runs in the thread that calls it: it listens on the
// service's control socket, starts ServiceMain in a thread of its own, and
// calls the registered handler for each control, answering with the status
// the service last set. It returns when the service reports STOPPED.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/services/service_internal.h"

namespace {

struct Dispatcher {
  std::mutex m;
  std::condition_variable cv;
  bool active = false;
  bool main_done = false;
  std::string machine;
  std::string name;
  int64_t run = 0;
  std::shared_ptr<MachineStore> store;
  LPHANDLER_FUNCTION handler = nullptr;
  bool registered = false;
  SERVICE_STATUS status{};
};

Dispatcher& dispatcher() {
  static Dispatcher* d = new Dispatcher;
  return *d;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Reads NT_SERVICE and checks it against the store: this process must be
// the one the supervisor started for that run.
DWORD connect_to_manager(Dispatcher& d) {
  const char* env = getenv(kScServiceEnv);
  if (!env) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  std::string text(env);
  size_t a = text.find(':');
  size_t b = a == std::string::npos ? a : text.find(':', a + 1);
  if (b == std::string::npos) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  d.run = atoll(text.substr(0, a).c_str());
  d.machine = text.substr(a + 1, b - a - 1);
  d.name = text.substr(b + 1);
  NtMachineRef ref;
  if (nt_open_machine(d.machine, &ref, NtMachineAccess::admin) != ERROR_SUCCESS)
    return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  d.store = ref.store;
  NtServiceRecord r;
  if (nt_service_get(*d.store, d.name, &r) != ERROR_SUCCESS || r.run_id != d.run ||
      r.process_id != static_cast<DWORD>(getpid()))
    return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  // Programs this service starts are no services themselves.
  unsetenv(kScServiceEnv);
  d.status = nt_sc_status_of(r);
  return ERROR_SUCCESS;
}

void serve_one(Dispatcher& d, int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 1000) <= 0) return;
  NtScControlRequest request{};
  if (recv(fd, &request, sizeof request, 0) != sizeof request || request.magic != kScControlMagic)
    return;
  LPHANDLER_FUNCTION handler;
  {
    std::lock_guard<std::mutex> g(d.m);
    handler = d.handler;
  }
  NtScControlReply reply{};
  reply.magic = kScControlMagic;
  if (handler)
    handler(request.control);
  else
    reply.error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  {
    std::lock_guard<std::mutex> g(d.m);
    reply.status = d.status;
  }
  send(fd, &reply, sizeof reply, MSG_NOSIGNAL);
}

template <typename Char>
BOOL run_dispatcher(const Char* service_name, void (*main_a)(DWORD, char**),
                    void (*main_w)(DWORD, WCHAR**)) {
  Dispatcher& d = dispatcher();
  if (!service_name || (!main_a && !main_w)) return fail(ERROR_INVALID_PARAMETER);
  {
    std::lock_guard<std::mutex> g(d.m);
    if (d.active) return fail(ERROR_SERVICE_ALREADY_RUNNING);
    d.active = true;
    d.main_done = false;
    d.registered = false;
    d.handler = nullptr;
  }
  DWORD err = connect_to_manager(d);
  std::string path;
  int listener = -1;
  if (err == ERROR_SUCCESS) {
    path = nt_sc_socket_path(d.machine, d.name);
    listener = nt_sc_socket_listen(path, &err);
  }
  NtServiceRecord record;
  if (err == ERROR_SUCCESS) {
    err = nt_service_modify(*d.store, d.name, [&](NtServiceRecord& r) -> DWORD {
      if (r.run_id != d.run) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
      r.connected = true;
      record = r;
      return ERROR_SUCCESS;
    });
  }
  if (err != ERROR_SUCCESS) {
    if (listener >= 0) close(listener);
    std::lock_guard<std::mutex> g(d.m);
    d.active = false;
    return fail(err == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                    ? err
                    : ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  }

  // ServiceMain gets the start arguments, argv[0] being the service name.
  std::thread main_thread([&d, record, main_a, main_w]() {
    std::vector<std::string> args = record.start_args;
    if (args.empty()) args.push_back(record.name);
    if (main_a) {
      std::vector<std::string> ansi;
      for (const std::string& s : args) ansi.push_back(nt_sc_to_ansi(s));
      std::vector<char*> argv;
      for (std::string& s : ansi) argv.push_back(s.data());
      argv.push_back(nullptr);
      main_a(static_cast<DWORD>(ansi.size()), argv.data());
    } else {
      std::vector<std::u16string> wide;
      for (const std::string& s : args) wide.push_back(nt_sc_to_wide(s));
      std::vector<WCHAR*> argv;
      for (std::u16string& s : wide) argv.push_back(s.data());
      argv.push_back(nullptr);
      main_w(static_cast<DWORD>(wide.size()), argv.data());
    }
    std::lock_guard<std::mutex> g(d.m);
    d.main_done = true;
    d.cv.notify_all();
  });

  for (;;) {
    {
      std::lock_guard<std::mutex> g(d.m);
      if (d.status.dwCurrentState == SERVICE_STOPPED && d.registered) break;
      if (d.main_done && !d.registered) break;  // ServiceMain gave up without a handler
    }
    pollfd p{listener, POLLIN, 0};
    int rc = poll(&p, 1, 50);
    if (rc <= 0) continue;
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    serve_one(d, fd);
    close(fd);
  }
  close(listener);
  unlink(path.c_str());
  // ServiceMain usually returns right after its last report.
  {
    std::unique_lock<std::mutex> g(d.m);
    d.cv.wait_for(g, std::chrono::seconds(5), [&d] { return d.main_done; });
  }
  bool done;
  {
    std::lock_guard<std::mutex> g(d.m);
    done = d.main_done;
    d.active = false;
  }
  if (done)
    main_thread.join();
  else
    main_thread.detach();
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

SERVICE_STATUS_HANDLE register_handler(bool name_given, LPHANDLER_FUNCTION handler) {
  Dispatcher& d = dispatcher();
  if (!name_given || !handler) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(d.m);
  if (!d.active) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  d.handler = handler;
  d.registered = true;
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<SERVICE_STATUS_HANDLE>(&d);
}

}  // namespace

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable) {
  if (!lpServiceStartTable) return fail(ERROR_INVALID_PARAMETER);
  return run_dispatcher<char>(lpServiceStartTable[0].lpServiceName,
                              lpServiceStartTable[0].lpServiceProc, nullptr);
}

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
  if (!lpServiceStartTable) return fail(ERROR_INVALID_PARAMETER);
  return run_dispatcher<WCHAR>(lpServiceStartTable[0].lpServiceName, nullptr,
                               lpServiceStartTable[0].lpServiceProc);
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* lpServiceName,
                                                  LPHANDLER_FUNCTION lpHandlerProc) {
  return register_handler(lpServiceName != nullptr, lpHandlerProc);
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(const WCHAR* lpServiceName,
                                                  LPHANDLER_FUNCTION lpHandlerProc) {
  return register_handler(lpServiceName != nullptr, lpHandlerProc);
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus) {
  Dispatcher& d = dispatcher();
  if (hServiceStatus != reinterpret_cast<SERVICE_STATUS_HANDLE>(&d)) return fail(ERROR_INVALID_HANDLE);
  if (!lpServiceStatus || lpServiceStatus->dwCurrentState < SERVICE_STOPPED ||
      lpServiceStatus->dwCurrentState > SERVICE_PAUSED)
    return fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<MachineStore> store;
  std::string name;
  int64_t run;
  {
    std::lock_guard<std::mutex> g(d.m);
    if (!d.active || !d.registered) return fail(ERROR_INVALID_HANDLE);
    store = d.store;
    name = d.name;
    run = d.run;
  }
  SERVICE_STATUS s = *lpServiceStatus;
  DWORD err = nt_service_modify(*store, name, [&](NtServiceRecord& r) -> DWORD {
    if (r.run_id != run) return kScNoChange;
    r.state = s.dwCurrentState;
    r.controls_accepted = s.dwCurrentState == SERVICE_STOPPED ? 0 : s.dwControlsAccepted;
    r.win32_exit_code = s.dwWin32ExitCode;
    r.specific_exit_code = s.dwServiceSpecificExitCode;
    r.check_point = s.dwCheckPoint;
    r.wait_hint = s.dwWaitHint;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS && err != kScNoChange) return fail(err);
  {
    std::lock_guard<std::mutex> g(d.m);
    s.dwServiceType = d.status.dwServiceType;
    if (s.dwCurrentState == SERVICE_STOPPED) s.dwControlsAccepted = 0;
    d.status = s;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
