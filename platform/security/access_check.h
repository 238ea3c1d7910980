// The access check: what a token may do to an object protected by a
// security descriptor.
//
// Rules, as NT applies them:
//   - generic rights in the desired mask and in the ACEs are mapped with the
//     object kind's GENERIC_MAPPING first;
//   - ACCESS_SYSTEM_SECURITY needs SeSecurityPrivilege enabled
//     (ERROR_PRIVILEGE_NOT_HELD); SeTakeOwnershipPrivilege enabled grants
//     WRITE_OWNER; with backup semantics SeBackupPrivilege grants every
//     read right and SeRestorePrivilege every write right, WRITE_DAC,
//     WRITE_OWNER and DELETE;
//   - the owner is granted READ_CONTROL and WRITE_DAC whatever the DACL says;
//   - no DACL, or a NULL DACL, grants everything; an empty DACL nothing;
//   - the ACEs are read in order (INHERIT_ONLY ones skipped): an
//     access-denied ACE of a SID of the token that names a right still
//     wanted refuses the access, an access-allowed ACE grants its rights;
//     what is not granted when the list ends is refused;
//   - MAXIMUM_ALLOWED gathers every right the DACL grants before a deny
//     of it; nothing at all granted is a refusal.
// A desired mask of 0 is granted (with nothing).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/security/access_mask.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/token.h"
#include "platform/win32_types.h"

struct PRIVILEGE_SET {
  DWORD PrivilegeCount;
  DWORD Control;
  LUID_AND_ATTRIBUTES Privilege[1];
};
using PPRIVILEGE_SET = PRIVILEGE_SET*;


// Win32 AccessCheck: `token` must be an impersonation token
// (ERROR_NO_IMPERSONATION_TOKEN) with TOKEN_QUERY; `desired` must hold no
// generic rights (ERROR_GENERIC_NOT_MAPPED); the descriptor needs an owner
// and a group (ERROR_INVALID_SECURITY_DESCR). The privileges used go to
// `privileges` (*privileges_length bytes; too small:
// ERROR_INSUFFICIENT_BUFFER and the size needed). The call succeeds when
// the check could be made: *status tells whether access is granted, and
// when it is not the last error is ERROR_ACCESS_DENIED (or
// ERROR_PRIVILEGE_NOT_HELD).
BOOL AccessCheck(PSECURITY_DESCRIPTOR sd, HANDLE token, DWORD desired,
                 PGENERIC_MAPPING mapping, PPRIVILEGE_SET privileges, DWORD* privileges_length,
                 DWORD* granted, BOOL* status);

// ---- For the layer.

constexpr DWORD NT_ACCESS_BACKUP_SEMANTICS = 0x1;

// The check against a token. ERROR_SUCCESS and the granted rights, or
// ERROR_ACCESS_DENIED / ERROR_PRIVILEGE_NOT_HELD.
DWORD nt_access_check_token(const NtSecurityDescriptor& sd, const NtToken& token,
                            ACCESS_MASK desired, const GENERIC_MAPPING& mapping, DWORD options,
                            ACCESS_MASK* granted);
// The check of a self-relative descriptor (`sd_bytes`; empty: none, which
// grants everything) against a set of SIDs that are all enabled and hold no
// privileges. A malformed descriptor: ERROR_INVALID_SECURITY_DESCR.
DWORD nt_access_check(std::string_view sd_bytes, const std::vector<std::string>& token_sids,
                      ACCESS_MASK desired, const GENERIC_MAPPING& mapping, ACCESS_MASK* granted);
