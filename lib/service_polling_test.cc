#include "lib/service_polling.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"

namespace {

TEST(ServicePolling, PrintsADotPerPollThenDoneOrTimeout) {
  TempNetwork net("LOCALPC");
  net.env().set("USERNAME", "SYSTEM").set("USERDOMAIN", "NT AUTHORITY");
  std::string root;
  ASSERT_EQ(nt_network_ensure(&root), 0u);
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr) << GetLastError();
  SC_HANDLE svc = CreateServiceA(scm, "Idle", "Idle", SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                 SERVICE_ERROR_IGNORE, "C:\\idle.exe", nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
  ASSERT_NE(svc, nullptr) << GetLastError();

  // The state is there at the first poll.
  testing::internal::CaptureStdout();
  EXPECT_TRUE(poll_service_state(svc, SERVICE_STOPPED, 3, 10));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".done\n");

  // It never comes: every poll is made, each one interval apart.
  testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(poll_service_state(svc, SERVICE_RUNNING, 4, 50));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "....TIMEOUT\n");
  EXPECT_GE(waited, std::chrono::milliseconds(200));

  // No polls at all: an immediate time-out.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(poll_service_state(svc, SERVICE_STOPPED, 0, 10));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TIMEOUT\n");

  DeleteService(svc);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

}  // namespace
