#include "zeb/user_command.h"

#include <gtest/gtest.h>

#include <string>

#include "lib/frame.h"
#include "platform/security/security_test_env.h"
#include "zeb/account_record.h"
#include "zeb/account_store.h"

namespace {

class UserCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.add_user("LOCALPC", "alice", "pw1");
    net_.add_user("LOCALPC", "bob", "pw2");
    net_.add_user("LOCALPC", "carol", "pw3");
    net_.add_user("LOCALPC", "dave", "pw4");
    yes_to_all = true;
  }
  void TearDown() override { yes_to_all = false; }

  // Runs the command on a server; its output in *out.
  int run(const char* server, const char* account, const char* password,
          const char* del, std::string* out, const char* format = nullptr) {
    UserCommandArgs args;
    args.server = server;
    args.server_domain = "SALES";
    args.account = account;
    args.password = password;
    args.delete_index = del;
    args.format = format;
    testing::internal::CaptureStdout();
    int rc = user_command_server(args, &totals_);
    *out = testing::internal::GetCapturedStdout();
    return rc;
  }
  std::vector<std::string> indexes(const char* machine) {
    HKEY users = nullptr;
    std::vector<std::string> names;
    if (account_store_open(machine, false, &users) != ERROR_SUCCESS) return names;
    AccountScan scan;
    account_store_scan(users, 0, nullptr, nullptr, &scan);
    for (const AccountEntry& e : scan.entries) {
      names.push_back(account_index_name(e.index) + "=" + e.fields.domain + "\\" + e.fields.user +
                      ":" + e.fields.password);
    }
    RegCloseKey(users);
    return names;
  }

  SecurityTestNetwork net_;
  UserCommandTotals totals_;
};

TEST_F(UserCommandTest, IndexesGrowFromTheLastOneAndNamesKeepTheirIndex) {
  std::string out;
  EXPECT_EQ(run("\\\\LOCALPC", "LOCALPC\\alice", "pw1", nullptr, &out), 0);
  EXPECT_EQ(out, "ZEB-INFO, Processing \\\\LOCALPC\n"
                 "ZEB-INFO, added account info for 'LOCALPC\\alice' on \\\\LOCALPC\n");
  EXPECT_EQ(run("\\\\LOCALPC", "LOCALPC\\bob", "pw2", nullptr, &out), 0);
  EXPECT_EQ(run("\\\\LOCALPC", "LOCALPC\\carol", "pw3", nullptr, &out), 0);
  EXPECT_EQ(indexes(nullptr), (std::vector<std::string>{"001=LOCALPC\\alice:pw1",
                                                         "002=LOCALPC\\bob:pw2",
                                                         "003=LOCALPC\\carol:pw3"}));
  EXPECT_EQ(run("\\\\LOCALPC", nullptr, nullptr, "002", &out), 0);
  EXPECT_EQ(out, "ZEB-INFO, Processing \\\\LOCALPC\n"
                 "ZEB-INFO, deleted account info '002:LOCALPC\\bob' on '\\\\LOCALPC'\n");
  EXPECT_NE(run("\\\\LOCALPC", nullptr, nullptr, "002", &out), 0);
  EXPECT_NE(out.find("ZEB-ERROR, cannot query value '002', error=2\n"), std::string::npos);
  // The next one goes behind the last enumerated, not into the gap.
  EXPECT_EQ(run("\\\\LOCALPC", "LOCALPC\\dave", "pw4", nullptr, &out), 0);
  // Other letter case: the same account, modified in place.
  EXPECT_EQ(run("\\\\LOCALPC", "localpc\\ALICE", "new", nullptr, &out), 0);
  EXPECT_NE(out.find("ZEB-INFO, modified account info for 'localpc\\ALICE'"), std::string::npos);
  auto now = indexes(nullptr);
  ASSERT_EQ(now.size(), 3u);
  EXPECT_EQ(now[0], "001=localpc\\ALICE:new");
  EXPECT_EQ(now[2], "004=LOCALPC\\dave:pw4");
  EXPECT_EQ(totals_.processed, 5);  // four added, one deleted
  EXPECT_EQ(totals_.modified, 1);
  // Unknown names are refused before anything is written.
  EXPECT_EQ(run("\\\\LOCALPC", "nobody", "x", nullptr, &out), 1);
  EXPECT_EQ(out, "ZEB-ERROR, username 'nobody' unknown\n");
  // The store holds passwords: a user who is no administrator cannot read it.
  net_.act_as("alice", "LOCALPC");
  HKEY users = nullptr;
  EXPECT_EQ(account_store_open(nullptr, false, &users), ERROR_ACCESS_DENIED);
}

TEST_F(UserCommandTest, LongPasswordsAreCutAndTheHexFormMovesAnAccount) {
  std::string out;
  ASSERT_EQ(run("\\\\LOCALPC", "LOCALPC\\alice", "abcdefghijklmnopqrst", nullptr, &out), 0);
  EXPECT_EQ(indexes(nullptr), (std::vector<std::string>{"001=LOCALPC\\alice:abcdefghijklmno"}));
  // The default account line, and the hexadecimal form.
  EXPECT_EQ(run("\\\\LOCALPC", nullptr, nullptr, nullptr, &out, "~-.12S~k:~d\\~u"), 0);
  EXPECT_EQ(out, "\\\\LOCALPC   001:LOCALPC\\alice\n");
  ASSERT_EQ(run("\\\\LOCALPC", nullptr, nullptr, nullptr, &out, "~h"), 0);
  std::string hex = "0x" + out.substr(0, out.size() - 1);
  ASSERT_EQ(hex.size(), 130u);
  net_.act_as("Administrator", "SALES");
  EXPECT_EQ(run("\\\\SRV1", hex.c_str(), nullptr, nullptr, &out), 0);
  EXPECT_EQ(out, "ZEB-INFO, Processing \\\\SRV1\nZEB-INFO, added account info on \\\\SRV1\n");
  HKEY local = nullptr;
  HKEY remote = nullptr;
  ASSERT_EQ(account_store_open(nullptr, false, &local), ERROR_SUCCESS);
  ASSERT_EQ(account_store_open("SRV1", false, &remote), ERROR_SUCCESS);
  AccountRecord a{};
  AccountRecord b{};
  EXPECT_EQ(account_store_read(local, 1, &a), ERROR_SUCCESS);
  EXPECT_EQ(account_store_read(remote, 1, &b), ERROR_SUCCESS);
  EXPECT_EQ(0, memcmp(a.bytes, b.bytes, sizeof a.bytes));
  RegCloseKey(local);
  RegCloseKey(remote);
  // One hex digit short.
  EXPECT_EQ(run("\\\\SRV1", hex.substr(0, 129).c_str(), nullptr, nullptr, &out), 87);
  EXPECT_EQ(out, "ZEB-ERROR, hex notation has invalid length\n");
}

}  // namespace
