#include "platform/security/account_lookup.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/security/machine_sid.h"

namespace {

class AccountLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtMachineInfo server;
    server.name = "SRV1";
    server.lan_group = "WORKGROUP";
    server.role = NtMachineRole::server;
    ASSERT_EQ(nt_machine_create(net_.root(), server), ERROR_SUCCESS);
  }

  // Name lookup through the A call; "" domain/name on failure.
  struct NameResult {
    BOOL ok = FALSE;
    DWORD error = 0;
    std::string sid_text;
    std::string domain;
    SID_NAME_USE use = SidTypeUnknown;
  };
  NameResult by_name(const char* system, const char* name) {
    NameResult r;
    char sid[SECURITY_MAX_SID_SIZE];
    char domain[64];
    DWORD sid_size = sizeof sid, domain_size = sizeof domain;
    r.ok = LookupAccountNameA(system, name, sid, &sid_size, domain, &domain_size, &r.use);
    r.error = GetLastError();
    if (r.ok) {
      r.sid_text = nt_sid_to_text(std::string(sid, sid_size));
      r.domain.assign(domain, domain_size);
      EXPECT_EQ(strlen(domain), domain_size);
    }
    return r;
  }

  // SID lookup through the A call: "DOMAIN\name" or the error.
  std::string by_sid(const char* system, const std::string& text, SID_NAME_USE* use = nullptr) {
    std::string sid;
    if (!nt_sid_from_text(text, &sid)) return "bad text";
    char name[64], domain[64];
    DWORD name_size = sizeof name, domain_size = sizeof domain;
    SID_NAME_USE u = SidTypeUnknown;
    if (!LookupAccountSidA(system, sid.data(), name, &name_size, domain, &domain_size, &u))
      return "error " + std::to_string(GetLastError());
    if (use) *use = u;
    EXPECT_EQ(strlen(name), name_size);
    return std::string(domain, domain_size) + "\\" + std::string(name, name_size);
  }

  std::string machine_sid_text(const char* machine) {
    NtMachineRef ref;
    EXPECT_EQ(nt_open_machine(machine, &ref), ERROR_SUCCESS);
    std::string sid;
    EXPECT_EQ(nt_machine_sid(*ref.store, &sid), ERROR_SUCCESS);
    return nt_sid_to_text(sid);
  }

  TempNetwork net_{"LOCALPC"};
};

TEST_F(AccountLookupTest, WellKnownNamesWithTheDomainsNtReports) {
  struct Case {
    const char* name;
    const char* sid;
    const char* domain;
    SID_NAME_USE use;
  } cases[] = {
      {"Everyone", "S-1-1-0", "", SidTypeWellKnownGroup},
      {"CREATOR OWNER", "S-1-3-0", "", SidTypeWellKnownGroup},
      {"SYSTEM", "S-1-5-18", "NT AUTHORITY", SidTypeWellKnownGroup},
      {"INTERACTIVE", "S-1-5-4", "NT AUTHORITY", SidTypeWellKnownGroup},
      {"NETWORK", "S-1-5-2", "NT AUTHORITY", SidTypeWellKnownGroup},
      {"Authenticated Users", "S-1-5-11", "NT AUTHORITY", SidTypeWellKnownGroup},
      {"Administrators", "S-1-5-32-544", "BUILTIN", SidTypeAlias},
      {"Users", "S-1-5-32-545", "BUILTIN", SidTypeAlias},
      {"Guests", "S-1-5-32-546", "BUILTIN", SidTypeAlias},
      {"Power Users", "S-1-5-32-547", "BUILTIN", SidTypeAlias},
      {"Account Operators", "S-1-5-32-548", "BUILTIN", SidTypeAlias},
      {"Server Operators", "S-1-5-32-549", "BUILTIN", SidTypeAlias},
      {"Print Operators", "S-1-5-32-550", "BUILTIN", SidTypeAlias},
      {"Backup Operators", "S-1-5-32-551", "BUILTIN", SidTypeAlias},
      {"BUILTIN", "S-1-5-32", "BUILTIN", SidTypeDomain},
  };
  for (const Case& c : cases) {
    NameResult r = by_name(nullptr, c.name);
    ASSERT_TRUE(r.ok) << c.name << " error " << r.error;
    EXPECT_EQ(r.sid_text, c.sid) << c.name;
    EXPECT_EQ(r.domain, c.domain) << c.name;
    EXPECT_EQ(r.use, c.use) << c.name;
    // And back, on a named machine too.
    SID_NAME_USE use = SidTypeUnknown;
    std::string expected = std::string(c.domain) + "\\" + c.name;
    EXPECT_EQ(by_sid(nullptr, c.sid, &use), expected);
    EXPECT_EQ(use, c.use);
    EXPECT_EQ(by_sid("\\\\SRV1", c.sid), expected);
  }
}

TEST_F(AccountLookupTest, NamesIgnoreCaseAndMayCarryTheirDomain) {
  EXPECT_EQ(by_name(nullptr, "everyone").sid_text, "S-1-1-0");
  EXPECT_EQ(by_name(nullptr, "nt authority\\system").sid_text, "S-1-5-18");
  EXPECT_EQ(by_name(nullptr, "builtin\\ADMINISTRATORS").sid_text, "S-1-5-32-544");
  EXPECT_EQ(by_name(nullptr, "\\Everyone").sid_text, "S-1-1-0");
  // The wrong domain maps nothing, even for a name that exists elsewhere.
  NameResult wrong = by_name(nullptr, "NT AUTHORITY\\Administrators");
  EXPECT_FALSE(wrong.ok);
  EXPECT_EQ(wrong.error, ERROR_NONE_MAPPED);
  EXPECT_EQ(by_name(nullptr, "BUILTIN\\Everyone").error, ERROR_NONE_MAPPED);
  EXPECT_EQ(by_name(nullptr, "nobody").error, ERROR_NONE_MAPPED);
  EXPECT_EQ(by_name(nullptr, "").error, ERROR_NONE_MAPPED);
  EXPECT_EQ(by_name(nullptr, "BUILTIN\\").error, ERROR_NONE_MAPPED);
}

TEST_F(AccountLookupTest, MachineAccountsLiveUnderTheMachineSidAndName) {
  std::string local_sid = machine_sid_text("");
  std::string server_sid = machine_sid_text("SRV1");
  EXPECT_EQ(local_sid.rfind("S-1-5-21-", 0), 0u);
  EXPECT_NE(local_sid, server_sid);
  // Made once: asking again gives the same SID.
  EXPECT_EQ(machine_sid_text(""), local_sid);

  NameResult admin = by_name(nullptr, "administrator");
  ASSERT_TRUE(admin.ok);
  EXPECT_EQ(admin.sid_text, local_sid + "-500");
  EXPECT_EQ(admin.domain, "LOCALPC");
  EXPECT_EQ(admin.use, SidTypeUser);
  NameResult guest = by_name("SRV1", "srv1\\GUEST");
  ASSERT_TRUE(guest.ok);
  EXPECT_EQ(guest.sid_text, server_sid + "-501");
  EXPECT_EQ(guest.domain, "SRV1");
  NameResult domain = by_name("SRV1", "srv1");
  EXPECT_EQ(domain.sid_text, server_sid);
  EXPECT_EQ(domain.use, SidTypeDomain);
  // Another machine's name is not a domain this machine knows.
  EXPECT_EQ(by_name(nullptr, "SRV1\\Administrator").error, ERROR_NONE_MAPPED);

  SID_NAME_USE use = SidTypeUnknown;
  EXPECT_EQ(by_sid(nullptr, local_sid + "-500", &use), "LOCALPC\\Administrator");
  EXPECT_EQ(use, SidTypeUser);
  EXPECT_EQ(by_sid("SRV1", server_sid + "-501"), "SRV1\\Guest");
  EXPECT_EQ(by_sid("SRV1", server_sid), "SRV1\\SRV1");
  // The server does not know the local machine's accounts, nor unknown RIDs.
  EXPECT_EQ(by_sid("SRV1", local_sid + "-500"), "error 1332");
  EXPECT_EQ(by_sid(nullptr, local_sid + "-1000"), "error 1332");
  EXPECT_EQ(by_sid(nullptr, "S-1-5-21-1-2-3-500"), "error 1332");
  EXPECT_EQ(by_sid(nullptr, "S-1-9-9"), "error 1332");
}

TEST_F(AccountLookupTest, TwoProcessesAgreeOnANewMachineSid) {
  // Both race to make the SID of a machine that has none yet.
  NtMachineInfo fresh;
  fresh.name = "FRESH";
  fresh.lan_group = "WORKGROUP";
  ASSERT_EQ(nt_machine_create(net_.root(), fresh), ERROR_SUCCESS);
  int pipes[2];
  ASSERT_EQ(pipe(pipes), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    NtMachineRef ref;
    std::string sid;
    if (nt_open_machine("FRESH", &ref) != 0 || nt_machine_sid(*ref.store, &sid) != 0) _exit(1);
    std::string text = nt_sid_to_text(sid);
    if (write(pipes[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(1);
    _exit(0);
  }
  close(pipes[1]);
  std::string mine = machine_sid_text("FRESH");
  char buffer[128];
  ssize_t n = read(pipes[0], buffer, sizeof buffer);
  close(pipes[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), mine);
}

TEST_F(AccountLookupTest, BufferSizesFollowWin32Rules) {
  // Size query: nothing given, both sizes asked.
  DWORD sid_size = 0, domain_size = 0;
  SID_NAME_USE use;
  EXPECT_FALSE(LookupAccountNameA(nullptr, "Administrators", nullptr, &sid_size, nullptr,
                                  &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(sid_size, 16u);
  EXPECT_EQ(domain_size, 8u);  // "BUILTIN" and its terminator

  // One of the two too small fails the same way and leaves the buffers alone.
  char sid[16];
  char domain[8];
  memset(domain, 'x', sizeof domain);
  sid_size = 16;
  domain_size = 7;
  EXPECT_FALSE(LookupAccountNameA(nullptr, "Administrators", sid, &sid_size, domain,
                                  &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(domain_size, 8u);
  EXPECT_EQ(domain[0], 'x');
  // Exactly enough.
  ASSERT_TRUE(LookupAccountNameA(nullptr, "Administrators", sid, &sid_size, domain,
                                 &domain_size, &use));
  EXPECT_EQ(sid_size, 16u);
  EXPECT_EQ(domain_size, 7u);
  EXPECT_STREQ(domain, "BUILTIN");

  // The SID side: name and domain sizes with terminators.
  char name[32];
  DWORD name_size = 3;
  domain_size = 1;
  EXPECT_FALSE(LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(name_size, 15u);  // "Administrators"
  EXPECT_EQ(domain_size, 8u);
  // Everyone's empty domain needs one unit.
  std::string everyone = nt_sid_make(SECURITY_WORLD_SID_AUTHORITY, {0});
  name_size = sizeof name;
  domain_size = 0;
  EXPECT_FALSE(LookupAccountSidA(nullptr, everyone.data(), name, &name_size, nullptr,
                                 &domain_size, &use));
  EXPECT_EQ(domain_size, 1u);
  domain_size = 1;
  ASSERT_TRUE(LookupAccountSidA(nullptr, everyone.data(), name, &name_size, domain,
                                &domain_size, &use));
  EXPECT_EQ(domain_size, 0u);
  EXPECT_STREQ(domain, "");
  EXPECT_STREQ(name, "Everyone");
}

TEST_F(AccountLookupTest, WideFormsCountUnits) {
  char16_t domain[16];
  char sid[SECURITY_MAX_SID_SIZE];
  DWORD sid_size = sizeof sid, domain_size = 16;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountNameW(u"\\\\LOCALPC", u"nt authority\\interactive", sid, &sid_size,
                                 domain, &domain_size, &use));
  EXPECT_EQ(std::u16string(domain), u"NT AUTHORITY");
  EXPECT_EQ(domain_size, 12u);
  char16_t name[16];
  DWORD name_size = 16;
  domain_size = 16;
  ASSERT_TRUE(LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use));
  EXPECT_EQ(std::u16string(name), u"INTERACTIVE");
  EXPECT_EQ(name_size, 11u);
  EXPECT_EQ(use, SidTypeWellKnownGroup);
}

TEST_F(AccountLookupTest, BadArgumentsAndUnreachableMachines) {
  char sid[SECURITY_MAX_SID_SIZE];
  char domain[32];
  DWORD sid_size = sizeof sid, domain_size = sizeof domain;
  SID_NAME_USE use;
  EXPECT_FALSE(LookupAccountNameA(nullptr, nullptr, sid, &sid_size, domain, &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(
      LookupAccountNameA(nullptr, "Everyone", sid, nullptr, domain, &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(
      LookupAccountNameA(nullptr, "Everyone", nullptr, &sid_size, domain, &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(LookupAccountNameA(nullptr, "Everyone", sid, &sid_size, domain, &domain_size,
                                  nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  std::string invalid = "\x02\x00";
  char name[32];
  DWORD name_size = sizeof name;
  EXPECT_FALSE(LookupAccountSidA(nullptr, invalid.data(), name, &name_size, domain,
                                 &domain_size, &use));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);

  EXPECT_FALSE(
      LookupAccountNameA("NOSUCH", "Everyone", sid, &sid_size, domain, &domain_size, &use));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  NtMachineRef server;
  ASSERT_EQ(nt_open_machine("SRV1", &server), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*server.store, false), ERROR_SUCCESS);
  EXPECT_EQ(by_name("SRV1", "Everyone").error, RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(by_sid("SRV1", "S-1-1-0"), "error 1722");
  // The network's administration still reaches it.
  NtMachineRef admin;
  ASSERT_EQ(nt_open_machine("SRV1", &admin, NtMachineAccess::admin), ERROR_SUCCESS);
  NtAccount account;
  EXPECT_EQ(nt_lookup_account_name(admin, u"Guest", &account), ERROR_SUCCESS);
  EXPECT_EQ(nt_account_display_name(admin, account.sid), "SRV1\\Guest");
  EXPECT_EQ(nt_account_display_name(admin, nt_sid_make(5, {21, 1, 2, 3, 4})),
            "S-1-5-21-1-2-3-4");
}

}  // namespace
