// The service role of zeb (`ZEB Service`): start-up in nine reported steps,
// the control handler (stop, pause, continue), the scheduler loop, and the
// stop. The service runs under the service control manager, or - for tests
// and for debugging - in the foreground when the environment variable
// ZEB_SERVICE_FOREGROUND is 1: status reports then go to standard output as
// "STATE <n> <check point>" lines and the signals SIGTERM/SIGINT stop,
// SIGUSR1 pauses and SIGUSR2 continues the service (ZEB_SERVICE_INTERACTIVE=1
// makes it interactive).
#pragma once

#include <functional>

#include "zeb/service_state.h"

constexpr DWORD ZEB_CONTROL_STOP = 1;
constexpr DWORD ZEB_CONTROL_PAUSE = 2;
constexpr DWORD ZEB_CONTROL_CONTINUE = 3;
constexpr DWORD ZEB_CONTROL_INTERROGATE = 4;

// How the service meets its controller.
struct ZebServiceHost {
  // SetServiceStatus: state, check point, wait hint, exit code.
  std::function<void(DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code)> report;
  // RegisterServiceCtrlHandler: false (with the last error) on failure.
  std::function<bool()> register_handler;
  // The interactive flag of the service's configuration.
  std::function<bool()> interactive;
};

// The version string of the running program (string resources 2 and 3).
std::string zeb_program_version();

// Runs the service to its end; the exit code it reported.
DWORD zeb_service_run(ZebServiceHost& host);

// The control handler; calls the host's report.
void zeb_service_control(DWORD control);

// What the new state is for a control in state `state` (pure; RUNNING
// when nothing changes a running service). Stop is not handled here.
DWORD zeb_state_after_control(DWORD state, DWORD control);

// Role 1: the foreground host when ZEB_SERVICE_FOREGROUND=1, else the
// service control manager. The process exit code.
int zeb_service_role();
