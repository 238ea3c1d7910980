// The scheduler's job record: 380 bytes, little-endian, the same bytes in
// the service's table, on the command pipe and (its first 340 bytes) in the
// registry. The struct below is that layout; the static_asserts in
// job_record.cc pin every offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32_types.h"

constexpr size_t JOB_RECORD_SIZE = 380;
// Bytes kept in the registry: everything before the process id.
constexpr size_t JOB_STORED_SIZE = 340;
constexpr int JOB_MAX = 64;

// Field limits in characters (bytes of the ANSI page), terminator excluded.
constexpr size_t JOB_COMMAND_MAX = 255;
constexpr size_t JOB_USER_MAX = 15;
constexpr size_t JOB_NAME_MAX = 31;

constexpr DWORD JOB_PAUSED = 0x01;
constexpr DWORD JOB_RUNNING = 0x02;
constexpr DWORD JOB_OWN_DESKTOP = 0x04;
constexpr DWORD JOB_NO_DEBUG = 0x08;
constexpr DWORD JOB_AUTOSTART = 0x10;

constexpr DWORD JOB_ALL_DAYS = 0xFFFFFFFEu;  // days 1..31
constexpr DWORD JOB_ALL_WEEKDAYS = 0x7Fu;    // 0 = Sunday .. 6 = Saturday
constexpr DWORD JOB_ALL_HOURS = 0x00FFFFFFu; // 0..23

// Last exit code of a job that never ran or is running.
constexpr LONG JOB_NO_RESULT = -1;
// Exit code a process reports while it is still alive.
constexpr LONG JOB_STILL_ACTIVE = 259;

struct JobRecord {
  char command[256];      //   0: command line, NUL-terminated
  char creator[16];       // 256: user who added the job
  char modified_by[16];   // 272: user who last added or set it
  DWORD account_index;    // 288: job account, 0 = the service's own
  LONG last_exit_code;    // 292: JOB_NO_RESULT when none
  DWORD day_mask;         // 296: bit d = day d of the month (1..31)
  DWORD weekday_mask;     // 300: bit w = weekday w (0 = Sunday)
  DWORD hour_mask;        // 304: bit h = hour h
  FILETIME modified_at;   // 308: local time of the last add or set
  FILETIME last_run;      // 316: local time of the last start
  FILETIME next_run;      // 324: next scheduled start, 0 = none
  DWORD interval;         // 332: minutes, 0 = runs once
  DWORD flags;            // 336: JOB_* bits
  DWORD process_id;       // 340: ZebJob process while running (not stored)
  DWORD stop_event;       // 344: service's DoneEvent handle while running (not stored)
  char name[32];          // 348: job name, empty = free slot
};

// A record as a new job starts: all zero, no result, every day, weekday and
// hour allowed.
void job_record_init(JobRecord* rec);

// A slot whose name is empty is free, whatever else it holds.
inline bool job_is_free(const JobRecord& rec) { return rec.name[0] == '\0'; }

// Setters cut the text at the field's limit (never splitting a character)
// and zero the rest of the field.
void job_set_command(JobRecord* rec, const char* text);
void job_set_creator(JobRecord* rec, const char* text);
void job_set_modified_by(JobRecord* rec, const char* text);
void job_set_name(JobRecord* rec, const char* text);

// Getters never read past the field, terminated or not.
std::string job_command(const JobRecord& rec);
std::string job_creator(const JobRecord& rec);
std::string job_modified_by(const JobRecord& rec);
std::string job_name(const JobRecord& rec);

// Puts a terminator into the last byte of every text field. Records that
// come from outside (the pipe, the registry) go through this, so a field
// without its NUL never runs into the next one.
void job_record_terminate(JobRecord* rec);

// The 380 bytes of a record, and back. Decoding refuses any other size and
// terminates the text fields.
void job_record_encode(const JobRecord& rec, BYTE out[JOB_RECORD_SIZE]);
bool job_record_decode(const BYTE* data, size_t size, JobRecord* rec);

// "RUNNING" wins over "PAUSED"; neither bit is "IDLE".
const char* job_state_word(DWORD flags);
// '*' running, '-' paused, ' ' idle.
char job_state_char(DWORD flags);

inline uint64_t job_time(const FILETIME& t) { return filetime_to_u64(t); }
inline void job_set_time(FILETIME* field, uint64_t value) { *field = u64_to_filetime(value); }

// The fields that live only while the service runs: process id, stop event
// and JOB_RUNNING. Cleared when the table is loaded.
void job_clear_runtime(JobRecord* rec);

// A run starts: process id, stop event, JOB_RUNNING, last run = now and no
// result yet.
void job_mark_started(JobRecord* rec, DWORD process_id, DWORD stop_event, uint64_t now);
// A run ended: the runtime fields are cleared and the exit code stored,
// unless it is JOB_STILL_ACTIVE (the end was not seen).
void job_mark_ended(JobRecord* rec, LONG exit_code);

// Started with the service: autostart set and not paused.
inline bool job_autostarts(const JobRecord& rec) {
  return (rec.flags & JOB_AUTOSTART) != 0 && (rec.flags & JOB_PAUSED) == 0;
}
