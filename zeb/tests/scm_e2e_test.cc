// zeb as a real service: installed and controlled through the service
// control manager, with its check points, pause, continue and stop.
#include <gtest/gtest.h>

#include "zeb/tests/zeb_service_fixture.h"

#if __has_include("platform/services/services.h")
#include "platform/network/machine.h"
#include "platform/services/services.h"

namespace {

class ScmTest : public ZebServiceTest {
 protected:
  void SetUp() override {
    ZebServiceTest::SetUp();
    std::string bin = zeb_program_path();
    bin = bin.substr(0, bin.rfind('/'));
    net_.env()
        .set("ZEB_SERVICE_FOREGROUND", nullptr)
        .set("NT_SERVICE_SUPERVISOR", (bin + "/nt_service_supervisor").c_str());
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtDrive t;
    t.letter = 'T';
    t.host_dir = bin;
    ASSERT_EQ(nt_machine_map_drive(*local.store, t), ERROR_SUCCESS);
  }

  static bool wait_state(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS s{};
    return wait_until([&] { return QueryServiceStatus(service, &s) && s.dwCurrentState == state; },
                      15000);
  }
};

TEST_F(ScmTest, StartPauseContinueAndStopThroughTheServiceControlManager) {
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr) << GetLastError();
  // The SCM writes the service key afresh; TempDir goes back afterwards.
  SC_HANDLE svc = CreateServiceA(scm, ZEB_SERVICE_NAME, ZEB_SERVICE_NAME, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                 SERVICE_ERROR_NORMAL, "T:\\zeb", nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
  ASSERT_NE(svc, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(svc, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(wait_state(svc, SERVICE_RUNNING));
  EXPECT_TRUE(wait_until([&] { return pipe_version() == kTestVersion; }, 10000));
  ASSERT_EQ(add(make_job("viascm", "/bin/true")), msg_control(ZEB_DONE));

  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_PAUSE, &status)) << GetLastError();
  ASSERT_TRUE(wait_state(svc, SERVICE_PAUSED));
  EXPECT_EQ(show("viascm").size(), 1u);  // the pipe serves on while paused
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_CONTINUE, &status)) << GetLastError();
  ASSERT_TRUE(wait_state(svc, SERVICE_RUNNING));
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  ASSERT_TRUE(wait_state(svc, SERVICE_STOPPED));
  EXPECT_EQ(pipe_version(), "");
  EXPECT_EQ(count_events(0x40000001), 1);
  EXPECT_EQ(count_events(0x40000002), 1);
  DeleteService(svc);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

TEST_F(ScmTest, WithoutTheServiceControlManagerTheServiceRoleEndsWith87) {
  pid_ = -1;
  pid_t pid = fork();
  if (pid == 0) {
    int fd = ::open((net_.root() + "/role.out").c_str(), O_WRONLY | O_CREAT, 0644);
    int fd2 = ::open((net_.root() + "/role.err").c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(fd, 1);
    dup2(fd2, 2);
    std::string program = zeb_program_path();
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 87);
  std::ifstream out(net_.root() + "/role.out");
  std::ifstream err(net_.root() + "/role.err");
  std::string out_line, err_line;
  std::getline(out, out_line);
  std::getline(err, err_line);
  EXPECT_EQ(out_line, "ZEB-INFO, try zeb /? for more info");
  EXPECT_EQ(err_line.rfind("ZEB-ERROR, StartServiceCtrlDispatcher() failed, error=", 0), 0u)
      << err_line;
}

}  // namespace
#endif
