#include "lib/account_loops.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/frame.h"
#include "platform/accounts/accounts_test_network.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Each server call as "DOMAIN \\SERVER".
DWORD record_server(const WCHAR* domain, const WCHAR* server, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(utf8_of(domain) + " " +
                                                             utf8_of(server));
  return 5;  // a failing tool callback: the loops go on regardless
}

// Each object call as "DOMAIN \\SERVER NAME".
DWORD record_object(const WCHAR* domain, const WCHAR* server, const WCHAR* name,
                    void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(
      utf8_of(domain) + " " + utf8_of(server) + " " + utf8_of(name));
  return 5;
}

std::string joined(const std::vector<std::string>& calls) {
  std::string out;
  for (const std::string& c : calls) out += (out.empty() ? "" : "|") + c;
  return out;
}

class AccountLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().set("SERVERLIST", nullptr);
    verbose = false;
  }
  void TearDown() override { verbose = false; }

  template <typename Loop>
  DWORD run(Loop loop) {
    calls_.clear();
    CaptureStdout();
    CaptureStderr();
    DWORD result = loop(&calls_);
    fflush(stdout);
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return result;
  }

  DWORD servers(const char* domain, const char* pattern) {
    return run([&](void* c) { return account_server_loop(domain, pattern, record_server, c); });
  }
  DWORD domains(const char* domain, const char* pattern) {
    return run([&](void* c) { return account_domain_loop(domain, pattern, record_server, c); });
  }
  DWORD controllers(const char* pattern) {
    return run([&](void* c) { return domain_dc_loop(pattern, record_server, c); });
  }

  void set_online(const char* name, bool online) {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine(name, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_machine_set_online(*ref.store, online), ERROR_SUCCESS);
  }

  AccountsNetwork net_;
  std::vector<std::string> calls_;
  std::string out_, err_;
};

TEST_F(AccountLoopTest, ServerLoopPassesOverControllers) {
  verbose = true;
  EXPECT_EQ(servers("SALES", "*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\LOCALPC|SALES \\\\SRV2");
  EXPECT_EQ(out_,
            "SERVERLOOP-INFO, server 'LOCALPC' (1 of 4 in SALES)\n"
            "SERVERLOOP-INFO, skipping domain controller 'SRV1'\n"
            "SERVERLOOP-INFO, server 'SRV2' (3 of 4 in SALES)\n"
            "SERVERLOOP-INFO, skipping domain controller 'SRV3'\n");
  EXPECT_EQ(err_, "");

  // A named controller is asked for its type and passed over; a named
  // server is called; the local machine is never asked.
  EXPECT_EQ(servers("SALES", "srv1"), 0u);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(out_, "SERVERLOOP-INFO, skipping domain controller 'srv1'\n");
  EXPECT_EQ(servers("OFFICE", "HQ2"), 0u);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(servers("SALES", "SRV2"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(servers("", ""), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\LOCALPC");

  // A server whose type cannot be read reaches the callback, which meets
  // the failure itself.
  EXPECT_EQ(servers("SALES", "WS9"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\WS9");
  EXPECT_EQ(servers("SALES", "NOSUCH"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\NOSUCH");

  // Without verbose the passing over is silent.
  verbose = false;
  EXPECT_EQ(servers("SALES", "SRV?"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2");
  EXPECT_EQ(out_, "");
}

TEST_F(AccountLoopTest, AccountLoopsNeverReadAStaticList) {
  std::string list = net_.root() + "/servers.lst";
  FILE* f = fopen(list.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("SALES\\\\SRV1\nSALES\\\\SRV2\n", f);
  fclose(f);
  net_.env().set("SERVERLIST", list.c_str());
  EXPECT_EQ(servers("SALES", "SRV*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2");
  EXPECT_EQ(domains("*", "*"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQSRV|OFFICE \\\\HQWS|SALES \\\\LOCALPC|SALES \\\\SRV2|"
                            "WORKGROUP \\\\LONER");
  // The list family still takes the list.
  EXPECT_EQ(run([&](void* c) { return server_loop("SALES", "SRV*", record_server, c); }), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1|SALES \\\\SRV2");
}

TEST_F(AccountLoopTest, DomainLoopOfTheAccountFamily) {
  verbose = true;
  EXPECT_EQ(domains("OFF*", "HQ*"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQSRV|OFFICE \\\\HQWS");
  EXPECT_EQ(out_,
            "DOMAINLOOP-INFO, domain 'OFFICE' (1 of 3)\n"
            "SERVERLOOP-INFO, skipping domain controller 'HQ1'\n"
            "SERVERLOOP-INFO, skipping domain controller 'HQ2'\n"
            "SERVERLOOP-INFO, server 'HQSRV' (3 of 4 in OFFICE)\n"
            "SERVERLOOP-INFO, server 'HQWS' (4 of 4 in OFFICE)\n");
  EXPECT_EQ(domains("SALES", "SRV1"), 0u);
  EXPECT_EQ(joined(calls_), "");
}

TEST_F(AccountLoopTest, ControllerOfADomain) {
  WCHAR dc[LOOP_SERVER_SIZE] = u"junk";
  EXPECT_EQ(UGetDomainDC("SALES", dc), 0u);
  EXPECT_EQ(utf8_of(dc), "\\\\SRV1");
  EXPECT_EQ(UGetDomainDC("office", dc), 0u);
  EXPECT_EQ(utf8_of(dc), "\\\\HQ1");
  EXPECT_EQ(UGetDomainDC("", dc), 0u);
  EXPECT_EQ(utf8_of(dc), "");
  EXPECT_EQ(UGetDomainDC(nullptr, dc), 0u);
  EXPECT_EQ(UGetDomainDC("WORKGROUP", dc), NERR_DCNotFound);
  EXPECT_EQ(UGetDomainDC("NOWHERE", dc), NERR_DCNotFound);
  // The question goes through the own domain's controller.
  set_online("SRV1", false);
  EXPECT_NE(UGetDomainDC("OFFICE", dc), 0u);
}

TEST_F(AccountLoopTest, ControllerLoop) {
  EXPECT_EQ(controllers("OFFICE"), 0u);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQ1");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(controllers(""), 0u);
  EXPECT_EQ(joined(calls_), " ");
  EXPECT_EQ(controllers("WORKGROUP"), NERR_DCNotFound);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(err_, "DOMAINLOOP-ERROR, UGetDomainDC(WORKGROUP) failed, error=2453\n");

  // Every matching domain; one without a controller is reported and
  // passed over.
  verbose = true;
  EXPECT_EQ(controllers("*"), NERR_DCNotFound);
  EXPECT_EQ(joined(calls_), "OFFICE \\\\HQ1|SALES \\\\SRV1");
  EXPECT_EQ(out_,
            "DOMAINLOOP-INFO, domain 'OFFICE' (1 of 3)\n"
            "DOMAINLOOP-INFO, domain 'SALES' (2 of 3)\n"
            "DOMAINLOOP-INFO, domain 'WORKGROUP' (3 of 3)\n");
  EXPECT_EQ(err_, "DOMAINLOOP-ERROR, NetGetDCname(WORKGROUP) failed, error=2453\n");
  EXPECT_EQ(controllers("S*"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1");
}

TEST_F(AccountLoopTest, LogonDomain) {
  char domain[LOOP_DOMAIN_SIZE];
  net_.act_as("Administrator", "SALES");
  EXPECT_TRUE(logon_domain(domain));
  EXPECT_STREQ(domain, "SALES");
  net_.act_as("tester", "localpc");
  EXPECT_FALSE(logon_domain(domain));
  EXPECT_STREQ(domain, "SALES");
  net_.act_as("tester", nullptr);  // a local account: the computer's name
  EXPECT_FALSE(logon_domain(domain));
  net_.act_as("tester", "OFFICE");
  EXPECT_TRUE(logon_domain(domain));
  EXPECT_STREQ(domain, "SALES");

  // A LAN group of 15 characters of two bytes each fits whole.
  NtMachineRef local;
  ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
  std::string wide_group;
  for (int i = 0; i < 15; ++i) wide_group += "\xC3\x84";  // U+00C4
  ASSERT_EQ(nt_machine_set_info(*local.store, AccountsNetwork::info("LOCALPC", wide_group.c_str(),
                                                                   NtMachineRole::workstation)),
            ERROR_SUCCESS);
  EXPECT_TRUE(logon_domain(domain));
  EXPECT_EQ(std::string(domain), wide_group);
}

TEST_F(AccountLoopTest, ObjectLoops) {
  // Shares: one enumeration, matching names in the order returned.
  auto shares = [&](const WCHAR* server, const char* pattern) {
    return run([&](void* c) { return share_loop(u"SALES", server, pattern, record_object, c); });
  };
  EXPECT_EQ(shares(u"\\\\SRV2", "*$"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2 ADMIN$|SALES \\\\SRV2 C$|SALES \\\\SRV2 IPC$");
  EXPECT_EQ(shares(u"\\\\SRV2", "c?"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2 C$");
  // Without wildcards the name goes on unasked; empty is refused.
  EXPECT_EQ(shares(u"\\\\SRV2", "NOSUCH"), 0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2 NOSUCH");
  EXPECT_EQ(shares(u"\\\\SRV2", ""), 87u);
  EXPECT_EQ(shares(u"\\\\SRV2", nullptr), 87u);
  EXPECT_EQ(joined(calls_), "");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(shares(u"\\\\WS9", "*"), 53u);
  EXPECT_EQ(err_, "SHARELOOP-ERROR, NetShareEnum(\\\\WS9) failed, error=53\n");

  // Global groups of a controller, local groups of a server, users.
  EXPECT_EQ(run([&](void* c) {
              return group_loop(u"SALES", u"\\\\SRV1", "domain*", record_object, c);
            }),
            0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV1 Domain Admins|SALES \\\\SRV1 Domain Guests|"
                            "SALES \\\\SRV1 Domain Users");
  EXPECT_EQ(run([&](void* c) {
              return local_group_loop(u"SALES", u"\\\\SRV2", "*ADMIN*", record_object, c);
            }),
            0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2 Administrators");
  EXPECT_EQ(run([&](void* c) {
              return user_loop(u"SALES", u"\\\\SRV2", "*", record_object, c);
            }),
            0u);
  EXPECT_EQ(joined(calls_), "SALES \\\\SRV2 Administrator|SALES \\\\SRV2 Guest");
  EXPECT_EQ(run([&](void* c) {
              return group_loop(u"SALES", u"\\\\WS9", "*", record_object, c);
            }),
            53u);
  EXPECT_EQ(err_, "GROUPLOOP-ERROR, NetGroupEnum(\\\\WS9) failed, error=53\n");
  EXPECT_EQ(run([&](void* c) {
              return local_group_loop(u"SALES", u"\\\\WS9", "*", record_object, c);
            }),
            53u);
  EXPECT_EQ(err_, "GROUPLOOP-ERROR, NetLocalGroupEnum(\\\\WS9) failed, error=53\n");
  EXPECT_EQ(run([&](void* c) {
              return user_loop(u"SALES", u"\\\\WS9", "*", record_object, c);
            }),
            53u);
  EXPECT_EQ(err_, "USERLOOP-ERROR, NetUserEnum(\\\\WS9) failed, error=53\n");
}

}  // namespace
