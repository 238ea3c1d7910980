// The variables a job's process receives after the runner's own
// environment: its name, account and I/O files, and the date and time of
// the start of the run in many forms.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "zeb/job_io_files.h"

// The variables as "NAME=value" texts in their fixed order, for the local
// time `start` (its weekday is computed from the date; wDayOfWeek is not
// read). An empty or null account user gives "ZEBuser=DEFAULT". Fails when
// `start` forms no calendar date.
bool job_environment_variables(const SYSTEMTIME& start, const char* job_name,
                               const char* account_user, const JobIoFiles& files,
                               std::vector<std::string>* variables);

// An environment block (each "NAME=value" ended by a NUL, the block by one
// more) with the inherited entries first and the job's variables after
// them. An inherited entry whose name one of the job's variables has (case
// ignored, as NT names are) is left out, so the job sees the fresh value
// and not a stale one from an outer run.
std::string job_environment_block(const char* const* inherited,
                                  const std::vector<std::string>& variables);
