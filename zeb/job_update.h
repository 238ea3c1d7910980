// The record side of the add and set commands: what the service does to its
// table under the lock before it saves the job.
#pragma once

#include <cstdint>

#include "zeb/job_table.h"

// Add: the record goes into the lowest free slot with creator and
// modified-by set to `user`, modified-at to `now` and its next run computed.
// The runtime fields (process id, stop event, JOB_RUNNING) that came with
// it are cleared: only the service sets them, and a job that arrived marked
// as running could never be started, stopped or deleted.
JobAddResult job_table_add(JobTable* table, const JobRecord& rec, const char* user, uint64_t now,
                           int* slot);

// Set: the incoming record replaces the slot whole, except for what the
// service owns: the runtime fields, the last run and the last exit code stay
// as the slot holds them (a run may have started or ended since the client
// read the record). Modified-by and modified-at are set and the next run
// computed. A new name that another slot holds already (any letter case) is
// refused with `exists`; an empty name, or a slot that is free (the job was
// deleted meanwhile), with `invalid_name`. A refused set changes nothing.
JobAddResult job_table_set(JobTable* table, int slot, const JobRecord& incoming, const char* user,
                           uint64_t now);
