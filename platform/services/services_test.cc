#include "platform/services/services.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files/file_io.h"
#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"
#include "platform/services/service_store.h"

namespace {

std::string bin_dir() {
  const char* bin = getenv("NT_TEST_BIN");
  if (bin && *bin) return bin;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./x");
  return dir.substr(0, dir.rfind('/'));
}

// A network with the local machine LOCALPC (drive T: holding the test
// programs, a machine variable) and an offline server DEADSRV.
class ServiceNetwork : public TempNetwork {
 public:
  ServiceNetwork() : TempNetwork("LOCALPC") {
    env().set("USERNAME", "Administrator")
        .set("NT_SERVICE_TIMEOUT_MS", "8000")
        .set("NT_SERVICE_SUPERVISOR", (bin_dir() + "/nt_service_supervisor").c_str())
        .set("PROBEVAR", "from-caller");
    std::string root;
    EXPECT_EQ(nt_network_ensure(&root), ERROR_SUCCESS);
    NtMachineRef local;
    EXPECT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtDrive t;
    t.letter = 'T';
    t.host_dir = bin_dir();
    EXPECT_EQ(nt_machine_map_drive(*local.store, t), ERROR_SUCCESS);
    NtMachineInfo dead;
    dead.name = "DEADSRV";
    dead.lan_group = "WORKGROUP";
    dead.role = NtMachineRole::server;
    dead.online = false;
    EXPECT_EQ(nt_machine_create(root, dead), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char hello[] = "hello";
    const char path[] = "%SYSTEMROOT%\\x;%NOSUCHVAR%";
    RegSetValueExA(key, "PROBEVAR", 0, REG_SZ, reinterpret_cast<const BYTE*>(hello), sizeof hello);
    RegSetValueExA(key, "PROBEPATH", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path),
                   sizeof path);
    RegCloseKey(key);
    out_ = root_dir() + "/probe.out";
    env().set("NT_SERVICE_PROBE_OUT", out_.c_str());
  }
  std::string root_dir() const { return root(); }
  const std::string& out() const { return out_; }

 private:
  std::string out_;
};

SC_HANDLE create_probe(SC_HANDLE scm, const char* name, const char* mode,
                       DWORD start = SERVICE_DEMAND_START) {
  std::string path = std::string("T:\\nt_service_probe ") + mode;
  return CreateServiceA(scm, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, start,
                        SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr,
                        nullptr);
}

// Polls until the service is in `state` (at most 10 s).
bool wait_state(SC_HANDLE service, DWORD state, SERVICE_STATUS* last = nullptr) {
  SERVICE_STATUS s{};
  for (int i = 0; i < 1000; ++i) {
    if (QueryServiceStatus(service, &s) && s.dwCurrentState == state) {
      if (last) *last = s;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (last) *last = s;
  return false;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

DWORD reg_dword(const std::string& key, const char* name) {
  HKEY k = nullptr;
  DWORD value = 0xDEAD, size = sizeof value, type = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return 0xFFFFFFFF;
  RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(k);
  return value;
}

std::string reg_string(const std::string& key, const char* name) {
  HKEY k = nullptr;
  char value[512] = "";
  DWORD size = sizeof value, type = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return "<no key>";
  LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS ? std::string(value) : "<no value>";
}

const std::string kKey = "SYSTEM\\CurrentControlSet\\Services\\";

}  // namespace

TEST(Services, CreateQueryChangeDelete) {
  ServiceNetwork net;
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE svc = CreateServiceA(scm, "Zeb Test", "Zeb Display", SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                                 SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                 "C:\\WIN32APP\\zeb.exe", nullptr, nullptr,
                                 "LanmanWorkstation\0Other\0", nullptr, nullptr);
  ASSERT_NE(svc, nullptr) << GetLastError();

  // Names ignore case and share one space with display names.
  EXPECT_EQ(create_probe(scm, "ZEB TEST", "run"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(create_probe(scm, "zeb display", "run"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DUPLICATE_SERVICE_NAME);
  EXPECT_EQ(create_probe(scm, "", "run"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(create_probe(scm, "a\\b", "run"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  std::string longest(255, 'n'), too_long(256, 'n');
  SC_HANDLE edge = create_probe(scm, longest.c_str(), "run");
  EXPECT_NE(edge, nullptr);
  CloseServiceHandle(edge);
  EXPECT_EQ(create_probe(scm, too_long.c_str(), "run"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(CreateServiceA(scm, "LongDisplay", too_long.c_str(), SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           "x.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  // Tags are for boot and system drivers only.
  DWORD tag = 77;
  EXPECT_EQ(CreateServiceA(scm, "Tagged", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "x.exe", "Group", &tag,
                           nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Boot start is for drivers; an interactive service runs as LocalSystem.
  EXPECT_EQ(create_probe(scm, "BootSvc", "run", SERVICE_BOOT_START), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateServiceA(scm, "Inter", nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "x.exe", nullptr, nullptr,
                           nullptr, ".\\bob", "pw"),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Buffer protocol of the configuration.
  DWORD needed = 0;
  EXPECT_FALSE(QueryServiceConfigA(svc, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(needed, sizeof(QUERY_SERVICE_CONFIGA));
  std::vector<BYTE> buffer(needed + 16, 0xCC);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  DWORD again = 0;
  EXPECT_FALSE(QueryServiceConfigA(svc, config, needed - 1, &again));
  EXPECT_EQ(again, needed);
  EXPECT_EQ(buffer[needed - 1], 0xCC);  // nothing written past a short buffer
  ASSERT_TRUE(QueryServiceConfigA(svc, config, needed, &again));
  EXPECT_EQ(buffer[needed], 0xCC);
  EXPECT_EQ(config->dwServiceType, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS);
  EXPECT_EQ(config->dwStartType, SERVICE_AUTO_START);
  EXPECT_EQ(config->dwErrorControl, SERVICE_ERROR_IGNORE);
  EXPECT_STREQ(config->lpBinaryPathName, "C:\\WIN32APP\\zeb.exe");
  EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
  EXPECT_STREQ(config->lpDisplayName, "Zeb Display");
  EXPECT_STREQ(config->lpLoadOrderGroup, "");
  EXPECT_STREQ(config->lpDependencies, "LanmanWorkstation");
  EXPECT_STREQ(config->lpDependencies + strlen("LanmanWorkstation") + 1, "Other");

  // The registry mirror.
  EXPECT_EQ(reg_string(kKey + "Zeb Test", "ImagePath"), "C:\\WIN32APP\\zeb.exe");
  EXPECT_EQ(reg_dword(kKey + "Zeb Test", "Start"), SERVICE_AUTO_START);
  EXPECT_EQ(reg_dword(kKey + "Zeb Test", "Type"), 0x110u);
  EXPECT_EQ(reg_dword(kKey + "Zeb Test", "ErrorControl"), SERVICE_ERROR_IGNORE);
  EXPECT_EQ(reg_string(kKey + "Zeb Test", "ObjectName"), "LocalSystem");
  EXPECT_EQ(reg_string(kKey + "Zeb Test", "DisplayName"), "Zeb Display");

  // No change keeps everything; then a change of account and start type.
  ASSERT_TRUE(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(QueryServiceConfigA(svc, config, needed, &again));
  EXPECT_STREQ(config->lpBinaryPathName, "C:\\WIN32APP\\zeb.exe");
  EXPECT_STREQ(config->lpDependencies, "LanmanWorkstation");
  ASSERT_TRUE(ChangeServiceConfigA(svc, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, "", ".\\bob",
                                   "secret", nullptr));
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);
  NtServiceRecord record;
  ASSERT_EQ(nt_service_get(*ref.store, "zeb test", &record), ERROR_SUCCESS);
  EXPECT_EQ(record.account, ".\\bob");
  EXPECT_EQ(record.password, "secret");
  EXPECT_TRUE(record.dependencies.empty());
  EXPECT_EQ(record.start_type, SERVICE_DEMAND_START);
  EXPECT_EQ(reg_string(kKey + "Zeb Test", "ObjectName"), ".\\bob");
  EXPECT_EQ(reg_string(kKey + "Zeb Test", "DependOnService"), "<no value>");
  // Back to LocalSystem: the password goes.
  ASSERT_TRUE(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                   nullptr, nullptr, nullptr, nullptr, "LocalSystem", "",
                                   "Zeb Service"));
  ASSERT_EQ(nt_service_get(*ref.store, "zeb test", &record), ERROR_SUCCESS);
  EXPECT_EQ(record.password, "");
  EXPECT_EQ(record.display_name, "Zeb Service");
  EXPECT_FALSE(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, 7, SERVICE_NO_CHANGE, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // A subkey written by a tool goes with the service.
  HKEY params = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, (kKey + "Zeb Test\\Parameters").c_str(), &params),
            ERROR_SUCCESS);
  RegCloseKey(params);
  ASSERT_TRUE(DeleteService(svc));
  EXPECT_FALSE(DeleteService(svc));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(reg_string(kKey + "Zeb Test", "ImagePath"), "<no key>");
  EXPECT_EQ(OpenServiceA(scm, "Zeb Test", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_TRUE(CloseServiceHandle(svc));
  EXPECT_FALSE(CloseServiceHandle(svc));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseServiceHandle(scm));
}

TEST(Services, ManagerReachAccessAndLock) {
  ServiceNetwork net;
  EXPECT_EQ(OpenSCManagerA("\\\\DEADSRV", nullptr, SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenSCManagerA("\\\\NOSUCH", nullptr, SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(OpenSCManagerA(nullptr, "Other", SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DATABASE_DOES_NOT_EXIST);

  SC_HANDLE scm = OpenSCManagerA("\\\\LOCALPC", SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE svc = create_probe(scm, "ProbeSvc", "run");
  ASSERT_NE(svc, nullptr);
  // A service handle is no manager handle and the other way round.
  SERVICE_STATUS status;
  EXPECT_FALSE(QueryServiceStatus(scm, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(OpenServiceA(svc, "ProbeSvc", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Enumeration with the buffer protocol.
  SC_HANDLE second = create_probe(scm, "Another", "run");
  CloseServiceHandle(second);
  DWORD needed = 0, count = 7, resume = 0;
  EXPECT_FALSE(EnumServicesStatusA(scm, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed,
                                   &count, &resume));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(needed, 2 * sizeof(ENUM_SERVICE_STATUSA) + 2 * (strlen("Another") + 1) +
                        2 * (strlen("ProbeSvc") + 1));
  std::vector<BYTE> list(needed);
  resume = 0;
  ASSERT_TRUE(EnumServicesStatusA(scm, SERVICE_WIN32, SERVICE_STATE_ALL,
                                  reinterpret_cast<ENUM_SERVICE_STATUSA*>(list.data()), needed,
                                  &needed, &count, &resume));
  ASSERT_EQ(count, 2u);
  auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(list.data());
  EXPECT_STREQ(entries[0].lpServiceName, "Another");
  EXPECT_STREQ(entries[1].lpDisplayName, "ProbeSvc");
  EXPECT_EQ(entries[1].ServiceStatus.dwCurrentState, SERVICE_STOPPED);
  EXPECT_TRUE(EnumServicesStatusA(scm, SERVICE_WIN32, SERVICE_ACTIVE,
                                  reinterpret_cast<ENUM_SERVICE_STATUSA*>(list.data()), needed,
                                  &needed, &count, nullptr));
  EXPECT_EQ(count, 0u);

  // One lock at a time; a locked database starts nothing.
  SC_LOCK lock = LockServiceDatabase(scm);
  ASSERT_NE(lock, nullptr);
  EXPECT_EQ(LockServiceDatabase(scm), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DATABASE_LOCKED);
  EXPECT_FALSE(StartServiceA(svc, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DATABASE_LOCKED);
  EXPECT_TRUE(UnlockServiceDatabase(lock));
  EXPECT_FALSE(UnlockServiceDatabase(lock));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_LOCK);
  SC_LOCK relock = LockServiceDatabase(scm);
  EXPECT_NE(relock, nullptr);
  EXPECT_TRUE(UnlockServiceDatabase(relock));

  // A user who is no administrator may look but not change.
  net.env().set("USERNAME", "guest");
  EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SC_HANDLE reader = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(LockServiceDatabase(reader), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenServiceA(reader, "ProbeSvc", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SC_HANDLE query = OpenServiceA(reader, "probesvc", SERVICE_QUERY_STATUS);
  ASSERT_NE(query, nullptr);
  EXPECT_TRUE(QueryServiceStatus(query, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_FALSE(StartServiceA(query, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseServiceHandle(query);
  CloseServiceHandle(reader);
  net.env().set("USERNAME", "Administrator");

  // A machine that goes offline fails the handles it gave out. (Its own
  // administrator is the one who administers it.)
  net.env().set("USERDOMAIN", "DEADSRV");
  SC_HANDLE remote_scm = nullptr;
  {
    NtMachineRef dead;
    ASSERT_EQ(nt_open_machine("DEADSRV", &dead, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_machine_set_online(*dead.store, true), ERROR_SUCCESS);
    remote_scm = OpenSCManagerA("DEADSRV", nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(remote_scm, nullptr);
    SC_HANDLE remote = create_probe(remote_scm, "RemoteSvc", "run");
    ASSERT_NE(remote, nullptr);
    ASSERT_EQ(nt_machine_set_online(*dead.store, false), ERROR_SUCCESS);
    EXPECT_FALSE(QueryServiceStatus(remote, &status));
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    CloseServiceHandle(remote);
  }
  net.env().set("USERDOMAIN", nullptr);
  // The local machine's services are not the remote one's.
  EXPECT_EQ(OpenServiceA(scm, "RemoteSvc", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  CloseServiceHandle(remote_scm);
  DeleteService(svc);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

TEST(Services, StartControlStop) {
  ServiceNetwork net;
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE svc = create_probe(scm, "ProbeSvc", "run");
  ASSERT_NE(svc, nullptr);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

  const char* args[] = {"alpha", "beta gamma"};
  ASSERT_TRUE(StartServiceA(svc, 2, args)) << GetLastError();
  ASSERT_TRUE(wait_state(svc, SERVICE_RUNNING, &status)) << status.dwCurrentState;
  EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE);
  EXPECT_FALSE(StartServiceA(svc, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

  // What the service process got: arguments, identity, machine variables.
  std::string report = read_file(net.out());
  EXPECT_NE(report.find("args=ProbeSvc|alpha|beta gamma\n"), std::string::npos) << report;
  EXPECT_NE(report.find("COMPUTERNAME=LOCALPC\n"), std::string::npos) << report;
  EXPECT_NE(report.find("USERNAME=SYSTEM\n"), std::string::npos) << report;
  EXPECT_NE(report.find("USERDOMAIN=NT AUTHORITY\n"), std::string::npos) << report;
  EXPECT_NE(report.find("SYSTEMROOT=C:\\WINNT\n"), std::string::npos) << report;
  EXPECT_NE(report.find("PROBEVAR=hello\n"), std::string::npos) << report;
  EXPECT_NE(report.find("PROBEPATH=C:\\WINNT\\x;%NOSUCHVAR%\n"), std::string::npos) << report;
  EXPECT_NE(report.find("NT_SERVICE=(none)\n"), std::string::npos) << report;

  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);
  NtServiceRecord record;
  ASSERT_EQ(nt_service_get(*ref.store, "ProbeSvc", &record), ERROR_SUCCESS);
  EXPECT_NE(record.process_id, 0u);
  EXPECT_EQ(kill(static_cast<pid_t>(record.process_id), 0), 0);

  // Pause, continue, interrogate and a user control answer with the status.
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_PAUSE, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, SERVICE_PAUSED);
  EXPECT_TRUE(wait_state(svc, SERVICE_PAUSED));
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_CONTINUE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  ASSERT_TRUE(ControlService(svc, 200, &status));
  EXPECT_EQ(status.dwWaitHint, 200u);
  EXPECT_FALSE(ControlService(svc, 6, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ControlService(svc, 256, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ControlService(svc, SERVICE_CONTROL_SHUTDOWN, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // An answer that does not come in time.
  net.env().set("NT_SERVICE_TIMEOUT_MS", "1000");
  EXPECT_FALSE(ControlService(svc, 201, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
  net.env().set("NT_SERVICE_TIMEOUT_MS", "8000");

  // Deleting a running service waits for its end.
  ASSERT_TRUE(DeleteService(svc));
  EXPECT_FALSE(DeleteService(svc));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(create_probe(scm, "ProbeSvc", "run"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);

  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
              status.dwCurrentState == SERVICE_STOPPED)
      << status.dwCurrentState;
  SC_HANDLE gone = nullptr;
  for (int i = 0; i < 500; ++i) {
    gone = OpenServiceA(scm, "ProbeSvc", SERVICE_QUERY_STATUS);
    if (!gone) break;
    CloseServiceHandle(gone);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(gone, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(reg_string(kKey + "ProbeSvc", "ImagePath"), "<no key>");
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

TEST(Services, ControlRulesAndExitCodes) {
  ServiceNetwork net;
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);

  // A control the service does not accept.
  SC_HANDLE only = create_probe(scm, "StopOnly", "stoponly");
  ASSERT_TRUE(StartServiceA(only, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(wait_state(only, SERVICE_RUNNING));
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(only, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_TRUE(ControlService(only, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(wait_state(only, SERVICE_STOPPED, &status));
  EXPECT_EQ(status.dwWin32ExitCode, 0u);

  // The codes a service reports with its STOPPED stay.
  SC_HANDLE specific = create_probe(scm, "Specific", "specific");
  ASSERT_TRUE(StartServiceA(specific, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(wait_state(specific, SERVICE_RUNNING));
  EXPECT_TRUE(ControlService(specific, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(wait_state(specific, SERVICE_STOPPED, &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
  EXPECT_EQ(status.dwServiceSpecificExitCode, 42u);

  // A process that dies is STOPPED with its exit code.
  SC_HANDLE crash = create_probe(scm, "Crasher", "crash");
  ASSERT_TRUE(StartServiceA(crash, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(wait_state(crash, SERVICE_STOPPED, &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  EXPECT_EQ(status.dwControlsAccepted, 0u);
  NtServiceRecord record;
  ASSERT_EQ(nt_service_get(*ref.store, "Crasher", &record), ERROR_SUCCESS);
  EXPECT_EQ(record.process_exit_code, 3u);  // abort()
  EXPECT_EQ(record.process_id, 0u);
  // It can be started again.
  EXPECT_TRUE(StartServiceA(crash, 0, nullptr)) << GetLastError();
  EXPECT_TRUE(wait_state(crash, SERVICE_STOPPED));

  // A program that never reaches its dispatcher, and one that is missing.
  SC_HANDLE silent = create_probe(scm, "Silent", "nodispatch");
  net.env().set("NT_SERVICE_TIMEOUT_MS", "1000");
  auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(StartServiceA(silent, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
  net.env().set("NT_SERVICE_TIMEOUT_MS", "8000");
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(950));
  EXPECT_TRUE(wait_state(silent, SERVICE_STOPPED, &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_REQUEST_TIMEOUT);
  SC_HANDLE missing = CreateServiceA(scm, "Missing", nullptr, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, "\"T:\\none.exe\" /x",
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(missing, nullptr);
  EXPECT_FALSE(StartServiceA(missing, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SC_HANDLE no_dir = CreateServiceA(scm, "NoDir", nullptr, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                    SERVICE_ERROR_NORMAL, "C:\\WIN32APP\\zeb.exe", nullptr,
                                    nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(StartServiceA(no_dir, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CloseServiceHandle(no_dir);
  EXPECT_TRUE(QueryServiceStatus(missing, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  // Disabled services do not start.
  ASSERT_TRUE(ChangeServiceConfigA(missing, SERVICE_NO_CHANGE, SERVICE_DISABLED,
                                   SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr));
  EXPECT_FALSE(StartServiceA(missing, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);

  // A service with an account of its own needs its password, and runs as
  // that user.
  ASSERT_EQ(nt_accounts_prepare(*ref.store), ERROR_SUCCESS);
  NtUserRecord bob;
  bob.name = "bob";
  bob.password_hash = nt_password_hash("right");
  ASSERT_EQ(nt_accounts_add_user(*ref.store, &bob), ERROR_SUCCESS);
  SC_HANDLE as_bob = CreateServiceA(scm, "AsBob", nullptr, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                    SERVICE_ERROR_NORMAL, "T:\\nt_service_probe run", nullptr,
                                    nullptr, nullptr, ".\\bob", "wrong");
  ASSERT_NE(as_bob, nullptr);
  EXPECT_FALSE(StartServiceA(as_bob, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_LOGON_FAILED);
  ASSERT_TRUE(ChangeServiceConfigA(as_bob, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                   SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   "right", nullptr));
  ASSERT_TRUE(StartServiceA(as_bob, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(wait_state(as_bob, SERVICE_RUNNING));
  std::string report = read_file(net.out());
  EXPECT_NE(report.find("USERNAME=bob\n"), std::string::npos) << report;
  EXPECT_NE(report.find("USERDOMAIN=LOCALPC\n"), std::string::npos) << report;
  EXPECT_TRUE(ControlService(as_bob, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(wait_state(as_bob, SERVICE_STOPPED));

  for (SC_HANDLE h : {only, specific, crash, silent, missing, as_bob}) CloseServiceHandle(h);
  CloseServiceHandle(scm);
}

// The image path is expanded in the service's environment, and a service
// deleted and made again under its name starts its runs past the old ones,
// so a supervisor still finishing an old run cannot end a new one.
TEST(Services, ExpandedImagePathAndRunsOfAServiceMadeAgain) {
  ServiceNetwork net;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char drive[] = "T:";
  RegSetValueExA(key, "PROBEDRIVE", 0, REG_SZ, reinterpret_cast<const BYTE*>(drive), sizeof drive);
  RegCloseKey(key);
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  auto create = [&]() {
    return CreateServiceA(scm, "Again", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                          SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          "%PROBEDRIVE%\\nt_service_probe run", nullptr, nullptr, nullptr,
                          nullptr, nullptr);
  };
  NtMachineRef ref;
  ASSERT_EQ(nt_open_machine("", &ref), ERROR_SUCCESS);
  NtServiceRecord record;
  SC_HANDLE svc = create();
  ASSERT_NE(svc, nullptr);
  ASSERT_TRUE(StartServiceA(svc, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(wait_state(svc, SERVICE_RUNNING));
  ASSERT_EQ(nt_service_get(*ref.store, "Again", &record), ERROR_SUCCESS);
  const int64_t first_run = record.run_id;
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(wait_state(svc, SERVICE_STOPPED));
  ASSERT_TRUE(DeleteService(svc));
  CloseServiceHandle(svc);

  svc = create();
  ASSERT_NE(svc, nullptr) << GetLastError();
  ASSERT_EQ(nt_service_get(*ref.store, "Again", &record), ERROR_SUCCESS);
  EXPECT_EQ(record.run_id, 0);  // never ran
  ASSERT_TRUE(StartServiceA(svc, 0, nullptr)) << GetLastError();
  EXPECT_TRUE(wait_state(svc, SERVICE_RUNNING));
  ASSERT_EQ(nt_service_get(*ref.store, "Again", &record), ERROR_SUCCESS);
  EXPECT_GT(record.run_id, first_run);
  ASSERT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(wait_state(svc, SERVICE_STOPPED));
  DeleteService(svc);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}
