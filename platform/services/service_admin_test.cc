#include "platform/services/service_admin.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/services/services.h"

namespace {

std::string bin_dir() {
  const char* bin = getenv("NT_TEST_BIN");
  if (bin && *bin) return bin;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./x");
  return dir.substr(0, dir.rfind('/'));
}

const NtServiceRecord* find(const std::vector<NtServiceRecord>& list, const char* name) {
  for (const NtServiceRecord& r : list)
    if (r.name == name) return &r;
  return nullptr;
}

}  // namespace

TEST(ServiceAdmin, BootListShutdown) {
  TempNetwork net("LOCALPC");
  net.env()
      .set("USERNAME", "Administrator")
      .set("NT_SERVICE_TIMEOUT_MS", "8000")
      .set("NT_SERVICE_PROBE_OUT", nullptr)
      .set("NT_SERVICE_SUPERVISOR", (bin_dir() + "/nt_service_supervisor").c_str());
  std::string root;
  ASSERT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
  NtMachineInfo info;
  info.name = "APPSRV";
  info.lan_group = "WORKGROUP";
  info.role = NtMachineRole::server;
  info.online = false;
  ASSERT_EQ(nt_machine_create(root, info), ERROR_SUCCESS);
  NtMachineRef srv;
  ASSERT_EQ(nt_open_machine("APPSRV", &srv, NtMachineAccess::admin), ERROR_SUCCESS);
  NtDrive t;
  t.letter = 'T';
  t.host_dir = bin_dir();
  ASSERT_EQ(nt_machine_map_drive(*srv.store, t), ERROR_SUCCESS);

  // Services are installed while the machine is up, then it goes down.
  ASSERT_EQ(nt_machine_set_online(*srv.store, true), ERROR_SUCCESS);
  net.env().set("USERDOMAIN", "APPSRV");
  SC_HANDLE scm = OpenSCManagerA("\\\\APPSRV", nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr) << GetLastError();
  auto create = [scm](const char* name, const char* path, DWORD start, const char* deps) {
    SC_HANDLE h = CreateServiceA(scm, name, nullptr, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, start, SERVICE_ERROR_NORMAL, path,
                                 nullptr, nullptr, deps, nullptr, nullptr);
    EXPECT_NE(h, nullptr) << name << " " << GetLastError();
    CloseServiceHandle(h);
  };
  // Main depends on Base (on demand) and on a service the machine lacks.
  create("Main", "T:\\nt_service_probe run", SERVICE_AUTO_START, "Base\0LanmanWorkstation\0");
  create("Base", "T:\\nt_service_probe run", SERVICE_DEMAND_START, nullptr);
  create("Manual", "T:\\nt_service_probe run", SERVICE_DEMAND_START, nullptr);
  create("Stubborn", "T:\\nt_service_probe stubborn", SERVICE_AUTO_START, nullptr);
  create("Broken", "T:\\no_such_program", SERVICE_AUTO_START, nullptr);
  CloseServiceHandle(scm);
  net.env().set("USERDOMAIN", nullptr);
  ASSERT_EQ(nt_machine_set_online(*srv.store, false), ERROR_SUCCESS);

  std::vector<NtServiceOutcome> started;
  ASSERT_EQ(nt_service_boot("APPSRV", &started), ERROR_SUCCESS);
  bool online = false;
  ASSERT_EQ(nt_machine_is_online(*srv.store, &online), ERROR_SUCCESS);
  EXPECT_TRUE(online);
  // Base before Main; Manual not at all; Broken reported.
  std::vector<std::string> order;
  DWORD broken_error = 0;
  for (const NtServiceOutcome& o : started) {
    order.push_back(o.name);
    if (o.name == "Broken") broken_error = o.error;
    else EXPECT_EQ(o.error, ERROR_SUCCESS) << o.name;
  }
  // In name order, each service after what it depends on.
  EXPECT_EQ(order, (std::vector<std::string>{"Broken", "Base", "Main", "Stubborn"}));
  EXPECT_EQ(broken_error, ERROR_FILE_NOT_FOUND);

  std::vector<NtServiceRecord> list;
  ASSERT_EQ(nt_service_admin_list("APPSRV", &list), ERROR_SUCCESS);
  ASSERT_EQ(list.size(), 5u);
  ASSERT_NE(find(list, "Manual"), nullptr);
  EXPECT_EQ(find(list, "Manual")->state, SERVICE_STOPPED);
  ASSERT_NE(find(list, "Stubborn"), nullptr);
  EXPECT_NE(find(list, "Stubborn")->process_id, 0u);
  // A second boot starts nothing new.
  std::vector<NtServiceOutcome> again;
  ASSERT_EQ(nt_service_boot("APPSRV", &again), ERROR_SUCCESS);
  ASSERT_EQ(again.size(), 1u);  // only Broken, which still fails
  EXPECT_EQ(again[0].name, "Broken");

  std::vector<NtServiceOutcome> stopped;
  ASSERT_EQ(nt_service_shutdown("APPSRV", 500, &stopped), ERROR_SUCCESS);
  ASSERT_EQ(stopped.size(), 3u);
  for (const NtServiceOutcome& o : stopped) {
    EXPECT_EQ(o.error, ERROR_SUCCESS) << o.name;
    EXPECT_EQ(o.killed, o.name == "Stubborn") << o.name;
  }
  ASSERT_EQ(nt_service_admin_list("APPSRV", &list), ERROR_SUCCESS);
  for (const NtServiceRecord& r : list) EXPECT_EQ(r.state, SERVICE_STOPPED) << r.name;
  EXPECT_EQ(find(list, "Stubborn")->win32_exit_code, ERROR_PROCESS_ABORTED);
  EXPECT_EQ(find(list, "Main")->win32_exit_code, 0u);
  ASSERT_EQ(nt_machine_is_online(*srv.store, &online), ERROR_SUCCESS);
  EXPECT_FALSE(online);
  EXPECT_EQ(nt_service_admin_list("NOSUCH", &list), ERROR_BAD_NETPATH);
}

TEST(ServiceAdmin, VanishedSupervisorIsStopped) {
  TempNetwork net("LOCALPC");
  net.env()
      .set("USERNAME", "Administrator")
      .set("NT_SERVICE_TIMEOUT_MS", "8000")
      .set("NT_SERVICE_PROBE_OUT", nullptr)
      .set("NT_SERVICE_SUPERVISOR", (bin_dir() + "/nt_service_supervisor").c_str());
  std::string root;
  ASSERT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
  NtMachineRef local;
  ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
  NtDrive t;
  t.letter = 'T';
  t.host_dir = bin_dir();
  ASSERT_EQ(nt_machine_map_drive(*local.store, t), ERROR_SUCCESS);
  SC_HANDLE scm = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE svc = CreateServiceW(scm, u"WideSvc", u"Wide \u00e9 Service", SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                 SERVICE_ERROR_NORMAL, u"T:\\nt_service_probe run", nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc, nullptr) << GetLastError();
  DWORD needed = 0;
  EXPECT_FALSE(QueryServiceConfigW(svc, nullptr, 0, &needed));
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  ASSERT_TRUE(QueryServiceConfigW(svc, config, needed, &needed));
  EXPECT_EQ(std::u16string(config->lpDisplayName), u"Wide \u00e9 Service");
  EXPECT_EQ(std::u16string(config->lpServiceStartName), u"LocalSystem");

  ASSERT_TRUE(StartServiceW(svc, 0, nullptr)) << GetLastError();
  NtServiceRecord r;
  ASSERT_EQ(nt_service_get(*local.store, "widesvc", &r), ERROR_SUCCESS);
  ASSERT_NE(r.supervisor_pid, 0u);
  // Supervisor and service killed together (as by a crash of the host):
  // the next look finds the service stopped.
  kill(static_cast<pid_t>(r.supervisor_pid), SIGKILL);
  kill(static_cast<pid_t>(r.process_id), SIGKILL);
  SERVICE_STATUS status{};
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(QueryServiceStatus(svc, &status));
    if (status.dwCurrentState == SERVICE_STOPPED) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  // And it starts again.
  EXPECT_TRUE(StartServiceW(svc, 0, nullptr)) << GetLastError();
  std::vector<NtServiceOutcome> out;
  EXPECT_EQ(nt_service_shutdown("LOCALPC", 2000, &out), ERROR_SUCCESS);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_FALSE(out[0].killed);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}
