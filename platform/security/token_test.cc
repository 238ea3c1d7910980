#include "platform/security/token.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/security/security_test_env.h"

namespace {

std::string token_sid(HANDLE token, TOKEN_INFORMATION_CLASS info_class) {
  alignas(8) BYTE buffer[256];
  DWORD needed = 0;
  if (!GetTokenInformation(token, info_class, buffer, sizeof buffer, &needed)) return "error";
  PSID sid = info_class == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid
                                     : reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner;
  return std::string(static_cast<const char*>(sid), GetLengthSid(sid));
}

DWORD privilege_attributes(HANDLE token, DWORD value) {
  std::vector<BYTE> buffer(1024);
  DWORD needed = 0;
  if (!GetTokenInformation(token, TokenPrivileges, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &needed)) {
    return 0xFFFFFFFF;
  }
  auto* p = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < p->PrivilegeCount; ++i) {
    if (p->Privileges[i].Luid.LowPart == value) return p->Privileges[i].Attributes;
  }
  return 0xFFFFFFFF;  // not held
}

TEST(Token, ProcessTokenIsTheCurrentUserWithItsGroups) {
  SecurityTestNetwork net;
  std::string joe = net.add_user("LOCALPC", "joe", "pw1");
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  // The local Administrator: owner of what it makes is Administrators.
  std::string admins = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  EXPECT_EQ(nt_sid_sub_authority(token_sid(token, TokenUser), 4), DOMAIN_USER_RID_ADMIN);
  EXPECT_EQ(token_sid(token, TokenOwner), admins);

  BYTE small[8];
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenGroups, small, sizeof small, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed));
  auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
  bool found_admins = false, found_everyone = false;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    std::string sid(static_cast<const char*>(groups->Groups[i].Sid),
                    GetLengthSid(groups->Groups[i].Sid));
    if (sid == admins) {
      found_admins = true;
      EXPECT_TRUE(groups->Groups[i].Attributes & SE_GROUP_OWNER);
    }
    if (sid == nt_sid_everyone()) found_everyone = true;
  }
  EXPECT_TRUE(found_admins);
  EXPECT_TRUE(found_everyone);
  CloseHandle(token);

  // Another user: its own SID, its own owner, no administrative privileges.
  net.act_as("joe", "LOCALPC");
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_EQ(token_sid(token, TokenUser), joe);
  EXPECT_EQ(token_sid(token, TokenOwner), joe);
  EXPECT_EQ(privilege_attributes(token, SE_TAKE_OWNERSHIP_PRIVILEGE), 0xFFFFFFFFu);
  EXPECT_EQ(privilege_attributes(token, SE_CHANGE_NOTIFY_PRIVILEGE),
            SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT);
  CloseHandle(token);

  // A handle without TOKEN_QUERY may not read.
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, small, sizeof small, &needed));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(token);
  EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Token, PrivilegeNamesAndValues) {
  SecurityTestNetwork net;
  LUID luid{};
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_TAKE_OWNERSHIP_NAME, &luid));
  EXPECT_EQ(luid.LowPart, 9u);
  EXPECT_EQ(luid.HighPart, 0);
  ASSERT_TRUE(LookupPrivilegeValueW(u"", u"serestoreprivilege", &luid));
  EXPECT_EQ(luid.LowPart, 18u);
  EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
  EXPECT_FALSE(LookupPrivilegeValueA("\\\\WS9", SE_BACKUP_NAME, &luid));  // offline
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);

  char name[32];
  DWORD size = 5;
  luid = {SE_BACKUP_PRIVILEGE, 0};
  EXPECT_FALSE(LookupPrivilegeNameA(nullptr, &luid, name, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 18u);  // "SeBackupPrivilege" and its NUL
  ASSERT_TRUE(LookupPrivilegeNameA(nullptr, &luid, name, &size));
  EXPECT_STREQ(name, "SeBackupPrivilege");
  EXPECT_EQ(size, 17u);
  luid = {99, 0};
  EXPECT_FALSE(LookupPrivilegeNameA(nullptr, &luid, name, &size));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
}

TEST(Token, AdjustTokenPrivilegesIsSeenByEveryHandleAndReportsMissingOnes) {
  SecurityTestNetwork net;
  net.add_user("LOCALPC", "joe", "pw1");
  HANDLE a = nullptr, b = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &a));
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &b));
  EXPECT_EQ(privilege_attributes(b, SE_TAKE_OWNERSHIP_PRIVILEGE), 0u);  // held, disabled

  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Luid = {SE_TAKE_OWNERSHIP_PRIVILEGE, 0};
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  alignas(8) BYTE previous_buffer[64];
  auto* previous = reinterpret_cast<PTOKEN_PRIVILEGES>(previous_buffer);
  DWORD needed = 0;
  ASSERT_TRUE(AdjustTokenPrivileges(a, FALSE, &tp, sizeof previous_buffer, previous, &needed));
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(privilege_attributes(b, SE_TAKE_OWNERSHIP_PRIVILEGE), SE_PRIVILEGE_ENABLED);
  EXPECT_TRUE(nt_effective_token()->privilege_enabled(SE_TAKE_OWNERSHIP_PRIVILEGE));
  ASSERT_EQ(previous->PrivilegeCount, 1u);
  EXPECT_EQ(previous->Privileges[0].Attributes, 0u);

  // One held, one unknown to the token: done, with ERROR_NOT_ALL_ASSIGNED.
  alignas(8) BYTE two_buffer[sizeof(TOKEN_PRIVILEGES) + sizeof(LUID_AND_ATTRIBUTES)];
  auto* two = reinterpret_cast<PTOKEN_PRIVILEGES>(two_buffer);
  two->PrivilegeCount = 2;
  two->Privileges[0] = {{SE_RESTORE_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED};
  two->Privileges[1] = {{SE_CREATE_TOKEN_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED};
  EXPECT_TRUE(AdjustTokenPrivileges(a, FALSE, two, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOT_ALL_ASSIGNED);
  EXPECT_EQ(privilege_attributes(b, SE_RESTORE_PRIVILEGE), SE_PRIVILEGE_ENABLED);

  // Too small a buffer for the previous state changes nothing.
  tp.Privileges[0].Attributes = 0;
  EXPECT_FALSE(AdjustTokenPrivileges(a, FALSE, &tp, 4, previous, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(privilege_attributes(b, SE_TAKE_OWNERSHIP_PRIVILEGE), SE_PRIVILEGE_ENABLED);
  // A handle without the right to adjust.
  EXPECT_FALSE(AdjustTokenPrivileges(b, TRUE, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(AdjustTokenPrivileges(a, TRUE, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(privilege_attributes(b, SE_RESTORE_PRIVILEGE), 0u);
  EXPECT_EQ(privilege_attributes(b, SE_CHANGE_NOTIFY_PRIVILEGE), SE_PRIVILEGE_ENABLED_BY_DEFAULT);
  CloseHandle(a);
  CloseHandle(b);

  // An ordinary user holds no take-ownership privilege.
  net.act_as("joe", "LOCALPC");
  EXPECT_EQ(set_privilege(SE_TAKE_OWNERSHIP_NAME, true), ERROR_NOT_ALL_ASSIGNED);
  EXPECT_FALSE(nt_effective_token()->privilege_enabled(SE_TAKE_OWNERSHIP_PRIVILEGE));
}

TEST(Token, UnknownUsersActAsAdministratorsHereAndAsStrangersElsewhere) {
  SecurityTestNetwork net;
  net.act_as("tester", nullptr);  // no account anywhere: the tests' default user
  EXPECT_TRUE(nt_process_token()->is_admin());
  EXPECT_TRUE(nt_effective_token_on("SRV2")->is_admin());

  net.add_user("LOCALPC", "joe", "pw1", /*admin=*/true);
  net.act_as("joe", "LOCALPC");
  EXPECT_TRUE(nt_process_token()->is_admin());
  // SRV2 has no account LOCALPC\joe: it sees a stranger.
  std::shared_ptr<NtToken> there = nt_effective_token_on("SRV2");
  EXPECT_FALSE(there->is_admin());
  EXPECT_TRUE(there->has_sid(nt_sid_everyone()));
  EXPECT_EQ(there->made_on, "SRV2");
}

}  // namespace
