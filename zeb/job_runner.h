// The ZebJob process: one run of one job. The service starts its own
// executable as
//   zeb SpAwN *<DoneEvent>*<interactive>*<flags>*<account>*<name>*<command>
// This process opens the job's I/O files, logs the job's account on,
// prepares a desktop, starts the command line and follows it (with the
// whole tree of processes it starts, unless JOB_NO_DEBUG), records the run
// in the OUT file and exits with the job's exit code. A signalled DoneEvent
// while the run goes on ends the tracked processes, newest first, with
// exit code 1067.
#pragma once

int zeb_job_runner_main(int argc, char** argv);
