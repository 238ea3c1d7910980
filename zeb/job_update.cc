#include "zeb/job_update.h"

#include "zeb/schedule.h"

JobAddResult job_table_add(JobTable* table, const JobRecord& rec, const char* user, uint64_t now,
                           int* slot) {
  JobRecord copy = rec;
  job_record_terminate(&copy);
  job_clear_runtime(&copy);
  job_set_creator(&copy, user);
  job_set_modified_by(&copy, user);
  job_set_time(&copy.modified_at, now);
  job_compute_next_run(&copy, now);
  return table->add(copy, slot);
}

JobAddResult job_table_set(JobTable* table, int slot, const JobRecord& incoming, const char* user,
                           uint64_t now) {
  // A slot freed since the client read it is not brought back to life.
  if (!JobTable::valid_slot(slot) || job_is_free(table->at(slot))) return JobAddResult::invalid_name;
  JobRecord copy = incoming;
  job_record_terminate(&copy);
  std::string name = job_name(copy);
  if (name.empty()) return JobAddResult::invalid_name;
  int holder = table->find(name.c_str());
  if (holder >= 0 && holder != slot) return JobAddResult::exists;

  const JobRecord& current = table->at(slot);
  copy.process_id = current.process_id;
  copy.stop_event = current.stop_event;
  copy.flags = (copy.flags & ~JOB_RUNNING) | (current.flags & JOB_RUNNING);
  copy.last_run = current.last_run;
  copy.last_exit_code = current.last_exit_code;
  job_set_modified_by(&copy, user);
  job_set_time(&copy.modified_at, now);
  job_compute_next_run(&copy, now);
  table->at(slot) = copy;
  return JobAddResult::added;
}
