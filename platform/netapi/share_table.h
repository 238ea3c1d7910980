// The share table of a machine, kept in its store.
//
// Tables of the subsystem "shares" (version 1):
//   shares(name_key, name, type, remark, path, permissions, max_uses, security)
// name_key is the upper-case name (names ignore case and keep the case given).
//
// Besides the stored shares every machine has its administrative shares,
// which are not stored and cannot be deleted or changed:
//   "X$"      for each fixed drive X   "X:\"         "Default share"
//   "ADMIN$"                           "C:\WINNT"    "Remote Admin"
//   "IPC$"    (STYPE_IPC)              ""            "Remote IPC"
// all of type STYPE_SPECIAL as well, with unlimited uses.
//
// Text is UTF-8 (the store's form); the network calls convert to UTF-16.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

struct NtShareInfo {
  std::string name;
  DWORD type = 0;  // STYPE_DISKTREE
  std::string remark;
  std::string path;  // NT path on the machine: "C:\dir"; empty for IPC$
  DWORD permissions = 0;
  DWORD max_uses = 0xFFFFFFFFu;  // SHI_USES_UNLIMITED
  std::string security;          // self-relative security descriptor; empty: none
};

// Creates the share tables (idempotent); the other calls do it themselves.
DWORD nt_share_prepare(MachineStore& store);

// All shares, administrative ones included, ordered by name (case ignored).
DWORD nt_share_list(MachineStore& store, std::vector<NtShareInfo>* shares);

// One share by name, case ignored; NERR_NetNameNotFound when there is none.
DWORD nt_share_get(MachineStore& store, std::string_view name, NtShareInfo* share);

// Whether `name` is one of the machine's administrative shares.
bool nt_share_is_administrative(MachineStore& store, std::string_view name);

// Adds a disk share. Checks, in this order:
//   ERROR_INVALID_PARAMETER   a type other than STYPE_DISKTREE; an empty name
//                             or one of more than 80 characters (NNLEN) or
//                             with a control character or one of
//                             " / \ [ ] : | < > + ; , ? * =; a remark of more
//                             than 256 characters (MAXCOMMENTSZ); a path that
//                             is not "X:\..." or has 260 characters or more
//   NERR_DuplicateShare       the name is in use (administrative names too)
//   NERR_UnknownDevDir        the drive is not mapped on the machine or the
//                             directory does not exist there
DWORD nt_share_add(MachineStore& store, const NtShareInfo& share);

// Changes remark, permissions, maximum uses and security of a stored share
// (name and path stay); limits as for nt_share_add. NERR_NetNameNotFound for
// an unknown name, ERROR_ACCESS_DENIED for an administrative share.
DWORD nt_share_set(MachineStore& store, const NtShareInfo& share);

// Removes a stored share. NERR_NetNameNotFound for an unknown name,
// ERROR_ACCESS_DENIED for an administrative share.
DWORD nt_share_del(MachineStore& store, std::string_view name);

