#include "platform/security/well_known_accounts.h"

namespace {

constexpr const char* kNtAuthority = "NT AUTHORITY";
constexpr const char* kBuiltin = "BUILTIN";

const NtWellKnownAccount kAccounts[] = {
    {"Everyone", "", SECURITY_WORLD_SID_AUTHORITY, 1, {0, 0}, SidTypeWellKnownGroup},
    {"LOCAL", "", SECURITY_LOCAL_SID_AUTHORITY, 1, {0, 0}, SidTypeWellKnownGroup},
    {"CREATOR OWNER", "", SECURITY_CREATOR_SID_AUTHORITY, 1, {0, 0}, SidTypeWellKnownGroup},
    {"CREATOR GROUP", "", SECURITY_CREATOR_SID_AUTHORITY, 1, {1, 0}, SidTypeWellKnownGroup},
    {"DIALUP", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_DIALUP_RID, 0},
     SidTypeWellKnownGroup},
    {"NETWORK", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_NETWORK_RID, 0},
     SidTypeWellKnownGroup},
    {"BATCH", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_BATCH_RID, 0},
     SidTypeWellKnownGroup},
    {"INTERACTIVE", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_INTERACTIVE_RID, 0},
     SidTypeWellKnownGroup},
    {"SERVICE", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_SERVICE_RID, 0},
     SidTypeWellKnownGroup},
    {"ANONYMOUS LOGON", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_ANONYMOUS_LOGON_RID, 0},
     SidTypeWellKnownGroup},
    {"Authenticated Users", kNtAuthority, SECURITY_NT_AUTHORITY, 1,
     {SECURITY_AUTHENTICATED_USER_RID, 0}, SidTypeWellKnownGroup},
    {"SYSTEM", kNtAuthority, SECURITY_NT_AUTHORITY, 1, {SECURITY_LOCAL_SYSTEM_RID, 0},
     SidTypeWellKnownGroup},
    {"BUILTIN", kBuiltin, SECURITY_NT_AUTHORITY, 1, {SECURITY_BUILTIN_DOMAIN_RID, 0},
     SidTypeDomain},
    {"Administrators", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}, SidTypeAlias},
    {"Users", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}, SidTypeAlias},
    {"Guests", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_GUESTS}, SidTypeAlias},
    {"Power Users", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS}, SidTypeAlias},
    {"Account Operators", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ACCOUNT_OPS}, SidTypeAlias},
    {"Server Operators", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_SYSTEM_OPS}, SidTypeAlias},
    {"Print Operators", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_PRINT_OPS}, SidTypeAlias},
    {"Backup Operators", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_BACKUP_OPS}, SidTypeAlias},
    {"Replicator", kBuiltin, SECURITY_NT_AUTHORITY, 2,
     {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_REPLICATOR}, SidTypeAlias},
};

}  // namespace

const NtWellKnownAccount* nt_well_known_accounts(size_t* count) {
  *count = sizeof kAccounts / sizeof kAccounts[0];
  return kAccounts;
}

std::string nt_well_known_sid(const NtWellKnownAccount& account) {
  return account.count == 1 ? nt_sid_make(account.authority, {account.sub[0]})
                            : nt_sid_make(account.authority, {account.sub[0], account.sub[1]});
}

std::string nt_sid_everyone() { return nt_sid_make(SECURITY_WORLD_SID_AUTHORITY, {0}); }

std::string nt_sid_local_system() {
  return nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_LOCAL_SYSTEM_RID});
}

std::string nt_sid_builtin_domain() {
  return nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID});
}

std::string nt_sid_builtin_alias(DWORD rid) {
  return nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, rid});
}
