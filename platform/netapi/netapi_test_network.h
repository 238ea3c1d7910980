// Test helper: a fresh network (TempNetwork) with machines in two domains.
//
//   LOCALPC  SALES   workstation           the local machine
//   SRV1     SALES   primary controller    "Sales PDC"
//   SRV2     SALES   server                "Sales files"
//   WS9      SALES   workstation, offline
//   HQ1      OFFICE  primary controller
//   HQ2      OFFICE  backup controller
//   GONE1    GHOST   server, offline       (a group the browser cannot see)
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/netapi/netapi.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/network/wtf8.h"

class TestNetwork : public TempNetwork {
 public:
  TestNetwork() : TempNetwork("LOCALPC") {
    std::string root;
    EXPECT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
    NtMachineRef local;
    EXPECT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    if (local.store) {
      EXPECT_EQ(nt_machine_set_info(*local.store, info("LOCALPC", "SALES",
                                                       NtMachineRole::workstation, "")),
                ERROR_SUCCESS);
    }
    add("SRV1", "SALES", NtMachineRole::pdc, "Sales PDC");
    add("SRV2", "SALES", NtMachineRole::server, "Sales files");
    add("WS9", "SALES", NtMachineRole::workstation, "", false);
    add("HQ1", "OFFICE", NtMachineRole::pdc, "");
    add("HQ2", "OFFICE", NtMachineRole::bdc, "");
    add("GONE1", "GHOST", NtMachineRole::server, "", false);
  }

  static NtMachineInfo info(const char* name, const char* group, NtMachineRole role,
                            const char* comment, bool online = true) {
    NtMachineInfo i;
    i.name = name;
    i.lan_group = group;
    i.role = role;
    i.comment = comment;
    i.online = online;
    return i;
  }

  void add(const char* name, const char* group, NtMachineRole role, const char* comment,
           bool online = true) {
    EXPECT_EQ(nt_machine_create(root(), info(name, group, role, comment, online)),
              ERROR_SUCCESS);
  }

  void set_online(const char* name, bool online) {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine(name, &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_machine_set_online(*ref.store, online), ERROR_SUCCESS);
  }

  // The host directory of a machine's drive C:.
  std::string drive_c(const char* name) const {
    return nt_network_machine_dir(root(), name) + "/drives/C";
  }
};

// UTF-8 text of a UTF-16 result string (null: "<null>").
inline std::string utf8(const WCHAR* text) {
  return text ? nt_wtf8_from_utf16(text) : std::string("<null>");
}
