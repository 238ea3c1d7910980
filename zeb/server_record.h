// What the server commands know of the scheduler service on one server: the
// text fields that the server criteria select on and that the server lines
// print (~D ~S ~c ~T ~l ~A ~I ~u ~s ~V).
#pragma once

#include <string>

#include "lib/arg_spec.h"
#include "lib/service_query.h"

struct ServerRecord {
  std::string domain;       // ~D
  std::string server;       // ~S, "\\NAME"
  std::string directory;    // ~c, directory of the executable
  std::string temp_dir;     // ~T
  std::string logging;      // ~l, "0" or "1,3"; empty when unreadable
  std::string autostart;    // ~A, "1", "0" or "0(Disabled)"
  std::string interactive;  // ~I, "1" or "0"
  std::string account;      // ~u
  std::string state;        // ~s, the state word
  std::string version;      // ~V
  ServiceQuery query;       // what the service manager and registry said
};

// Fills the record from the service on `server` (query_service with the
// scheduler's values); 0, or the error that was printed.
DWORD server_record_query(const char* domain, const char* server, ServerRecord* record);

// "1" for automatic start, "0" for start on demand, "0(Disabled)".
const char* server_autostart_word(DWORD start_type);

// True when the record passes every server criterion of `criteria` (the
// parser's table; null passes all) that the user gave. Text criteria match
// with wildcards, case ignored; a number or character criterion for -A or
// -I compares with 1 or 0 (a range: 1 or 0 lies in it; "0(Disabled)" is
// 0); a range for -l admits a server one of whose
// logging bits (or 0 when none is set) lies in the range.
bool server_record_matches(const ServerRecord& record, const ArgSpec* criteria);

// The record's placeholders for the format engine: one ARG_STRING entry per
// letter, pointing into `record`; `table` holds SERVER_FIELD_COUNT + 1
// entries and ends with ARG_END.
constexpr int SERVER_FIELD_COUNT = 10;
void server_record_fields(const ServerRecord& record, ArgSpec* table);
