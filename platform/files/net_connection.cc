#include "platform/files/net_connection.h"

#include <stdlib.h>

#include <cstring>

#include "platform/files/drives.h"
#include "platform/files/host_names.h"
#include "platform/files/nt_path.h"
#include "platform/kernel/identity.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"

namespace {

DWORD upgrade_connections(MachineStore& store, int from) {
  if (from >= 1) return ERROR_SUCCESS;
  return store.exec(
      "CREATE TABLE net_connections("
      " user_key TEXT NOT NULL,"
      " letter TEXT NOT NULL,"
      " remote TEXT NOT NULL,"
      " PRIMARY KEY(user_key, letter));");
}

DWORD open_store(NtMachineRef* local) {
  DWORD err = nt_open_machine("", local);
  if (err != ERROR_SUCCESS) return err;
  return local->store->ensure_subsystem("connections", 1, upgrade_connections);
}

// "DOMAIN\USER" in upper case: whose connections these are.
std::string user_key() {
  std::string key = nt_user_domain();
  key += '\\';
  key += nt_user_name();
  return nt_upper_utf8(key);
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char upper_letter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// "X:" in either case: the upper-case letter, else 0.
char drive_name(const char* name) {
  if (!name || !is_letter(name[0]) || name[1] != ':' || name[2] != '\0') return 0;
  return upper_letter(name[0]);
}

DWORD done(DWORD code) {
  SetLastError(code);
  return code;
}

}  // namespace

DWORD nt_user_connections(std::vector<std::pair<char, std::string>>* connections) {
  connections->clear();
  NtMachineRef local;
  DWORD err = open_store(&local);
  if (err != ERROR_SUCCESS) return err;
  auto lock = local.store->lock();
  StoreQuery q(*local.store,
               "SELECT letter, remote FROM net_connections WHERE user_key=? ORDER BY letter");
  q.bind_text(1, user_key());
  while (q.step()) {
    std::string letter = q.column_text(0);
    if (letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'Z') {
      connections->emplace_back(letter[0], q.column_text(1));
    }
  }
  return q.error();
}

DWORD nt_user_connection(char letter, std::string* remote) {
  NtMachineRef local;
  DWORD err = open_store(&local);
  if (err != ERROR_SUCCESS) return err;
  auto lock = local.store->lock();
  StoreQuery q(*local.store,
               "SELECT remote FROM net_connections WHERE user_key=? AND letter=?");
  q.bind_text(1, user_key()).bind_text(2, std::string(1, upper_letter(letter)));
  if (!q.step()) return q.error() != ERROR_SUCCESS ? q.error() : ERROR_NOT_CONNECTED;
  *remote = q.column_text(0);
  return ERROR_SUCCESS;
}

DWORD WNetAddConnection2A(NETRESOURCEA* resource, const char* /*password*/,
                          const char* /*user*/, DWORD /*flags*/) {
  if (!resource) return done(ERROR_INVALID_PARAMETER);
  if (resource->dwType != RESOURCETYPE_DISK && resource->dwType != RESOURCETYPE_ANY) {
    return done(ERROR_BAD_DEV_TYPE);
  }
  const char* local_name = resource->lpLocalName;
  const bool has_device = local_name && *local_name;
  char letter = has_device ? drive_name(local_name) : 0;
  if (has_device && !letter) return done(ERROR_BAD_DEVICE);
  if (!resource->lpRemoteName) return done(ERROR_BAD_NET_NAME);

  // \\SERVER\SHARE and nothing more.
  std::string remote = nt_ansi_to_host(resource->lpRemoteName);
  std::string full;
  if (nt_full_path(remote, NtCurrentDirs(), &full) != ERROR_SUCCESS) {
    return done(ERROR_BAD_NET_NAME);
  }
  NtPathParts parts = nt_split_full_path(full);
  if (parts.kind != NtPathKind::unc || parts.server.empty() || parts.share.empty() ||
      !parts.names.empty()) {
    return done(ERROR_BAD_NET_NAME);
  }
  DWORD err;
  if (has_device) {
    NtLocalDrive existing;
    err = nt_local_drive(letter, &existing);
    if (err == ERROR_SUCCESS) return done(ERROR_ALREADY_ASSIGNED);
    if (err != ERROR_INVALID_DRIVE) return done(err);
  }
  NtRootDir root;
  if ((err = nt_share_root(parts.server, parts.share, &root)) != ERROR_SUCCESS) return done(err);
  if (!has_device) return done(ERROR_SUCCESS);

  NtMachineRef local;
  if ((err = open_store(&local)) != ERROR_SUCCESS) return done(err);
  auto lock = local.store->lock();
  StoreTransaction tx(*local.store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return done(err);
  StoreQuery q(*local.store,
               "INSERT INTO net_connections(user_key, letter, remote) VALUES(?, ?, ?)"
               " ON CONFLICT(user_key, letter) DO NOTHING");
  q.bind_text(1, user_key())
      .bind_text(2, std::string(1, letter))
      .bind_text(3, "\\\\" + parts.server + "\\" + parts.share);
  if ((err = q.run()) != ERROR_SUCCESS) return done(err);
  if (sqlite3_changes(local.store->db()) == 0) return done(ERROR_ALREADY_ASSIGNED);
  nt_drive_roots_changed();
  return done(tx.commit());
}

DWORD WNetCancelConnection2A(const char* name, DWORD /*flags*/, BOOL /*force*/) {
  if (!name) return done(ERROR_INVALID_PARAMETER);
  char letter = drive_name(name);
  if (!letter) return done(ERROR_NOT_CONNECTED);
  NtMachineRef local;
  DWORD err = open_store(&local);
  if (err != ERROR_SUCCESS) return done(err);
  auto lock = local.store->lock();
  StoreTransaction tx(*local.store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return done(err);
  StoreQuery q(*local.store, "DELETE FROM net_connections WHERE user_key=? AND letter=?");
  q.bind_text(1, user_key()).bind_text(2, std::string(1, letter));
  if ((err = q.run()) != ERROR_SUCCESS) return done(err);
  if (sqlite3_changes(local.store->db()) == 0) return done(ERROR_NOT_CONNECTED);
  nt_drive_roots_changed();
  return done(tx.commit());
}

DWORD WNetGetConnectionA(const char* local_name, char* remote_name, DWORD* length) {
  if (!local_name || !length) return done(ERROR_INVALID_PARAMETER);
  char letter = drive_name(local_name);
  if (!letter) return done(ERROR_NOT_CONNECTED);
  NtLocalDrive drive;
  DWORD err = nt_local_drive(letter, &drive);
  if (err == ERROR_INVALID_DRIVE ||
      (err == ERROR_SUCCESS && (drive.type != NtDriveType::remote ||
                                drive.target.size() < 2 || !nt_is_separator(drive.target[0])))) {
    return done(ERROR_NOT_CONNECTED);
  }
  if (err != ERROR_SUCCESS) return done(err);
  std::string text = nt_host_to_ansi(drive.target);
  if (!remote_name || *length < text.size() + 1) {
    *length = static_cast<DWORD>(text.size() + 1);
    return done(ERROR_MORE_DATA);
  }
  memcpy(remote_name, text.c_str(), text.size() + 1);
  return done(ERROR_SUCCESS);
}
