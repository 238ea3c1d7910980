// The service's scheduler: once a minute, at the start of the minute, it
// walks the job table under `jobs_free` and starts the jobs that are due.
#pragma once

#include <cstdint>

#include "zeb/service_state.h"

// One pass over the table at local time `now`: next runs advanced, one-time
// runs of an earlier minute dropped, due jobs started unless running,
// starting or paused. A lock time-out logs the semaphore event and skips
// the pass (false).
bool zeb_scheduler_pass(ZebService& service, uint64_t now);

// Milliseconds from `now` to the start of the next minute: (60 - seconds)
// x 1000.
DWORD zeb_wait_to_next_minute(uint64_t now);

// Runs passes until the stop event is signalled; no pass while PAUSED.
void zeb_scheduler_loop(ZebService& service);

// Starts every job with JOB_AUTOSTART and without JOB_PAUSED. The caller
// holds `jobs_free`. The number of jobs started.
int zeb_autostart_jobs(ZebService& service);
