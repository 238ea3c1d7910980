// The service role of morva ("ZA Divedido Zodeveza"): started without
// arguments, it reports its start in nine steps, applies the registry change
// file of the current hardware profile, waits and stops. Failures go to the
// Application event log as API error events and become the exit code that
// STOPPED reports.
#pragma once

#include <functional>

#include "platform/win32_types.h"

// How the service meets its controller.
struct MorvaServiceHost {
  // SetServiceStatus: state, check point, wait hint, exit code.
  std::function<void(DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code)> report;
  // RegisterServiceCtrlHandler: false (with the last error) on failure.
  std::function<bool()> register_handler;
};

// How long the service stays RUNNING after a successful import before it
// stops: 10000 ms, or the number of milliseconds in MORVA_STOP_DELAY_MS
// (decimal, at most 600000) for tests.
DWORD morva_stop_delay_ms();

// Runs the service to its end; returns the exit code it reported with
// STOPPED (0 or the error of the failed call).
DWORD morva_service_run(MorvaServiceHost& host);

// The control handler: stop reports STOP_PENDING and ends the wait; pause
// of a running service reports PAUSED; every other control reports RUNNING
// when the service runs or is paused, else repeats the current state.
void morva_service_control(DWORD control);

// The state a control leads to (stop excluded): `state` when nothing
// changes.
DWORD morva_state_after_control(DWORD state, DWORD control);

// Hands the process to the service control manager; the process exit code
// (87 with an error line when there is no service control manager to talk
// to).
int morva_service_role();
