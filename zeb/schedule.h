// Schedule arithmetic of the job records, as pure functions of a record and
// a local FILETIME "now". Times are compared on year, month, day, hour and
// minute only: two times are "the same minute" when they fall in the same
// calendar minute, and one is "after" another when its minute is later.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"
#include "zeb/job_record.h"

// The minute a local FILETIME count falls in.
constexpr uint64_t job_minute(uint64_t t) { return t / 600000000ull; }
inline bool job_same_minute(uint64_t a, uint64_t b) { return job_minute(a) == job_minute(b); }
inline bool job_after(uint64_t a, uint64_t b) { return job_minute(a) > job_minute(b); }
inline bool job_before(uint64_t a, uint64_t b) { return job_minute(a) < job_minute(b); }

// True when the weekday, day of month and hour of `t` all have their bits
// set in the record's masks (false for a time that forms no calendar date).
bool job_time_permitted(const JobRecord& rec, uint64_t t);

// Next run after an add or a set. Interval 0 keeps the next run as given.
// Otherwise, from N = next run: N after now and permitted ends the search;
// else N in a year before now's becomes today 00:00; the interval is added;
// and this repeats while N's year is before 2100. A next run that forms no
// calendar date ("never") is left as it is.
void job_compute_next_run(JobRecord* rec, uint64_t now);

struct JobTick {
  bool start = false;             // due now, neither running nor paused
  bool next_run_changed = false;  // the record's next run was rewritten
};

// One pass of the once-a-minute loop over one record (a used slot):
//   - next run after now: nothing happens;
//   - interval 0: next run is cleared; a run of an earlier minute is
//     dropped, one of this minute is due;
//   - last run in this minute (started by command): nothing more happens;
//   - interval set: due when next run is this minute; the next run moves
//     in whole intervals past now to a permitted time, the search ending
//     when a step leaves now's year and the next. A next run of an earlier
//     year is carried past now in one go, so a long-stopped service does
//     not creep forward one interval per pass;
//   - a due job starts unless it is running or paused.
// Missed runs are never made up: after the pass the next run lies past now.
JobTick job_schedule_tick(JobRecord* rec, uint64_t now);
