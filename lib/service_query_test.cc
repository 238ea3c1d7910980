#include "lib/service_query.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"
#include "platform/services/services.h"
#include "platform/kernel/error.h"

namespace {

TEST(ServiceQuery, StateWordsCoverTheSevenStatesOnly) {
  EXPECT_STREQ(service_state_word(1), "STOPPED");
  EXPECT_STREQ(service_state_word(2), "STARTING");
  EXPECT_STREQ(service_state_word(3), "STOPPING");
  EXPECT_STREQ(service_state_word(4), "RUNNING");
  EXPECT_STREQ(service_state_word(5), "CONTINUING");
  EXPECT_STREQ(service_state_word(6), "PAUSING");
  EXPECT_STREQ(service_state_word(7), "PAUSED");
  EXPECT_STREQ(service_state_word(0), "");
  EXPECT_STREQ(service_state_word(8), "");
  EXPECT_STREQ(service_state_word(0xFFFFFFFF), "");
}

TEST(ServiceQuery, LoggingRangeListsBitsZeroToFifteen) {
  EXPECT_EQ(logging_range_text(0), "0");
  EXPECT_EQ(logging_range_text(1), "0");  // bit 0 alone reads like "none"
  EXPECT_EQ(logging_range_text(0x0A), "1,3");
  EXPECT_EQ(logging_range_text(0x8000), "15");
  // Bits above 15 are not part of the mask.
  EXPECT_EQ(logging_range_text(0x10000), "0");
  EXPECT_EQ(logging_range_text(0xFFFFFFFF),
            "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15");
}

TEST(ServiceQuery, DirectoryKeepsItsTrailingSeparator) {
  EXPECT_EQ(path_directory("C:\\WIN32APP\\zeb.exe"), "C:\\WIN32APP\\");
  EXPECT_EQ(path_directory("C:\\zeb.exe"), "C:\\");
  EXPECT_EQ(path_directory("/opt/bin/zeb"), "/opt/bin/");
  EXPECT_EQ(path_directory("zeb.exe"), "");
  EXPECT_EQ(path_directory(""), "");
  EXPECT_EQ(path_directory("C:\\A\\"), "C:\\A\\");
}

}  // namespace

namespace {

// A service "Probe" on the local machine of a fresh network, with values
// under its key.
class ServiceQueryOnMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().set("USERNAME", "SYSTEM").set("USERDOMAIN", "NT AUTHORITY");
    std::string root;
    ASSERT_EQ(nt_network_ensure(&root), 0u);
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr) << GetLastError();
    SC_HANDLE svc = CreateServiceA(scm, "Probe", "Probe", SERVICE_ALL_ACCESS,
                                   SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                                   SERVICE_DISABLED, SERVICE_ERROR_IGNORE, "C:\\APP\\probe.exe",
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(svc, nullptr) << GetLastError();
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
  }
  void set_text(const char* name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Probe", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void set_dword(const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Probe", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  TempNetwork net_{"LOCALPC"};
};

TEST_F(ServiceQueryOnMachine, ReadsConfigurationAndValues) {
  set_dword("Logging", 0x8005);
  set_text("TempDir", "D:\\JOBS");
  set_text("Version", "V1.0.0100");
  ServiceQuery q;
  testing::internal::CaptureStderr();
  ASSERT_EQ(query_service("TST", "\\\\LOCALPC", "Probe",
                          SERVICE_VALUE_LOGGING | SERVICE_VALUE_TEMP_DIR | SERVICE_VALUE_VERSION,
                          &q),
            0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(q.state, SERVICE_STOPPED);
  EXPECT_EQ(q.start_type, SERVICE_DISABLED);
  EXPECT_TRUE(q.interactive);
  EXPECT_EQ(q.path, "C:\\APP\\probe.exe");
  EXPECT_EQ(q.directory, "C:\\APP\\");
  EXPECT_EQ(q.account, "LocalSystem");
  EXPECT_EQ(q.logging_range, "0,2,15");
  EXPECT_EQ(q.temp_dir, "D:\\JOBS");
  EXPECT_EQ(q.version, "V1.0.0100");

  // Only the values asked for are read.
  ASSERT_EQ(query_service("TST", nullptr, "Probe", SERVICE_VALUE_VERSION, &q), 0u);
  EXPECT_EQ(q.version, "V1.0.0100");
  EXPECT_EQ(q.temp_dir, "");
  EXPECT_EQ(q.logging_range, "");
}

TEST_F(ServiceQueryOnMachine, ValuesPastTheirBuffersAreLeftEmptyWithAMessage) {
  set_text("TempDir", std::string(255, 'T'));  // 256 bytes with the terminator
  set_text("Version", std::string(32, 'V'));    // 33 bytes
  ServiceQuery q;
  testing::internal::CaptureStderr();
  ASSERT_EQ(query_service("TST", nullptr, "Probe",
                          SERVICE_VALUE_LOGGING | SERVICE_VALUE_TEMP_DIR | SERVICE_VALUE_VERSION,
                          &q),
            0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TST-ERROR, RegQueryValue(Logging) failed, error=2\n"
            "TST-ERROR, RegQueryValue(Version) failed, error=234\n");
  EXPECT_EQ(q.temp_dir, std::string(255, 'T'));
  EXPECT_EQ(q.version, "");
  EXPECT_EQ(q.logging_range, "");  // unreadable, not "0"
  set_text("TempDir", std::string(256, 'T'));
  set_text("Version", std::string(31, 'V'));
  testing::internal::CaptureStderr();
  ASSERT_EQ(query_service("TST", nullptr, "Probe", SERVICE_VALUE_TEMP_DIR | SERVICE_VALUE_VERSION,
                          &q),
            0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TST-ERROR, RegQueryValue(TempDir) failed, error=234\n");
  EXPECT_EQ(q.temp_dir, "");
  EXPECT_EQ(q.version, std::string(31, 'V'));
}

TEST_F(ServiceQueryOnMachine, FailuresNameTheCallAndTheServer) {
  ServiceQuery q;
  testing::internal::CaptureStderr();
  EXPECT_EQ(query_service("TST", "\\\\LOCALPC", "Missing", 0, &q), 1060u);
  EXPECT_EQ(query_service("TST", "\\\\NOSUCH", "Probe", 0, &q), 1722u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TST-ERROR, OpenService(\\\\LOCALPC) failed, error=1060\n"
            "TST-ERROR, OpenSCManager(\\\\NOSUCH) failed, error=1722\n");
}

}  // namespace
