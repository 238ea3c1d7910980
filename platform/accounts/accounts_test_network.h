// Test helper: a fresh network of two domains for the account tests.
//
//   SALES   SRV1 pdc, SRV3 bdc, SRV2 server, LOCALPC workstation (local),
//           WS9 workstation (offline)
//   OFFICE  HQ1 pdc, HQ2 bdc, HQSRV server, HQWS workstation
//   WORKGROUP  LONER workstation
//
// The caller is SALES\Administrator unless a test says otherwise.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/netapi/netapi.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/network/wtf8.h"

class AccountsNetwork : public TempNetwork {
 public:
  AccountsNetwork() : TempNetwork("LOCALPC") {
    std::string root_dir;
    EXPECT_EQ(nt_network_ensure(&root_dir), ERROR_SUCCESS);
    NtMachineRef local;
    EXPECT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    if (local.store) {
      EXPECT_EQ(nt_machine_set_info(*local.store, info("LOCALPC", "SALES",
                                                       NtMachineRole::workstation)),
                ERROR_SUCCESS);
    }
    add("SRV1", "SALES", NtMachineRole::pdc);
    add("SRV3", "SALES", NtMachineRole::bdc);
    add("SRV2", "SALES", NtMachineRole::server);
    add("WS9", "SALES", NtMachineRole::workstation, false);
    add("HQ1", "OFFICE", NtMachineRole::pdc);
    add("HQ2", "OFFICE", NtMachineRole::bdc);
    add("HQSRV", "OFFICE", NtMachineRole::server);
    add("HQWS", "OFFICE", NtMachineRole::workstation);
    add("LONER", "WORKGROUP", NtMachineRole::workstation);
    act_as("Administrator", "SALES");
  }

  static NtMachineInfo info(const char* name, const char* group, NtMachineRole role,
                            bool online = true) {
    NtMachineInfo i;
    i.name = name;
    i.lan_group = group;
    i.role = role;
    i.online = online;
    return i;
  }

  void add(const char* name, const char* group, NtMachineRole role, bool online = true) {
    EXPECT_EQ(nt_machine_create(root(), info(name, group, role, online)), ERROR_SUCCESS);
  }

  void act_as(const char* user, const char* domain) {
    env().set("USERNAME", user).set("USERDOMAIN", domain);
  }
};

inline std::string utf8_of(const WCHAR* text) {
  return text ? nt_wtf8_from_utf16(text) : std::string("<null>");
}
