// Account names and SIDs, both ways, as a machine's security authority
// answers them (LookupAccountName, LookupAccountSid).
//
// A lookup on a machine (null or empty system name: the local machine)
// asks the account sources in the order account_sources() in
// account_lookup.cc fixes: the machine's own account database (its
// domain's for a domain controller), then the database of its domain (on
// the domain's primary controller), then the well-known and BUILTIN
// accounts (well_known_accounts.h).
//
// A machine's own accounts have the machine's name as their domain and
// SIDs below the machine SID (machine_sid.h); a domain's accounts have the
// domain's name and SIDs below its primary controller's machine SID. The
// machine's or domain's name alone is the domain itself.
//
// Names are "name" or "DOMAIN\name" and compare without regard to case;
// with a domain only the accounts of that domain match ("\name" asks for an
// account of the empty domain, such as Everyone). Names come back in the
// case the source keeps them.
//
// Errors: ERROR_NONE_MAPPED (1332) when no account matches,
// ERROR_INVALID_SID for an invalid SID, ERROR_INVALID_PARAMETER for missing
// arguments, RPC_S_SERVER_UNAVAILABLE (1722) for a system that is not a
// reachable machine of the network (the lookup is a remote call).
#pragma once

#include <string>
#include <string_view>

#include "platform/network/network.h"
#include "platform/security/sid.h"
#include "platform/win32_types.h"

// Win32 semantics for the sizes: on entry the buffer sizes (SID in bytes,
// names in characters); when a buffer is too small (or null with size 0)
// the call fails with ERROR_INSUFFICIENT_BUFFER and every size becomes the
// size needed (names with their terminator). On success the SID size is
// its length and the name sizes are the lengths without terminator. The A
// forms count ANSI bytes.
BOOL LookupAccountNameA(const char* system, const char* account, PSID sid, DWORD* sid_size,
                        char* domain, DWORD* domain_size, PSID_NAME_USE use);
BOOL LookupAccountNameW(const WCHAR* system, const WCHAR* account, PSID sid, DWORD* sid_size,
                        WCHAR* domain, DWORD* domain_size, PSID_NAME_USE use);
BOOL LookupAccountSidA(const char* system, PSID sid, char* name, DWORD* name_size, char* domain,
                       DWORD* domain_size, PSID_NAME_USE use);
BOOL LookupAccountSidW(const WCHAR* system, PSID sid, WCHAR* name, DWORD* name_size,
                       WCHAR* domain, DWORD* domain_size, PSID_NAME_USE use);

// ---- For the layer.

struct NtAccount {
  std::string sid;  // binary form
  std::u16string name;
  std::u16string domain;
  SID_NAME_USE use = SidTypeUnknown;
};

// The lookups on an opened machine (any access: the network's
// administration reaches offline machines too).
DWORD nt_lookup_account_name(const NtMachineRef& machine, std::u16string_view account,
                             NtAccount* out);
DWORD nt_lookup_account_sid(const NtMachineRef& machine, std::string_view sid, NtAccount* out);

// "DOMAIN\name" (or "name" for an empty domain) of a SID, UTF-8, looked up
// on the machine; the SID's text form when nothing maps to it or the
// lookup fails.
std::string nt_account_display_name(const NtMachineRef& machine, std::string_view sid);
