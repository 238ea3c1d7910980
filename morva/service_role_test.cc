#include "morva/service_role.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "morva/morva_names.h"
#include "morva/tests/morva_test_support.h"
#include "morva/version.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/services/services.h"

namespace {

struct Report {
  DWORD state, check_point, wait_hint, exit_code;
};

class MorvaServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.env().set("MORVA_STOP_DELAY_MS", "0").set("SYSTEMROOT", "C:\\WINNT");
    std::string root;
    ASSERT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, MORVA_SERVICE_KEY, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    host_.report = [this](DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code) {
      std::lock_guard<std::mutex> guard(lock_);
      reports_.push_back({state, check_point, wait_hint, exit_code});
    };
    host_.register_handler = []() { return true; };
  }

  std::string write(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f != nullptr) {
      fwrite(text.data(), 1, text.size(), f);
      fclose(f);
    }
    return path;
  }

  void set_profile(DWORD type, const std::string& text, bool with_nul = true) {
    ASSERT_EQ(morva_set_value(MORVA_PROFILE_KEY, MORVA_VALUE_PROFILE, type,
                              with_nul ? std::string(text.c_str(), text.size() + 1) : text),
              ERROR_SUCCESS);
  }

  std::vector<Report> reports() {
    std::lock_guard<std::mutex> guard(lock_);
    return reports_;
  }

  // The one API error event the run logged: its two strings.
  std::vector<std::string> api_error() {
    std::vector<MorvaEvent> events = morva_events();
    EXPECT_EQ(events.size(), 1u);
    if (events.empty()) return {};
    EXPECT_EQ(events[0].id, MORVA_EV_API_ERROR);
    EXPECT_EQ(events[0].type, EVENTLOG_ERROR_TYPE);
    return events[0].strings;
  }

  TempNetwork net_;
  MorvaServiceHost host_;
  std::mutex lock_;
  std::vector<Report> reports_;
};

TEST_F(MorvaServiceTest, StartsInNineStepsAppliesTheProfileAndStops) {
  std::string file = write(net_.root() + "/profile.reg",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Docked]\r\nScreen=REG_DWORD:1F\r\n");
  set_profile(REG_SZ, file);
  EXPECT_EQ(morva_service_run(host_), ERROR_SUCCESS);

  std::vector<Report> r = reports();
  ASSERT_EQ(r.size(), 11u);
  for (DWORD i = 0; i < 9; ++i) {
    EXPECT_EQ(r[i].state, SERVICE_START_PENDING) << i;
    EXPECT_EQ(r[i].check_point, i + 1);
    EXPECT_EQ(r[i].wait_hint, 3000u);
  }
  EXPECT_EQ(r[9].state, SERVICE_RUNNING);
  EXPECT_EQ(r[10].state, SERVICE_STOPPED);
  EXPECT_EQ(r[10].exit_code, 0u);

  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Docked", "Screen"), std::string("\x1F\0\0\0", 4));
  std::string version = morva_program_version();
  EXPECT_EQ(morva_value(nullptr, MORVA_SERVICE_KEY, MORVA_VALUE_VERSION),
            std::string(version.c_str(), version.size() + 1));
  // The event source, made because it was missing.
  DWORD type = 0;
  EXPECT_EQ(morva_value(nullptr, MORVA_EVENT_SOURCE_KEY, "TypesSupported", &type),
            std::string("\x07\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_NE(morva_value(nullptr, MORVA_EVENT_SOURCE_KEY, "EventMessageFile", &type)
                .find("morva_tests"),
            std::string::npos);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_TRUE(morva_events().empty());
}

TEST_F(MorvaServiceTest, AnExpandableProfileValueIsExpandedFirst) {
  std::string windows = net_.root() + "/machines/LOCALPC/drives/C/WINNT";
  write(windows + "/profile.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Expanded]\r\nOk=yes\r\n");
  set_profile(REG_EXPAND_SZ, "%SystemRoot%\\profile.reg");
  EXPECT_EQ(morva_service_run(host_), ERROR_SUCCESS);
  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Expanded", "Ok"), "yes");

  // The same text as a plain string is taken literally: no such file.
  set_profile(REG_SZ, "%SystemRoot%\\profile.reg");
  EXPECT_EQ(morva_service_run(host_), ERROR_PATH_NOT_FOUND);
  std::vector<std::string> strings = api_error();
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[0], "3");
  EXPECT_EQ(strings[1], "ImportRegistry(%SystemRoot%\\profile.reg)");
}

TEST_F(MorvaServiceTest, ProfileValuesThatCannotNameAFile) {
  // 256 bytes are read: a longer value is an error, not a cut name.
  set_profile(REG_SZ, std::string(300, 'x'));
  EXPECT_EQ(morva_service_run(host_), ERROR_MORE_DATA);
  // The failure comes after RUNNING, and STOPPED carries it.
  std::vector<Report> r = reports();
  ASSERT_GE(r.size(), 2u);
  EXPECT_EQ(r[r.size() - 2].state, SERVICE_RUNNING);
  EXPECT_EQ(r.back().state, SERVICE_STOPPED);
  EXPECT_EQ(r.back().exit_code, ERROR_MORE_DATA);
  set_profile(REG_SZ, "");
  EXPECT_EQ(morva_service_run(host_), ERROR_INVALID_DATA);
  ASSERT_EQ(morva_set_value(MORVA_PROFILE_KEY, MORVA_VALUE_PROFILE, REG_DWORD,
                            std::string("\1\0\0\0", 4)),
            ERROR_SUCCESS);
  EXPECT_EQ(morva_service_run(host_), ERROR_INVALID_DATA);
  std::vector<MorvaEvent> events = morva_events();
  ASSERT_EQ(events.size(), 3u);
  for (const MorvaEvent& e : events) EXPECT_EQ(e.strings.at(1), "RegQueryValueEx(Morva)");
  EXPECT_EQ(events[0].strings[0], "234");

  // Exactly 256 bytes without a terminator still name a file.
  std::string name = net_.root() + "/" + std::string(256 - net_.root().size() - 1, 'p');
  write(name, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Long]\r\nOk=1\r\n");
  set_profile(REG_SZ, name, false);
  EXPECT_EQ(morva_service_run(host_), ERROR_SUCCESS);
  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Long", "Ok"), "1");
}

TEST_F(MorvaServiceTest, StartStepFailuresAreLoggedAndEndTheService) {
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, MORVA_SERVICE_KEY), ERROR_SUCCESS);
  EXPECT_EQ(morva_service_run(host_), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api_error(), (std::vector<std::string>{
                             "2", std::string("RegOpenKeyEx(") + MORVA_SERVICE_KEY + ")"}));
  // Never RUNNING.
  for (const Report& r : reports()) EXPECT_NE(r.state, SERVICE_RUNNING);

  host_.register_handler = []() {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return false;
  };
  EXPECT_EQ(morva_service_run(host_), ERROR_SERVICE_DOES_NOT_EXIST);
  std::vector<MorvaEvent> events = morva_events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].strings.at(0), "1060");
  EXPECT_EQ(events[1].strings.at(1), "RegisterServiceCtrlHandler(ZA Divedido Zodeveza)");
}

TEST_F(MorvaServiceTest, ControlsWhileTheServiceWaits) {
  net_.env().set("MORVA_STOP_DELAY_MS", "60000");
  std::string file = write(net_.root() + "/wait.reg",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wait]\r\nDone=1\r\n");
  set_profile(REG_SZ, file);
  DWORD result = 99;
  auto start = std::chrono::steady_clock::now();
  std::thread service([&] { result = morva_service_run(host_); });
  for (int i = 0; i < 500 && morva_value(nullptr, "SOFTWARE\\Wait", "Done") != "1"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  morva_service_control(SERVICE_CONTROL_PAUSE);
  morva_service_control(SERVICE_CONTROL_INTERROGATE);
  morva_service_control(SERVICE_CONTROL_CONTINUE);
  morva_service_control(SERVICE_CONTROL_STOP);
  service.join();
  EXPECT_EQ(result, ERROR_SUCCESS);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  std::vector<Report> r = reports();
  ASSERT_GE(r.size(), 6u);
  size_t n = r.size();
  EXPECT_EQ(r[n - 6].state, SERVICE_RUNNING);
  EXPECT_EQ(r[n - 5].state, SERVICE_PAUSED);
  EXPECT_EQ(r[n - 4].state, SERVICE_PAUSED);  // interrogate keeps the state
  EXPECT_EQ(r[n - 3].state, SERVICE_RUNNING);
  EXPECT_EQ(r[n - 2].state, SERVICE_STOP_PENDING);
  EXPECT_EQ(r[n - 2].check_point, 1u);
  EXPECT_EQ(r[n - 2].wait_hint, 5000u);
  EXPECT_EQ(r[n - 1].state, SERVICE_STOPPED);
  EXPECT_EQ(r[n - 1].exit_code, 0u);

  // After the end no control reports anything.
  morva_service_control(SERVICE_CONTROL_CONTINUE);
  morva_service_control(SERVICE_CONTROL_STOP);
  EXPECT_EQ(reports().size(), n);
}

TEST(MorvaServiceControl, StatesAndStopDelay) {
  EXPECT_EQ(morva_state_after_control(SERVICE_RUNNING, SERVICE_CONTROL_PAUSE), SERVICE_PAUSED);
  EXPECT_EQ(morva_state_after_control(SERVICE_PAUSED, SERVICE_CONTROL_PAUSE), SERVICE_PAUSED);
  EXPECT_EQ(morva_state_after_control(SERVICE_PAUSED, SERVICE_CONTROL_CONTINUE), SERVICE_RUNNING);
  EXPECT_EQ(morva_state_after_control(SERVICE_RUNNING, SERVICE_CONTROL_CONTINUE), SERVICE_RUNNING);
  EXPECT_EQ(morva_state_after_control(SERVICE_PAUSED, 200), SERVICE_RUNNING);
  EXPECT_EQ(morva_state_after_control(SERVICE_START_PENDING, SERVICE_CONTROL_PAUSE),
            SERVICE_START_PENDING);
  EXPECT_EQ(morva_state_after_control(SERVICE_STOPPED, SERVICE_CONTROL_CONTINUE), SERVICE_STOPPED);

  TempNetwork net;
  net.env().set("MORVA_STOP_DELAY_MS", nullptr);
  EXPECT_EQ(morva_stop_delay_ms(), 10000u);
  net.env().set("MORVA_STOP_DELAY_MS", "250");
  EXPECT_EQ(morva_stop_delay_ms(), 250u);
  net.env().set("MORVA_STOP_DELAY_MS", "0");
  EXPECT_EQ(morva_stop_delay_ms(), 0u);
  net.env().set("MORVA_STOP_DELAY_MS", "99999999999");
  EXPECT_EQ(morva_stop_delay_ms(), 600000u);
  net.env().set("MORVA_STOP_DELAY_MS", "12x");
  EXPECT_EQ(morva_stop_delay_ms(), 10000u);
  net.env().set("MORVA_STOP_DELAY_MS", "-5");
  EXPECT_EQ(morva_stop_delay_ms(), 10000u);
}

}  // namespace
