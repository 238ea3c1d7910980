// Access to the jobs is access to the service's registry key: a user who
// may read the key but not write it can show jobs and nothing else.
#include <gtest/gtest.h>

#include "zeb/tests/zeb_service_fixture.h"

#if __has_include("platform/accounts/account_store.h") && \
    __has_include("platform/accounts/account_password.h") && \
    __has_include("platform/security/token.h")
#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/security/token.h"
#define ZEB_TEST_HAVE_ACCOUNTS 1
#endif

namespace {

class AccessTest : public ZebServiceTest {};

TEST_F(AccessTest, ReadOnlyUsersShowButCannotChangeJobs) {
#ifndef ZEB_TEST_HAVE_ACCOUNTS
  GTEST_SKIP() << "no account store in this build";
#else
  {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine("LOCALPC", &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    NtUserRecord user;
    user.name = "joe";
    user.password_hash = nt_password_hash("pw");
    ASSERT_EQ(nt_accounts_add_user(*ref.store, &user), ERROR_SUCCESS);
    nt_token_flush_cache();
  }
  start_service();
  ASSERT_EQ(add(make_job("mine", "/bin/true")), msg_control(ZEB_DONE));

  // From here the test process (the pipe client) is joe.
  net_.env().set("USERNAME", "joe").set("USERDOMAIN", "LOCALPC");
  nt_token_flush_cache();
  HKEY key = nullptr;
  LONG write_open = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_WRITE, &key);
  if (write_open == ERROR_SUCCESS) {
    RegCloseKey(key);
    GTEST_SKIP() << "registry keys are not protected in this build";
  }
  ASSERT_EQ(write_open, ERROR_ACCESS_DENIED);

  EXPECT_EQ(show("*").size(), 1u);
  for (DWORD code : {ZEB_CMD_ADD, ZEB_CMD_DEL, ZEB_CMD_PAUSE, ZEB_CMD_START}) {
    RawPipe p;
    ASSERT_TRUE(p.open());
    p.code(code);
    EXPECT_EQ(p.read(), msg_text("Access Denied")) << code;
    EXPECT_EQ(p.read(), "<closed>") << code;
  }
  bool denied = false;
  for (const LoggedEvent& e : events()) {
    if (e.id == 0x80000400 && e.strings == std::vector<std::string>{"WRITE", "joe"}) {
      denied = true;
      EXPECT_EQ(e.description, "WRITE access denied\r\nUsername=joe\r\n");
    }
  }
  EXPECT_TRUE(denied);

  net_.env().set("USERNAME", "Administrator");
  nt_token_flush_cache();
  EXPECT_EQ(show("*").size(), 1u);
#endif
}

}  // namespace
