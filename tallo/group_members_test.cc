#include "tallo/group_members.h"

#include <gtest/gtest.h>

#include "platform/accounts/accounts_test_network.h"

namespace {

std::string utf8(const std::u16string& text) { return utf8_of(text.c_str()); }

TEST(GroupMembers, MemberPartsAndJoin) {
  MemberParts p = member_parts(u"OFFICE\\boss", u"SALES");
  EXPECT_EQ(utf8(p.qualified), "OFFICE\\boss");
  EXPECT_EQ(utf8(p.domain), "OFFICE");
  EXPECT_EQ(utf8(p.user), "boss");
  p = member_parts(u"jdoe", u"SALES");
  EXPECT_EQ(utf8(p.qualified), "SALES\\jdoe");
  EXPECT_EQ(utf8(p.domain), "SALES");
  EXPECT_EQ(utf8(p.user), "jdoe");
  p = member_parts(u"\\Everyone", u"SALES");  // an empty domain stays empty
  EXPECT_EQ(utf8(p.qualified), "\\Everyone");
  EXPECT_EQ(utf8(p.domain), "");
  EXPECT_EQ(utf8(p.user), "Everyone");

  EXPECT_EQ(utf8(join_members({})), "");
  EXPECT_EQ(utf8(join_members({u"a"})), "a");
  EXPECT_EQ(utf8(join_members({u"a", u"B\\c", u"Domain Users"})), "a,B\\c,Domain Users");
}

class GroupMembersNet : public ::testing::Test {
 protected:
  void SetUp() override {
    add_user(u"\\\\SRV1", u"jdoe");
    add_user(u"\\\\SRV1", u"asmith");
    // The other domain: its server's local group holds its global group.
    net_.act_as("Administrator", "OFFICE");
    add_user(u"\\\\HQ1", u"boss");
    GROUP_INFO_1 managers{const_cast<WCHAR*>(u"Managers"), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetGroupAdd(u"\\\\HQ1", 1, reinterpret_cast<LPBYTE>(&managers), nullptr), 0u);
    ASSERT_EQ(NetGroupAddUser(u"\\\\HQ1", u"Managers", u"boss"), 0u);
    LOCALGROUP_INFO_1 auditors{const_cast<WCHAR*>(u"Auditors"), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetLocalGroupAdd(u"\\\\HQSRV", 1, reinterpret_cast<LPBYTE>(&auditors), nullptr),
              0u);
    LOCALGROUP_MEMBERS_INFO_3 office[] = {{const_cast<WCHAR*>(u"OFFICE\\Managers")}};
    ASSERT_EQ(NetLocalGroupAddMembers(u"\\\\HQSRV", u"Auditors", 3,
                                      reinterpret_cast<LPBYTE>(office), 1),
              0u);
    net_.act_as("Administrator", "SALES");
    GROUP_INFO_1 team{const_cast<WCHAR*>(u"Sales Team"), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetGroupAdd(u"\\\\SRV1", 1, reinterpret_cast<LPBYTE>(&team), nullptr), 0u);
    ASSERT_EQ(NetGroupAddUser(u"\\\\SRV1", u"Sales Team", u"jdoe"), 0u);
    ASSERT_EQ(NetGroupAddUser(u"\\\\SRV1", u"Sales Team", u"asmith"), 0u);
    LOCALGROUP_INFO_1 readers{const_cast<WCHAR*>(u"Readers"), const_cast<WCHAR*>(u"")};
    ASSERT_EQ(NetLocalGroupAdd(u"\\\\SRV2", 1, reinterpret_cast<LPBYTE>(&readers), nullptr), 0u);
    LOCALGROUP_MEMBERS_INFO_3 members[] = {{const_cast<WCHAR*>(u"SALES\\Sales Team")},
                                           {const_cast<WCHAR*>(u"SALES\\jdoe")},
                                           {const_cast<WCHAR*>(u"SALES\\Domain Guests")}};
    ASSERT_EQ(NetLocalGroupAddMembers(u"\\\\SRV2", u"Readers", 3,
                                      reinterpret_cast<LPBYTE>(members), 3),
              0u);
  }

  static void add_user(const WCHAR* server, const WCHAR* name) {
    USER_INFO_1 user{};
    user.usri1_name = const_cast<WCHAR*>(name);
    user.usri1_password = const_cast<WCHAR*>(u"Secret12");
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    ASSERT_EQ(NetUserAdd(server, 1, reinterpret_cast<LPBYTE>(&user), nullptr), 0u);
  }

  static std::string names(const GroupMembers& m) { return utf8(join_members(m.names)); }

  AccountsNetwork net_;
};

TEST_F(GroupMembersNet, DirectAndIndirectMembers) {
  GroupMembers m;
  EXPECT_EQ(read_global_members(u"\\\\SRV1", u"Sales Team", &m), 0u);
  EXPECT_EQ(names(m), "asmith,jdoe");
  EXPECT_EQ(m.direct, 2);
  EXPECT_EQ(read_global_members(u"\\\\SRV1", u"nosuch", &m), 2220u);

  EXPECT_EQ(read_local_members(u"\\\\SRV2", u"Readers", false, &m), 0u);
  EXPECT_EQ(names(m), "SALES\\Sales Team,SALES\\jdoe,SALES\\Domain Guests");
  EXPECT_EQ(m.direct, 3);
  // Global groups become their users, read on their domain's controller;
  // the count stays that of the direct members.
  EXPECT_EQ(read_local_members(u"\\\\SRV2", u"Readers", true, &m), 0u);
  EXPECT_EQ(names(m), "SALES\\asmith,SALES\\jdoe,SALES\\jdoe,SALES\\Guest");
  EXPECT_EQ(m.direct, 3);
  // From a workstation of SALES, a group of OFFICE on OFFICE's controller.
  EXPECT_EQ(read_local_members(u"\\\\HQSRV", u"Auditors", true, &m), 0u);
  EXPECT_EQ(names(m), "OFFICE\\boss");
  EXPECT_EQ(m.direct, 1);
  EXPECT_EQ(read_local_members(u"\\\\SRV2", u"nosuch", true, &m), 1376u);
  EXPECT_EQ(read_local_members(u"\\\\WS9", u"Readers", true, &m), 53u);
}

}  // namespace
