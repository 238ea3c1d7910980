// Name and SID lookups in one account database, for LookupAccountName and
// LookupAccountSid (security/account_lookup.cc asks the databases in turn).
#pragma once

#include <string>
#include <string_view>

#include "platform/accounts/account_authority.h"
#include "platform/security/account_lookup.h"

// `name` and `domain` are upper case; with `has_domain` only an account of
// this database's domain matches. The domain itself (its name alone, or
// with `has_domain` an empty name is not asked) maps to SidTypeDomain.
// Users, global groups and the database's own local groups map; the
// BUILTIN ones are left to the well-known accounts. ERROR_NONE_MAPPED when
// nothing matches.
DWORD nt_account_db_by_name(const NtAccountAuthority& db, bool has_domain,
                            const std::u16string& domain, const std::u16string& name,
                            NtAccount* out);
DWORD nt_account_db_by_sid(const NtAccountAuthority& db, std::string_view sid, NtAccount* out);
