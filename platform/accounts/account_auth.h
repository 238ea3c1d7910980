// Authentication and token contents, answered from the account databases
// of the network's machines (account_store.h).
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

// ERROR_SUCCESS, or ERROR_LOGON_FAILURE (1326) for an unknown user or a wrong password,
// ERROR_ACCOUNT_DISABLED (1331), ERROR_ACCOUNT_EXPIRED (1793), ERROR_ACCOUNT_LOCKED_OUT
// (1909). `domain` is a domain name (its primary controller's store) or a machine name
// (its own accounts); empty means the local machine then its domain.
DWORD nt_account_check_password(const std::string& domain, const std::string& user,
                                const std::string& password);

// The SIDs (binary, as std::string, see security/sid.h nt_sid_*) that a token of
// DOMAIN\USER carries on MACHINE: the user's SID; its global groups; the local groups
// of MACHINE (BUILTIN aliases and the machine's own) it belongs to directly or through
// its global groups or well-known SIDs; Everyone, INTERACTIVE, Authenticated Users.
// NT AUTHORITY\SYSTEM (LocalSystem) gets S-1-5-18 with BUILTIN\Administrators and
// Everyone. ERROR_NONE_MAPPED (1332) when the account does not exist.
DWORD nt_account_token_sids(const std::string& machine, const std::string& domain,
                            const std::string& user, std::string* user_sid,
                            std::vector<std::string>* group_sids);

// Whether the calling thread's identity (impersonated one, else USERNAME/USERDOMAIN,
// see kernel/identity.h) is a member of MACHINE's BUILTIN\Administrators.
bool nt_caller_is_admin(const std::string& machine);
