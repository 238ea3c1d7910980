#include "platform/security/logon.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/security/security_test_env.h"
#include "platform/sync/waitable.h"

namespace {

std::string block_entries(const std::string& block, bool unicode) {
  std::string out;
  if (!unicode) {
    for (size_t i = 0; i < block.size() && block[i];) {
      std::string entry(block.c_str() + i);
      out += entry + ";";
      i += entry.size() + 1;
    }
    return out;
  }
  std::u16string wide(reinterpret_cast<const char16_t*>(block.data()), block.size() / 2);
  for (size_t i = 0; i < wide.size() && wide[i];) {
    std::u16string entry(wide.c_str() + i);
    out += nt_wide_to_ansi(entry) + ";";
    i += entry.size() + 1;
  }
  return out;
}

TEST(Logon, ChecksThePasswordAndGivesTheUsersToken) {
  SecurityTestNetwork net;
  std::string joe = net.add_user("LOCALPC", "joe", "secret");
  HANDLE token = nullptr;
  EXPECT_FALSE(LogonUserA("joe", ".", "wrong", LOGON32_LOGON_INTERACTIVE,
                          LOGON32_PROVIDER_DEFAULT, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(LogonUserA("nobody", nullptr, "x", LOGON32_LOGON_INTERACTIVE,
                          LOGON32_PROVIDER_DEFAULT, &token));
  EXPECT_EQ(GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_FALSE(LogonUserA("joe", ".", "secret", 7, LOGON32_PROVIDER_DEFAULT, &token));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(LogonUserA("joe", ".", "secret", LOGON32_LOGON_BATCH, 9, &token));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  ASSERT_TRUE(LogonUserW(u"JOE", u"LOCALPC", u"secret", LOGON32_LOGON_BATCH,
                         LOGON32_PROVIDER_DEFAULT, &token));
  DWORD err;
  std::shared_ptr<NtToken> t = nt_token_from_handle(token, TOKEN_QUERY, &err);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->user_sid, joe);
  EXPECT_EQ(t->identity.user, "joe");  // as the account keeps it
  EXPECT_TRUE(t->has_sid(nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_BATCH_RID})));
  EXPECT_FALSE(t->has_sid(nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_INTERACTIVE_RID})));
  EXPECT_EQ(t->type, TokenPrimary);
  CloseHandle(token);
}

TEST(Logon, ImpersonationChangesWhoTheThreadIsUntilRevert) {
  SecurityTestNetwork net;
  std::string joe = net.add_user("LOCALPC", "joe", "secret");
  HANDLE token = nullptr, thread_token = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread_token));
  EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);

  ASSERT_TRUE(LogonUserA("joe", "LOCALPC", "secret", LOGON32_LOGON_INTERACTIVE,
                         LOGON32_PROVIDER_DEFAULT, &token));
  ASSERT_TRUE(ImpersonateLoggedOnUser(token));
  char name[64];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_STREQ(name, "joe");
  EXPECT_EQ(nt_effective_token()->user_sid, joe);
  ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread_token));
  DWORD err;
  EXPECT_EQ(nt_token_from_handle(thread_token, TOKEN_QUERY, &err)->type, TokenImpersonation);
  CloseHandle(thread_token);
  // The process token is still the Administrator's.
  EXPECT_NE(nt_process_token()->user_sid, joe);

  ASSERT_TRUE(RevertToSelf());
  size = sizeof name;
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_STREQ(name, "Administrator");
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread_token));

  // A handle without TOKEN_DUPLICATE cannot be impersonated.
  HANDLE query_only = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &query_only));
  EXPECT_FALSE(ImpersonateLoggedOnUser(query_only));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(query_only);
  CloseHandle(token);
}

TEST(Logon, EnvironmentOfAUserReplacesOnlyItsNames) {
  const char ansi[] = "Path=C:\\bin\0username=old\0USERDOMAIN=OLD\0=C:=C:\\\0\0";
  std::string block = nt_environment_for_user(ansi, false, "joe", "SALES");
  EXPECT_EQ(block_entries(block, false), "Path=C:\\bin;=C:=C:\\;USERNAME=joe;USERDOMAIN=SALES;");
  EXPECT_EQ(block.back(), '\0');
  EXPECT_EQ(block[block.size() - 2], '\0');

  const char16_t wide[] = u"A=1\0USERNAME=x\0\0";
  std::string wide_block = nt_environment_for_user(wide, true, "ann", "HQ");
  EXPECT_EQ(block_entries(wide_block, true), "A=1;USERNAME=ann;USERDOMAIN=HQ;");
  EXPECT_EQ(wide_block.size() % 2, 0u);

  setenv("SECTEST_MARK", "here", 1);
  std::string current = nt_environment_for_user(nullptr, false, "joe", "LOCALPC");
  EXPECT_NE(block_entries(current, false).find("SECTEST_MARK=here;"), std::string::npos);
  unsetenv("SECTEST_MARK");
}

TEST(Logon, ProcessStartedAsAUserSeesThatUser) {
  SecurityTestNetwork net;
  net.add_user("LOCALPC", "joe", "secret");
  HANDLE token = nullptr;
  ASSERT_TRUE(LogonUserA("joe", "LOCALPC", "secret", LOGON32_LOGON_BATCH,
                         LOGON32_PROVIDER_DEFAULT, &token));
  std::string out = net.root() + "/who.txt";
  std::string command = "/bin/sh -c \"echo $USERNAME/$USERDOMAIN > " + out + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessAsUserA(token, nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &si, &pi))
      << GetLastError();
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "joe/LOCALPC");

  HANDLE query_only = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &query_only));
  EXPECT_FALSE(CreateProcessAsUserA(query_only, nullptr, command.data(), nullptr, nullptr, FALSE,
                                    0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(query_only);
  CloseHandle(token);
}

}  // namespace
