#include "platform/accounts/account_sources.h"

#include "platform/kernel/error.h"
#include "platform/accounts/account_store.h"
#include "platform/network/nt_name.h"
#include "platform/network/wtf8.h"
#include "platform/security/sid.h"

namespace {

std::u16string wide(const std::string& text) { return nt_utf16_from_wtf8(text); }

}  // namespace

DWORD nt_account_db_by_name(const NtAccountAuthority& db, bool has_domain,
                            const std::u16string& domain, const std::u16string& name,
                            NtAccount* out) {
  std::u16string db_name = wide(nt_upper_utf8(db.name));
  if (has_domain && domain != db_name) return ERROR_NONE_MAPPED;
  if (name == db_name) {
    *out = NtAccount{db.sid, wide(db.name), wide(db.name), SidTypeDomain};
    return ERROR_SUCCESS;
  }
  std::string key = nt_wtf8_from_utf16(name);
  MachineStore& store = *db.store.store;
  NtUserRecord user;
  DWORD err = nt_accounts_get_user(store, key, &user);
  if (err == ERROR_SUCCESS) {
    *out = NtAccount{nt_sid_append(db.sid, user.rid), wide(user.name), wide(db.name), SidTypeUser};
    return ERROR_SUCCESS;
  }
  if (err != NERR_UserNotFound) return err;
  NtGroupRecord group;
  err = nt_accounts_get_group(store, key, &group);
  if (err == ERROR_SUCCESS) {
    *out = NtAccount{nt_sid_append(db.sid, group.rid), wide(group.name), wide(db.name),
                     SidTypeGroup};
    return ERROR_SUCCESS;
  }
  if (err != NERR_GroupNotFound) return err;
  NtAliasRecord alias;
  err = nt_accounts_get_alias(store, key, &alias);
  if (err == ERROR_SUCCESS && !alias.builtin) {
    *out = NtAccount{nt_sid_append(db.sid, alias.rid), wide(alias.name), wide(db.name),
                     SidTypeAlias};
    return ERROR_SUCCESS;
  }
  if (err != ERROR_SUCCESS && err != ERROR_NO_SUCH_ALIAS) return err;
  return ERROR_NONE_MAPPED;
}

DWORD nt_account_db_by_sid(const NtAccountAuthority& db, std::string_view sid, NtAccount* out) {
  if (sid == db.sid) {
    *out = NtAccount{db.sid, wide(db.name), wide(db.name), SidTypeDomain};
    return ERROR_SUCCESS;
  }
  if (nt_sid_count(sid) == 0 || nt_sid_prefix(sid) != db.sid) return ERROR_NONE_MAPPED;
  DWORD rid = nt_sid_sub_authority(sid, static_cast<BYTE>(nt_sid_count(sid) - 1));
  MachineStore& store = *db.store.store;
  NtUserRecord user;
  DWORD err = nt_accounts_get_user_by_rid(store, rid, &user);
  if (err == ERROR_SUCCESS) {
    *out = NtAccount{std::string(sid), wide(user.name), wide(db.name), SidTypeUser};
    return ERROR_SUCCESS;
  }
  if (err != NERR_UserNotFound) return err;
  NtGroupRecord group;
  err = nt_accounts_get_group_by_rid(store, rid, &group);
  if (err == ERROR_SUCCESS) {
    *out = NtAccount{std::string(sid), wide(group.name), wide(db.name), SidTypeGroup};
    return ERROR_SUCCESS;
  }
  if (err != NERR_GroupNotFound) return err;
  std::vector<NtAliasRecord> aliases;
  if ((err = nt_accounts_list_aliases(store, &aliases)) != ERROR_SUCCESS) return err;
  for (const NtAliasRecord& a : aliases) {
    if (a.builtin || a.rid != rid) continue;
    *out = NtAccount{std::string(sid), wide(a.name), wide(db.name), SidTypeAlias};
    return ERROR_SUCCESS;
  }
  return ERROR_NONE_MAPPED;
}
