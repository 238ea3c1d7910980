// The registry store of the jobs: under the service key, subkey "Jobs" of
// class "ZEB Jobs", one REG_BINARY value per job named after the job and
// holding the first 340 bytes of its record (the runtime fields are not
// stored). The service is the only writer.
#pragma once

#include "platform/registry/registry.h"
#include "zeb/job_table.h"

// Opens the service key on `machine` ("\\NAME", "NAME", or null/empty for
// the local machine) through RegConnectRegistryA. The key is not created:
// installing the service makes it.
LONG zeb_open_service_key(const char* machine, REGSAM access, HKEY* key);

// Opens "Jobs" below the service key, creating it (class "ZEB Jobs") when
// it is missing.
LONG job_store_open(HKEY service_key, HKEY* jobs);

struct JobLoadResult {
  int loaded = 0;   // records put into slots 0, 1, ...
  int skipped = 0;  // values that are no job record (see job_store_load)
  // Why loading ended: ERROR_NO_MORE_ITEMS after the last value,
  // ERROR_MORE_DATA at a value whose name or data is too long, ERROR_SUCCESS
  // when 64 jobs were loaded, else the registry's error.
  LONG end = ERROR_NO_MORE_ITEMS;
};

// Fills the table from slot 0 in the values' enumeration order and zeroes
// the other slots. Name (at most 31 characters) and data (at most 340
// bytes) are read in one enumeration call; a value for which that fails -
// a longer name or longer data - ends the loading there, and so do 64
// loaded jobs. A value that reads but is no record - fewer than 340 bytes,
// a type other than REG_BINARY, or the unnamed default value - is skipped
// and left in the registry: its other fields would be zeros, not a job.
// Loaded records get their name from the value name, their text fields
// terminated and their runtime fields cleared.
JobLoadResult job_store_load(HKEY jobs, JobTable* table);

// Writes bytes 0..339 of the record under its name. A record without a name
// is refused (ERROR_INVALID_PARAMETER): it would land in the default value.
LONG job_store_save(HKEY jobs, const JobRecord& rec);

// Deletes the value of the job `name` (ERROR_FILE_NOT_FOUND when absent;
// an empty name is refused with ERROR_INVALID_PARAMETER).
LONG job_store_delete(HKEY jobs, const char* name);
