#include "ntnet/services_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ntnet/command_test_run.h"
#include "platform/netapi/netapi_test_network.h"
#include "platform/services/services.h"

TEST(NtnetServices, ListBootShutdownOfAMachine) {
  TestNetwork net;
  net.env().set("USERNAME", "Administrator").set("USERDOMAIN", "SRV2");
  SC_HANDLE scm = OpenSCManagerA("\\\\SRV2", nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr) << GetLastError();
  SC_HANDLE svc = CreateServiceA(scm, "Idle Service", nullptr, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED,
                                 SERVICE_ERROR_NORMAL, "\"C:\\Program Files\\idle.exe\" -x",
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc, nullptr) << GetLastError();
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);

  CommandRun r = run_ntnet({"service", "list", "\\\\srv2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "NAME                      STATE       START         PID        EXIT  PATH\n"
            "Idle Service              stopped     disabled        0           -  "
            "\"C:\\Program Files\\idle.exe\" -x\n");
  // An offline machine boots (a disabled service stays stopped) and goes
  // down again.
  net.set_online("WS9", false);
  r = run_ntnet({"boot", "WS9"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "WS9 is up\n");
  r = run_ntnet({"boot", "SRV2"});
  EXPECT_EQ(r.out, "SRV2 is up\n");
  r = run_ntnet({"shutdown", "SRV2", "--timeout", "1"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "SRV2 is down\n");
  NtMachineRef ref;
  EXPECT_EQ(nt_open_machine("SRV2", &ref), ERROR_BAD_NETPATH);

  // Command-line mistakes.
  EXPECT_EQ(run_ntnet({"service", "list"}).code, 2);
  EXPECT_EQ(run_ntnet({"service", "start", "SRV2"}).code, 2);
  EXPECT_EQ(run_ntnet({"shutdown", "SRV2", "--timeout", "x"}).code, 2);
  EXPECT_EQ(run_ntnet({"boot", "NOSUCH"}).code, 1);
  EXPECT_EQ(run_ntnet({"boot", "bad/name"}).code, 2);
}

TEST(NtnetServices, Words) {
  EXPECT_STREQ(ntnet_service_state_name(SERVICE_STOPPED), "stopped");
  EXPECT_STREQ(ntnet_service_state_name(SERVICE_PAUSED), "paused");
  EXPECT_STREQ(ntnet_service_state_name(0), "unknown");
  EXPECT_STREQ(ntnet_service_start_name(SERVICE_AUTO_START), "auto");
  EXPECT_STREQ(ntnet_service_start_name(SERVICE_DEMAND_START), "demand");
  EXPECT_STREQ(ntnet_service_start_name(9), "unknown");
}
