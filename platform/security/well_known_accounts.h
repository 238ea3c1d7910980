// The accounts every NT machine knows without a database: the well-known
// groups (Everyone, CREATOR OWNER, NT AUTHORITY\SYSTEM, ...) and the
// aliases of the BUILTIN domain (Administrators, Users, ...).
//
// Domain names as NT reports them: empty for the world, local and creator
// authorities, "NT AUTHORITY" for the other well-known groups, "BUILTIN" for
// the aliases (and for the BUILTIN domain itself).
#pragma once

#include <cstddef>
#include <string>

#include "platform/security/sid.h"

struct NtWellKnownAccount {
  const char* name;
  const char* domain;
  uint64_t authority;
  BYTE count;
  DWORD sub[2];
  SID_NAME_USE use;
};

// The table, and its size.
const NtWellKnownAccount* nt_well_known_accounts(size_t* count);

// The SID of an entry.
std::string nt_well_known_sid(const NtWellKnownAccount& account);

// Common SIDs.
std::string nt_sid_everyone();                // S-1-1-0
std::string nt_sid_local_system();            // S-1-5-18
std::string nt_sid_builtin_domain();          // S-1-5-32
std::string nt_sid_builtin_alias(DWORD rid);  // S-1-5-32-rid
