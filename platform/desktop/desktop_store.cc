#include "platform/desktop/desktop_store.h"

#include "platform/security/acl.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/sid.h"

namespace {

constexpr DWORD STATION_ALL_ACCESS = 0x000F037Fu;
constexpr DWORD DESKTOP_ALL_ACCESS = 0x000F01FFu;

DWORD upgrade_desktops(MachineStore& store, int from) {
  if (from >= 1) return ERROR_SUCCESS;
  DWORD error = store.exec(
      "CREATE TABLE desktop_objects("
      " station TEXT NOT NULL COLLATE NOCASE, desktop TEXT NOT NULL COLLATE NOCASE,"
      " sd BLOB NOT NULL, interactive INTEGER NOT NULL DEFAULT 0,"
      " PRIMARY KEY(station, desktop)) WITHOUT ROWID;"
      "CREATE TABLE desktop_input("
      " id INTEGER PRIMARY KEY CHECK(id = 1), station TEXT NOT NULL, desktop TEXT NOT NULL);"
      "INSERT INTO desktop_input VALUES(1, 'WinSta0', 'Default');");
  if (error != ERROR_SUCCESS) return error;
  const std::string station_sd = nt_desktop_default_security(true);
  const std::string desktop_sd = nt_desktop_default_security(false);
  struct Row {
    const char* desktop;
    const std::string* sd;
    int interactive;
  } rows[] = {{"", &station_sd, 1}, {"Default", &desktop_sd, 0}, {"Winlogon", &desktop_sd, 0}};
  for (const Row& row : rows) {
    StoreQuery q(store, "INSERT INTO desktop_objects VALUES('WinSta0', ?, ?, ?)");
    q.bind_text(1, row.desktop).bind_blob(2, row.sd->data(), row.sd->size()).bind(3, row.interactive);
    if ((error = q.run()) != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

DWORD prepare(MachineStore& store) {
  return store.ensure_subsystem("desktop", 1, upgrade_desktops);
}

DWORD find_locked(MachineStore& store, const std::string& station, const std::string& desktop,
                  NtUserObjectRecord* out) {
  StoreQuery q(store,
               "SELECT station, desktop, sd, interactive FROM desktop_objects"
               " WHERE station=? AND desktop=?");
  q.bind_text(1, station).bind_text(2, desktop);
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_FILE_NOT_FOUND;
  out->station = q.column_text(0);
  out->desktop = q.column_text(1);
  out->sd = std::string(q.column_blob(2));
  out->interactive = q.column_int64(3) != 0;
  return ERROR_SUCCESS;
}

}  // namespace

std::string nt_desktop_default_security(bool station) {
  const std::string system = nt_sid_make(5, {18});
  const std::string admins = nt_sid_make(5, {32, 544});
  const DWORD all = station ? STATION_ALL_ACCESS : DESKTOP_ALL_ACCESS;
  NtSecurityDescriptor sd;
  sd.owner = system;
  sd.group = system;
  sd.dacl_present = true;
  NtAce for_system;
  for_system.mask = all;
  for_system.sid = system;
  NtAce for_admins;
  for_admins.mask = all;
  for_admins.sid = admins;
  sd.dacl = nt_acl_make({for_system, for_admins});
  return nt_sd_build(sd);
}

DWORD nt_desktop_store_find(MachineStore& store, const std::string& station,
                            const std::string& desktop, NtUserObjectRecord* out) {
  DWORD error = prepare(store);
  if (error != ERROR_SUCCESS) return error;
  auto lock = store.lock();
  return find_locked(store, station, desktop, out);
}

DWORD nt_desktop_store_create(MachineStore& store, const NtUserObjectRecord& object,
                              bool* existed, NtUserObjectRecord* out) {
  DWORD error = prepare(store);
  if (error != ERROR_SUCCESS) return error;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((error = tx.begin_error()) != ERROR_SUCCESS) return error;
  error = find_locked(store, object.station, object.desktop, out);
  if (error == ERROR_SUCCESS) {
    *existed = true;
    return ERROR_SUCCESS;
  }
  if (error != ERROR_FILE_NOT_FOUND) return error;
  *existed = false;
  if (!object.desktop.empty()) {
    NtUserObjectRecord station;
    if ((error = find_locked(store, object.station, "", &station)) != ERROR_SUCCESS) return error;
  }
  {
    StoreQuery q(store, "INSERT INTO desktop_objects VALUES(?, ?, ?, ?)");
    q.bind_text(1, object.station)
        .bind_text(2, object.desktop)
        .bind_blob(3, object.sd.data(), object.sd.size())
        .bind(4, object.interactive ? 1 : 0);
    if ((error = q.run()) != ERROR_SUCCESS) return error;
  }
  if ((error = tx.commit()) != ERROR_SUCCESS) return error;
  *out = object;
  return ERROR_SUCCESS;
}

DWORD nt_desktop_store_set_security(MachineStore& store, const std::string& station,
                                    const std::string& desktop, const std::string& sd) {
  DWORD error = prepare(store);
  if (error != ERROR_SUCCESS) return error;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((error = tx.begin_error()) != ERROR_SUCCESS) return error;
  {
    StoreQuery q(store, "UPDATE desktop_objects SET sd=? WHERE station=? AND desktop=?");
    q.bind_blob(1, sd.data(), sd.size()).bind_text(2, station).bind_text(3, desktop);
    if ((error = q.run()) != ERROR_SUCCESS) return error;
  }
  if (sqlite3_changes(store.db()) == 0) return ERROR_FILE_NOT_FOUND;
  return tx.commit();
}

DWORD nt_desktop_store_input(MachineStore& store, std::string* station, std::string* desktop) {
  DWORD error = prepare(store);
  if (error != ERROR_SUCCESS) return error;
  auto lock = store.lock();
  StoreQuery q(store, "SELECT station, desktop FROM desktop_input WHERE id=1");
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_FILE_NOT_FOUND;
  *station = q.column_text(0);
  *desktop = q.column_text(1);
  return ERROR_SUCCESS;
}

DWORD nt_desktop_store_set_input(MachineStore& store, const std::string& station,
                                 const std::string& desktop) {
  DWORD error = prepare(store);
  if (error != ERROR_SUCCESS) return error;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((error = tx.begin_error()) != ERROR_SUCCESS) return error;
  {
    StoreQuery q(store, "INSERT OR REPLACE INTO desktop_input VALUES(1, ?, ?)");
    q.bind_text(1, station).bind_text(2, desktop);
    if ((error = q.run()) != ERROR_SUCCESS) return error;
  }
  return tx.commit();
}
