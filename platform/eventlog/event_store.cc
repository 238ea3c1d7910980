#include "platform/eventlog/event_store.h"

#include <strings.h>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"

namespace {

DWORD upgrade_eventlog(MachineStore& store, int from) {
  if (from < 1) {
    return store.exec(
        "CREATE TABLE eventlog_records("
        " log TEXT NOT NULL, record_number INTEGER NOT NULL, record BLOB NOT NULL,"
        " PRIMARY KEY(log, record_number)) WITHOUT ROWID;"
        "CREATE TABLE eventlog_logs("
        " log TEXT PRIMARY KEY, generation INTEGER NOT NULL DEFAULT 0);");
  }
  return ERROR_SUCCESS;
}

DWORD read_state(MachineStore& store, const std::string& log, NtEventLogState* state) {
  NtEventLogState s;
  {
    StoreQuery q(store,
                 "SELECT COALESCE(MIN(record_number), 0), COALESCE(MAX(record_number), 0),"
                 " COUNT(*) FROM eventlog_records WHERE log=?");
    q.bind_text(1, log);
    if (q.step()) {
      s.oldest = static_cast<DWORD>(q.column_int64(0));
      s.newest = static_cast<DWORD>(q.column_int64(1));
      s.count = static_cast<DWORD>(q.column_int64(2));
    }
    if (q.error() != ERROR_SUCCESS) return q.error();
  }
  {
    StoreQuery q(store, "SELECT generation FROM eventlog_logs WHERE log=?");
    q.bind_text(1, log);
    if (q.step()) s.generation = q.column_int64(0);
    if (q.error() != ERROR_SUCCESS) return q.error();
  }
  *state = s;
  return ERROR_SUCCESS;
}

DWORD read_all(MachineStore& store, const std::string& log, std::vector<std::string>* records) {
  StoreQuery q(store, "SELECT record FROM eventlog_records WHERE log=? ORDER BY record_number");
  q.bind_text(1, log);
  std::vector<std::string> out;
  while (q.step()) out.emplace_back(q.column_blob(0));
  if (q.error() != ERROR_SUCCESS) return q.error();
  *records = std::move(out);
  return ERROR_SUCCESS;
}

}  // namespace

std::string nt_event_log_name(std::string_view name) {
  for (const char* known : {NT_LOG_APPLICATION, NT_LOG_SYSTEM, NT_LOG_SECURITY}) {
    std::string_view k = known;
    if (k.size() == name.size() && strncasecmp(k.data(), name.data(), k.size()) == 0) return known;
  }
  return NT_LOG_APPLICATION;
}

DWORD nt_event_store_prepare(MachineStore& store) {
  return store.ensure_subsystem("eventlog", 1, upgrade_eventlog);
}

DWORD nt_event_store_append(MachineStore& store, const std::string& log, NtEventRecord* record) {
  DWORD err = nt_event_store_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  NtEventLogState state;
  if ((err = read_state(store, log, &state)) != ERROR_SUCCESS) return err;
  if (state.newest == 0xFFFFFFFFu) return ERROR_LOG_FILE_FULL;
  record->record_number = state.newest + 1;
  record->time_written = static_cast<DWORD>(nt_unix_now());
  std::string bytes = nt_event_record_layout(*record, false);
  StoreQuery q(store, "INSERT INTO eventlog_records(log, record_number, record) VALUES(?, ?, ?)");
  q.bind_text(1, log).bind(2, record->record_number).bind_blob(3, bytes.data(), bytes.size());
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  return tx.commit();
}

DWORD nt_event_store_state(MachineStore& store, const std::string& log, NtEventLogState* state) {
  DWORD err = nt_event_store_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  return read_state(store, log, state);
}

DWORD nt_event_store_read(MachineStore& store, const std::string& log, DWORD number,
                          std::string* record) {
  DWORD err = nt_event_store_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreQuery q(store, "SELECT record FROM eventlog_records WHERE log=? AND record_number=?");
  q.bind_text(1, log).bind(2, number);
  if (q.step()) {
    *record = std::string(q.column_blob(0));
    return ERROR_SUCCESS;
  }
  return q.error() != ERROR_SUCCESS ? q.error() : ERROR_HANDLE_EOF;
}

DWORD nt_event_store_snapshot(MachineStore& store, const std::string& log,
                              std::vector<std::string>* records, NtEventLogState* state) {
  DWORD err = nt_event_store_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  // One read transaction: the records and the state belong together.
  if ((err = StoreQuery(store, "BEGIN").run()) != ERROR_SUCCESS) return err;
  err = read_state(store, log, state);
  if (err == ERROR_SUCCESS) err = read_all(store, log, records);
  DWORD end = StoreQuery(store, "COMMIT").run();
  return err != ERROR_SUCCESS ? err : end;
}

namespace {

// Deletes the log's records up to `last` and counts a clear.
DWORD delete_through(MachineStore& store, const std::string& log, DWORD last) {
  {
    StoreQuery q(store, "DELETE FROM eventlog_records WHERE log=? AND record_number<=?");
    q.bind_text(1, log).bind(2, last);
    DWORD err = q.run();
    if (err != ERROR_SUCCESS) return err;
  }
  StoreQuery q(store,
               "INSERT INTO eventlog_logs(log, generation) VALUES(?, 1)"
               " ON CONFLICT(log) DO UPDATE SET generation=generation+1");
  q.bind_text(1, log);
  return q.run();
}

}  // namespace

DWORD nt_event_store_clear(MachineStore& store, const std::string& log) {
  DWORD err = nt_event_store_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  if ((err = delete_through(store, log, 0xFFFFFFFFu)) != ERROR_SUCCESS) return err;
  return tx.commit();
}

DWORD nt_event_store_clear_through(MachineStore& store, const std::string& log, DWORD last,
                                   int64_t generation) {
  DWORD err = nt_event_store_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  NtEventLogState state;
  if ((err = read_state(store, log, &state)) != ERROR_SUCCESS) return err;
  if (state.generation != generation) return ERROR_SUCCESS;
  if ((err = delete_through(store, log, last)) != ERROR_SUCCESS) return err;
  return tx.commit();
}
