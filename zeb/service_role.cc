#include "zeb/service_role.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/kernel/clock.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/module.h"
#include "platform/registry/registry.h"
#include "platform/resource/resource.h"
#include "platform/sync/event.h"
#include "platform/sync/semaphore.h"
#include "platform/sync/waitable.h"
#include "zeb/event_logger.h"
#include "zeb/job_store.h"
#include "zeb/pipe_server.h"
#include "zeb/scheduler_loop.h"
#include "zeb/server_roles.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"

#if __has_include("platform/services/services.h")
#include "platform/services/services.h"
#define ZEB_HAVE_SCM 1
#endif

namespace {

constexpr DWORD kStartWaitHint = 3000;
constexpr DWORD kStopWaitHint = 5000;
constexpr DWORD kTypesSupported = 7;
constexpr DWORD kJobThreadsWaitMs = 15000;

ZebService* g_service = nullptr;
ZebServiceHost* g_host = nullptr;

void report(DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code = 0) {
  if (g_service != nullptr) g_service->state = state;
  if (g_host != nullptr && g_host->report) g_host->report(state, check_point, wait_hint, exit_code);
}

// The event source key with the running program as message file.
void register_event_source() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_EVENT_SOURCE_KEY, 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    RegCloseKey(key);
    return;
  }
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZEB_EVENT_SOURCE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  char exe[1024];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n > 0 && n < sizeof exe) {
    RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<BYTE*>(exe), n + 1);
  }
  DWORD types = kTypesSupported;
  RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<BYTE*>(&types),
                 sizeof types);
  RegCloseKey(key);
}

// A failed start-up step: the API error event with the stop flag, STOPPED.
DWORD fail_step(long error, const std::string& call) {
  zeb_log_api_error(error, call, true);
  report(ZEB_STATE_STOPPED, 0, 0, static_cast<DWORD>(error));
  return static_cast<DWORD>(error);
}

}  // namespace

std::string zeb_program_version() {
  char r2[256] = "";
  char r3[256] = "";
  LoadStringA(nullptr, 2, r2, sizeof r2);
  LoadStringA(nullptr, 3, r3, sizeof r3);
  return zeb_version_string(r2, r3);
}

DWORD zeb_state_after_control(DWORD state, DWORD control) {
  switch (control) {
    case ZEB_CONTROL_PAUSE:
      return state == ZEB_STATE_RUNNING ? ZEB_STATE_PAUSED : state;
    case ZEB_CONTROL_CONTINUE:
      return state == ZEB_STATE_PAUSED ? ZEB_STATE_RUNNING : state;
    default:
      return state;
  }
}

void zeb_service_control(DWORD control) {
  ZebService* service = g_service;
  if (service == nullptr) return;
  if (control == ZEB_CONTROL_STOP) {
    report(ZEB_STATE_STOP_PENDING, 1, kStopWaitHint);
    if (service->done_event != nullptr) SetEvent(service->done_event);
    return;
  }
  DWORD state = service->state.load();
  if (state != ZEB_STATE_RUNNING && state != ZEB_STATE_PAUSED) return;
  report(zeb_state_after_control(state, control), 0, 0);
}

DWORD zeb_service_run(ZebServiceHost& host) {
  static ZebService service;
  g_service = &service;
  g_host = &host;
  DWORD step = 0;
  auto pending = [&]() { report(ZEB_STATE_START_PENDING, ++step, kStartWaitHint); };

  pending();  // 1
  service.interactive = host.interactive ? host.interactive() : false;
  register_event_source();
  service.version = zeb_program_version();

  pending();  // 2
  if (host.register_handler && !host.register_handler()) {
    return fail_step(static_cast<long>(GetLastError()),
                     std::string("RegisterServiceCtrlHandler(") + ZEB_SERVICE_NAME + ")");
  }
  pending();  // 3
  service.done_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (service.done_event == nullptr) {
    return fail_step(static_cast<long>(GetLastError()), "CreateEvent(hServDoneEvent)");
  }
  zeb_logger_set_stop_event(service.done_event);
  pending();  // 4
  service.table = new (std::nothrow) JobTable();
  if (service.table == nullptr) {
    return fail_step(static_cast<long>(ERROR_NOT_ENOUGH_MEMORY),
                     "malloc(" + std::to_string(sizeof(JobTable)) + ")");
  }
  pending();  // 5
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) {
    return fail_step(rc, std::string("RegOpenKeyEx(") + ZEB_SERVICE_KEY + ")");
  }
  pending();  // 6
  rc = zeb_write_version(key, service.version.c_str());
  if (rc != ERROR_SUCCESS) {
    RegCloseKey(key);
    return fail_step(rc, std::string("RegCreateValueEx(") + ZEB_VALUE_VERSION + ")");
  }
  pending();  // 7
  rc = job_store_open(key, &service.jobs_key);
  if (rc != ERROR_SUCCESS) {
    RegCloseKey(key);
    return fail_step(rc, std::string("RegCreateKeyEx(") + ZEB_JOBS_SUBKEY + ")");
  }
  pending();  // 8
  // Made taken: the pipe listener starts before the jobs are loaded, and no
  // command may see (or add to) the table before it holds the stored jobs.
  service.jobs_free = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  if (service.jobs_free == nullptr) {
    RegCloseKey(key);
    return fail_step(static_cast<long>(GetLastError()), "CreateSemaphore(jobs_free)");
  }
  pending();  // 9
  if (!zeb_start_command_thread(service)) {
    RegCloseKey(key);
    return fail_step(static_cast<long>(GetLastError()), "CreateThread(CommandThread)");
  }

  report(ZEB_STATE_RUNNING, 0, 0);
  zeb_log(ZEB_EV_STARTED, false);
  // jobs_free is held since its creation.
  DWORD no_autostart = zeb_read_no_autostart(key);
  job_store_load(service.jobs_key, service.table);
  if (no_autostart == 0) zeb_autostart_jobs(service);
  ReleaseSemaphore(service.jobs_free, 1, nullptr);
  rc = zeb_write_no_autostart(key, 0);
  if (rc != ERROR_SUCCESS) {
    zeb_log_api_error(rc, std::string("RegSetValueEx(") + ZEB_VALUE_NO_AUTOSTART + ")");
  }
  RegCloseKey(key);
  zeb_publish_server_roles();

  zeb_scheduler_loop(service);

  zeb_log(ZEB_EV_STOPPED, false);
  zeb_close_command_thread(service);
  // Job threads stop waiting for their runs and record what they know;
  // the table stays theirs until they are gone.
  DWORD start = GetTickCount();
  while (service.job_threads.load() > 0 && GetTickCount() - start < kJobThreadsWaitMs) Sleep(20);
  bool idle = service.job_threads.load() == 0 && zeb_active_connections() == 0;
  zeb_logger_set_stop_event(nullptr);
  if (idle) {
    RegCloseKey(service.jobs_key);
    CloseHandle(service.jobs_free);
    CloseHandle(service.done_event);
    delete service.table;
    service.table = nullptr;
  }
  report(ZEB_STATE_STOPPED, 0, 0);
  return 0;
}

namespace {

bool env_is_one(const char* name) {
  const char* v = getenv(name);
  return v != nullptr && strcmp(v, "1") == 0;
}

sigset_t control_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGUSR1);
  sigaddset(&set, SIGUSR2);
  return set;
}

void* signal_thread(void*) {
  sigset_t set = control_signals();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig == SIGUSR1) {
      zeb_service_control(ZEB_CONTROL_PAUSE);
    } else if (sig == SIGUSR2) {
      zeb_service_control(ZEB_CONTROL_CONTINUE);
    } else {
      zeb_service_control(ZEB_CONTROL_STOP);
    }
  }
  return nullptr;
}

int run_foreground() {
  // The signals reach the one thread that waits for them; every thread made
  // later inherits the mask.
  sigset_t set = control_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  ZebServiceHost host;
  host.report = [](DWORD state, DWORD check_point, DWORD, DWORD exit_code) {
    printf("STATE %lu %lu %lu\n", static_cast<unsigned long>(state),
           static_cast<unsigned long>(check_point), static_cast<unsigned long>(exit_code));
    fflush(stdout);
  };
  host.register_handler = []() {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, signal_thread, nullptr) != 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    pthread_detach(thread);
    return true;
  };
  host.interactive = []() { return env_is_one("ZEB_SERVICE_INTERACTIVE"); };
  return static_cast<int>(zeb_service_run(host));
}

#ifdef ZEB_HAVE_SCM
SERVICE_STATUS_HANDLE g_status_handle = 0;
ZebServiceHost g_scm_host;

void scm_control(DWORD control) { zeb_service_control(control); }

bool scm_interactive() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return false;
  bool interactive = false;
  SC_HANDLE service = OpenServiceA(manager, ZEB_SERVICE_NAME, SERVICE_QUERY_CONFIG);
  if (service != nullptr) {
    DWORD needed = 0;
    QueryServiceConfigA(service, nullptr, 0, &needed);
    if (needed > 0) {
      std::string buffer(needed, '\0');
      auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
      if (QueryServiceConfigA(service, config, needed, &needed)) {
        interactive = (config->dwServiceType & SERVICE_INTERACTIVE_PROCESS) != 0;
      }
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return interactive;
}

void scm_service_main(DWORD, char**) {
  g_scm_host.register_handler = []() {
    g_status_handle = RegisterServiceCtrlHandlerA(ZEB_SERVICE_NAME, scm_control);
    return g_status_handle != 0;
  };
  g_scm_host.report = [](DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code) {
    if (g_status_handle == 0) return;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == ZEB_STATE_START_PENDING
                                    ? 0
                                    : (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE);
    status.dwWin32ExitCode = exit_code;
    status.dwCheckPoint = check_point;
    status.dwWaitHint = wait_hint;
    SetServiceStatus(g_status_handle, &status);
  };
  g_scm_host.interactive = scm_interactive;
  zeb_service_run(g_scm_host);
}
#endif

}  // namespace

int zeb_service_role() {
  if (env_is_one("ZEB_SERVICE_FOREGROUND")) return run_foreground();
  DWORD error = ERROR_CALL_NOT_IMPLEMENTED;
#ifdef ZEB_HAVE_SCM
  static char name[] = "ZEB Service";
  SERVICE_TABLE_ENTRYA table[] = {{name, scm_service_main}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherA(table)) return 0;
  error = GetLastError();
#endif
  fprintf(stderr, "ZEB-ERROR, StartServiceCtrlDispatcher() failed, error=%ld\n",
          static_cast<long>(error));
  printf("ZEB-INFO, try zeb /? for more info\n");
  return 87;
}
