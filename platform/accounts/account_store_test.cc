#include "platform/accounts/account_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/accounts/account_password.h"
#include "platform/accounts/accounts_test_network.h"
#include "platform/accounts/sha256.h"
#include "platform/security/machine_sid.h"
#include "platform/security/sid.h"
#include "platform/security/well_known_accounts.h"

namespace {

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(nt_hex(nt_sha256("")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(nt_hex(nt_sha256("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block.
  EXPECT_EQ(nt_hex(nt_sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // Fed in pieces across block edges, a million 'a's.
  NtSha256 h;
  std::string chunk(1001, 'a');
  for (int i = 0; i < 1000; ++i) h.update(chunk.data(), i % 2 ? 999 : 1001);
  auto d = h.finish();
  EXPECT_EQ(nt_hex(std::string(reinterpret_cast<const char*>(d.data()), d.size())),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(PasswordHash, SaltedAndChecked) {
  std::string a = nt_password_hash("Secret1");
  std::string b = nt_password_hash("Secret1");
  EXPECT_NE(a, b);  // a fresh salt each time
  EXPECT_EQ(a.find("Secret1"), std::string::npos);
  EXPECT_EQ(a.rfind("sha256:1000:", 0), 0u);
  EXPECT_TRUE(nt_password_matches(a, "Secret1"));
  EXPECT_TRUE(nt_password_matches(b, "Secret1"));
  EXPECT_FALSE(nt_password_matches(a, "secret1"));
  EXPECT_FALSE(nt_password_matches(a, "Secret1 "));
  EXPECT_FALSE(nt_password_matches(a, ""));
  EXPECT_TRUE(nt_password_matches(nt_password_hash(""), ""));
  // Damaged hashes never match.
  EXPECT_FALSE(nt_password_matches("", ""));
  EXPECT_FALSE(nt_password_matches("Secret1", "Secret1"));
  EXPECT_FALSE(nt_password_matches("sha256:0:00:" + std::string(64, '0'), ""));
  EXPECT_FALSE(nt_password_matches(a.substr(0, a.size() - 2), "Secret1"));
  std::string upper = a;
  upper.back() = 'G';
  EXPECT_FALSE(nt_password_matches(upper, "Secret1"));
}

std::vector<std::string> alias_names(MachineStore& store) {
  std::vector<NtAliasRecord> aliases;
  EXPECT_EQ(nt_accounts_list_aliases(store, &aliases), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (const auto& a : aliases) names.push_back(a.name);
  return names;
}

std::vector<std::string> group_names(MachineStore& store) {
  std::vector<NtGroupRecord> groups;
  EXPECT_EQ(nt_accounts_list_groups(store, &groups), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (const auto& g : groups) names.push_back(g.name);
  return names;
}

TEST(AccountStore, SeedsByRole) {
  AccountsNetwork net;
  NtMachineRef pdc, bdc, server, ws, loner;
  ASSERT_EQ(nt_open_machine("SRV1", &pdc), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("SRV3", &bdc), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("SRV2", &server), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("LOCALPC", &ws), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("LONER", &loner), ERROR_SUCCESS);

  EXPECT_EQ(group_names(*pdc.store),
            (std::vector<std::string>{"Domain Admins", "Domain Guests", "Domain Users"}));
  EXPECT_EQ(alias_names(*pdc.store),
            (std::vector<std::string>{"Account Operators", "Administrators", "Backup Operators",
                                      "Guests", "Print Operators", "Replicator",
                                      "Server Operators", "Users"}));
  EXPECT_EQ(group_names(*server.store), (std::vector<std::string>{"None"}));
  EXPECT_EQ(alias_names(*server.store),
            (std::vector<std::string>{"Administrators", "Guests", "Power Users", "Users"}));

  NtUserRecord admin, guest;
  ASSERT_EQ(nt_accounts_get_user(*ws.store, "administrator", &admin), ERROR_SUCCESS);
  EXPECT_EQ(admin.rid, 500u);
  EXPECT_EQ(admin.name, "Administrator");
  EXPECT_EQ(admin.flags & UF_ACCOUNTDISABLE, 0u);
  ASSERT_EQ(nt_accounts_get_user(*ws.store, "GUEST", &guest), ERROR_SUCCESS);
  EXPECT_EQ(guest.rid, 501u);
  EXPECT_NE(guest.flags & UF_ACCOUNTDISABLE, 0u);

  // Domain members hold the domain's groups in their local groups; a
  // workgroup machine only its own Administrator.
  std::string domain_sid, ws_sid;
  ASSERT_EQ(nt_machine_sid(*pdc.store, &domain_sid), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_sid(*ws.store, &ws_sid), ERROR_SUCCESS);
  NtAliasRecord admins;
  ASSERT_EQ(nt_accounts_get_alias(*ws.store, "Administrators", &admins), ERROR_SUCCESS);
  EXPECT_TRUE(admins.builtin);
  EXPECT_EQ(admins.rid, 544u);
  std::vector<std::string> members;
  ASSERT_EQ(nt_accounts_alias_members(*ws.store, admins.rid, &members), ERROR_SUCCESS);
  EXPECT_EQ(members, (std::vector<std::string>{nt_sid_append(ws_sid, 500),
                                               nt_sid_append(domain_sid, 512)}));
  NtAliasRecord users;
  ASSERT_EQ(nt_accounts_get_alias(*ws.store, "Users", &users), ERROR_SUCCESS);
  ASSERT_EQ(nt_accounts_alias_members(*ws.store, users.rid, &members), ERROR_SUCCESS);
  EXPECT_EQ(members, (std::vector<std::string>{nt_sid_append(domain_sid, 513)}));
  std::string loner_sid;
  ASSERT_EQ(nt_machine_sid(*loner.store, &loner_sid), ERROR_SUCCESS);
  ASSERT_EQ(nt_accounts_alias_members(*loner.store, 544, &members), ERROR_SUCCESS);
  EXPECT_EQ(members, (std::vector<std::string>{nt_sid_append(loner_sid, 500)}));

  // Domain Admins holds the domain's Administrator.
  std::vector<DWORD> rids;
  ASSERT_EQ(nt_accounts_group_members(*pdc.store, 512, &rids), ERROR_SUCCESS);
  EXPECT_EQ(rids, (std::vector<DWORD>{500}));
}

TEST(AccountStore, RidsNamesAndMemberships) {
  AccountsNetwork net;
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("SRV2", &ref), ERROR_SUCCESS);
  MachineStore& store = *ref.store;
  NtUserRecord a, b;
  a.name = "alice";
  b.name = "Bob";
  ASSERT_EQ(nt_accounts_add_user(store, &a), ERROR_SUCCESS);
  ASSERT_EQ(nt_accounts_add_user(store, &b), ERROR_SUCCESS);
  EXPECT_EQ(a.rid, 1000u);
  EXPECT_EQ(b.rid, 1001u);
  NtGroupRecord g{0, "Staff", "all staff"};
  ASSERT_EQ(nt_accounts_add_group(store, &g), ERROR_SUCCESS);
  EXPECT_EQ(g.rid, 1002u);
  // A deleted RID is not handed out again; its memberships go with it.
  ASSERT_EQ(nt_accounts_add_group_member(store, g.rid, a.rid), ERROR_SUCCESS);
  ASSERT_EQ(nt_accounts_delete_user(store, a.rid), ERROR_SUCCESS);
  std::vector<DWORD> left;
  ASSERT_EQ(nt_accounts_group_members(store, g.rid, &left), ERROR_SUCCESS);
  EXPECT_TRUE(left.empty());
  {
    auto lock = store.lock();
    StoreQuery q(store, "SELECT COUNT(*) FROM acct_group_members WHERE user_rid=1000");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.column_int64(0), 0);
  }
  NtUserRecord c;
  c.name = "carol";
  ASSERT_EQ(nt_accounts_add_user(store, &c), ERROR_SUCCESS);
  EXPECT_EQ(c.rid, 1003u);

  // One name space for users, groups and local groups, case ignored.
  NtUserRecord clash;
  clash.name = "BOB";
  EXPECT_EQ(nt_accounts_add_user(store, &clash), NERR_UserExists);
  clash.name = "staff";
  EXPECT_EQ(nt_accounts_add_user(store, &clash), NERR_GroupExists);
  NtAliasRecord alias{0, false, "users", ""};
  EXPECT_EQ(nt_accounts_add_alias(store, &alias), ERROR_ALIAS_EXISTS);
  NtGroupRecord g2{0, "Bob", ""};
  EXPECT_EQ(nt_accounts_add_group(store, &g2), NERR_UserExists);
  // Renaming to its own name in another case is allowed.
  b.name = "BOB";
  EXPECT_EQ(nt_accounts_update_user(store, b), ERROR_SUCCESS);
  NtUserRecord read_back;
  ASSERT_EQ(nt_accounts_get_user(store, "bob", &read_back), ERROR_SUCCESS);
  EXPECT_EQ(read_back.name, "BOB");

  // New users join their primary group (None on a server).
  std::vector<DWORD> groups;
  ASSERT_EQ(nt_accounts_user_groups(store, b.rid, &groups), ERROR_SUCCESS);
  EXPECT_EQ(groups, (std::vector<DWORD>{513}));
  EXPECT_EQ(nt_accounts_add_group_member(store, g.rid, b.rid), ERROR_SUCCESS);
  EXPECT_EQ(nt_accounts_add_group_member(store, g.rid, b.rid), NERR_UserInGroup);
  EXPECT_EQ(nt_accounts_del_group_member(store, g.rid, c.rid), NERR_UserNotInGroup);
  EXPECT_EQ(nt_accounts_del_group_member(store, 513, b.rid), ERROR_MEMBERS_PRIMARY_GROUP);
  EXPECT_EQ(nt_accounts_add_group_member(store, 4242, b.rid), NERR_GroupNotFound);
  EXPECT_EQ(nt_accounts_add_group_member(store, g.rid, 4242), NERR_UserNotFound);

  // Deleting a group takes it out of the local groups too.
  std::string sid;
  ASSERT_EQ(nt_machine_sid(store, &sid), ERROR_SUCCESS);
  std::string group_sid = nt_sid_append(sid, g.rid);
  ASSERT_EQ(nt_accounts_add_alias_member(store, 545, group_sid), ERROR_SUCCESS);
  EXPECT_EQ(nt_accounts_add_alias_member(store, 545, group_sid), ERROR_MEMBER_IN_ALIAS);
  std::vector<NtAliasRecord> of;
  ASSERT_EQ(nt_accounts_aliases_of(store, {group_sid}, &of), ERROR_SUCCESS);
  ASSERT_EQ(of.size(), 1u);
  EXPECT_EQ(of[0].name, "Users");
  ASSERT_EQ(nt_accounts_delete_group(store, g.rid), ERROR_SUCCESS);
  EXPECT_EQ(nt_accounts_del_alias_member(store, 545, group_sid), ERROR_MEMBER_NOT_IN_ALIAS);
  std::vector<std::string> none;
  EXPECT_EQ(nt_accounts_alias_members(store, 9999, &none), ERROR_NO_SUCH_ALIAS);
  EXPECT_EQ(nt_accounts_add_alias_member(store, 545, "not a sid"), ERROR_INVALID_SID);
}

}  // namespace
