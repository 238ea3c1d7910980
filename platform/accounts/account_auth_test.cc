#include "platform/accounts/account_auth.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/kernel/error.h"
#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/accounts/accounts_test_network.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/identity.h"
#include "platform/security/machine_sid.h"
#include "platform/security/sid.h"
#include "platform/security/well_known_accounts.h"

namespace {

std::shared_ptr<MachineStore> open_store(const char* machine) {
  NtMachineRef ref;
  EXPECT_EQ(nt_open_machine(machine, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
  return ref.store;
}
#define store_of(machine) (*open_store(machine))

NtUserRecord add_user(const char* machine, const char* name, const char* password,
                      DWORD extra_flags = 0) {
  NtUserRecord u;
  u.name = name;
  u.password_hash = nt_password_hash(password);
  u.flags |= extra_flags;
  EXPECT_EQ(nt_accounts_add_user(store_of(machine), &u), ERROR_SUCCESS);
  return u;
}

std::string sid_of(const char* machine) {
  std::string sid;
  EXPECT_EQ(nt_machine_sid(store_of(machine), &sid), ERROR_SUCCESS);
  return sid;
}

bool has(const std::vector<std::string>& sids, const std::string& sid) {
  return std::find(sids.begin(), sids.end(), sid) != sids.end();
}

TEST(AccountAuth, CheckPassword) {
  AccountsNetwork net;
  add_user("SRV1", "jdoe", "Pa55word");
  add_user("SRV2", "local", "srvpw");
  add_user("SRV1", "off", "pw", UF_ACCOUNTDISABLE);
  add_user("SRV1", "locked", "pw", UF_LOCKOUT);
  NtUserRecord old = add_user("SRV1", "old", "pw");
  old.acct_expires = static_cast<DWORD>(nt_unix_now() - 60);
  ASSERT_EQ(nt_accounts_update_user(store_of("SRV1"), old), ERROR_SUCCESS);

  EXPECT_EQ(nt_account_check_password("SALES", "jdoe", "Pa55word"), ERROR_SUCCESS);
  EXPECT_EQ(nt_account_check_password("sales", "JDOE", "Pa55word"), ERROR_SUCCESS);
  // An empty domain: the local machine, then its domain.
  EXPECT_EQ(nt_account_check_password("", "jdoe", "Pa55word"), ERROR_SUCCESS);
  EXPECT_EQ(nt_account_check_password("SALES", "jdoe", "pa55word"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(nt_account_check_password("SALES", "nobody", "x"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(nt_account_check_password("OFFICE", "jdoe", "Pa55word"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(nt_account_check_password("NODOMAIN", "jdoe", "Pa55word"), ERROR_LOGON_FAILURE);
  // A machine's own account, by the machine's name.
  EXPECT_EQ(nt_account_check_password("SRV2", "local", "srvpw"), ERROR_SUCCESS);
  EXPECT_EQ(nt_account_check_password("SALES", "local", "srvpw"), ERROR_LOGON_FAILURE);
  // Restrictions count only with the right password.
  EXPECT_EQ(nt_account_check_password("SALES", "off", "pw"), ERROR_ACCOUNT_DISABLED);
  EXPECT_EQ(nt_account_check_password("SALES", "off", "bad"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(nt_account_check_password("SALES", "locked", "pw"), ERROR_ACCOUNT_LOCKED_OUT);
  EXPECT_EQ(nt_account_check_password("SALES", "old", "pw"), ERROR_ACCOUNT_EXPIRED);
  EXPECT_EQ(nt_account_check_password("SALES", "Guest", ""), ERROR_ACCOUNT_DISABLED);

  // Counters: bad passwords until a good one, logons.
  NtUserRecord after;
  ASSERT_EQ(nt_accounts_get_user(store_of("SRV1"), "jdoe", &after), ERROR_SUCCESS);
  EXPECT_EQ(after.bad_pw_count, 1u);
  EXPECT_EQ(after.num_logons, 3u);
  EXPECT_NE(after.last_logon, 0u);
  ASSERT_EQ(nt_account_check_password("SALES", "jdoe", "Pa55word"), ERROR_SUCCESS);
  ASSERT_EQ(nt_accounts_get_user(store_of("SRV1"), "jdoe", &after), ERROR_SUCCESS);
  EXPECT_EQ(after.bad_pw_count, 0u);
  EXPECT_EQ(after.num_logons, 4u);
}

TEST(AccountAuth, TokenSids) {
  AccountsNetwork net;
  NtUserRecord jdoe = add_user("SRV1", "jdoe", "pw");
  std::string domain = sid_of("SRV1");
  std::string user;
  std::vector<std::string> groups;
  ASSERT_EQ(nt_account_token_sids("SRV2", "SALES", "jdoe", &user, &groups), ERROR_SUCCESS);
  EXPECT_EQ(user, nt_sid_append(domain, jdoe.rid));
  EXPECT_TRUE(has(groups, nt_sid_append(domain, 513)));  // Domain Users
  EXPECT_TRUE(has(groups, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_USERS)));
  EXPECT_FALSE(has(groups, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS)));
  EXPECT_TRUE(has(groups, nt_sid_everyone()));
  EXPECT_TRUE(has(groups, nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_INTERACTIVE_RID})));
  EXPECT_TRUE(has(groups, nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_AUTHENTICATED_USER_RID})));

  // Through Domain Admins into the member server's Administrators.
  ASSERT_EQ(nt_accounts_add_group_member(store_of("SRV1"), 512, jdoe.rid), ERROR_SUCCESS);
  ASSERT_EQ(nt_account_token_sids("\\\\SRV2", "SALES", "jdoe", &user, &groups), ERROR_SUCCESS);
  EXPECT_TRUE(has(groups, nt_sid_append(domain, 512)));
  EXPECT_TRUE(has(groups, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS)));
  // Not on a machine of the other domain.
  ASSERT_EQ(nt_account_token_sids("HQSRV", "SALES", "jdoe", &user, &groups), ERROR_SUCCESS);
  EXPECT_FALSE(has(groups, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS)));
  EXPECT_FALSE(has(groups, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_USERS)));

  // A well-known SID in a local group reaches everyone.
  ASSERT_EQ(nt_accounts_add_alias_member(store_of("HQSRV"), DOMAIN_ALIAS_RID_POWER_USERS,
                                         nt_sid_everyone()),
            ERROR_SUCCESS);
  ASSERT_EQ(nt_account_token_sids("HQSRV", "SALES", "jdoe", &user, &groups), ERROR_SUCCESS);
  EXPECT_TRUE(has(groups, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_POWER_USERS)));

  ASSERT_EQ(nt_account_token_sids("", "NT AUTHORITY", "SYSTEM", &user, &groups), ERROR_SUCCESS);
  EXPECT_EQ(user, nt_sid_local_system());
  EXPECT_EQ(groups, (std::vector<std::string>{nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS),
                                              nt_sid_everyone()}));

  // SYSTEM named after the machine or its domain is LocalSystem too.
  ASSERT_EQ(nt_account_token_sids("SRV2", "SRV2", "system", &user, &groups), ERROR_SUCCESS);
  EXPECT_EQ(user, nt_sid_local_system());
  ASSERT_EQ(nt_account_token_sids("SRV2", "SALES", "SYSTEM", &user, &groups), ERROR_SUCCESS);
  EXPECT_EQ(user, nt_sid_local_system());
  EXPECT_EQ(nt_account_token_sids("SRV2", "OFFICE", "SYSTEM", &user, &groups), ERROR_NONE_MAPPED);
  EXPECT_EQ(nt_account_token_sids("SRV2", "SALES", "nobody", &user, &groups), ERROR_NONE_MAPPED);
  EXPECT_EQ(nt_account_token_sids("SRV2", "NODOMAIN", "jdoe", &user, &groups), ERROR_NONE_MAPPED);
  EXPECT_EQ(nt_account_token_sids("NOSUCH", "SALES", "jdoe", &user, &groups), ERROR_BAD_NETPATH);
}

TEST(AccountAuth, CallerIsAdmin) {
  AccountsNetwork net;
  NtUserRecord jdoe = add_user("SRV1", "jdoe", "pw");
  // SALES\Administrator is in Domain Admins.
  EXPECT_TRUE(nt_caller_is_admin("SRV2"));
  EXPECT_TRUE(nt_caller_is_admin("SRV1"));
  EXPECT_TRUE(nt_caller_is_admin("SRV3"));  // the backup controller shares the database
  EXPECT_TRUE(nt_caller_is_admin("LOCALPC"));
  EXPECT_TRUE(nt_caller_is_admin(""));
  EXPECT_FALSE(nt_caller_is_admin("HQSRV"));
  EXPECT_FALSE(nt_caller_is_admin("LONER"));

  net.act_as("jdoe", "SALES");
  EXPECT_FALSE(nt_caller_is_admin("SRV2"));
  ASSERT_EQ(nt_accounts_add_group_member(store_of("SRV1"), 512, jdoe.rid), ERROR_SUCCESS);
  EXPECT_TRUE(nt_caller_is_admin("SRV2"));

  // A machine's own administrator, only there.
  net.act_as("Administrator", "LOCALPC");
  EXPECT_TRUE(nt_caller_is_admin("LOCALPC"));
  EXPECT_FALSE(nt_caller_is_admin("SRV2"));
  net.act_as("tester", nullptr);
  EXPECT_FALSE(nt_caller_is_admin(""));

  // An impersonated client counts, not the process's user.
  nt_impersonate(NtIdentity{"jdoe", "SALES", "LOCALPC"});
  EXPECT_TRUE(nt_caller_is_admin("SRV2"));
  nt_revert_to_self();
  EXPECT_FALSE(nt_caller_is_admin("SRV2"));
  nt_impersonate(NtIdentity{"SYSTEM", "NT AUTHORITY", "LOCALPC"});
  EXPECT_TRUE(nt_caller_is_admin("HQSRV"));
  nt_revert_to_self();
}

}  // namespace
