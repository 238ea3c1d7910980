#include "platform/netapi/share_table.h"


#include <algorithm>

#include "platform/files/drives.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/network/machine.h"
#include "platform/network/nt_name.h"
#include "platform/network/wtf8.h"

namespace {

DWORD upgrade_shares(MachineStore& store, int from) {
  if (from >= 1) return ERROR_SUCCESS;
  return store.exec(
      "CREATE TABLE shares("
      " name_key TEXT PRIMARY KEY,"
      " name TEXT NOT NULL,"
      " type INTEGER NOT NULL,"
      " remark TEXT NOT NULL DEFAULT '',"
      " path TEXT NOT NULL,"
      " permissions INTEGER NOT NULL DEFAULT 0,"
      " max_uses INTEGER NOT NULL DEFAULT -1,"
      " security BLOB);");
}

constexpr const char* kSystemRoot = "C:\\WINNT";

size_t units(std::string_view text) { return nt_utf16_from_wtf8(text).size(); }

bool valid_share_name(std::string_view name) {
  std::u16string wide = nt_utf16_from_wtf8(name);
  if (wide.empty() || wide.size() > NNLEN) return false;
  for (char16_t c : wide) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::u16string_view(u"\"/\\[]:|<>+;,?*=").find(c) != std::u16string_view::npos)
      return false;
  }
  return true;
}

// "X:\..." with a letter, a colon and a separator.
bool drive_path(std::string_view path) {
  if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return false;
  char c = path[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The host directory of a drive path of the machine, or NERR_UnknownDevDir.
// A share path never names ".." (a share stays inside its drive).
DWORD resolve_directory(MachineStore& store, std::string_view nt_path, std::string* host) {
  for (size_t start = 0; start <= nt_path.size();) {
    size_t end = nt_path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = nt_path.size();
    if (nt_path.substr(start, end - start) == "..") return NERR_UnknownDevDir;
    start = end + 1;
  }
  NtRootDir dir;
  if (nt_machine_directory(store, nt_path, &dir) != ERROR_SUCCESS) return NERR_UnknownDevDir;
  *host = std::move(dir.host);
  return ERROR_SUCCESS;
}

NtShareInfo special(std::string name, DWORD type, std::string remark, std::string path) {
  NtShareInfo s;
  s.name = std::move(name);
  s.type = type | STYPE_SPECIAL;
  s.remark = std::move(remark);
  s.path = std::move(path);
  return s;
}

DWORD administrative_shares(MachineStore& store, std::vector<NtShareInfo>* out) {
  std::vector<NtDrive> drives;
  DWORD err = nt_machine_get_drives(store, &drives);
  if (err != ERROR_SUCCESS) return err;
  for (const NtDrive& d : drives) {
    if (d.type != NtDriveType::fixed) continue;
    std::string letter(1, d.letter);
    out->push_back(special(letter + "$", STYPE_DISKTREE, "Default share", letter + ":\\"));
  }
  out->push_back(special("ADMIN$", STYPE_DISKTREE, "Remote Admin", kSystemRoot));
  out->push_back(special("IPC$", STYPE_IPC, "Remote IPC", ""));
  return ERROR_SUCCESS;
}

NtShareInfo read_row(StoreQuery& q) {
  NtShareInfo s;
  s.name = q.column_text(0);
  s.type = static_cast<DWORD>(q.column_int64(1));
  s.remark = q.column_text(2);
  s.path = q.column_text(3);
  s.permissions = static_cast<DWORD>(q.column_int64(4));
  s.max_uses = static_cast<DWORD>(q.column_int64(5));
  if (!q.column_is_null(6)) s.security = std::string(q.column_blob(6));
  return s;
}

int64_t stored_uses(DWORD max_uses) {
  return max_uses == SHI_USES_UNLIMITED ? -1 : static_cast<int64_t>(max_uses);
}

}  // namespace

DWORD nt_share_prepare(MachineStore& store) {
  return store.ensure_subsystem("shares", 1, upgrade_shares);
}

DWORD nt_share_list(MachineStore& store, std::vector<NtShareInfo>* shares) {
  shares->clear();
  DWORD err = nt_share_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  if ((err = administrative_shares(store, shares)) != ERROR_SUCCESS) return err;
  {
    auto lock = store.lock();
    StoreQuery q(store,
                 "SELECT name, type, remark, path, permissions, max_uses, security FROM shares");
    while (q.step()) shares->push_back(read_row(q));
    if ((err = q.error()) != ERROR_SUCCESS) return err;
  }
  std::vector<std::pair<std::string, NtShareInfo>> keyed;
  for (NtShareInfo& s : *shares) keyed.emplace_back(nt_upper_utf8(s.name), std::move(s));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  shares->clear();
  for (auto& k : keyed) shares->push_back(std::move(k.second));
  return ERROR_SUCCESS;
}

DWORD nt_share_get(MachineStore& store, std::string_view name, NtShareInfo* share) {
  DWORD err = nt_share_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  std::string key = nt_upper_utf8(name);
  std::vector<NtShareInfo> admin;
  if ((err = administrative_shares(store, &admin)) != ERROR_SUCCESS) return err;
  for (NtShareInfo& s : admin) {
    if (s.name == key) {
      *share = std::move(s);
      return ERROR_SUCCESS;
    }
  }
  auto lock = store.lock();
  StoreQuery q(store,
               "SELECT name, type, remark, path, permissions, max_uses, security FROM shares"
               " WHERE name_key=?");
  q.bind_text(1, key);
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : NERR_NetNameNotFound;
  *share = read_row(q);
  return ERROR_SUCCESS;
}

bool nt_share_is_administrative(MachineStore& store, std::string_view name) {
  std::vector<NtShareInfo> admin;
  if (administrative_shares(store, &admin) != ERROR_SUCCESS) return false;
  std::string key = nt_upper_utf8(name);
  for (const NtShareInfo& s : admin) {
    if (s.name == key) return true;
  }
  return false;
}

DWORD nt_share_add(MachineStore& store, const NtShareInfo& share) {
  if (share.type != STYPE_DISKTREE || !valid_share_name(share.name) ||
      units(share.remark) > MAXCOMMENTSZ || !drive_path(share.path) ||
      units(share.path) >= MAX_PATH) {
    return ERROR_INVALID_PARAMETER;
  }
  DWORD err = nt_share_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  if (nt_share_is_administrative(store, share.name)) return NERR_DuplicateShare;
  std::string host;
  if ((err = resolve_directory(store, share.path, &host)) != ERROR_SUCCESS) return err;

  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store,
               "INSERT INTO shares(name_key, name, type, remark, path, permissions, max_uses,"
               " security) VALUES(?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(name_key) DO NOTHING");
  q.bind_text(1, nt_upper_utf8(share.name))
      .bind_text(2, share.name)
      .bind(3, share.type)
      .bind_text(4, share.remark)
      .bind_text(5, share.path)
      .bind(6, share.permissions)
      .bind(7, stored_uses(share.max_uses));
  if (share.security.empty()) {
    q.bind_null(8);
  } else {
    q.bind_blob(8, share.security.data(), share.security.size());
  }
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if (sqlite3_changes(store.db()) == 0) return NERR_DuplicateShare;
  return tx.commit();
}

DWORD nt_share_set(MachineStore& store, const NtShareInfo& share) {
  if (units(share.remark) > MAXCOMMENTSZ) return ERROR_INVALID_PARAMETER;
  DWORD err = nt_share_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  if (nt_share_is_administrative(store, share.name)) return ERROR_ACCESS_DENIED;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store,
               "UPDATE shares SET remark=?, permissions=?, max_uses=?, security=?"
               " WHERE name_key=?");
  q.bind_text(1, share.remark).bind(2, share.permissions).bind(3, stored_uses(share.max_uses));
  if (share.security.empty()) {
    q.bind_null(4);
  } else {
    q.bind_blob(4, share.security.data(), share.security.size());
  }
  q.bind_text(5, nt_upper_utf8(share.name));
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if (sqlite3_changes(store.db()) == 0) return NERR_NetNameNotFound;
  return tx.commit();
}

DWORD nt_share_del(MachineStore& store, std::string_view name) {
  DWORD err = nt_share_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  if (nt_share_is_administrative(store, name)) return ERROR_ACCESS_DENIED;
  auto lock = store.lock();
  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  StoreQuery q(store, "DELETE FROM shares WHERE name_key=?");
  q.bind_text(1, nt_upper_utf8(name));
  if ((err = q.run()) != ERROR_SUCCESS) return err;
  if (sqlite3_changes(store.db()) == 0) return NERR_NetNameNotFound;
  return tx.commit();
}
