#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/accounts/account_auth.h"
#include "platform/accounts/accounts_test_network.h"
#include "platform/netapi/netapi.h"
#include "platform/security/account_lookup.h"
#include "platform/security/acl.h"
#include "platform/security/machine_sid.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/well_known_accounts.h"

namespace {

// Frees a result block at the end of a scope.
struct Block {
  LPBYTE p = nullptr;
  ~Block() { NetApiBufferFree(p); }
  template <typename T>
  T* as() const {
    return reinterpret_cast<T*>(p);
  }
};

NET_API_STATUS add_user(const WCHAR* server, const WCHAR* name, const WCHAR* password,
                        DWORD* parm = nullptr, const WCHAR* comment = u"") {
  USER_INFO_1 u{};
  u.usri1_name = const_cast<LPWSTR>(name);
  u.usri1_password = const_cast<LPWSTR>(password);
  u.usri1_priv = USER_PRIV_USER;
  u.usri1_comment = const_cast<LPWSTR>(comment);
  u.usri1_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
  return NetUserAdd(server, 1, reinterpret_cast<LPBYTE>(&u), parm);
}

template <typename Info, typename Field>
std::string names(const Block& b, DWORD count, Field Info::*field) {
  std::string out;
  for (DWORD i = 0; i < count; ++i) {
    if (i) out += "|";
    out += utf8_of(b.as<Info>()[i].*field);
  }
  return out;
}

TEST(NetUser, AddGetAndLevels) {
  AccountsNetwork net;
  DWORD parm = 99;
  ASSERT_EQ(add_user(u"SRV2", u"jdoe", u"Secret1", &parm, u"A user"), NERR_Success);
  EXPECT_EQ(parm, PARM_ERROR_NONE);
  EXPECT_EQ(nt_account_check_password("SRV2", "jdoe", "Secret1"), ERROR_SUCCESS);

  Block b3;
  ASSERT_EQ(NetUserGetInfo(u"\\\\SRV2", u"JDOE", 3, &b3.p), NERR_Success);
  const USER_INFO_3* u = b3.as<USER_INFO_3>();
  EXPECT_EQ(utf8_of(u->usri3_name), "jdoe");
  EXPECT_EQ(u->usri3_password, nullptr);
  EXPECT_EQ(utf8_of(u->usri3_comment), "A user");
  EXPECT_EQ(u->usri3_priv, USER_PRIV_USER);
  EXPECT_EQ(u->usri3_flags, UF_SCRIPT | UF_NORMAL_ACCOUNT);
  EXPECT_EQ(u->usri3_user_id, 1000u);
  EXPECT_EQ(u->usri3_primary_group_id, 513u);
  EXPECT_EQ(u->usri3_acct_expires, TIMEQ_FOREVER);
  EXPECT_EQ(u->usri3_units_per_week, 168u);
  ASSERT_NE(u->usri3_logon_hours, nullptr);
  EXPECT_EQ(u->usri3_logon_hours[0], 0xFF);
  EXPECT_EQ(u->usri3_logon_hours[20], 0xFF);
  EXPECT_LT(u->usri3_password_age, 60u);

  Block b20, b10, b0, b2, badmin;
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 20, &b20.p), NERR_Success);
  EXPECT_EQ(b20.as<USER_INFO_20>()->usri20_user_id, 1000u);
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 10, &b10.p), NERR_Success);
  EXPECT_EQ(utf8_of(b10.as<USER_INFO_10>()->usri10_comment), "A user");
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 0, &b0.p), NERR_Success);
  EXPECT_EQ(utf8_of(b0.as<USER_INFO_0>()->usri0_name), "jdoe");
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 2, &b2.p), NERR_Success);
  EXPECT_EQ(b2.as<USER_INFO_2>()->usri2_max_storage, USER_MAXSTORAGE_UNLIMITED);
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"Administrator", 1, &badmin.p), NERR_Success);
  EXPECT_EQ(badmin.as<USER_INFO_1>()->usri1_priv, USER_PRIV_ADMIN);

  LPBYTE none = nullptr;
  EXPECT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 4, &none), ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetUserGetInfo(u"SRV2", u"nobody", 0, &none), NERR_UserNotFound);
  EXPECT_EQ(GetLastError(), NERR_UserNotFound);
  EXPECT_EQ(NetUserGetInfo(u"WS9", u"jdoe", 0, &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(NetUserGetInfo(u"NOSUCH", u"jdoe", 0, &none), ERROR_BAD_NETPATH);
  EXPECT_EQ(none, nullptr);
}

TEST(NetUser, AddAtLevelThree) {
  AccountsNetwork net;
  BYTE hours[21];
  for (BYTE& b : hours) b = 0xFF;
  hours[0] = 0x0F;  // no logon in the first four hours of Sunday
  USER_INFO_3 u{};
  u.usri3_name = const_cast<LPWSTR>(u"tmpl");
  u.usri3_password = const_cast<LPWSTR>(u"pw");
  u.usri3_priv = USER_PRIV_USER;
  u.usri3_home_dir = const_cast<LPWSTR>(u"\\\\SRV2\\home\\tmpl");
  u.usri3_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
  u.usri3_script_path = const_cast<LPWSTR>(u"logon.bat");
  u.usri3_full_name = const_cast<LPWSTR>(u"Template");
  u.usri3_acct_expires = TIMEQ_FOREVER;
  u.usri3_max_storage = USER_MAXSTORAGE_UNLIMITED;
  u.usri3_logon_hours = hours;  // without a unit count: hours a week
  u.usri3_logon_server = const_cast<LPWSTR>(u"\\\\*");
  u.usri3_country_code = 1;
  u.usri3_code_page = 850;
  u.usri3_user_id = 77;  // chosen by the database, not the caller
  u.usri3_primary_group_id = DOMAIN_GROUP_RID_USERS;
  u.usri3_profile = const_cast<LPWSTR>(u"C:\\profiles\\tmpl");
  u.usri3_home_dir_drive = const_cast<LPWSTR>(u"H:");
  u.usri3_password_expired = 1;
  DWORD parm = 0;
  ASSERT_EQ(NetUserAdd(u"SRV1", 3, reinterpret_cast<LPBYTE>(&u), &parm), NERR_Success) << parm;
  Block b;
  ASSERT_EQ(NetUserGetInfo(u"SRV1", u"tmpl", 3, &b.p), NERR_Success);
  const USER_INFO_3* r = b.as<USER_INFO_3>();
  EXPECT_EQ(r->usri3_user_id, 1000u);
  EXPECT_EQ(r->usri3_units_per_week, 168u);
  ASSERT_NE(r->usri3_logon_hours, nullptr);
  EXPECT_EQ(r->usri3_logon_hours[0], 0x0F);
  EXPECT_EQ(r->usri3_logon_hours[1], 0xFF);
  EXPECT_EQ(r->usri3_country_code, 1u);
  EXPECT_EQ(r->usri3_code_page, 850u);
  EXPECT_EQ(r->usri3_password_expired, 1u);
  EXPECT_EQ(utf8_of(r->usri3_home_dir_drive), "H:");
  EXPECT_EQ(utf8_of(r->usri3_profile), "C:\\profiles\\tmpl");
  EXPECT_EQ(utf8_of(r->usri3_script_path), "logon.bat");
  EXPECT_EQ(utf8_of(r->usri3_logon_server), "\\\\*");
  // The domain user joined Domain Users, seen from the backup controller too.
  DWORD read = 0, total = 0;
  Block groups;
  ASSERT_EQ(NetUserGetGroups(u"SRV3", u"tmpl", 0, &groups.p, MAX_PREFERRED_LENGTH, &read, &total),
            NERR_Success);
  ASSERT_EQ(read, 1u);
  EXPECT_EQ(utf8_of(groups.as<GROUP_USERS_INFO_0>()->grui0_name), "Domain Users");
  // The built-in Administrator cannot be disabled.
  USER_INFO_1008 off{UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE};
  EXPECT_EQ(NetUserSetInfo(u"SRV1", u"Administrator", 1008, reinterpret_cast<LPBYTE>(&off), &parm),
            ERROR_SPECIAL_ACCOUNT);
}

TEST(NetUser, AddRefusals) {
  AccountsNetwork net;
  DWORD parm = 0;
  ASSERT_EQ(add_user(u"SRV2", u"jdoe", u"pw"), NERR_Success);
  EXPECT_EQ(add_user(u"SRV2", u"JDoe", u"pw"), NERR_UserExists);
  EXPECT_EQ(add_user(u"SRV2", u"None", u"pw"), NERR_GroupExists);
  EXPECT_EQ(add_user(u"SRV2", u"Users", u"pw"), ERROR_ALIAS_EXISTS);
  EXPECT_EQ(add_user(u"SRV2", u"a/b", u"pw", &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, USER_NAME_PARMNUM);
  EXPECT_EQ(add_user(u"SRV2", u"...", u"pw", &parm), ERROR_INVALID_PARAMETER);
  // Names: 20 characters at most.
  EXPECT_EQ(add_user(u"SRV2", u"abcdefghijklmnopqrst", u"pw"), NERR_Success);
  parm = 0;
  EXPECT_EQ(add_user(u"SRV2", u"abcdefghijklmnopqrstu", u"pw", &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, USER_NAME_PARMNUM);
  // Texts: 256 characters at most, refused (not cut) beyond.
  std::u16string text(256, u'c');
  EXPECT_EQ(add_user(u"SRV2", u"c256", u"pw", &parm, text.c_str()), NERR_Success);
  text.push_back(u'c');
  EXPECT_EQ(add_user(u"SRV2", u"c257", u"pw", &parm, text.c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, USER_COMMENT_PARMNUM);
  // Passwords: the database's minimum, and 256 characters at most.
  std::u16string password(257, u'p');
  EXPECT_EQ(add_user(u"SRV2", u"longpw", password.c_str(), &parm), NERR_PasswordTooShort);
  EXPECT_EQ(parm, USER_PASSWORD_PARMNUM);
  password.pop_back();
  EXPECT_EQ(add_user(u"SRV2", u"longpw", password.c_str()), NERR_Success);
  NtMachineRef srv2;
  ASSERT_EQ(nt_open_machine("SRV2", &srv2), ERROR_SUCCESS);
  ASSERT_EQ(nt_accounts_set_min_password_length(*srv2.store, 6), ERROR_SUCCESS);
  EXPECT_EQ(add_user(u"SRV2", u"shortpw", u"12345"), NERR_PasswordTooShort);
  EXPECT_EQ(add_user(u"SRV2", u"okpw", u"123456"), NERR_Success);
  // Privilege other than user, a second account type.
  USER_INFO_1 u{};
  u.usri1_name = const_cast<LPWSTR>(u"x1");
  u.usri1_password = const_cast<LPWSTR>(u"123456");
  u.usri1_priv = USER_PRIV_ADMIN;
  u.usri1_flags = UF_NORMAL_ACCOUNT;
  EXPECT_EQ(NetUserAdd(u"SRV2", 1, reinterpret_cast<LPBYTE>(&u), &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, USER_PRIV_PARMNUM);
  u.usri1_priv = USER_PRIV_USER;
  u.usri1_flags = UF_NORMAL_ACCOUNT | UF_WORKSTATION_TRUST_ACCOUNT;
  EXPECT_EQ(NetUserAdd(u"SRV2", 1, reinterpret_cast<LPBYTE>(&u), &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, USER_FLAGS_PARMNUM);
  EXPECT_EQ(NetUserAdd(u"SRV2", 0, reinterpret_cast<LPBYTE>(&u), &parm), ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetUserAdd(u"WS9", 1, reinterpret_cast<LPBYTE>(&u), &parm), ERROR_BAD_NETPATH);
}

TEST(NetUser, SetDeleteAndEnumerate) {
  AccountsNetwork net;
  ASSERT_EQ(add_user(u"SRV2", u"jdoe", u"old"), NERR_Success);
  DWORD parm = 0;
  // Level 3 round trip: read, change, write back.
  Block b;
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 3, &b.p), NERR_Success);
  USER_INFO_3 rec = *b.as<USER_INFO_3>();
  rec.usri3_full_name = const_cast<LPWSTR>(u"John Doe");
  rec.usri3_flags |= UF_PASSWD_CANT_CHANGE;
  rec.usri3_password_expired = 1;
  ASSERT_EQ(NetUserSetInfo(u"SRV2", u"jdoe", 3, reinterpret_cast<LPBYTE>(&rec), &parm),
            NERR_Success);
  EXPECT_EQ(nt_account_check_password("SRV2", "jdoe", "old"), ERROR_SUCCESS);  // null: kept
  Block after;
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 3, &after.p), NERR_Success);
  EXPECT_EQ(utf8_of(after.as<USER_INFO_3>()->usri3_full_name), "John Doe");
  EXPECT_NE(after.as<USER_INFO_3>()->usri3_flags & UF_PASSWD_CANT_CHANGE, 0u);
  EXPECT_EQ(after.as<USER_INFO_3>()->usri3_password_expired, 1u);
  // An expiry of 0 means never, as TIMEQ_FOREVER does.
  rec.usri3_acct_expires = 0;
  ASSERT_EQ(NetUserSetInfo(u"SRV2", u"jdoe", 3, reinterpret_cast<LPBYTE>(&rec), &parm),
            NERR_Success);
  Block never;
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 2, &never.p), NERR_Success);
  EXPECT_EQ(never.as<USER_INFO_2>()->usri2_acct_expires, TIMEQ_FOREVER);
  rec.usri3_primary_group_id = 4242;
  EXPECT_EQ(NetUserSetInfo(u"SRV2", u"jdoe", 3, reinterpret_cast<LPBYTE>(&rec), &parm),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, USER_PRIMARY_GROUP_PARMNUM);

  USER_INFO_1003 pw{const_cast<LPWSTR>(u"new")};
  ASSERT_EQ(NetUserSetInfo(u"SRV2", u"jdoe", 1003, reinterpret_cast<LPBYTE>(&pw), nullptr),
            NERR_Success);
  EXPECT_EQ(nt_account_check_password("SRV2", "jdoe", "old"), ERROR_LOGON_FAILURE);
  EXPECT_EQ(nt_account_check_password("SRV2", "jdoe", "new"), ERROR_SUCCESS);
  USER_INFO_1008 flags{UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE};
  ASSERT_EQ(NetUserSetInfo(u"SRV2", u"jdoe", 1008, reinterpret_cast<LPBYTE>(&flags), nullptr),
            NERR_Success);
  EXPECT_EQ(nt_account_check_password("SRV2", "jdoe", "new"), ERROR_ACCOUNT_DISABLED);

  // Rename; the old name is gone, the RID stays.
  USER_INFO_0 rename{const_cast<LPWSTR>(u"jsmith")};
  ASSERT_EQ(NetUserSetInfo(u"SRV2", u"jdoe", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
            NERR_Success);
  LPBYTE none = nullptr;
  EXPECT_EQ(NetUserGetInfo(u"SRV2", u"jdoe", 0, &none), NERR_UserNotFound);
  Block renamed;
  ASSERT_EQ(NetUserGetInfo(u"SRV2", u"jsmith", 20, &renamed.p), NERR_Success);
  EXPECT_EQ(renamed.as<USER_INFO_20>()->usri20_user_id, 1000u);
  rename.usri0_name = const_cast<LPWSTR>(u"guest");
  EXPECT_EQ(NetUserSetInfo(u"SRV2", u"jsmith", 0, reinterpret_cast<LPBYTE>(&rename), nullptr),
            NERR_UserExists);

  // Enumeration: normal accounts only, or every kind; slices with resume.
  NtMachineRef srv2;
  ASSERT_EQ(nt_open_machine("SRV2", &srv2), ERROR_SUCCESS);
  NtUserRecord trust;
  trust.name = "WS1$";
  trust.flags = UF_WORKSTATION_TRUST_ACCOUNT;
  ASSERT_EQ(nt_accounts_add_user(*srv2.store, &trust), ERROR_SUCCESS);
  DWORD read = 0, total = 0;
  Block normal, all;
  ASSERT_EQ(NetUserEnum(u"SRV2", 0, FILTER_NORMAL_ACCOUNT, &normal.p, MAX_PREFERRED_LENGTH, &read,
                        &total, nullptr),
            NERR_Success);
  EXPECT_EQ(names(normal, read, &USER_INFO_0::usri0_name), "Administrator|Guest|jsmith");
  ASSERT_EQ(NetUserEnum(u"SRV2", 0, 0, &all.p, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  EXPECT_EQ(names(all, read, &USER_INFO_0::usri0_name), "Administrator|Guest|jsmith|WS1$");
  DWORD resume = 0;
  std::string seen;
  NET_API_STATUS status;
  int calls = 0;
  do {
    Block part;
    status = NetUserEnum(u"SRV2", 20, 0, &part.p, 1, &read, &total, &resume);
    ASSERT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA);
    ASSERT_EQ(read, 1u);
    seen += utf8_of(part.as<USER_INFO_20>()->usri20_name) + ";";
    ++calls;
  } while (status == ERROR_MORE_DATA && calls < 10);
  EXPECT_EQ(seen, "Administrator;Guest;jsmith;WS1$;");

  // Deleting: built-in accounts stay.
  EXPECT_EQ(NetUserDel(u"SRV2", u"Administrator"), ERROR_SPECIAL_ACCOUNT);
  EXPECT_EQ(NetUserDel(u"SRV2", u"Guest"), ERROR_SPECIAL_ACCOUNT);
  EXPECT_EQ(NetUserDel(u"SRV2", u"nobody"), NERR_UserNotFound);
  EXPECT_EQ(NetUserDel(u"SRV2", u"jsmith"), NERR_Success);
  EXPECT_EQ(NetUserDel(u"SRV2", u"jsmith"), NERR_UserNotFound);
}

TEST(NetUser, AccessDeniedForNonAdministrators) {
  AccountsNetwork net;
  ASSERT_EQ(add_user(u"SRV1", u"jdoe", u"pw"), NERR_Success);
  ASSERT_EQ(add_user(u"SRV2", u"victim", u"pw"), NERR_Success);
  net.act_as("jdoe", "SALES");
  DWORD parm = 0;
  EXPECT_EQ(add_user(u"SRV2", u"new", u"pw"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(NetUserDel(u"SRV2", u"victim"), ERROR_ACCESS_DENIED);
  USER_INFO_1003 pw{const_cast<LPWSTR>(u"x")};
  EXPECT_EQ(NetUserSetInfo(u"SRV2", u"victim", 1003, reinterpret_cast<LPBYTE>(&pw), &parm),
            ERROR_ACCESS_DENIED);
  GROUP_INFO_0 g{const_cast<LPWSTR>(u"G")};
  EXPECT_EQ(NetGroupAdd(u"SRV1", 0, reinterpret_cast<LPBYTE>(&g), &parm), ERROR_ACCESS_DENIED);
  EXPECT_EQ(NetGroupAddUser(u"SRV1", u"Domain Admins", u"jdoe"), ERROR_ACCESS_DENIED);
  LOCALGROUP_MEMBERS_INFO_3 m{const_cast<LPWSTR>(u"SALES\\jdoe")};
  EXPECT_EQ(NetLocalGroupAddMembers(u"SRV2", u"Administrators", 3, reinterpret_cast<LPBYTE>(&m), 1),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(NetShareDel(u"SRV2", u"C$", 0), ERROR_ACCESS_DENIED);
  // Reading is open.
  Block b;
  EXPECT_EQ(NetUserGetInfo(u"SRV2", u"victim", 3, &b.p), NERR_Success);
  // A domain admin may: membership of Domain Admins reaches the member server.
  net.act_as("Administrator", "SALES");
  ASSERT_EQ(NetGroupAddUser(u"SRV1", u"Domain Admins", u"jdoe"), NERR_Success);
  net.act_as("jdoe", "SALES");
  EXPECT_EQ(NetUserDel(u"SRV2", u"victim"), NERR_Success);
  // But not on the other domain's machines.
  EXPECT_EQ(add_user(u"HQSRV", u"new", u"pw"), ERROR_ACCESS_DENIED);
}

TEST(NetGroup, GlobalGroupsOnControllers) {
  AccountsNetwork net;
  ASSERT_EQ(add_user(u"SRV1", u"jdoe", u"pw"), NERR_Success);
  DWORD parm = 0;
  GROUP_INFO_1 g{const_cast<LPWSTR>(u"Sales Staff"), const_cast<LPWSTR>(u"Everyone in sales")};
  // Added through the backup controller, kept by the primary one.
  ASSERT_EQ(NetGroupAdd(u"SRV3", 1, reinterpret_cast<LPBYTE>(&g), &parm), NERR_Success);
  EXPECT_EQ(NetGroupAdd(u"SRV1", 1, reinterpret_cast<LPBYTE>(&g), &parm), NERR_GroupExists);
  GROUP_INFO_0 clash{const_cast<LPWSTR>(u"jdoe")};
  EXPECT_EQ(NetGroupAdd(u"SRV1", 0, reinterpret_cast<LPBYTE>(&clash), &parm), NERR_UserExists);
  GROUP_INFO_0 bad{const_cast<LPWSTR>(u"a*b")};
  EXPECT_EQ(NetGroupAdd(u"SRV1", 0, reinterpret_cast<LPBYTE>(&bad), &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, GROUP_NAME_PARMNUM);

  // Group names: 256 characters at most.
  std::u16string long_name(256, u'g');
  GROUP_INFO_0 longest{long_name.data()};
  EXPECT_EQ(NetGroupAdd(u"SRV1", 0, reinterpret_cast<LPBYTE>(&longest), &parm), NERR_Success);
  long_name.push_back(u'g');
  GROUP_INFO_0 too_long{long_name.data()};
  parm = 0;
  EXPECT_EQ(NetGroupAdd(u"SRV1", 0, reinterpret_cast<LPBYTE>(&too_long), &parm),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, GROUP_NAME_PARMNUM);
  long_name.pop_back();
  ASSERT_EQ(NetGroupDel(u"SRV1", long_name.c_str()), NERR_Success);

  Block info;
  ASSERT_EQ(NetGroupGetInfo(u"SRV1", u"sales staff", 2, &info.p), NERR_Success);
  EXPECT_EQ(utf8_of(info.as<GROUP_INFO_2>()->grpi2_name), "Sales Staff");
  EXPECT_EQ(utf8_of(info.as<GROUP_INFO_2>()->grpi2_comment), "Everyone in sales");
  EXPECT_EQ(info.as<GROUP_INFO_2>()->grpi2_group_id, 1001u);
  LPBYTE none = nullptr;
  EXPECT_EQ(NetGroupGetInfo(u"SRV1", u"nogroup", 0, &none), NERR_GroupNotFound);

  DWORD read = 0, total = 0;
  Block list;
  ASSERT_EQ(NetGroupEnum(u"SRV3", 1, &list.p, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  EXPECT_EQ(names(list, read, &GROUP_INFO_1::grpi1_name),
            "Domain Admins|Domain Guests|Domain Users|Sales Staff");

  EXPECT_EQ(NetGroupAddUser(u"SRV1", u"Sales Staff", u"jdoe"), NERR_Success);
  EXPECT_EQ(NetGroupAddUser(u"SRV1", u"Sales Staff", u"JDOE"), NERR_UserInGroup);
  EXPECT_EQ(NetGroupAddUser(u"SRV1", u"nogroup", u"jdoe"), NERR_GroupNotFound);
  EXPECT_EQ(NetGroupAddUser(u"SRV1", u"Sales Staff", u"nobody"), NERR_UserNotFound);
  Block users;
  ASSERT_EQ(NetGroupGetUsers(u"SRV1", u"Domain Users", 0, &users.p, MAX_PREFERRED_LENGTH, &read,
                             &total, nullptr),
            NERR_Success);
  EXPECT_EQ(names(users, read, &GROUP_USERS_INFO_0::grui0_name), "Administrator|jdoe");
  Block groups;
  ASSERT_EQ(NetUserGetGroups(u"SRV1", u"jdoe", 0, &groups.p, MAX_PREFERRED_LENGTH, &read, &total),
            NERR_Success);
  EXPECT_EQ(names(groups, read, &GROUP_USERS_INFO_0::grui0_name), "Domain Users|Sales Staff");
  EXPECT_EQ(NetGroupDelUser(u"SRV1", u"Sales Staff", u"jdoe"), NERR_Success);
  EXPECT_EQ(NetGroupDelUser(u"SRV1", u"Sales Staff", u"jdoe"), NERR_UserNotInGroup);

  EXPECT_EQ(NetGroupDel(u"SRV1", u"Domain Admins"), ERROR_SPECIAL_ACCOUNT);
  EXPECT_EQ(NetGroupDel(u"SRV1", u"Sales Staff"), NERR_Success);
  EXPECT_EQ(NetGroupDel(u"SRV1", u"Sales Staff"), NERR_GroupNotFound);
}

TEST(NetLocalGroup, MembersAndKinds) {
  AccountsNetwork net;
  ASSERT_EQ(add_user(u"SRV1", u"jdoe", u"pw"), NERR_Success);
  ASSERT_EQ(add_user(u"SRV2", u"local", u"pw"), NERR_Success);
  DWORD parm = 0;
  LOCALGROUP_INFO_1 lg{const_cast<LPWSTR>(u"Printers"), const_cast<LPWSTR>(u"may print")};
  ASSERT_EQ(NetLocalGroupAdd(u"SRV2", 1, reinterpret_cast<LPBYTE>(&lg), &parm), NERR_Success);
  EXPECT_EQ(NetLocalGroupAdd(u"SRV2", 1, reinterpret_cast<LPBYTE>(&lg), &parm), ERROR_ALIAS_EXISTS);
  Block info;
  ASSERT_EQ(NetLocalGroupGetInfo(u"SRV2", u"PRINTERS", 1, &info.p), NERR_Success);
  EXPECT_EQ(utf8_of(info.as<LOCALGROUP_INFO_1>()->lgrpi1_comment), "may print");
  LPBYTE none = nullptr;
  EXPECT_EQ(NetLocalGroupGetInfo(u"SRV2", u"nothing", 1, &none), ERROR_NO_SUCH_ALIAS);

  LOCALGROUP_MEMBERS_INFO_3 add[] = {{const_cast<LPWSTR>(u"SALES\\jdoe")},
                                     {const_cast<LPWSTR>(u"local")},
                                     {const_cast<LPWSTR>(u"SALES\\Domain Users")}};
  ASSERT_EQ(NetLocalGroupAddMembers(u"SRV2", u"Printers", 3, reinterpret_cast<LPBYTE>(add), 3),
            NERR_Success);
  EXPECT_EQ(NetLocalGroupAddMembers(u"SRV2", u"Printers", 3, reinterpret_cast<LPBYTE>(add), 1),
            ERROR_MEMBER_IN_ALIAS);
  LOCALGROUP_MEMBERS_INFO_3 unknown{const_cast<LPWSTR>(u"SALES\\nobody")};
  EXPECT_EQ(NetLocalGroupAddMembers(u"SRV2", u"Printers", 3, reinterpret_cast<LPBYTE>(&unknown), 1),
            ERROR_NO_SUCH_MEMBER);
  LOCALGROUP_MEMBERS_INFO_3 alias{const_cast<LPWSTR>(u"BUILTIN\\Users")};
  EXPECT_EQ(NetLocalGroupAddMembers(u"SRV2", u"Printers", 3, reinterpret_cast<LPBYTE>(&alias), 1),
            ERROR_INVALID_MEMBER);
  EXPECT_EQ(NetLocalGroupAddMembers(u"SRV2", u"nothing", 3, reinterpret_cast<LPBYTE>(add), 1),
            ERROR_NO_SUCH_ALIAS);
  // By SID: Everyone.
  std::string everyone = nt_sid_everyone();
  LOCALGROUP_MEMBERS_INFO_0 by_sid{everyone.data()};
  ASSERT_EQ(NetLocalGroupAddMembers(u"SRV2", u"Printers", 0, reinterpret_cast<LPBYTE>(&by_sid), 1),
            NERR_Success);

  DWORD read = 0, total = 0;
  Block members;
  ASSERT_EQ(NetLocalGroupGetMembers(u"SRV2", u"Printers", 2, &members.p, MAX_PREFERRED_LENGTH,
                                    &read, &total, nullptr),
            NERR_Success);
  ASSERT_EQ(read, 4u);
  const auto* m = members.as<LOCALGROUP_MEMBERS_INFO_2>();
  EXPECT_EQ(utf8_of(m[0].lgrmi2_domainandname), "SALES\\jdoe");
  EXPECT_EQ(m[0].lgrmi2_sidusage, SidTypeUser);
  EXPECT_EQ(utf8_of(m[1].lgrmi2_domainandname), "SRV2\\local");
  EXPECT_EQ(utf8_of(m[2].lgrmi2_domainandname), "SALES\\Domain Users");
  EXPECT_EQ(m[2].lgrmi2_sidusage, SidTypeGroup);
  EXPECT_EQ(utf8_of(m[3].lgrmi2_domainandname), "Everyone");
  EXPECT_EQ(m[3].lgrmi2_sidusage, SidTypeWellKnownGroup);
  EXPECT_TRUE(EqualSid(m[3].lgrmi2_sid, everyone.data()));
  Block level1, level3;
  ASSERT_EQ(NetLocalGroupGetMembers(u"SRV2", u"Printers", 1, &level1.p, MAX_PREFERRED_LENGTH,
                                    &read, &total, nullptr),
            NERR_Success);
  EXPECT_EQ(utf8_of(level1.as<LOCALGROUP_MEMBERS_INFO_1>()[1].lgrmi1_name), "local");
  ASSERT_EQ(NetLocalGroupGetMembers(u"SRV2", u"Administrators", 3, &level3.p,
                                    MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  EXPECT_EQ(names(level3, read, &LOCALGROUP_MEMBERS_INFO_3::lgrmi3_domainandname),
            "SRV2\\Administrator|SALES\\Domain Admins");

  // The user's local groups, directly or through its global groups.
  Block direct, indirect;
  ASSERT_EQ(NetUserGetLocalGroups(u"SRV2", u"SALES\\jdoe", 0, 0, &direct.p, MAX_PREFERRED_LENGTH,
                                  &read, &total),
            NERR_Success);
  EXPECT_EQ(names(direct, read, &LOCALGROUP_USERS_INFO_0::lgrui0_name), "Printers");
  ASSERT_EQ(NetUserGetLocalGroups(u"SRV2", u"SALES\\jdoe", 0, LG_INCLUDE_INDIRECT, &indirect.p,
                                  MAX_PREFERRED_LENGTH, &read, &total),
            NERR_Success);
  EXPECT_EQ(names(indirect, read, &LOCALGROUP_USERS_INFO_0::lgrui0_name), "Printers|Users");
  EXPECT_EQ(NetUserGetLocalGroups(u"SRV2", u"SALES\\nobody", 0, 0, &none, MAX_PREFERRED_LENGTH,
                                  &read, &total),
            NERR_UserNotFound);

  // Removing: all or nothing.
  LOCALGROUP_MEMBERS_INFO_3 del[] = {{const_cast<LPWSTR>(u"local")},
                                     {const_cast<LPWSTR>(u"Administrator")}};
  EXPECT_EQ(NetLocalGroupDelMembers(u"SRV2", u"Printers", 3, reinterpret_cast<LPBYTE>(del), 2),
            ERROR_MEMBER_NOT_IN_ALIAS);
  ASSERT_EQ(NetLocalGroupGetMembers(u"SRV2", u"Printers", 0, &none, MAX_PREFERRED_LENGTH, &read,
                                    &total, nullptr),
            NERR_Success);
  NetApiBufferFree(none);
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(NetLocalGroupDelMembers(u"SRV2", u"Printers", 3, reinterpret_cast<LPBYTE>(del), 1),
            NERR_Success);

  Block all;
  ASSERT_EQ(NetLocalGroupEnum(u"SRV2", 0, &all.p, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  EXPECT_EQ(names(all, read, &LOCALGROUP_INFO_0::lgrpi0_name),
            "Administrators|Guests|Power Users|Printers|Users");
  EXPECT_EQ(NetLocalGroupDel(u"SRV2", u"Administrators"), ERROR_SPECIAL_ACCOUNT);
  EXPECT_EQ(NetLocalGroupDel(u"SRV2", u"Printers"), NERR_Success);
  EXPECT_EQ(NetLocalGroupDel(u"SRV2", u"Printers"), ERROR_NO_SUCH_ALIAS);
}

TEST(NetShare, SecurityLevelsAndErrors) {
  AccountsNetwork net;
  std::string dir = nt_network_machine_dir(net.root(), "SRV2") + "/drives/C/Data";
  ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
  // A descriptor with one ACE: Everyone read.
  BYTE acl_bytes[64];
  PACL acl = reinterpret_cast<PACL>(acl_bytes);
  ASSERT_TRUE(InitializeAcl(acl, sizeof acl_bytes, ACL_REVISION));
  std::string everyone = nt_sid_everyone();
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 0x120089, everyone.data()));
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));

  SHARE_INFO_502 s{};
  s.shi502_netname = const_cast<LPWSTR>(u"Data");
  s.shi502_type = STYPE_DISKTREE;
  s.shi502_remark = const_cast<LPWSTR>(u"Team data");
  s.shi502_max_uses = SHI_USES_UNLIMITED;
  s.shi502_path = const_cast<LPWSTR>(u"C:\\Data");
  s.shi502_security_descriptor = &sd;
  DWORD parm = 0;
  ASSERT_EQ(NetShareAdd(u"SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), NERR_Success);
  EXPECT_EQ(NetShareAdd(u"SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), NERR_DuplicateShare);

  Block got;
  ASSERT_EQ(NetShareGetInfo(u"SRV2", u"data", 502, &got.p), NERR_Success);
  const auto* r = got.as<SHARE_INFO_502>();
  EXPECT_EQ(utf8_of(r->shi502_remark), "Team data");
  ASSERT_NE(r->shi502_security_descriptor, nullptr);
  NtSecurityDescriptor parsed;
  ASSERT_TRUE(nt_sd_read(r->shi502_security_descriptor, &parsed));
  EXPECT_TRUE(parsed.dacl_present);
  std::string acl_text(reinterpret_cast<const char*>(acl_bytes),
                       reinterpret_cast<const ACL*>(acl_bytes)->AclSize);
  EXPECT_EQ(parsed.dacl.substr(0, 8), acl_text.substr(0, 8));

  // Remark alone; the descriptor taken away (1501 with null).
  SHARE_INFO_1004 remark{const_cast<LPWSTR>(u"New remark")};
  ASSERT_EQ(NetShareSetInfo(u"SRV2", u"Data", 1004, reinterpret_cast<LPBYTE>(&remark), &parm),
            NERR_Success);
  SHARE_INFO_1501 nosd{0, nullptr};
  ASSERT_EQ(NetShareSetInfo(u"SRV2", u"Data", 1501, reinterpret_cast<LPBYTE>(&nosd), &parm),
            NERR_Success);
  DWORD read = 0, total = 0;
  Block list;
  ASSERT_EQ(NetShareEnum(u"SRV2", 502, &list.p, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  bool found = false;
  for (DWORD i = 0; i < read; ++i) {
    const auto& e = list.as<SHARE_INFO_502>()[i];
    if (utf8_of(e.shi502_netname) != "Data") continue;
    found = true;
    EXPECT_EQ(utf8_of(e.shi502_remark), "New remark");
    EXPECT_EQ(e.shi502_security_descriptor, nullptr);
  }
  EXPECT_TRUE(found);

  // Level 502 set: remark and maximum uses; the path stays.
  s.shi502_remark = const_cast<LPWSTR>(u"Again");
  s.shi502_max_uses = 5;
  s.shi502_path = const_cast<LPWSTR>(u"C:\\Elsewhere");
  s.shi502_security_descriptor = nullptr;
  ASSERT_EQ(NetShareSetInfo(u"SRV2", u"Data", 502, reinterpret_cast<LPBYTE>(&s), &parm),
            NERR_Success);
  Block again;
  ASSERT_EQ(NetShareGetInfo(u"SRV2", u"Data", 2, &again.p), NERR_Success);
  EXPECT_EQ(again.as<SHARE_INFO_2>()->shi2_max_uses, 5u);
  EXPECT_EQ(utf8_of(again.as<SHARE_INFO_2>()->shi2_path), "C:\\Data");

  // Bad fields name themselves.
  s.shi502_netname = const_cast<LPWSTR>(u"Bad:Name");
  EXPECT_EQ(NetShareAdd(u"SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, SHARE_NETNAME_PARMNUM);
  s.shi502_netname = const_cast<LPWSTR>(u"Other");
  s.shi502_path = const_cast<LPWSTR>(u"Data");
  EXPECT_EQ(NetShareAdd(u"SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, SHARE_PATH_PARMNUM);
  s.shi502_path = const_cast<LPWSTR>(u"C:\\Missing");
  EXPECT_EQ(NetShareAdd(u"SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), NERR_UnknownDevDir);
  char garbage[40] = {7, 7, 7};
  s.shi502_path = const_cast<LPWSTR>(u"C:\\Data");
  s.shi502_security_descriptor = garbage;
  EXPECT_EQ(NetShareAdd(u"SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(parm, SHARE_FILE_SD_PARMNUM);
  EXPECT_EQ(NetShareSetInfo(u"SRV2", u"C$", 1004, reinterpret_cast<LPBYTE>(&remark), &parm),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(NetShareSetInfo(u"SRV2", u"nothing", 1004, reinterpret_cast<LPBYTE>(&remark), &parm),
            NERR_NetNameNotFound);
  EXPECT_EQ(NetShareDel(u"SRV2", u"Data", 1), ERROR_INVALID_PARAMETER);

  net.act_as("tester", "SALES");
  EXPECT_EQ(NetShareDel(u"SRV2", u"Data", 0), ERROR_ACCESS_DENIED);
  net.act_as("Administrator", "SALES");
  EXPECT_EQ(NetShareDel(u"SRV2", u"Data", 0), NERR_Success);
  EXPECT_EQ(NetShareDel(u"SRV2", u"Data", 0), NERR_NetNameNotFound);
  EXPECT_EQ(NetShareDel(u"WS9", u"Data", 0), ERROR_BAD_NETPATH);
}

TEST(NetWkstaUser, CallerIdentity) {
  AccountsNetwork net;
  Block b0, b1;
  ASSERT_EQ(NetWkstaUserGetInfo(nullptr, 0, &b0.p), NERR_Success);
  EXPECT_EQ(utf8_of(b0.as<WKSTA_USER_INFO_0>()->wkui0_username), "Administrator");
  ASSERT_EQ(NetWkstaUserGetInfo(nullptr, 1, &b1.p), NERR_Success);
  EXPECT_EQ(utf8_of(b1.as<WKSTA_USER_INFO_1>()->wkui1_logon_domain), "SALES");
  EXPECT_EQ(utf8_of(b1.as<WKSTA_USER_INFO_1>()->wkui1_logon_server), "SRV1");
  net.act_as("me", nullptr);
  Block local;
  ASSERT_EQ(NetWkstaUserGetInfo(nullptr, 1, &local.p), NERR_Success);
  EXPECT_EQ(utf8_of(local.as<WKSTA_USER_INFO_1>()->wkui1_logon_domain), "LOCALPC");
  EXPECT_EQ(utf8_of(local.as<WKSTA_USER_INFO_1>()->wkui1_logon_server), "LOCALPC");
  LPBYTE none = nullptr;
  EXPECT_EQ(NetWkstaUserGetInfo(nullptr, 2, &none), ERROR_INVALID_LEVEL);
}

TEST(AccountLookup, DatabasesInOrder) {
  AccountsNetwork net;
  ASSERT_EQ(add_user(u"SRV1", u"jdoe", u"pw"), NERR_Success);
  ASSERT_EQ(add_user(u"LOCALPC", u"pcuser", u"pw"), NERR_Success);
  NtMachineRef local, pdc, bdc;
  ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("SRV1", &pdc), ERROR_SUCCESS);
  ASSERT_EQ(nt_open_machine("SRV3", &bdc), ERROR_SUCCESS);
  std::string domain_sid, local_sid;
  ASSERT_EQ(nt_machine_sid(*pdc.store, &domain_sid), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_sid(*local.store, &local_sid), ERROR_SUCCESS);
  NtAccount a;
  ASSERT_EQ(nt_lookup_account_name(local, u"jdoe", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.sid, nt_sid_append(domain_sid, 1000));
  EXPECT_EQ(a.domain, u"SALES");
  EXPECT_EQ(a.use, SidTypeUser);
  // The machine's own account first.
  ASSERT_EQ(nt_lookup_account_name(local, u"Administrator", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.sid, nt_sid_append(local_sid, 500));
  ASSERT_EQ(nt_lookup_account_name(local, u"SALES\\Administrator", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.sid, nt_sid_append(domain_sid, 500));
  ASSERT_EQ(nt_lookup_account_name(local, u"pcuser", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.domain, u"LOCALPC");
  ASSERT_EQ(nt_lookup_account_name(local, u"Domain Admins", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.use, SidTypeGroup);
  ASSERT_EQ(nt_lookup_account_name(local, u"SALES", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.use, SidTypeDomain);
  ASSERT_EQ(nt_lookup_account_name(local, u"Administrators", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.domain, u"BUILTIN");
  EXPECT_EQ(nt_lookup_account_name(local, u"OFFICE\\Administrator", &a), ERROR_NONE_MAPPED);
  EXPECT_EQ(nt_lookup_account_name(local, u"nobody", &a), ERROR_NONE_MAPPED);
  // The controllers answer with the domain's database.
  ASSERT_EQ(nt_lookup_account_name(bdc, u"jdoe", &a), ERROR_SUCCESS);
  EXPECT_EQ(a.domain, u"SALES");
  ASSERT_EQ(nt_lookup_account_sid(bdc, nt_sid_append(domain_sid, 1000), &a), ERROR_SUCCESS);
  EXPECT_EQ(a.name, u"jdoe");
  ASSERT_EQ(nt_lookup_account_sid(local, nt_sid_append(domain_sid, 513), &a), ERROR_SUCCESS);
  EXPECT_EQ(a.name, u"Domain Users");
  EXPECT_EQ(nt_lookup_account_sid(local, nt_sid_append(domain_sid, 4242), &a), ERROR_NONE_MAPPED);
}

}  // namespace
