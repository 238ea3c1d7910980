#include "zeb/job_table.h"

#include <cstring>

#include "lib/wildcard.h"
#include "zeb/zeb_text.h"

void JobTable::clear() { memset(slots_, 0, sizeof slots_); }

int JobTable::count() const {
  int n = 0;
  for (const JobRecord& rec : slots_) {
    if (!job_is_free(rec)) ++n;
  }
  return n;
}

int JobTable::lowest_free() const {
  for (int i = 0; i < JOB_MAX; ++i) {
    if (job_is_free(slots_[i])) return i;
  }
  return -1;
}

int JobTable::find(const char* name) const {
  if (name == nullptr || *name == '\0') return -1;
  for (int i = 0; i < JOB_MAX; ++i) {
    if (!job_is_free(slots_[i]) && zeb_equal_nocase(job_name(slots_[i]), name)) return i;
  }
  return -1;
}

int JobTable::next_match(const char* pattern, int from) const {
  for (int i = from < 0 ? 0 : from; i < JOB_MAX; ++i) {
    if (job_is_free(slots_[i])) continue;
    std::string name = job_name(slots_[i]);
    if (match_wildcard(name.c_str(), pattern, 0)) return i;
  }
  return -1;
}

JobAddResult JobTable::add(const JobRecord& rec, int* slot) {
  std::string name = job_name(rec);
  if (name.empty()) return JobAddResult::invalid_name;
  if (find(name.c_str()) >= 0) return JobAddResult::exists;
  int free_slot = lowest_free();
  if (free_slot < 0) return JobAddResult::full;
  slots_[free_slot] = rec;
  job_record_terminate(&slots_[free_slot]);
  if (slot) *slot = free_slot;
  return JobAddResult::added;
}

void JobTable::remove(int slot) {
  if (valid_slot(slot)) memset(&slots_[slot], 0, sizeof slots_[slot]);
}
