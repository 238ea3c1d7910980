#include "ntnet/accounts_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/accounts/account_auth.h"
#include "platform/kernel/error.h"
#include "platform/accounts/accounts_test_network.h"
#include "ntnet/command_test_run.h"

namespace {

CommandRun user(const std::vector<std::string>& args) {
  return run_command(ntnet_user_command, args);
}

CommandRun group(const std::vector<std::string>& args) {
  return run_command(ntnet_group_command, args);
}

bool has_line(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST(NtnetAccounts, UsersAndGroupsOfADomain) {
  AccountsNetwork net;
  // ntnet is the network's owner: no access check, whoever runs it.
  net.act_as("nobody", "NOWHERE");
  CommandRun r = group({"add", "SRV1", "Sales Staff", "--comment", "all of sales"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Added global group SALES\\Sales Staff\n");
  r = user({"add", "\\\\srv3", "jdoe", "--password", "Pa55", "--full-name", "John Doe", "--group",
            "Sales Staff", "--group", "Domain Admins"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Added user SALES\\jdoe (RID 1001)\n");
  EXPECT_EQ(nt_account_check_password("SALES", "jdoe", "Pa55"), ERROR_SUCCESS);

  r = user({"list", "SRV1"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has_line(r.out, "NAME                    RID  STATE     FULL NAME")) << r.out;
  EXPECT_TRUE(has_line(r.out, "Administrator           500  enabled")) << r.out;
  EXPECT_TRUE(has_line(r.out, "Guest                   501  disabled")) << r.out;
  EXPECT_TRUE(has_line(r.out, "jdoe                   1001  enabled   John Doe")) << r.out;

  r = group({"add", "SRV2", "Printers", "--local", "--member", "SALES\\jdoe", "--member",
             "Everyone"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Added local group SRV2\\Printers\n");
  r = group({"list", "SRV2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has_line(r.out, "global None: Administrator, Guest")) << r.out;
  EXPECT_TRUE(has_line(r.out, "local Administrators: SRV2\\Administrator, SALES\\Domain Admins"))
      << r.out;
  EXPECT_TRUE(has_line(r.out, "local Printers: SALES\\jdoe, Everyone")) << r.out;
  r = group({"list", "SRV1"});
  EXPECT_TRUE(has_line(r.out, "global Domain Admins: Administrator, jdoe")) << r.out;
  EXPECT_TRUE(has_line(r.out, "global Sales Staff: jdoe")) << r.out;

  // The user made this way administers the member server.
  net.act_as("jdoe", "SALES");
  EXPECT_TRUE(nt_caller_is_admin("SRV2"));

  r = user({"add", "SRV2", "local", "--local-group", "Power Users"});
  EXPECT_EQ(r.code, 0) << r.err;
  r = group({"list", "SRV2"});
  EXPECT_TRUE(has_line(r.out, "local Power Users: SRV2\\local")) << r.out;
}

TEST(NtnetAccounts, Refusals) {
  AccountsNetwork net;
  CommandRun r = user({"add", "SRV1", "jdoe"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = user({"add", "SRV1", "JDOE"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: JDOE is a user of SALES already\n");
  r = group({"add", "SRV1", "jdoe"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: jdoe is a user of SALES already\n");
  r = user({"add", "SRV1", "Domain Users"});
  EXPECT_EQ(r.err, "ntnet: Domain Users is a global group of SALES already\n");
  r = user({"add", "SRV1", "x", "--group", "Nothing"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: SALES has no global group Nothing\n");
  r = group({"add", "SRV2", "G", "--local", "--member", "SALES\\nobody"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: SRV2 knows no account SALES\\nobody\n");
  r = group({"add", "SRV1", "G2", "--member", "nobody"});
  EXPECT_EQ(r.err, "ntnet: SALES has no user nobody\n");
  r = user({"add", "SRV1", "abcdefghijklmnopqrstu"});
  EXPECT_EQ(r.code, 2);
  r = user({"add", "SRV1", "a,b"});
  EXPECT_EQ(r.code, 2);
  r = user({"add", "SRV1"});
  EXPECT_EQ(r.code, 2);
  r = user({"add", "SRV1", "y", "--password"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("--password needs a value"), std::string::npos);
  r = user({"add", "SRV1", "y", "--colour", "red"});
  EXPECT_EQ(r.code, 2);
  r = user({"list", "NOSUCH"});
  EXPECT_EQ(r.code, 1);
  r = user({"fly"});
  EXPECT_EQ(r.code, 2);
  // Offline machines are reached too.
  r = user({"list", "WS9"});
  EXPECT_EQ(r.code, 0) << r.err;
  r = user({"add", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("usage: ntnet user add"), std::string::npos);
}

}  // namespace
