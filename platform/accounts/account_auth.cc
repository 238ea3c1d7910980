#include "platform/accounts/account_auth.h"

#include <algorithm>

#include "platform/accounts/account_authority.h"
#include "platform/kernel/error.h"
#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/netapi/netapi.h"
#include "platform/network/nt_name.h"
#include "platform/security/sid.h"
#include "platform/security/well_known_accounts.h"

namespace {

bool is_local_system(const std::string& domain, const std::string& user) {
  std::string d = nt_upper_utf8(domain);
  return nt_upper_utf8(user) == "SYSTEM" && (d.empty() || d == "NT AUTHORITY");
}

// Finds DOMAIN\USER as seen from `machine`: an empty domain asks the
// machine's own database, then its domain's.
DWORD find_user(const NtMachineRef& machine, const std::string& domain, const std::string& user,
                NtAccountAuthority* where, NtUserRecord* record) {
  if (user.empty()) return NERR_UserNotFound;
  if (!domain.empty()) {
    DWORD err = nt_account_authority_named(machine, domain, where);
    if (err == ERROR_NO_SUCH_DOMAIN) return NERR_UserNotFound;
    if (err != ERROR_SUCCESS) return err;
    return nt_accounts_get_user(*where->store.store, user, record);
  }
  DWORD err = nt_account_authority_of(machine, where);
  if (err != ERROR_SUCCESS) return err;
  err = nt_accounts_get_user(*where->store.store, user, record);
  if (err != NERR_UserNotFound) return err;
  err = nt_account_member_domain(machine, where);
  if (err == NERR_DCNotFound) return NERR_UserNotFound;
  if (err != ERROR_SUCCESS) return err;
  return nt_accounts_get_user(*where->store.store, user, record);
}

// Whether `domain` is the machine's name or its LAN group.
bool names_machine(const NtMachineRef& machine, const std::string& domain) {
  NtMachineInfo info;
  if (nt_machine_get_info(*machine.store, &info) != ERROR_SUCCESS) return false;
  std::string d = nt_upper_utf8(domain);
  return d == info.name || d == info.lan_group;
}

void add_unique(std::vector<std::string>* sids, const std::string& sid) {
  if (std::find(sids->begin(), sids->end(), sid) == sids->end()) sids->push_back(sid);
}

}  // namespace

DWORD nt_account_check_password(const std::string& domain, const std::string& user,
                                const std::string& password) {
  NtMachineRef local;
  DWORD err = nt_open_machine("", &local);
  if (err != ERROR_SUCCESS) return err;
  NtAccountAuthority where;
  NtUserRecord record;
  err = find_user(local, domain, user, &where, &record);
  if (err == NERR_UserNotFound) return ERROR_LOGON_FAILURE;
  if (err != ERROR_SUCCESS) return err;
  MachineStore& store = *where.store.store;
  int64_t now = nt_unix_now();
  if (!nt_password_matches(record.password_hash, password)) {
    ++record.bad_pw_count;
    nt_accounts_update_user(store, record);
    return ERROR_LOGON_FAILURE;
  }
  if (record.flags & UF_ACCOUNTDISABLE) return ERROR_ACCOUNT_DISABLED;
  if (record.flags & UF_LOCKOUT) return ERROR_ACCOUNT_LOCKED_OUT;
  if (record.acct_expires != TIMEQ_FOREVER && now >= static_cast<int64_t>(record.acct_expires))
    return ERROR_ACCOUNT_EXPIRED;
  record.bad_pw_count = 0;
  if (record.num_logons != 0xFFFFFFFFu) ++record.num_logons;
  record.last_logon = static_cast<DWORD>(now);
  // The logon counts even when its record cannot be written.
  nt_accounts_update_user(store, record);
  return ERROR_SUCCESS;
}

DWORD nt_account_token_sids(const std::string& machine, const std::string& domain,
                            const std::string& user, std::string* user_sid,
                            std::vector<std::string>* group_sids) {
  if (user_sid == nullptr || group_sids == nullptr) return ERROR_INVALID_PARAMETER;
  user_sid->clear();
  group_sids->clear();
  if (is_local_system(domain, user)) {
    *user_sid = nt_sid_local_system();
    group_sids->push_back(nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS));
    group_sids->push_back(nt_sid_everyone());
    return ERROR_SUCCESS;
  }
  NtMachineRef target;
  DWORD err = machine.empty() ? nt_open_machine("", &target)
                              : nt_account_open_machine(machine, &target);
  if (err != ERROR_SUCCESS) return err;
  NtAccountAuthority where;
  NtUserRecord record;
  err = find_user(target, domain, user, &where, &record);
  if (err == NERR_UserNotFound && nt_upper_utf8(user) == "SYSTEM" && names_machine(target, domain)) {
    // LocalSystem as a service sees itself: SYSTEM of the machine's own name
    // or of its domain.
    return nt_account_token_sids(machine, "NT AUTHORITY", user, user_sid, group_sids);
  }
  if (err == NERR_UserNotFound) return ERROR_NONE_MAPPED;
  if (err != ERROR_SUCCESS) return err;
  *user_sid = nt_sid_append(where.sid, record.rid);

  // Global groups of the user's own database.
  std::vector<DWORD> groups;
  if ((err = nt_accounts_user_groups(*where.store.store, record.rid, &groups)) != ERROR_SUCCESS)
    return err;
  for (DWORD rid : groups) add_unique(group_sids, nt_sid_append(where.sid, rid));

  // Local groups of the machine, through any of those or the well-known ones.
  std::vector<std::string> probe = *group_sids;
  probe.push_back(*user_sid);
  std::string interactive = nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_INTERACTIVE_RID});
  std::string authenticated =
      nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_AUTHENTICATED_USER_RID});
  probe.push_back(nt_sid_everyone());
  probe.push_back(interactive);
  probe.push_back(authenticated);
  NtAccountAuthority local;
  if ((err = nt_account_authority_of(target, &local)) != ERROR_SUCCESS) return err;
  std::vector<NtAliasRecord> aliases;
  if ((err = nt_accounts_aliases_of(*local.store.store, probe, &aliases)) != ERROR_SUCCESS)
    return err;
  for (const NtAliasRecord& a : aliases) add_unique(group_sids, nt_accounts_alias_sid(local.sid, a));

  add_unique(group_sids, nt_sid_everyone());
  add_unique(group_sids, interactive);
  add_unique(group_sids, authenticated);
  return ERROR_SUCCESS;
}

bool nt_caller_is_admin(const std::string& machine) {
  std::string user_sid;
  std::vector<std::string> groups;
  if (nt_account_token_sids(machine, nt_user_domain(), nt_user_name(), &user_sid, &groups) !=
      ERROR_SUCCESS)
    return false;
  std::string admins = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  return std::find(groups.begin(), groups.end(), admins) != groups.end();
}
