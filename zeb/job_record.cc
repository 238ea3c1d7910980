#include "zeb/job_record.h"

#include <bit>
#include <cstring>
#include <type_traits>

#include "zeb/zeb_text.h"

static_assert(std::endian::native == std::endian::little,
              "the job record is stored and sent in the host's byte order");
static_assert(std::is_standard_layout_v<JobRecord> && std::is_trivially_copyable_v<JobRecord>);
static_assert(sizeof(JobRecord) == JOB_RECORD_SIZE);
static_assert(offsetof(JobRecord, command) == 0);
static_assert(offsetof(JobRecord, creator) == 256);
static_assert(offsetof(JobRecord, modified_by) == 272);
static_assert(offsetof(JobRecord, account_index) == 288);
static_assert(offsetof(JobRecord, last_exit_code) == 292);
static_assert(offsetof(JobRecord, day_mask) == 296);
static_assert(offsetof(JobRecord, weekday_mask) == 300);
static_assert(offsetof(JobRecord, hour_mask) == 304);
static_assert(offsetof(JobRecord, modified_at) == 308);
static_assert(offsetof(JobRecord, last_run) == 316);
static_assert(offsetof(JobRecord, next_run) == 324);
static_assert(offsetof(JobRecord, interval) == 332);
static_assert(offsetof(JobRecord, flags) == 336);
static_assert(offsetof(JobRecord, process_id) == JOB_STORED_SIZE);
static_assert(offsetof(JobRecord, stop_event) == 344);
static_assert(offsetof(JobRecord, name) == 348);
static_assert(sizeof(FILETIME) == 8);

void job_record_init(JobRecord* rec) {
  memset(rec, 0, sizeof *rec);
  rec->last_exit_code = JOB_NO_RESULT;
  rec->day_mask = JOB_ALL_DAYS;
  rec->weekday_mask = JOB_ALL_WEEKDAYS;
  rec->hour_mask = JOB_ALL_HOURS;
}

void job_set_command(JobRecord* rec, const char* text) {
  zeb_copy_cut(rec->command, sizeof rec->command, text);
}
void job_set_creator(JobRecord* rec, const char* text) {
  zeb_copy_cut(rec->creator, sizeof rec->creator, text);
}
void job_set_modified_by(JobRecord* rec, const char* text) {
  zeb_copy_cut(rec->modified_by, sizeof rec->modified_by, text);
}
void job_set_name(JobRecord* rec, const char* text) {
  zeb_copy_cut(rec->name, sizeof rec->name, text);
}

std::string job_command(const JobRecord& rec) { return zeb_field(rec.command, sizeof rec.command); }
std::string job_creator(const JobRecord& rec) { return zeb_field(rec.creator, sizeof rec.creator); }
std::string job_modified_by(const JobRecord& rec) {
  return zeb_field(rec.modified_by, sizeof rec.modified_by);
}
std::string job_name(const JobRecord& rec) { return zeb_field(rec.name, sizeof rec.name); }

void job_record_terminate(JobRecord* rec) {
  rec->command[sizeof rec->command - 1] = '\0';
  rec->creator[sizeof rec->creator - 1] = '\0';
  rec->modified_by[sizeof rec->modified_by - 1] = '\0';
  rec->name[sizeof rec->name - 1] = '\0';
}

void job_record_encode(const JobRecord& rec, BYTE out[JOB_RECORD_SIZE]) {
  memcpy(out, &rec, JOB_RECORD_SIZE);
}

bool job_record_decode(const BYTE* data, size_t size, JobRecord* rec) {
  if (data == nullptr || rec == nullptr || size != JOB_RECORD_SIZE) return false;
  memcpy(rec, data, JOB_RECORD_SIZE);
  job_record_terminate(rec);
  return true;
}

const char* job_state_word(DWORD flags) {
  if (flags & JOB_RUNNING) return "RUNNING";
  if (flags & JOB_PAUSED) return "PAUSED";
  return "IDLE";
}

char job_state_char(DWORD flags) {
  if (flags & JOB_RUNNING) return '*';
  if (flags & JOB_PAUSED) return '-';
  return ' ';
}

void job_clear_runtime(JobRecord* rec) {
  rec->process_id = 0;
  rec->stop_event = 0;
  rec->flags &= ~JOB_RUNNING;
}

void job_mark_started(JobRecord* rec, DWORD process_id, DWORD stop_event, uint64_t now) {
  rec->process_id = process_id;
  rec->stop_event = stop_event;
  rec->flags |= JOB_RUNNING;
  job_set_time(&rec->last_run, now);
  rec->last_exit_code = JOB_NO_RESULT;
}

void job_mark_ended(JobRecord* rec, LONG exit_code) {
  job_clear_runtime(rec);
  if (exit_code != JOB_STILL_ACTIVE) rec->last_exit_code = exit_code;
}
