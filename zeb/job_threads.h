// The job threads of the service: one per run. A job thread starts the
// `ZebJob` process ("zeb SpAwN ...") for the record of its slot, records
// the start, waits for the end of the run, records its exit code and starts
// the job's successors (NAME_S, NAME_F, NAME_A).
#pragma once

#include <string>

#include "zeb/service_state.h"

// The stack a job thread asks for.
constexpr size_t ZEB_JOB_THREAD_STACK = 10240;

// The command line of a run: the executable, then
// " SpAwN *%ld*%ld*%ld*%ld*%s*%s" with the inheritable event handle, the
// interactive flag, the flags, the account index, the job name and the
// job's command line. An executable path holding a blank is quoted.
std::string zeb_spawn_command_line(const std::string& exe, long event_handle, bool interactive,
                                   const JobRecord& rec);

// Starts a job thread for the slot. The caller holds `jobs_free`; the
// slot counts as busy from now until the thread has recorded the start or
// given it up. False (with the last error) when the thread cannot be made.
bool zeb_start_job(ZebService& service, int slot);

// Starts every successor of the job `ended` that the exit code calls for.
// The caller holds `jobs_free`.
void zeb_start_successors(ZebService& service, const std::string& ended, LONG exit_code);
