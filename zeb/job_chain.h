// Chaining: when a job's run ends, its successors start. A successor of job
// NAME is a job named NAME, an underscore and one more character (case
// ignored): "S" starts after exit code 0, "F" after any other, "A" after
// every run. A successor that is running or paused is not started.
#pragma once

#include <vector>

#include "zeb/job_table.h"

// True when `candidate` is a successor of `ended` that this exit code starts
// (running and paused are not looked at here).
bool job_chain_follows(const char* ended, const char* candidate, LONG exit_code);

// Slots to start, in index order, after the run of the job named `ended`
// ended with `exit_code`. A run whose end was not seen (JOB_STILL_ACTIVE,
// the service stopped waiting) starts none.
std::vector<int> job_chain_successors(const JobTable& table, const char* ended, LONG exit_code);
