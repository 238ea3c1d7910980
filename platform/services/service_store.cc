#include "platform/services/service_store.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/nls/codepage.h"
#include "platform/process/exit_records.h"
#include "platform/services/services.h"

namespace {

constexpr UINT kUtf8 = 65001;

DWORD upgrade_services(MachineStore& store, int from) {
  if (from < 1) {
    DWORD err = store.exec(
        "CREATE TABLE services("
        " name_key TEXT PRIMARY KEY, name TEXT NOT NULL, display_name TEXT NOT NULL,"
        " display_key TEXT NOT NULL, type INTEGER NOT NULL, start_type INTEGER NOT NULL,"
        " error_control INTEGER NOT NULL, binary_path TEXT NOT NULL,"
        " load_order_group TEXT NOT NULL, dependencies BLOB NOT NULL, account TEXT NOT NULL,"
        " password TEXT NOT NULL, state INTEGER NOT NULL, win32_exit_code INTEGER NOT NULL,"
        " specific_exit_code INTEGER NOT NULL, check_point INTEGER NOT NULL,"
        " wait_hint INTEGER NOT NULL, controls_accepted INTEGER NOT NULL,"
        " process_id INTEGER NOT NULL, process_exit_code INTEGER NOT NULL,"
        " run_id INTEGER NOT NULL, connected INTEGER NOT NULL, delete_pending INTEGER NOT NULL,"
        " start_args BLOB NOT NULL, supervisor_pid INTEGER NOT NULL,"
        " supervisor_start INTEGER NOT NULL);"
        "CREATE TABLE service_lock(id INTEGER PRIMARY KEY CHECK(id=1), owner TEXT NOT NULL,"
        " pid INTEGER NOT NULL, pid_start INTEGER NOT NULL, token INTEGER NOT NULL,"
        " since INTEGER NOT NULL);");
    if (err != ERROR_SUCCESS) return err;
  }
  return ERROR_SUCCESS;
}

std::string join_list(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) {
    out += s;
    out.push_back('\0');
  }
  return out;
}

std::vector<std::string> split_list(std::string_view blob) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < blob.size()) {
    size_t end = blob.find('\0', pos);
    if (end == std::string_view::npos) end = blob.size();
    out.emplace_back(blob.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

#define SERVICE_COLUMNS                                                                        \
  "name, display_name, type, start_type, error_control, binary_path, load_order_group,"       \
  " dependencies, account, password, state, win32_exit_code, specific_exit_code, check_point," \
  " wait_hint, controls_accepted, process_id, process_exit_code, run_id, connected,"          \
  " delete_pending, start_args, supervisor_pid, supervisor_start"

void read_record(StoreQuery& q, NtServiceRecord* r) {
  int c = 0;
  r->name = q.column_text(c++);
  r->display_name = q.column_text(c++);
  r->type = static_cast<DWORD>(q.column_int64(c++));
  r->start_type = static_cast<DWORD>(q.column_int64(c++));
  r->error_control = static_cast<DWORD>(q.column_int64(c++));
  r->binary_path = q.column_text(c++);
  r->load_order_group = q.column_text(c++);
  r->dependencies = split_list(q.column_blob(c++));
  r->account = q.column_text(c++);
  r->password = q.column_text(c++);
  r->state = static_cast<DWORD>(q.column_int64(c++));
  r->win32_exit_code = static_cast<DWORD>(q.column_int64(c++));
  r->specific_exit_code = static_cast<DWORD>(q.column_int64(c++));
  r->check_point = static_cast<DWORD>(q.column_int64(c++));
  r->wait_hint = static_cast<DWORD>(q.column_int64(c++));
  r->controls_accepted = static_cast<DWORD>(q.column_int64(c++));
  r->process_id = static_cast<DWORD>(q.column_int64(c++));
  r->process_exit_code = static_cast<DWORD>(q.column_int64(c++));
  r->run_id = q.column_int64(c++);
  r->connected = q.column_int64(c++) != 0;
  r->delete_pending = q.column_int64(c++) != 0;
  r->start_args = split_list(q.column_blob(c++));
  r->supervisor_pid = static_cast<DWORD>(q.column_int64(c++));
  r->supervisor_start = static_cast<uint64_t>(q.column_int64(c++));
}

DWORD write_record(MachineStore& store, const NtServiceRecord& r, bool insert) {
  const char* sql =
      insert ? "INSERT INTO services(name_key, display_key, " SERVICE_COLUMNS
               ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
             : "UPDATE services SET name_key=?, display_key=?, name=?, display_name=?, type=?,"
               " start_type=?, error_control=?, binary_path=?, load_order_group=?,"
               " dependencies=?, account=?, password=?, state=?, win32_exit_code=?,"
               " specific_exit_code=?, check_point=?, wait_hint=?, controls_accepted=?,"
               " process_id=?, process_exit_code=?, run_id=?, connected=?, delete_pending=?,"
               " start_args=?, supervisor_pid=?, supervisor_start=? WHERE name_key=?";
  StoreQuery q(store, sql);
  std::string deps = join_list(r.dependencies);
  std::string args = join_list(r.start_args);
  int c = 1;
  q.bind_text(c++, nt_service_key(r.name));
  q.bind_text(c++, nt_service_key(r.display_name));
  q.bind_text(c++, r.name);
  q.bind_text(c++, r.display_name);
  q.bind(c++, r.type);
  q.bind(c++, r.start_type);
  q.bind(c++, r.error_control);
  q.bind_text(c++, r.binary_path);
  q.bind_text(c++, r.load_order_group);
  q.bind_blob(c++, deps.data(), deps.size());
  q.bind_text(c++, r.account);
  q.bind_text(c++, r.password);
  q.bind(c++, r.state);
  q.bind(c++, r.win32_exit_code);
  q.bind(c++, r.specific_exit_code);
  q.bind(c++, r.check_point);
  q.bind(c++, r.wait_hint);
  q.bind(c++, r.controls_accepted);
  q.bind(c++, r.process_id);
  q.bind(c++, r.process_exit_code);
  q.bind(c++, r.run_id);
  q.bind(c++, r.connected ? 1 : 0);
  q.bind(c++, r.delete_pending ? 1 : 0);
  q.bind_blob(c++, args.data(), args.size());
  q.bind(c++, r.supervisor_pid);
  q.bind(c++, static_cast<int64_t>(r.supervisor_start));
  if (!insert) q.bind_text(c++, nt_service_key(r.name));
  return q.run();
}

// With the lock held.
DWORD get_locked(MachineStore& store, const std::string& name, NtServiceRecord* record) {
  StoreQuery q(store, "SELECT " SERVICE_COLUMNS " FROM services WHERE name_key=?");
  q.bind_text(1, nt_service_key(name));
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_SERVICE_DOES_NOT_EXIST;
  read_record(q, record);
  return ERROR_SUCCESS;
}

}  // namespace

std::string nt_service_key(const std::string& name) {
  std::u16string wide = nt_multibyte_to_wide(kUtf8, name);
  for (WCHAR& c : wide) c = nt_wide_upper(c);
  return nt_wide_to_multibyte(kUtf8, wide);
}

DWORD nt_service_prepare(MachineStore& store) {
  return store.ensure_subsystem("services", 1, upgrade_services);
}

DWORD nt_service_get(MachineStore& store, const std::string& name, NtServiceRecord* record) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  return get_locked(store, name, record);
}

DWORD nt_service_get_by_display(MachineStore& store, const std::string& display,
                                NtServiceRecord* record) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreQuery q(store, "SELECT " SERVICE_COLUMNS " FROM services WHERE display_key=?");
  q.bind_text(1, nt_service_key(display));
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_SERVICE_DOES_NOT_EXIST;
  read_record(q, record);
  return ERROR_SUCCESS;
}

DWORD nt_service_list(MachineStore& store, std::vector<NtServiceRecord>* records) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  records->clear();
  StoreQuery q(store, "SELECT " SERVICE_COLUMNS " FROM services ORDER BY name_key");
  while (q.step()) {
    NtServiceRecord r;
    read_record(q, &r);
    records->push_back(std::move(r));
  }
  return q.error();
}

DWORD nt_service_insert(MachineStore& store, const NtServiceRecord& record) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  NtServiceRecord old;
  err = get_locked(store, record.name, &old);
  if (err == ERROR_SUCCESS)
    return old.delete_pending ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
  if (err != ERROR_SERVICE_DOES_NOT_EXIST) return err;
  {
    // Names and display names share one name space.
    StoreQuery q(store,
                 "SELECT COUNT(*) FROM services WHERE display_key=? OR name_key=? OR "
                 "display_key=?");
    q.bind_text(1, nt_service_key(record.name));
    q.bind_text(2, nt_service_key(record.display_name));
    q.bind_text(3, nt_service_key(record.display_name));
    if (!q.step()) return q.error();
    if (q.column_int64(0) != 0) return ERROR_DUPLICATE_SERVICE_NAME;
  }
  err = write_record(store, record, true);
  if (err != ERROR_SUCCESS) return err;
  return tx.commit();
}

DWORD nt_service_modify(MachineStore& store, const std::string& name,
                        const std::function<DWORD(NtServiceRecord&)>& change) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  NtServiceRecord record;
  if ((err = get_locked(store, name, &record)) != ERROR_SUCCESS) return err;
  std::string old_display = nt_service_key(record.display_name);
  if ((err = change(record)) != ERROR_SUCCESS) return err;
  if (nt_service_key(record.display_name) != old_display) {
    StoreQuery q(store,
                 "SELECT COUNT(*) FROM services WHERE name_key<>? AND (display_key=? OR "
                 "name_key=?)");
    q.bind_text(1, nt_service_key(record.name));
    q.bind_text(2, nt_service_key(record.display_name));
    q.bind_text(3, nt_service_key(record.display_name));
    if (!q.step()) return q.error();
    if (q.column_int64(0) != 0) return ERROR_DUPLICATE_SERVICE_NAME;
  }
  if ((err = write_record(store, record, false)) != ERROR_SUCCESS) return err;
  return tx.commit();
}

DWORD nt_service_remove(MachineStore& store, const std::string& name) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store, "DELETE FROM services WHERE name_key=?");
  q.bind_text(1, nt_service_key(name));
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if (sqlite3_changes(store.db()) == 0) return ERROR_SERVICE_DOES_NOT_EXIST;
  return tx.commit();
}

bool nt_service_process_alive(DWORD pid, uint64_t start) {
  if (pid == 0) return false;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  uint64_t now = nt_process_start_time(static_cast<pid_t>(pid));
  if (now == 0) return false;
  if (start != 0 && now != start) return false;
  int status = 0;
  return !nt_process_zombie_status(static_cast<pid_t>(pid), now, &status);
}

DWORD nt_service_lock_acquire(MachineStore& store, const std::string& owner, int64_t* token) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  {
    StoreQuery q(store, "SELECT pid, pid_start, token FROM service_lock WHERE id=1");
    if (q.step()) {
      if (nt_service_process_alive(static_cast<DWORD>(q.column_int64(0)),
                                   static_cast<uint64_t>(q.column_int64(1))))
        return ERROR_SERVICE_DATABASE_LOCKED;
    } else if (q.error() != ERROR_SUCCESS) {
      return q.error();
    }
  }
  pid_t pid = getpid();
  int64_t value = (static_cast<int64_t>(time(nullptr)) << 20) ^ (static_cast<int64_t>(pid) << 1) ^
                  reinterpret_cast<intptr_t>(token);
  if (value == 0) value = 1;
  StoreQuery q(store,
               "INSERT OR REPLACE INTO service_lock(id, owner, pid, pid_start, token, since)"
               " VALUES(1,?,?,?,?,?)");
  q.bind_text(1, owner)
      .bind(2, pid)
      .bind(3, static_cast<int64_t>(nt_process_start_time(pid)))
      .bind(4, value)
      .bind(5, static_cast<int64_t>(time(nullptr)));
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if ((err = tx.commit()) != ERROR_SUCCESS) return err;
  *token = value;
  return ERROR_SUCCESS;
}

DWORD nt_service_lock_release(MachineStore& store, int64_t token) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store, "DELETE FROM service_lock WHERE id=1 AND token=? AND pid=?");
  q.bind(1, token).bind(2, getpid());
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if (sqlite3_changes(store.db()) == 0) return ERROR_INVALID_SERVICE_LOCK;
  return tx.commit();
}

DWORD nt_service_lock_held(MachineStore& store, bool* held, std::string* owner) {
  DWORD err = nt_service_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  *held = false;
  StoreQuery q(store, "SELECT pid, pid_start, owner FROM service_lock WHERE id=1");
  if (q.step()) {
    *held = nt_service_process_alive(static_cast<DWORD>(q.column_int64(0)),
                                     static_cast<uint64_t>(q.column_int64(1)));
    if (owner) *owner = q.column_text(2);
    return ERROR_SUCCESS;
  }
  return q.error();
}
