// The service's table of 64 job records. A slot whose name is empty is free;
// the slot index is the job's identity while the service runs. Deleting a
// job zeroes its slot and slots are never compacted. The table is not
// locked here: its owner holds `jobs_free` around every use.
#pragma once

#include "zeb/job_record.h"

enum class JobAddResult {
  added,
  exists,        // a job of that name, in any letter case, is stored
  full,          // no free slot: "Maximum jobs reached"
  invalid_name,  // an empty name would leave the slot free
};

class JobTable {
 public:
  JobTable() { clear(); }

  JobRecord& at(int slot) { return slots_[slot]; }
  const JobRecord& at(int slot) const { return slots_[slot]; }
  static bool valid_slot(int slot) { return slot >= 0 && slot < JOB_MAX; }

  // Zeroes every slot.
  void clear();
  // Number of slots in use.
  int count() const;
  // The lowest free slot, or -1 when all 64 are used.
  int lowest_free() const;
  // The slot whose name equals `name` with case ignored, or -1.
  int find(const char* name) const;
  // The first slot at or after `from` whose name matches the wildcard
  // pattern (`*`, `?`, case ignored), or -1. Free slots never match.
  int next_match(const char* pattern, int from) const;

  // Copies the record into the lowest free slot (name terminated) and
  // gives its index; a name that is stored already, in any letter case,
  // is refused before a full table is.
  JobAddResult add(const JobRecord& rec, int* slot);
  // Zeroes the slot.
  void remove(int slot);

 private:
  JobRecord slots_[JOB_MAX];
};

static_assert(sizeof(JobTable) == JOB_MAX * JOB_RECORD_SIZE);
