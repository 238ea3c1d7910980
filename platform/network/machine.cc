#include "platform/network/machine.h"

#include <strings.h>

#include "platform/kernel/error.h"

namespace {

DWORD upgrade_machine(MachineStore& store, int from) {
  if (from < 1) {
    return store.exec(
        "CREATE TABLE machine("
        " id INTEGER PRIMARY KEY CHECK (id = 1),"
        " name TEXT NOT NULL, lan_group TEXT NOT NULL, role TEXT NOT NULL,"
        " comment TEXT NOT NULL DEFAULT '', online INTEGER NOT NULL DEFAULT 1);"
        "CREATE TABLE drives("
        " letter TEXT PRIMARY KEY, type TEXT NOT NULL, host_dir TEXT NOT NULL);");
  }
  return ERROR_SUCCESS;
}

bool normalize_letter(char letter, char* out) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return false;
  *out = letter;
  return true;
}

// Runs one write statement in its own transaction; ERROR_FILE_NOT_FOUND
// when it changed nothing and `must_change`.
template <typename Bind>
DWORD write_one(MachineStore& store, const char* sql, Bind bind, bool must_change,
                DWORD none_error) {
  DWORD err = nt_machine_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store, sql);
  bind(q);
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if (must_change && sqlite3_changes(store.db()) == 0) return none_error;
  return tx.commit();
}

}  // namespace

const char* nt_machine_role_name(NtMachineRole role) {
  switch (role) {
    case NtMachineRole::workstation: return "workstation";
    case NtMachineRole::server: return "server";
    case NtMachineRole::pdc: return "pdc";
    case NtMachineRole::bdc: return "bdc";
  }
  return "workstation";
}

bool nt_machine_role_parse(std::string_view text, NtMachineRole* role) {
  for (NtMachineRole r : {NtMachineRole::workstation, NtMachineRole::server, NtMachineRole::pdc,
                          NtMachineRole::bdc}) {
    std::string_view name = nt_machine_role_name(r);
    if (name.size() == text.size() && strncasecmp(name.data(), text.data(), text.size()) == 0) {
      *role = r;
      return true;
    }
  }
  return false;
}

DWORD nt_machine_server_type(NtMachineRole role) {
  DWORD type = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;
  switch (role) {
    case NtMachineRole::workstation: break;
    case NtMachineRole::server: type |= SV_TYPE_SERVER_NT; break;
    case NtMachineRole::pdc: type |= SV_TYPE_SERVER_NT | SV_TYPE_DOMAIN_CTRL; break;
    case NtMachineRole::bdc: type |= SV_TYPE_SERVER_NT | SV_TYPE_DOMAIN_BAKCTRL; break;
  }
  return type;
}

const char* nt_drive_type_name(NtDriveType type) {
  switch (type) {
    case NtDriveType::fixed: return "fixed";
    case NtDriveType::removable: return "removable";
    case NtDriveType::cdrom: return "cdrom";
    case NtDriveType::remote: return "remote";
  }
  return "fixed";
}

bool nt_drive_type_parse(std::string_view text, NtDriveType* type) {
  for (NtDriveType t :
       {NtDriveType::fixed, NtDriveType::removable, NtDriveType::cdrom, NtDriveType::remote}) {
    std::string_view name = nt_drive_type_name(t);
    if (name.size() == text.size() && strncasecmp(name.data(), text.data(), text.size()) == 0) {
      *type = t;
      return true;
    }
  }
  return false;
}

DWORD nt_machine_prepare(MachineStore& store) {
  return store.ensure_subsystem("machine", 1, upgrade_machine);
}

DWORD nt_machine_set_info(MachineStore& store, const NtMachineInfo& info) {
  DWORD err = nt_machine_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  bool first = false;
  {
    StoreQuery q(store, "SELECT 1 FROM machine WHERE id=1");
    first = !q.step();
    if ((err = q.error()) != ERROR_SUCCESS) return err;
  }
  {
    StoreQuery q(store,
                 "INSERT INTO machine(id, name, lan_group, role, comment, online)"
                 " VALUES(1, ?, ?, ?, ?, ?) ON CONFLICT(id) DO UPDATE SET"
                 " name=excluded.name, lan_group=excluded.lan_group, role=excluded.role,"
                 " comment=excluded.comment, online=excluded.online");
    q.bind_text(1, info.name)
        .bind_text(2, info.lan_group)
        .bind_text(3, nt_machine_role_name(info.role))
        .bind_text(4, info.comment)
        .bind(5, info.online ? 1 : 0);
    if ((err = q.run()) != ERROR_SUCCESS) return err;
  }
  if (first) {
    StoreQuery q(store, "INSERT OR IGNORE INTO drives(letter, type, host_dir) VALUES('C', ?, ?)");
    q.bind_text(1, nt_drive_type_name(NtDriveType::fixed)).bind_text(2, "drives/C");
    if ((err = q.run()) != ERROR_SUCCESS) return err;
  }
  return tx.commit();
}

DWORD nt_machine_get_info(MachineStore& store, NtMachineInfo* info) {
  DWORD err = nt_machine_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreQuery q(store, "SELECT name, lan_group, role, comment, online FROM machine WHERE id=1");
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_FILE_NOT_FOUND;
  info->name = q.column_text(0);
  info->lan_group = q.column_text(1);
  if (!nt_machine_role_parse(q.column_text(2), &info->role)) info->role = NtMachineRole::workstation;
  info->comment = q.column_text(3);
  info->online = q.column_int64(4) != 0;
  return ERROR_SUCCESS;
}

DWORD nt_machine_is_online(MachineStore& store, bool* online) {
  DWORD err = nt_machine_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreQuery q(store, "SELECT online FROM machine WHERE id=1");
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_FILE_NOT_FOUND;
  *online = q.column_int64(0) != 0;
  return ERROR_SUCCESS;
}

DWORD nt_machine_set_online(MachineStore& store, bool online) {
  return write_one(
      store, "UPDATE machine SET online=? WHERE id=1",
      [&](StoreQuery& q) { q.bind(1, online ? 1 : 0); }, true, ERROR_FILE_NOT_FOUND);
}

DWORD nt_machine_set_comment(MachineStore& store, std::string_view comment) {
  return write_one(
      store, "UPDATE machine SET comment=? WHERE id=1",
      [&](StoreQuery& q) { q.bind_text(1, comment); }, true, ERROR_FILE_NOT_FOUND);
}

DWORD nt_machine_get_drives(MachineStore& store, std::vector<NtDrive>* drives) {
  DWORD err = nt_machine_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  drives->clear();
  auto lock = store.lock();
  StoreQuery q(store, "SELECT letter, type, host_dir FROM drives ORDER BY letter");
  while (q.step()) {
    NtDrive d;
    std::string letter = q.column_text(0);
    d.letter = letter.empty() ? '?' : letter[0];
    if (!nt_drive_type_parse(q.column_text(1), &d.type)) d.type = NtDriveType::fixed;
    d.host_dir = q.column_text(2);
    drives->push_back(std::move(d));
  }
  return q.error();
}

DWORD nt_machine_get_drive(MachineStore& store, char letter, NtDrive* drive) {
  char upper;
  if (!normalize_letter(letter, &upper)) return ERROR_INVALID_DRIVE;
  DWORD err = nt_machine_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  StoreQuery q(store, "SELECT type, host_dir FROM drives WHERE letter=?");
  q.bind_text(1, std::string_view(&upper, 1));
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_INVALID_DRIVE;
  drive->letter = upper;
  if (!nt_drive_type_parse(q.column_text(0), &drive->type)) drive->type = NtDriveType::fixed;
  drive->host_dir = q.column_text(1);
  return ERROR_SUCCESS;
}

DWORD nt_machine_map_drive(MachineStore& store, const NtDrive& drive) {
  char upper;
  if (!normalize_letter(drive.letter, &upper) || drive.host_dir.empty())
    return ERROR_INVALID_PARAMETER;
  return write_one(
      store,
      "INSERT INTO drives(letter, type, host_dir) VALUES(?, ?, ?) ON CONFLICT(letter)"
      " DO UPDATE SET type=excluded.type, host_dir=excluded.host_dir",
      [&](StoreQuery& q) {
        q.bind_text(1, std::string_view(&upper, 1))
            .bind_text(2, nt_drive_type_name(drive.type))
            .bind_text(3, drive.host_dir);
      },
      false, ERROR_SUCCESS);
}

DWORD nt_machine_unmap_drive(MachineStore& store, char letter) {
  char upper;
  if (!normalize_letter(letter, &upper)) return ERROR_INVALID_DRIVE;
  return write_one(
      store, "DELETE FROM drives WHERE letter=?",
      [&](StoreQuery& q) { q.bind_text(1, std::string_view(&upper, 1)); }, true,
      ERROR_INVALID_DRIVE);
}

std::string nt_machine_drive_host_path(const MachineStore& store, const NtDrive& drive) {
  if (!drive.host_dir.empty() && drive.host_dir[0] == '/') return drive.host_dir;
  return store.directory() + "/" + drive.host_dir;
}
