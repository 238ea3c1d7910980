// morva end to end: the built program as the service under the service
// control manager of a throwaway network, and as the installer that adds,
// shows, updates and removes it on servers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "lib/testing/run_program.h"
#include "morva/morva_names.h"
#include "morva/tests/morva_test_support.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi_test_network.h"
#include "platform/network/machine.h"
#include "platform/services/services.h"

namespace {

constexpr char kVersion[] = "V1.0.0100";

std::string with_nul(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

// The program is large (a sanitizer build): copies are compared by size.
long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class MorvaE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = built_program_path("morva");
    bin_ = program_.substr(0, program_.rfind('/'));
    // The tests act as the local Administrator; the services see a short wait.
    net_.env()
        .set("USERNAME", "Administrator")
        .set("USERDOMAIN", "LOCALPC")
        .set("SERVERLIST", nullptr)
        .set("MORVA_FORMAT", nullptr)
        .set("MORVA_STOP_DELAY_MS", "300")
        .set("NT_SERVICE_SUPERVISOR", (bin_ + "/nt_service_supervisor").c_str());
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtDrive t;
    t.letter = 'T';
    t.host_dir = bin_;
    ASSERT_EQ(nt_machine_map_drive(*local.store, t), ERROR_SUCCESS);
    windows_ = net_.drive_c("LOCALPC") + "/WINNT";
  }

  void TearDown() override {
    // Every service started here ends here, whatever the test did.
    for (const std::string& machine : touched_) remove_service(machine);
  }

  // Writes "Version" of the service key on SRV1.
  void set_remote_version(const std::string& version) {
    HKEY root = nullptr, key = nullptr;
    ASSERT_EQ(RegConnectRegistryA("\\\\SRV1", HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(root, MORVA_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    std::string data = with_nul(version);
    EXPECT_EQ(RegSetValueExA(key, MORVA_VALUE_VERSION, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(root);
  }

  // The servers of the domain SALES are administered by its Administrator.
  void act_as_domain_administrator() { net_.env().set("USERDOMAIN", "SALES"); }

  // Stops the service on `machine` ("" local) when it runs, and deletes it.
  void remove_service(const std::string& machine) {
    SC_HANDLE scm = OpenSCManagerA(machine.empty() ? nullptr : machine.c_str(), nullptr,
                                   SC_MANAGER_ALL_ACCESS);
    if (scm == nullptr) return;
    SC_HANDLE svc = OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (svc != nullptr) {
      SERVICE_STATUS status{};
      if (QueryServiceStatus(svc, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(svc, SERVICE_CONTROL_STOP, &status);
        wait_stopped(svc);
      }
      DeleteService(svc);
      CloseServiceHandle(svc);
    }
    CloseServiceHandle(scm);
  }

  static bool wait_stopped(SC_HANDLE svc, SERVICE_STATUS* out = nullptr) {
    SERVICE_STATUS status{};
    for (int i = 0; i < 400; ++i) {
      if (QueryServiceStatus(svc, &status) && status.dwCurrentState == SERVICE_STOPPED) {
        if (out != nullptr) *out = status;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Creates the service on this machine running the built program from T:
  // (once), starts it and waits for its end; the exit code it reported.
  DWORD run_service() {
    touched_.push_back("");
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    EXPECT_NE(scm, nullptr) << GetLastError();
    if (scm == nullptr) return 0xFFFFFFFF;
    SC_HANDLE svc = OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (svc == nullptr) {
      svc = CreateServiceA(scm, MORVA_SERVICE_NAME, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                           "T:\\morva", nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    EXPECT_NE(svc, nullptr) << GetLastError();
    DWORD exit_code = 0xFFFFFFFF;
    if (svc != nullptr) {
      EXPECT_TRUE(StartServiceA(svc, 0, nullptr)) << GetLastError();
      SERVICE_STATUS status{};
      EXPECT_TRUE(wait_stopped(svc, &status));
      exit_code = status.dwWin32ExitCode;
      CloseServiceHandle(svc);
    }
    CloseServiceHandle(scm);
    return exit_code;
  }

  void write(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }

  ProgramResult morva(const std::vector<std::string>& args) {
    return run_program(program_, args, net_.root());
  }

  TestNetwork net_;
  std::string program_;
  std::string bin_;
  std::string windows_;
  std::vector<std::string> touched_;
};

TEST_F(MorvaE2eTest, TheServiceAppliesTheCurrentProfileAndStopsWithZero) {
  write(windows_ + "/docked.reg",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Docked]\r\n"
        "Screen=REG_DWORD:1F\r\n"
        "Names=REG_MULTI_SZ:a`b``c\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Docked\\Net]\r\n"
        "Card=external\r\n");
  // Expanded in the service, whose SystemRoot is C:\WINNT.
  ASSERT_EQ(morva_set_value(MORVA_PROFILE_KEY, MORVA_VALUE_PROFILE, REG_EXPAND_SZ,
                            with_nul("%SystemRoot%\\docked.reg")),
            ERROR_SUCCESS);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run_service(), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Docked", "Screen"), std::string("\x1F\0\0\0", 4));
  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Docked", "Names"), std::string("a\0b`c\0\0", 7));
  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Docked\\Net", "Card"), "external");
  EXPECT_EQ(morva_value(nullptr, MORVA_SERVICE_KEY, MORVA_VALUE_VERSION), with_nul(kVersion));
  EXPECT_EQ(morva_value(nullptr, MORVA_EVENT_SOURCE_KEY, "TypesSupported"),
            std::string("\x07\0\0\0", 4));
  EXPECT_TRUE(morva_events().empty());
}

TEST_F(MorvaE2eTest, AProfileWithoutTheValueStopsTheServiceWithTheQueryError) {
  ASSERT_EQ(morva_set_value(MORVA_PROFILE_KEY, "Something", REG_SZ, "else"), ERROR_SUCCESS);
  EXPECT_EQ(run_service(), ERROR_FILE_NOT_FOUND);
  std::vector<MorvaEvent> events = morva_events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, MORVA_EV_API_ERROR);
  EXPECT_EQ(events[0].strings, (std::vector<std::string>{"2", "RegQueryValueEx(Morva)"}));

  // A file whose second section has another root: the first is applied.
  write(windows_ + "/mixed.reg",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mixed]\r\nFirst=1\r\n"
        "[HKEY_CURRENT_USER\\Software\\Mixed]\r\nSecond=2\r\n");
  ASSERT_EQ(morva_set_value(MORVA_PROFILE_KEY, MORVA_VALUE_PROFILE, REG_SZ,
                            with_nul("C:\\WINNT\\mixed.reg")),
            ERROR_SUCCESS);
  EXPECT_EQ(run_service(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Mixed", "First"), "1");
  events = morva_events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].strings,
            (std::vector<std::string>{"87", "ImportRegistry(C:\\WINNT\\mixed.reg)"}));
}

TEST_F(MorvaE2eTest, AddShowUpdateAndDeleteOnARemoteServer) {
  act_as_domain_administrator();
  touched_.push_back("\\\\SRV1");
  std::string remote_file = net_.drive_c("SRV1") + "/WINNT/system32/morva";
  ProgramResult r = morva({"add", "\\\\SRV1", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "MORVA-INFO, Copied " + program_ +
                       " to \\\\SRV1\\ADMIN$\\SYSTEM32\\morva\n"
                       "MORVA-INFO, Successfully added 'ZA Divedido Zodeveza' on '\\\\SRV1'\n"
                       "MORVA-INFO, 1 servers added\n");
  EXPECT_EQ(r.err, "");
  ASSERT_TRUE(exists(remote_file));
  EXPECT_EQ(file_size(remote_file), file_size(program_));

  // The service's configuration as the server's manager keeps it.
  SC_HANDLE scm = OpenSCManagerA("\\\\SRV1", nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(scm, nullptr) << GetLastError();
  SC_HANDLE svc = OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_QUERY_CONFIG);
  ASSERT_NE(svc, nullptr) << GetLastError();
  alignas(QUERY_SERVICE_CONFIGA) char buffer[2048];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigA(svc, config, sizeof buffer, &needed)) << GetLastError();
  EXPECT_STREQ(config->lpBinaryPathName, "%SystemRoot%\\SYSTEM32\\morva");
  EXPECT_EQ(config->dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(config->dwStartType, SERVICE_AUTO_START);
  EXPECT_EQ(config->dwErrorControl, SERVICE_ERROR_IGNORE);
  EXPECT_STREQ(config->lpLoadOrderGroup, "Streams Drivers");
  EXPECT_EQ(config->lpDependencies == nullptr ? '\0' : config->lpDependencies[0], '\0');
  EXPECT_STREQ(config->lpDisplayName, MORVA_SERVICE_NAME);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  DWORD type = 0;
  EXPECT_EQ(morva_value("\\\\SRV1", MORVA_SERVICE_KEY, MORVA_VALUE_VERSION, &type),
            with_nul(kVersion));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(morva_value("\\\\SRV1", MORVA_SERVICE_KEY, MORVA_VALUE_PROFILE, &type),
            with_nul("%SystemRoot%\\SYSTEM32"));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  // A second add finds the service there.
  r = morva({"add", "\\\\SRV1", "/y"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "MORVA-ERROR, CreateService(\\\\SRV1) failed, error=1073\n"
                   "MORVA-ERROR, no servers added\n");

  // Show: the default line, a format from the environment, criteria.
  r = morva({"sho", "\\\\SRV1"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "\\\\SRV1           V1.0.0100 %SystemRoot%\\SYSTEM32\\\n"
                   "MORVA-INFO, 1 servers shown\n");
  r = morva({"sho", "\\\\SRV1", "~F~S:~A:~V"});
  EXPECT_EQ(r.out, "\\\\SRV1:1:V1.0.0100\nMORVA-INFO, 1 servers shown\n");
  net_.env().set("MORVA_FORMAT", "~D ~S");
  r = morva({"sho", "\\\\SRV1"});
  EXPECT_EQ(r.out, "SALES \\\\SRV1\nMORVA-INFO, 1 servers shown\n");
  net_.env().set("MORVA_FORMAT", nullptr);
  r = morva({"sho", "\\\\SRV1", "-A0"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "MORVA-ERROR, no servers shown\n");
  r = morva({"sho", "\\\\SRV1", "-p%systemroot%\\system32*"});
  EXPECT_EQ(r.exit_code, 0);
  // A pattern: every server of the domain the browser lists.
  r = morva({"sho", "\\\\SRV*", "~F~S"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "\\\\SRV1\nMORVA-INFO, 1 servers shown\n");
  EXPECT_EQ(r.err, "MORVA-ERROR, OpenService(\\\\SRV2) failed, error=1060\n");
  // Where the service is missing.
  r = morva({"sho", "\\\\SRV2"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "MORVA-ERROR, OpenService(\\\\SRV2) failed, error=1060\n"
                   "MORVA-ERROR, no servers shown\n");

  // Update: the same version changes nothing; an older one is replaced.
  r = morva({"upd", "\\\\SRV1", "/y"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "MORVA-INFO, \\\\SRV1 has same version (V1.0.0100)\n");
  EXPECT_EQ(r.err, "MORVA-ERROR, no servers updated\n");
  write(remote_file, "old program");
  set_remote_version("V0.9.0001");
  r = morva({"upd", "\\\\SRV1", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("MORVA-INFO, stopping service on '\\\\SRV1'..."), 0u) << r.out;
  EXPECT_NE(r.out.find("done\nMORVA-INFO, Copied " + program_ +
                       " to \\\\SRV1\\ADMIN$\\SYSTEM32\\morva\n"
                       "MORVA-INFO, Successfully updated ZA Divedido Zodeveza on \\\\SRV1 with "
                       "V1.0.0100\nMORVA-INFO, 1 servers updated\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(file_size(remote_file), file_size(program_));
  EXPECT_EQ(morva_value("\\\\SRV1", MORVA_SERVICE_KEY, MORVA_VALUE_VERSION), with_nul(kVersion));

  // A file name with a dot: the old file is kept under the installed version.
  std::string exe_file = remote_file + ".exe";
  write(exe_file, "old program");
  scm = OpenSCManagerA("\\\\SRV1", nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  svc = OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS);
  ASSERT_NE(svc, nullptr);
  ASSERT_TRUE(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                   "%SystemRoot%\\SYSTEM32\\morva.exe", nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr))
      << GetLastError();
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  set_remote_version("V0.9.0001");
  r = morva({"upd", "\\\\SRV1", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("MORVA-INFO, moved \\\\SRV1\\ADMIN$\\SYSTEM32\\morva.exe to "
                       "\\\\SRV1\\ADMIN$\\SYSTEM32\\morva.V0.9.0001\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(file_size(remote_file + ".V0.9.0001"), 11);  // "old program"
  EXPECT_EQ(file_size(exe_file), file_size(program_));

  // Delete: the event source first, then the service, then the file.
  HKEY root = nullptr, key = nullptr;
  ASSERT_EQ(RegConnectRegistryA("\\\\SRV1", HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(root, MORVA_EVENT_SOURCE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(root);
  r = morva({"del", "\\\\SRV1", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "MORVA-INFO, Deleted key 'EventLog\\ZA Divedido Zodeveza' on '\\\\SRV1'\n"
                   "MORVA-INFO, Successfully deleted 'ZA Divedido Zodeveza' on '\\\\SRV1'\n"
                   "MORVA-INFO, Deleted \\\\SRV1\\ADMIN$\\SYSTEM32\\morva.exe\n"
                   "MORVA-INFO, 1 servers removed\n");
  EXPECT_FALSE(exists(exe_file));
  EXPECT_EQ(morva_value("\\\\SRV1", MORVA_EVENT_SOURCE_KEY, "x"), "<error 2>");
  scm = OpenSCManagerA("\\\\SRV1", nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(scm, nullptr);
  EXPECT_EQ(OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_QUERY_CONFIG), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  CloseServiceHandle(scm);
}

TEST_F(MorvaE2eTest, AddWithPathAndProfileDirectoryOptions) {
  act_as_domain_administrator();
  touched_.push_back("\\\\SRV2");
  ASSERT_EQ(mkdir((net_.drive_c("SRV2") + "/WIN32APP").c_str(), 0777), 0);
  ProgramResult r = morva({"add", "\\\\SRV2", "/y", "/pC:\\WIN32APP\\", "/d~windows\\PROFILES"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find(" to \\\\SRV2\\C$\\WIN32APP\\morva\n"), std::string::npos) << r.out;
  EXPECT_TRUE(exists(net_.drive_c("SRV2") + "/WIN32APP/morva"));
  EXPECT_EQ(morva_value("\\\\SRV2", MORVA_SERVICE_KEY, MORVA_VALUE_PROFILE),
            with_nul("%SystemRoot%\\PROFILES"));
  r = morva({"sho", "\\\\SRV2", "~F~p"});
  EXPECT_EQ(r.out, "C:\\WIN32APP\\\nMORVA-INFO, 1 servers shown\n");

  // A copy that fails takes the new service away again.
  ProgramResult bad = morva({"add", "\\\\SRV1", "/y", "/pC:\\NO\\SUCH"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.err.find("MORVA-ERROR, CopyFile(" + program_ + ",\\\\SRV1\\C$\\NO\\SUCH\\morva)"
                         " failed, error=3\n"),
            0u)
      << bad.err;
  SC_HANDLE scm = OpenSCManagerA("\\\\SRV1", nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(scm, nullptr);
  EXPECT_EQ(OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_QUERY_CONFIG), nullptr);
  CloseServiceHandle(scm);
}

TEST_F(MorvaE2eTest, LocalAddRegistersTheRunningProgramWhichThenRuns) {
  touched_.push_back("");
  write(windows_ + "/system32/local.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Local]\r\nOk=yes\r\n");
  ProgramResult r = morva({"add", "/y", "/d~WINDOWS\\SYSTEM32"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // Nothing is copied.
  EXPECT_EQ(r.out, "MORVA-INFO, Successfully added 'ZA Divedido Zodeveza' on '\\\\LOCALPC'\n"
                   "MORVA-INFO, 1 servers added\n");
  ASSERT_EQ(morva_set_value(MORVA_PROFILE_KEY, MORVA_VALUE_PROFILE, REG_EXPAND_SZ,
                            with_nul("%SystemRoot%\\SYSTEM32\\local.reg")),
            ERROR_SUCCESS);
  SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE svc = OpenServiceA(scm, MORVA_SERVICE_NAME, SERVICE_ALL_ACCESS);
  ASSERT_NE(svc, nullptr) << GetLastError();
  EXPECT_TRUE(StartServiceA(svc, 0, nullptr)) << GetLastError();
  SERVICE_STATUS status{};
  EXPECT_TRUE(wait_stopped(svc, &status));
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  EXPECT_EQ(morva_value(nullptr, "SOFTWARE\\Local", "Ok"), "yes");

  // del keeps the running program itself.
  r = morva({"del", "/y"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("is the running program, not deleted\n"), std::string::npos) << r.out;
  EXPECT_TRUE(exists(program_));
}

TEST_F(MorvaE2eTest, CommandWordsHelpAndVersion) {
  // No arguments outside the service control manager: the service role
  // cannot start.
  ProgramResult r = morva({});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.out, "MORVA-INFO, try morva /? for more info\n");
  EXPECT_EQ(r.err.rfind("MORVA-ERROR, StartServiceCtrlDispatcher() failed, error=", 0), 0u);

  r = morva({"ver"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(r.out, "morva V1.0.0100  Hardware profile service\n");
  r = morva({"xyz"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(r.err, "morva-ERROR, invalid command 'xyz'\n");
  // Commands of the scheduler that morva does not have.
  r = morva({"start", "/y"});
  EXPECT_EQ(r.exit_code, 87);
  r = morva({"help"});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(r.out.find("usage: morva"), std::string::npos);
  r = morva({"sho", "/Z"});
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_NE(r.err.find("morva-ERROR, error in argument number 2\n"), std::string::npos) << r.err;
}

}  // namespace
