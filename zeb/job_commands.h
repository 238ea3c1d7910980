// The job commands of the client: add, set, del, start, stop, pause,
// resume, clean, switch and show over the command pipe of every server of
// the loop.
#pragma once

#include "zeb/client_args.h"

// Runs the job command `args.command` on the jobs `args.target` names
// ("\\server*\job*" or "job*"). Prints every line; returns the exit code:
// 0 when a job got a success reply, 2 when none did. A failed option check
// ends the work on each server and so leads to 2; the parser's own errors
// (87) never reach here.
int zeb_job_command(const ZebClientArgs& args);
