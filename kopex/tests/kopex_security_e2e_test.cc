// kopex end to end on security: /P copies and compares permissions, the
// lines printed when an account cannot be looked up, and a permission
// change that fails. Same test network as kopex_e2e_test.cc (drives D: and
// T: on LOCALPC).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kopex/tests/run_kopex.h"
#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/files/file_security.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/local_memory.h"
#include "platform/security/security_test_env.h"
#include "platform/security/sid.h"
#include "platform/security/token.h"

namespace {

class KopexSecurityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env()
        .set("TZ", "UTC")
        .set("LC_ALL", nullptr)
        .set("LANG", "C")
        .set("PORTEL_FORMAT", nullptr)
        .set("SERVERLIST", nullptr);
    tzset();
    d_ = net_.folder("d");
    t_ = net_.folder("t");
    net_.map('D', d_);
    net_.map('T', t_);
  }
  void TearDown() override {
    net_.env().set("USERNAME", "tester").set("USERDOMAIN", nullptr);
    nt_token_flush_cache();
  }

  KopexResult kopex(const std::vector<std::string>& args, const std::string& input = "") {
    return run_kopex(args, input, d_);
  }

  static void put(const std::string& root, const std::string& relative, const std::string& text) {
    std::string path = root + "/" + relative;
    for (size_t pos = root.size() + 1; pos < path.size(); ++pos) {
      if (path[pos] == '/') mkdir(path.substr(0, pos).c_str(), 0755);
    }
    FilesTestNetwork::write(path, text);
  }

  // The ACL text of one file as kopex shows it.
  std::string acl_of(const std::string& nt_path) {
    KopexResult r = kopex({"sho", nt_path, "~F~g"});
    return r.out;
  }

  // A user of LOCALPC's own accounts, in no group but the defaults.
  void add_user(const char* name) {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine("LOCALPC", &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_TRUE(ref.store);
    NtUserRecord user;
    user.name = name;
    user.password_hash = nt_password_hash("pw");
    ASSERT_EQ(nt_accounts_add_user(*ref.store, &user), ERROR_SUCCESS);
    nt_token_flush_cache();
  }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      out.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return out;
  }
  static bool has_line(const std::string& text, const std::string& line) {
    std::vector<std::string> all = lines(text);
    return std::find(all.begin(), all.end(), line) != all.end();
  }
  static size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
  }
  static std::string stat_line(long value, const char* what) {
    char line[128];
    std::snprintf(line, sizeof line, "KOPEX-STATISTICS=% 12ld %s", value, what);
    return line;
  }

  FilesTestNetwork net_;
  std::string d_, t_;
};

TEST_F(KopexSecurityTest, PermissionsGoToTheTargetOnlyWithP) {
  put(d_, "p/a.txt", "a");
  put(d_, "p/b.txt", "b");
  put(d_, "p/sub/c.txt", "c");
  ASSERT_EQ(kopex({"set", "D:\\p\\a.txt", "/gEveryone:R", "/y"}).exit_code, 0);
  ASSERT_EQ(kopex({"set", "D:\\p\\sub", "/GBUILTIN\\Administrators:F Everyone:Rc", "/y"}).exit_code, 0);
  ASSERT_EQ(acl_of("D:\\p\\a.txt"), "\\Everyone:R \n");
  const std::string default_acl = acl_of("D:\\p\\b.txt");

  // Without /P a copy gets the target's own security, not the source's.
  KopexResult r = kopex({"cop", "D:\\p\\a.txt", "T:\\plain\\", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(acl_of("T:\\plain\\a.txt"), "\\Everyone:R \n");
  EXPECT_TRUE(has_line(r.out, stat_line(0, "protections replaced")));

  // With /P every new file and new directory takes the source's.
  r = kopex({"cop", "D:\\p\\", "T:\\p\\", "/P", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(acl_of("T:\\p\\a.txt"), "\\Everyone:R \n");
  EXPECT_EQ(acl_of("T:\\p\\b.txt"), default_acl);
  EXPECT_EQ(acl_of("T:\\p\\sub"), "BUILTIN\\Administrators:F \\Everyone:Rc \n");
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace security: T:\\p\\a.txt"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace security: T:\\p\\sub\\"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace security: T:\\p\\sub\\c.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(4, "protections replaced")));

  // A mirror run compares: equal descriptors are left alone...
  r = kopex({"mir", "D:\\p\\", "T:\\p\\", "/P", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(count_of(r.out, "replace security"), 0u) << r.out;
  EXPECT_TRUE(has_line(r.out, stat_line(0, "protections replaced")));

  // ...a target whose permissions were changed gets the source's back,
  // for files and directories alike.
  ASSERT_EQ(kopex({"set", "T:\\p\\a.txt", "/gEveryone:F", "/y"}).exit_code, 0);
  ASSERT_EQ(kopex({"set", "T:\\p\\sub", "/GEveryone:R", "/y"}).exit_code, 0);
  r = kopex({"mir", "D:\\p\\", "T:\\p\\", "/S", "/y"});  // without /P: left as they are
  EXPECT_EQ(acl_of("T:\\p\\a.txt"), "\\Everyone:F \n");
  EXPECT_TRUE(has_line(r.out, stat_line(0, "protections replaced")));
  r = kopex({"mir", "D:\\p\\", "T:\\p\\", "/P", "/y"});
  EXPECT_EQ(acl_of("T:\\p\\a.txt"), "\\Everyone:R \n");
  EXPECT_EQ(acl_of("T:\\p\\sub"), "BUILTIN\\Administrators:F \\Everyone:Rc \n");
  EXPECT_EQ(count_of(r.out, "replace security"), 2u) << r.out;
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, replace security: T:\\p\\a.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "protections replaced")));
}

TEST_F(KopexSecurityTest, AccountLookupFailuresAreReported) {
  put(d_, "s/a.txt", "a");
  put(d_, "s/b.txt", "b");

  // An unknown account, an account of another domain and a bad right are
  // each left out with their lines; the rest of the string is applied.
  KopexResult r =
      kopex({"set", "D:\\s\\a.txt", "/gnobody:R SALES\\Everyone:R joe:Q Everyone:F", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, LookupAccountName(nobody) failed, error=1332")) << r.err;
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, cannot map username nobody, ACE ignored"));
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, LookupAccountName(SALES\\Everyone) failed"));
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, target domain 'SALES' != resulting domain ''"));
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, cannot map username SALES\\Everyone, ACE ignored"));
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, invalid access type for joe, ACE ignored"));
  EXPECT_TRUE(has_line(r.out, "KOPEX-INFO, set: D:\\s\\a.txt"));
  EXPECT_EQ(acl_of("D:\\s\\a.txt"), "\\Everyone:F \n");

  // A new owner that cannot be looked up fails the entry.
  r = kopex({"set", "D:\\s\\b.txt", "/onobody", "/y"});
  EXPECT_TRUE(has_line(r.err, "ASEC-ERROR, LookupAccountName(nobody) failed, error=1332")) << r.err;
  EXPECT_TRUE(has_line(r.err, "KOPEX-ERROR, cannot set owner to D:\\s\\b.txt, error=1332"));
  EXPECT_FALSE(has_line(r.out, "KOPEX-INFO, set: D:\\s\\b.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files set")));
  EXPECT_TRUE(has_line(r.out, stat_line(2, "errors detected")));

  // An owner SID that no account has any more shows as AccountUnknown.
  PSID orphan = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1-2-3-4321", &orphan));
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&sd, orphan, FALSE);
  // Any owner but oneself takes the restore privilege.
  ASSERT_EQ(set_privilege(SE_RESTORE_NAME, true), static_cast<DWORD>(ERROR_SUCCESS));
  const BOOL written = SetFileSecurityA("D:\\s\\b.txt", OWNER_SECURITY_INFORMATION, &sd);
  const DWORD error = GetLastError();
  set_privilege(SE_RESTORE_NAME, false);
  LocalFree(orphan);
  ASSERT_TRUE(written) << error;
  r = kopex({"sho", "D:\\s\\b.txt", "~F~N ~u"});
  EXPECT_EQ(r.out, "b.txt AccountUnknown\n") << r.err;
}

TEST_F(KopexSecurityTest, FailedPermissionChangeReportsCannotSetOwner) {
  put(d_, "x/a.txt", "a");
  // Only administrators may change the file; joe is none of them.
  ASSERT_EQ(kopex({"set", "D:\\x\\a.txt", "/gBUILTIN\\Administrators:F", "/y"}).exit_code, 0);
  add_user("joe");
  net_.env().set("USERNAME", "joe").set("USERDOMAIN", "LOCALPC");
  nt_token_flush_cache();

  // The write is denied, the protection cannot be taken without the
  // privilege, the one retry is denied again.
  KopexResult r = kopex({"set", "D:\\x\\a.txt", "/gEveryone:F", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(has_line(r.err, "KOPEX-ERROR, cannot set owner to D:\\x\\a.txt, error=5")) << r.err;
  EXPECT_FALSE(has_line(r.out, "KOPEX-INFO, set: D:\\x\\a.txt"));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files set")));
  EXPECT_TRUE(has_line(r.out, stat_line(0, "files taken")));

  net_.env().set("USERNAME", "tester").set("USERDOMAIN", nullptr);
  nt_token_flush_cache();
  EXPECT_EQ(acl_of("D:\\x\\a.txt"), "BUILTIN\\Administrators:F \n");
}

}  // namespace
