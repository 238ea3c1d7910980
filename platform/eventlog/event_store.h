// The event logs of a machine in its store.
//
// Tables of the subsystem "eventlog" (version 1):
//   eventlog_records(log, record_number, record)   one row an event; record
//       is the wide EVENTLOGRECORD layout (event_record.h), byte for byte
//   eventlog_logs(log, generation)                 one row a log that was
//       ever cleared; generation counts the clears
// The calls take the store's lock for their database work only, never
// across file access (which may need the same machine's store).
// `log` is one of the names nt_event_log_name gives. Record numbers count
// from 1 in each log and start at 1 again after a clear. Every write is one
// transaction, so writers of several processes never share a number.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/eventlog/event_record.h"
#include "platform/network/machine_store.h"
#include "platform/kernel/error.h"
#include "platform/win32_types.h"

// The logs every machine has.
constexpr const char* NT_LOG_APPLICATION = "Application";
constexpr const char* NT_LOG_SYSTEM = "System";
constexpr const char* NT_LOG_SECURITY = "Security";

// The log a name stands for: Application, System or Security, case
// ignored; any other name is the Application log, as on NT.
std::string nt_event_log_name(std::string_view name);

DWORD nt_event_store_prepare(MachineStore& store);

// Gives the record the next number of the log and the times of now, stores
// it, and returns the number in record->record_number.
DWORD nt_event_store_append(MachineStore& store, const std::string& log, NtEventRecord* record);

// The state of a log: its oldest and newest record numbers (both 0 when
// empty), the number of records and the clear count.
struct NtEventLogState {
  DWORD oldest = 0;
  DWORD newest = 0;
  DWORD count = 0;
  int64_t generation = 0;
};
DWORD nt_event_store_state(MachineStore& store, const std::string& log, NtEventLogState* state);

// The wide layout of one record; ERROR_HANDLE_EOF when the log has no record
// of that number.
DWORD nt_event_store_read(MachineStore& store, const std::string& log, DWORD number,
                          std::string* record);

// All records, oldest first, with the log's state, read at one instant.
DWORD nt_event_store_snapshot(MachineStore& store, const std::string& log,
                              std::vector<std::string>* records, NtEventLogState* state);

// Empties the log.
DWORD nt_event_store_clear(MachineStore& store, const std::string& log);

// Removes the records up to number `last` when the log has not been
// cleared since its clear count was `generation` (else they are gone
// already, and the records there now are newer: nothing is removed). For a
// clear after a backup: what was written meanwhile stays in the log.
DWORD nt_event_store_clear_through(MachineStore& store, const std::string& log, DWORD last,
                                   int64_t generation);
