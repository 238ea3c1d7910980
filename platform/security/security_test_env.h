// Test helper for the security calls: the network of netapi_test_network.h
// (LOCALPC a workstation of SALES, SRV1 its primary controller, SRV2 a
// server) with accounts added on demand, and the calling identity switched
// by USERNAME/USERDOMAIN. Tokens and impersonation are reset at both ends.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/netapi/netapi_test_network.h"
#include "platform/security/logon.h"
#include "platform/security/token.h"
#include "platform/security/well_known_accounts.h"

class SecurityTestNetwork : public TestNetwork {
 public:
  SecurityTestNetwork() {
    nt_set_thread_token(nullptr);
    act_as("Administrator", "LOCALPC");
  }
  ~SecurityTestNetwork() {
    nt_set_thread_token(nullptr);
    nt_token_flush_cache();
  }

  // Adds a user to a machine's own accounts (to the domain's, on its
  // controller), optionally in that machine's Administrators; its SID.
  std::string add_user(const char* machine, const char* name, const char* password,
                       bool admin = false) {
    NtMachineRef ref;
    EXPECT_EQ(nt_open_machine(machine, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    if (!ref.store) return std::string();
    NtUserRecord user;
    user.name = name;
    user.password_hash = nt_password_hash(password);
    EXPECT_EQ(nt_accounts_add_user(*ref.store, &user), ERROR_SUCCESS);
    std::string domain_sid;
    EXPECT_EQ(nt_accounts_domain_sid(*ref.store, &domain_sid), ERROR_SUCCESS);
    std::string sid = nt_sid_append(domain_sid, user.rid);
    if (admin) add_to_admins(machine, sid);
    nt_token_flush_cache();
    return sid;
  }

  void add_to_admins(const char* machine, const std::string& sid) {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine(machine, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_accounts_add_alias_member(*ref.store, DOMAIN_ALIAS_RID_ADMINS, sid),
              ERROR_SUCCESS);
    nt_token_flush_cache();
  }

  // The process acts as DOMAIN\USER from now on.
  void act_as(const char* user, const char* domain) {
    env().set("USERNAME", user).set("USERDOMAIN", domain);
    nt_token_flush_cache();
  }
};

// Enables or disables one privilege of the process token; the last error of
// AdjustTokenPrivileges.
inline DWORD set_privilege(const char* name, bool enable) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return GetLastError();
  }
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  LookupPrivilegeValueA(nullptr, name, &tp.Privileges[0].Luid);
  tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  BOOL ok = AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
  DWORD err = GetLastError();
  CloseHandle(token);
  return ok ? err : (err ? err : 1);
}
