// The ~ fields of the job commands for the format engine: one job line, the
// line per server after its jobs and the totals line; and the object table
// that the job criteria (-c -I -A -u -s) are matched against.
#pragma once

#include <cstdint>
#include <string>

#include "lib/arg_spec.h"
#include "zeb/job_record.h"

constexpr const char* ZEB_JOB_FORMAT_DEFAULT = "~z~-.20N ~-.20c ~t ~i";

// The values of one job, and the tables that point at them. Not copyable:
// the tables point into the object.
struct ZebJobFields {
  ZebJobFields(const JobRecord& rec, const std::string& server, const std::string& account);
  ZebJobFields(const ZebJobFields&) = delete;
  ZebJobFields& operator=(const ZebJobFields&) = delete;

  char server[ARG_TEXT_SIZE];
  char name[ARG_TEXT_SIZE];
  char creator[ARG_TEXT_SIZE];
  char command[ARG_TEXT_SIZE];
  char interval[ARG_TEXT_SIZE];   // "%ld %02ld:%02ld" days, hours, minutes
  int32_t minutes;
  uint32_t weekdays, days, hours;
  FILETIME next_run, last_run, modified_at;
  char exit_code[ARG_TEXT_SIZE];  // "UNDEFINED" for no result
  char modified_by[ARG_TEXT_SIZE];
  char short_state[2];
  char long_state[ARG_TEXT_SIZE];
  int32_t interactive, autostart, debugged;
  char account[ARG_TEXT_SIZE];    // "domain\user", "0" for the service's own

  ArgSpec table[21];     // every ~ field of a job line
  ArgSpec criteria[6];   // c I A u s
};

// The line after the jobs of one server: ~D domain, ~S server, ~T jobs.
struct ZebServerJobFields {
  ZebServerJobFields(const std::string& domain, const std::string& server, long jobs);
  ZebServerJobFields(const ZebServerJobFields&) = delete;
  ZebServerJobFields& operator=(const ZebServerJobFields&) = delete;
  char domain[ARG_TEXT_SIZE];
  char server[ARG_TEXT_SIZE];
  int32_t jobs;
  ArgSpec table[4];
};

// The totals line: ~S servers, ~T jobs.
struct ZebJobTotalsFields {
  ZebJobTotalsFields(long servers, long jobs);
  ZebJobTotalsFields(const ZebJobTotalsFields&) = delete;
  ZebJobTotalsFields& operator=(const ZebJobTotalsFields&) = delete;
  int32_t servers;
  int32_t jobs;
  ArgSpec table[3];
};

// "%ld %02ld:%02ld" of an interval in minutes.
std::string zeb_interval_text(DWORD minutes);

// The format of a kind of line: the one given on the command line, else
// the environment variable (at most 255 characters), else `fallback`.
std::string zeb_pick_format(const std::string& given, const char* variable,
                            const char* fallback);
