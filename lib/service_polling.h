// Waiting for a service to reach a state: the status is polled at a fixed
// interval a limited number of times, with a "." for each poll, and the
// wait ends with "done" or "TIMEOUT" on standard output.
#pragma once

#include "platform/services/services.h"

// The usual wait (stop, pause, resume) and the longer one for a start.
constexpr int SERVICE_POLL_COUNT = 20;
constexpr DWORD SERVICE_POLL_INTERVAL_MS = 500;
constexpr int SERVICE_START_POLL_COUNT = 60;
constexpr DWORD SERVICE_START_POLL_INTERVAL_MS = 1000;

// Polls `service` every `interval_ms` for at most `count` times until its
// current state is `wanted`. Prints "." per poll, then "done\n" and returns
// true, or "TIMEOUT\n" and returns false (also when the status cannot be
// read any more).
bool poll_service_state(SC_HANDLE service, DWORD wanted, int count, DWORD interval_ms);
