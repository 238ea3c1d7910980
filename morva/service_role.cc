#include "morva/service_role.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "morva/event_log.h"
#include "morva/morva_names.h"
#include "morva/profile_value.h"
#include "morva/registry_import.h"
#include "morva/version.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"
#include "platform/sync/event.h"
#include "platform/sync/waitable.h"

namespace {

constexpr DWORD kStartWaitHint = 3000;
constexpr DWORD kStopWaitHint = 5000;
constexpr DWORD kDefaultStopDelayMs = 10000;
constexpr DWORD kMaxStopDelayMs = 600000;

// The running service: its state as last reported and the event that ends
// its wait. Controls and the service thread report under the lock, so a
// control never reports after STOPPED.
struct ServiceState {
  std::mutex lock;
  MorvaServiceHost* host = nullptr;
  DWORD state = SERVICE_STOPPED;
  HANDLE stop_event = nullptr;
};

ServiceState g_service;

void report_locked(DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code) {
  g_service.state = state;
  if (g_service.host != nullptr && g_service.host->report) {
    g_service.host->report(state, check_point, wait_hint, exit_code);
  }
}

void report(DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code = 0) {
  std::lock_guard<std::mutex> guard(g_service.lock);
  report_locked(state, check_point, wait_hint, exit_code);
}

// Logs the failed call and reports STOPPED with its error.
DWORD fail(DWORD error, const std::string& call) {
  morva_log_api_error(static_cast<long>(error), call);
  report(SERVICE_STOPPED, 0, 0, error);
  return error;
}

}  // namespace

DWORD morva_stop_delay_ms() {
  const char* text = std::getenv("MORVA_STOP_DELAY_MS");
  if (text == nullptr || *text == '\0') return kDefaultStopDelayMs;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || text[0] == '-') return kDefaultStopDelayMs;
  return value > kMaxStopDelayMs ? kMaxStopDelayMs : static_cast<DWORD>(value);
}

DWORD morva_state_after_control(DWORD state, DWORD control) {
  if (state != SERVICE_RUNNING && state != SERVICE_PAUSED) return state;
  if (control == SERVICE_CONTROL_PAUSE) return SERVICE_PAUSED;
  if (control == SERVICE_CONTROL_INTERROGATE) return state;
  return SERVICE_RUNNING;
}

void morva_service_control(DWORD control) {
  std::lock_guard<std::mutex> guard(g_service.lock);
  if (g_service.host == nullptr) return;
  if (control == SERVICE_CONTROL_STOP) {
    if (g_service.state == SERVICE_STOPPED) return;
    report_locked(SERVICE_STOP_PENDING, 1, kStopWaitHint, 0);
    if (g_service.stop_event != nullptr) SetEvent(g_service.stop_event);
    return;
  }
  DWORD state = g_service.state;
  if (state == SERVICE_STOPPED || state == SERVICE_START_PENDING) return;
  if (state == SERVICE_STOP_PENDING) {
    report_locked(state, 1, kStopWaitHint, 0);
    return;
  }
  report_locked(morva_state_after_control(state, control), 0, 0, 0);
}

DWORD morva_service_run(MorvaServiceHost& host) {
  {
    std::lock_guard<std::mutex> guard(g_service.lock);
    g_service.host = &host;
    g_service.state = SERVICE_START_PENDING;
    g_service.stop_event = nullptr;
  }
  DWORD step = 0;
  auto pending = [&]() { report(SERVICE_START_PENDING, ++step, kStartWaitHint); };

  pending();  // 1
  std::string version = morva_program_version();
  pending();  // 2
  // A source that cannot be registered only costs the texts of the events.
  morva_register_event_source();
  pending();  // 3
  if (host.register_handler && !host.register_handler()) {
    return fail(GetLastError(), std::string("RegisterServiceCtrlHandler(") + MORVA_SERVICE_NAME + ")");
  }
  pending();  // 4
  HANDLE stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (stop_event == nullptr) return fail(GetLastError(), "CreateEvent(StopEvent)");
  {
    std::lock_guard<std::mutex> guard(g_service.lock);
    g_service.stop_event = stop_event;
  }
  pending();  // 5
  DWORD stop_delay = morva_stop_delay_ms();
  pending();  // 6
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, MORVA_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key);
  DWORD result = ERROR_SUCCESS;
  std::string failed_call;
  if (rc != ERROR_SUCCESS) {
    result = static_cast<DWORD>(rc);
    failed_call = std::string("RegOpenKeyEx(") + MORVA_SERVICE_KEY + ")";
  } else {
    pending();  // 7
    rc = RegSetValueExA(key, MORVA_VALUE_VERSION, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(version.c_str()),
                        static_cast<DWORD>(version.size() + 1));
    pending();  // 8
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
      result = static_cast<DWORD>(rc);
      failed_call = std::string("RegSetValueEx(") + MORVA_VALUE_VERSION + ")";
    }
  }

  if (result == ERROR_SUCCESS) {
    pending();  // 9
    report(SERVICE_RUNNING, 0, 0);
    ProfileFile profile = read_profile_file(HKEY_LOCAL_MACHINE);
    if (profile.error != ERROR_SUCCESS) {
      result = profile.error;
      failed_call = profile.call;
    } else {
      result = import_registry(profile.file.c_str());
      if (result != ERROR_SUCCESS) failed_call = "ImportRegistry(" + profile.file + ")";
    }
  }
  if (result == ERROR_SUCCESS) WaitForSingleObject(stop_event, stop_delay);

  {
    std::lock_guard<std::mutex> guard(g_service.lock);
    g_service.stop_event = nullptr;
  }
  CloseHandle(stop_event);
  if (result != ERROR_SUCCESS) return fail(result, failed_call);
  report(SERVICE_STOPPED, 0, 0, 0);
  return ERROR_SUCCESS;
}

namespace {

SERVICE_STATUS_HANDLE g_status_handle = 0;
MorvaServiceHost g_scm_host;

void scm_control(DWORD control) { morva_service_control(control); }

void scm_service_main(DWORD, char**) {
  g_scm_host.register_handler = []() {
    g_status_handle = RegisterServiceCtrlHandlerA(MORVA_SERVICE_NAME, scm_control);
    return g_status_handle != 0;
  };
  g_scm_host.report = [](DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code) {
    if (g_status_handle == 0) return;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_START_PENDING || state == SERVICE_STOPPED
            ? 0
            : (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE);
    status.dwWin32ExitCode = exit_code;
    status.dwCheckPoint = check_point;
    status.dwWaitHint = wait_hint;
    SetServiceStatus(g_status_handle, &status);
  };
  morva_service_run(g_scm_host);
}

}  // namespace

int morva_service_role() {
  static char name[] = "ZA Divedido Zodeveza";
  SERVICE_TABLE_ENTRYA table[] = {{name, scm_service_main}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherA(table)) return 0;
  DWORD error = GetLastError();
  fprintf(stderr, "MORVA-ERROR, StartServiceCtrlDispatcher() failed, error=%ld\n",
          static_cast<long>(error));
  printf("MORVA-INFO, try morva /? for more info\n");
  return 87;
}
