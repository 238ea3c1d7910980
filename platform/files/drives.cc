#include "platform/files/drives.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/files/host_names.h"
#include "platform/files/net_connection.h"
#include "platform/files/nt_path.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/netapi/share_table.h"
#include "platform/network/network.h"

namespace {

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char upper_letter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_unc(std::string_view text) {
  return text.size() >= 2 && nt_is_separator(text[0]) && nt_is_separator(text[1]);
}

bool is_directory(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "\\SRV\SHARE\dir..." (a remote drive's target) to its host directory.
DWORD unc_directory(std::string_view unc, NtRootDir* root) {
  std::string full;
  if (nt_full_path(unc, NtCurrentDirs(), &full) != ERROR_SUCCESS) return ERROR_BAD_NET_NAME;
  NtPathParts parts = nt_split_full_path(full);
  if (parts.kind != NtPathKind::unc) return ERROR_BAD_NET_NAME;
  NtRootDir share;
  DWORD err = nt_share_root(parts.server, parts.share, &share);
  if (err != ERROR_SUCCESS) return err;
  if (parts.names.empty()) {
    *root = std::move(share);
    return ERROR_SUCCESS;
  }
  std::string host = nt_lookup_names(share.host, parts.names);
  if (!is_directory(host)) return ERROR_BAD_NET_NAME;
  root->host = std::move(host);
  root->drive_root = false;
  root->volume = std::move(share.volume);
  return ERROR_SUCCESS;
}

// The roots looked up while a hold lives on this thread.
struct RootLookup {
  DWORD err = ERROR_SUCCESS;
  NtRootDir root;
};
struct HeldRoots {
  int holds = 0;
  std::optional<RootLookup> drives[26];
  std::vector<std::pair<std::string, RootLookup>> shares;  // "SERVER\SHARE" in upper case

  void clear() {
    for (auto& d : drives) d.reset();
    shares.clear();
  }
};
thread_local HeldRoots t_held;
// A hold remembers this many shares at most (a directory's paths name few).
constexpr size_t kHeldSharesMax = 32;

DWORD answer(const RootLookup& found, NtRootDir* root) {
  if (found.err == ERROR_SUCCESS) *root = found.root;
  return found.err;
}

DWORD drive_root_uncached(char letter, NtRootDir* root) {
  NtLocalDrive drive;
  DWORD err = nt_local_drive(letter, &drive);
  if (err != ERROR_SUCCESS) return err;
  return nt_local_drive_root(drive, root);
}

DWORD share_root_uncached(std::string_view server, std::string_view share, NtRootDir* root) {
  if (server.empty()) return ERROR_BAD_NETPATH;
  NtMachineRef machine;
  if (nt_open_machine(server, &machine) != ERROR_SUCCESS) {
    return ERROR_BAD_NETPATH;
  }
  if (share.empty()) return ERROR_BAD_NET_NAME;
  NtShareInfo info;
  DWORD err = nt_share_get(*machine.store, share, &info);
  if (err == NERR_NetNameNotFound) return ERROR_BAD_NET_NAME;
  if (err != ERROR_SUCCESS) return err;
  if ((info.type & ~STYPE_SPECIAL) != STYPE_DISKTREE || info.path.empty()) {
    return ERROR_BAD_NET_NAME;
  }
  if (nt_machine_directory(*machine.store, info.path, root) != ERROR_SUCCESS) {
    return ERROR_BAD_NET_NAME;
  }
  return ERROR_SUCCESS;
}

std::string share_key(std::string_view server, std::string_view share) {
  std::string key;
  key.reserve(server.size() + share.size() + 1);
  for (char c : server) key += upper_letter(c);
  key += '\\';
  for (char c : share) key += upper_letter(c);
  return key;
}

}  // namespace

NtDriveRootHold::NtDriveRootHold() {
  ++t_held.holds;
  t_held.clear();
}

NtDriveRootHold::~NtDriveRootHold() {
  if (--t_held.holds == 0) t_held.clear();
}

void nt_drive_roots_changed() { t_held.clear(); }

DWORD nt_local_drive(char letter, NtLocalDrive* drive) {
  if (!is_letter(letter)) return ERROR_INVALID_DRIVE;
  letter = upper_letter(letter);
  NtMachineRef local;
  DWORD err = nt_open_machine("", &local);
  if (err != ERROR_SUCCESS) return err;
  NtDrive d;
  err = nt_machine_get_drive(*local.store, letter, &d);
  if (err == ERROR_SUCCESS) {
    drive->letter = letter;
    drive->type = d.type;
    drive->connection = false;
    drive->target = d.type == NtDriveType::remote && is_unc(d.host_dir)
                        ? d.host_dir
                        : nt_machine_drive_host_path(*local.store, d);
    return ERROR_SUCCESS;
  }
  if (err != ERROR_INVALID_DRIVE) return err;
  std::string remote;
  err = nt_user_connection(letter, &remote);
  if (err == ERROR_NOT_CONNECTED) return ERROR_INVALID_DRIVE;
  if (err != ERROR_SUCCESS) return err;
  drive->letter = letter;
  drive->type = NtDriveType::remote;
  drive->target = std::move(remote);
  drive->connection = true;
  return ERROR_SUCCESS;
}

DWORD nt_local_drives(std::vector<NtLocalDrive>* drives) {
  drives->clear();
  NtMachineRef local;
  DWORD err = nt_open_machine("", &local);
  if (err != ERROR_SUCCESS) return err;
  std::vector<NtDrive> table;
  if ((err = nt_machine_get_drives(*local.store, &table)) != ERROR_SUCCESS) return err;
  std::vector<std::pair<char, std::string>> connections;
  if ((err = nt_user_connections(&connections)) != ERROR_SUCCESS) return err;
  bool taken[26] = {};
  for (const NtDrive& d : table) {
    if (!is_letter(d.letter)) continue;
    NtLocalDrive out;
    out.letter = upper_letter(d.letter);
    out.type = d.type;
    out.target = d.type == NtDriveType::remote && is_unc(d.host_dir)
                     ? d.host_dir
                     : nt_machine_drive_host_path(*local.store, d);
    taken[out.letter - 'A'] = true;
    drives->push_back(std::move(out));
  }
  for (auto& [letter, remote] : connections) {
    if (taken[letter - 'A']) continue;
    NtLocalDrive out;
    out.letter = letter;
    out.type = NtDriveType::remote;
    out.target = remote;
    out.connection = true;
    drives->push_back(std::move(out));
  }
  std::stable_sort(drives->begin(), drives->end(),
                   [](const NtLocalDrive& a, const NtLocalDrive& b) { return a.letter < b.letter; });
  return ERROR_SUCCESS;
}

DWORD nt_local_drive_root(const NtLocalDrive& drive, NtRootDir* root) {
  if (drive.type == NtDriveType::remote && is_unc(drive.target)) {
    return unc_directory(drive.target, root);
  }
  root->host = drive.target;
  root->drive_root = true;
  root->volume = drive.target;
  return ERROR_SUCCESS;
}

DWORD nt_drive_root(char letter, NtRootDir* root) {
  if (t_held.holds == 0 || !is_letter(letter)) return drive_root_uncached(letter, root);
  std::optional<RootLookup>& held = t_held.drives[upper_letter(letter) - 'A'];
  if (!held) {
    RootLookup found;
    found.err = drive_root_uncached(letter, &found.root);
    held = std::move(found);
  }
  return answer(*held, root);
}

DWORD nt_share_root(std::string_view server, std::string_view share, NtRootDir* root) {
  if (server.size() >= 2 && nt_is_separator(server[0]) && nt_is_separator(server[1])) {
    server.remove_prefix(2);
  }
  if (t_held.holds == 0) return share_root_uncached(server, share, root);
  const std::string key = share_key(server, share);
  for (const auto& [held_key, found] : t_held.shares) {
    if (held_key == key) return answer(found, root);
  }
  RootLookup found;
  found.err = share_root_uncached(server, share, &found.root);
  if (t_held.shares.size() >= kHeldSharesMax) t_held.shares.clear();
  t_held.shares.emplace_back(key, found);
  return answer(found, root);
}

DWORD nt_machine_directory(MachineStore& store, std::string_view nt_path, NtRootDir* dir) {
  if (nt_path.size() < 2 || !is_letter(nt_path[0]) || nt_path[1] != ':') {
    return ERROR_PATH_NOT_FOUND;
  }
  NtDrive drive;
  if (nt_machine_get_drive(store, upper_letter(nt_path[0]), &drive) != ERROR_SUCCESS ||
      drive.type == NtDriveType::remote) {
    return ERROR_PATH_NOT_FOUND;
  }
  std::string base = nt_machine_drive_host_path(store, drive);
  std::string full;
  if (nt_full_path(std::string(nt_path.substr(0, 2)) + "\\" +
                       std::string(nt_path.size() > 2 ? nt_path.substr(3) : ""),
                   NtCurrentDirs(), &full) != ERROR_SUCCESS) {
    return ERROR_PATH_NOT_FOUND;
  }
  NtPathParts parts = nt_split_full_path(full);
  std::string host = parts.names.empty() ? base : nt_lookup_names(base, parts.names);
  if (!is_directory(host)) return ERROR_PATH_NOT_FOUND;
  dir->host = std::move(host);
  dir->drive_root = parts.names.empty();
  dir->volume = std::move(base);
  return ERROR_SUCCESS;
}
