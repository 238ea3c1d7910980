// The registry of process ends that every process of the network can read.
//
// Linux keeps only eight bits of an exit status, tells the status only to
// the parent, and knows nothing of the code that TerminateProcess gives. So
// the layer writes what it knows into small files under the network
// directory, <network>/run/processes/<pid>-<start>, keyed by the process id
// and its start time (clock ticks after boot, /proc/<pid>/stat) so that a
// reused id never reads another process's record. Lines, each appended with
// one write:
//
//   terminate <code>   TerminateProcess was called with <code> (written
//                      before the process is killed)
//   exit <code>        ExitProcess was called with a code beyond 8 bits
//   final <code>       the exit code as the parent determined it, written
//                      just before the parent reaps the process
//
// The last line of each kind counts. Records older than a day are removed
// now and then.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/win32_types.h"

struct NtProcessRecord {
  bool terminated = false;
  DWORD terminate_code = 0;
  bool exit_set = false;
  DWORD exit_code = 0;
  bool final_set = false;
  DWORD final_code = 0;
};

// The start time of a process (field 22 of /proc/<pid>/stat); 0 when the
// process does not exist.
uint64_t nt_process_start_time(pid_t pid);

// What /proc says of an ended process that is not reaped yet: true and the
// raw wait status when `pid` is a zombie with that start time.
bool nt_process_zombie_status(pid_t pid, uint64_t start, int* wait_status);

// Appends one line to the record of (pid, start); false when it cannot be
// written.
bool nt_record_process_line(pid_t pid, uint64_t start, const char* kind, DWORD code);

bool nt_read_process_record(pid_t pid, uint64_t start, NtProcessRecord* record);

// The folder of the records.
std::string nt_process_records_dir();
