// The client's server commands against a network of six machines in two
// domains: install, start, show, stop, set, update and remove the service
// through the service control managers, registries and administrative
// shares of the servers, with the real program and the real service.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "lib/testing/run_program.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"
#include "platform/services/service_store.h"
#include "platform/services/services.h"
#include "zeb/job_record.h"
#include "zeb/job_store.h"
#include "zeb/job_table.h"
#include "zeb/service_keys.h"

namespace {

constexpr const char* kVersion = "V2.0.0100";  // the version of the built program
const char* const kMachines[] = {"LOCALPC", "WS1", "WS2", "WS3", "ODC", "WS7"};

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class ServerCommandsE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string bin = built_program_path("zeb");
    bin = bin.substr(0, bin.rfind('/'));
    net_.env()
        .set("TZ", "UTC0")
        .set("USERNAME", "Administrator")
        .set("USERDOMAIN", "SALES")
        .set("NT_SERVICE_SUPERVISOR", (bin + "/nt_service_supervisor").c_str())
        .set("SERVERLIST", nullptr)
        .set("ZEB_S_FORMAT", nullptr)
        .set("ZEB_TS_FORMAT", nullptr)
        .set("ZEB_U_FORMAT", nullptr);
    tzset();
    ntnet({"init", "--machine", "LOCALPC", "--domain", "SALES"});
    for (const char* ws : {"WS1", "WS2", "WS3"}) {
      ntnet({"machine", "add", ws, "--domain", "SALES", "--role", "workstation"});
    }
    ntnet({"machine", "add", "ODC", "--domain", "OTHER", "--role", "pdc"});
    ntnet({"machine", "add", "WS7", "--domain", "OTHER", "--role", "workstation"});
  }

  // Every service a test started stops here, whatever happened.
  void TearDown() override {
    for (const char* m : kMachines) ntnet({"shutdown", m, "--timeout", "10"});
  }

  void ntnet(const std::vector<std::string>& args) {
    ProgramResult r = run_program(built_program_path("ntnet"), args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  ProgramResult zeb(const std::vector<std::string>& args, const std::string& input = "") {
    return run_program(built_program_path("zeb"), args, "", input);
  }

  std::string host(const std::string& machine, const std::string& rel) {
    return net_.root() + "/machines/" + machine + "/drives/C/" + rel;
  }
  static bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
  }

  HKEY service_key(const std::string& machine) {
    HKEY root = nullptr;
    HKEY key = nullptr;
    if (RegConnectRegistryA(("\\\\" + machine).c_str(), HKEY_LOCAL_MACHINE, &root) !=
        ERROR_SUCCESS) {
      return nullptr;
    }
    RegOpenKeyExA(root, ZEB_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key);
    RegCloseKey(root);
    return key;
  }
  std::string reg_text(const std::string& machine, const char* name) {
    HKEY key = service_key(machine);
    char data[512] = "<missing>";
    DWORD size = sizeof data - 1;
    if (key) RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    if (key) RegCloseKey(key);
    return data;
  }
  DWORD reg_dword(const std::string& machine, const char* name) {
    HKEY key = service_key(machine);
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    if (key) RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    if (key) RegCloseKey(key);
    return value;
  }
  void set_reg_text(const std::string& machine, const char* name, const std::string& value) {
    HKEY key = service_key(machine);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  NtServiceRecord service_record(const std::string& machine) {
    NtServiceRecord rec;
    NtMachineRef ref;
    if (nt_open_machine(machine.c_str(), &ref) == ERROR_SUCCESS && ref.store) {
      nt_service_get(*ref.store, ZEB_SERVICE_NAME, &rec);
    }
    return rec;
  }

  // Installs the service on the servers of `pattern` under C:\WIN32APP.
  void install(const std::string& pattern, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"add", pattern, "/y", "/cC:\\WIN32APP"};
    args.insert(args.end(), more.begin(), more.end());
    ProgramResult r = zeb(args);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }

  TempNetwork net_{"LOCALPC"};
};

TEST_F(ServerCommandsE2E, AddStartShowAndStopOnTheServersOfTheOwnDomain) {
  ProgramResult add = zeb({"add", "\\\\WS*", "/y", "/cC:\\WIN32APP"});
  EXPECT_EQ(add.exit_code, 0) << add.err;
  for (const char* ws : {"WS1", "WS2", "WS3"}) {
    const std::string server = std::string("\\\\") + ws;
    EXPECT_NE(add.out.find("to " + server + "\\C$\\WIN32APP\\zeb.exe\n"), std::string::npos)
        << add.out;
    EXPECT_NE(add.out.find("ZEB-INFO, Successfully added 'ZEB Service' on '" + server + "'\n"),
              std::string::npos);
    EXPECT_TRUE(exists(host(ws, "WIN32APP/zeb.exe")));
    EXPECT_EQ(reg_dword(ws, "Logging"), 1u);  // the range "0"
    EXPECT_EQ(reg_text(ws, "TempDir"), "C:\\TEMP");
    EXPECT_EQ(reg_text(ws, "Version"), kVersion);
    NtServiceRecord rec = service_record(ws);
    EXPECT_EQ(rec.binary_path, "C:\\WIN32APP\\zeb.exe");
    EXPECT_EQ(rec.start_type, SERVICE_DEMAND_START);
  }
  EXPECT_NE(add.out.find("ZEB-INFO, 3 servers added\n"), std::string::npos);
  // WS7 is of the other domain, LOCALPC and ODC do not match.
  EXPECT_FALSE(exists(host("WS7", "WIN32APP/zeb.exe")));
  EXPECT_EQ(count_of(add.out, "Successfully added"), 3u);

  ProgramResult start = zeb({"start", "\\\\WS*", "/y"});
  EXPECT_EQ(start.exit_code, 0) << start.err;
  EXPECT_NE(start.out.find("ZEB-INFO, starting service on '\\\\WS2'...."), std::string::npos)
      << start.out;
  EXPECT_EQ(count_of(start.out, "done\n"), 3u) << start.out;
  EXPECT_NE(start.out.find("ZEB-INFO, 3 servers started\n"), std::string::npos);
  // The service itself runs: it has made its "Jobs" key.
  HKEY key = service_key("WS3");
  HKEY jobs = nullptr;
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(key, ZEB_JOBS_SUBKEY, 0, KEY_READ, &jobs), ERROR_SUCCESS);
  if (jobs) RegCloseKey(jobs);
  RegCloseKey(key);

  ProgramResult show = zeb({"sho", "\\\\WS*"});
  EXPECT_EQ(show.exit_code, 0);
  EXPECT_EQ(show.out,
            "\\\\WS1       RUNNING  A0 I0 LocalSystem\n"
            "\\\\WS2       RUNNING  A0 I0 LocalSystem\n"
            "\\\\WS3       RUNNING  A0 I0 LocalSystem\n");
  net_.env().set("ZEB_S_FORMAT", "~S ~V ~c ~T ~l").set("ZEB_TS_FORMAT", "~S of ~M");
  show = zeb({"sho", "\\\\WS2"});
  EXPECT_EQ(show.out, "\\\\WS2 V2.0.0100 C:\\WIN32APP\\ C:\\TEMP 0\n1 of 1\n");
  show = zeb({"sho", "\\\\WS2", "~F~S/~s"});  // the command line wins
  EXPECT_EQ(show.out, "\\\\WS2/RUNNING\n1 of 1\n");

  // Pause and resume, each counted, with the per-server line and totals.
  ProgramResult pause = zeb({"pause", "\\\\WS3", "/y"});
  EXPECT_EQ(pause.out, "ZEB-INFO, pausing service on '\\\\WS3'....done\n"
                       "ZEB-INFO, 1 servers paused\n"
                       "1 of 1\n")
      << pause.err;
  show = zeb({"sho", "\\\\WS*", "-sPAUSED"});
  EXPECT_EQ(show.out, "\\\\WS3 V2.0.0100 C:\\WIN32APP\\ C:\\TEMP 0\n1 of 1\n");
  ProgramResult resume = zeb({"resume", "\\\\WS*", "/y", "-sPAUSED"});
  EXPECT_NE(resume.out.find("ZEB-INFO, resuming service on '\\\\WS3'....done\n"),
            std::string::npos)
      << resume.out;
  EXPECT_NE(resume.out.find("ZEB-INFO, 1 servers resumed\n"), std::string::npos);

  ProgramResult stop = zeb({"stop", "\\\\WS1", "/y"});
  EXPECT_EQ(stop.out, "ZEB-INFO, stopping service on '\\\\WS1'....done\n"
                      "ZEB-INFO, 1 servers stopped\n"
                      "1 of 1\n")
      << stop.out;
  net_.env().set("ZEB_S_FORMAT", nullptr).set("ZEB_TS_FORMAT", nullptr);

  // Criteria: state and version.
  show = zeb({"sho", "\\\\WS*", "-sRUNNING"});
  EXPECT_EQ(show.out,
            "\\\\WS2       RUNNING  A0 I0 LocalSystem\n"
            "\\\\WS3       RUNNING  A0 I0 LocalSystem\n");
  show = zeb({"sho", "\\\\WS*", "-sstopped"});
  EXPECT_EQ(show.out, "\\\\WS1       STOPPED  A0 I0 LocalSystem\n");
  show = zeb({"sho", "\\\\WS*", "-VV1.*"});
  EXPECT_EQ(show.exit_code, 2);
  EXPECT_EQ(show.out, "");
  EXPECT_EQ(show.err, "ZEB-ERROR, no servers match\n");
  // A stop of stopped and running servers: the stopped one is refused.
  stop = zeb({"stop", "\\\\WS*", "/y"});
  EXPECT_EQ(stop.exit_code, 0);
  EXPECT_NE(stop.err.find("ZEB-ERROR, StopService(\\\\WS1) failed, error=1062\n"),
            std::string::npos)
      << stop.err;
  EXPECT_NE(stop.out.find("ZEB-INFO, 2 servers stopped\n"), std::string::npos);
  stop = zeb({"stop", "\\\\WS*", "/y", "-sRUNNING"});
  EXPECT_EQ(stop.exit_code, 2);
  EXPECT_EQ(stop.err, "ZEB-ERROR, no servers stopped\n");
}

TEST_F(ServerCommandsE2E, StaticServerListReachesBothDomainsAndOfflineServersAreReported) {
  const std::string list = net_.root() + "/servers.txt";
  std::ofstream(list) << "SALES\\\\WS1\nSALES\\\\WS2\nOTHER\\\\WS7\nOTHER\\\\ODC\n";
  net_.env().set("SERVERLIST", list.c_str());
  // The domain's administrator has no rights on the machines of the other
  // domain: reported, and the loop goes on.
  ProgramResult add = zeb({"add", "*\\\\WS*", "/y", "/cC:\\WIN32APP"});
  EXPECT_EQ(add.exit_code, 0) << add.err;
  EXPECT_NE(add.out.find("ZEB-INFO, 2 servers added\n"), std::string::npos) << add.out;
  EXPECT_EQ(add.err, "ZEB-ERROR, OpenSCManager(\\\\WS7) failed, error=5\n");
  EXPECT_FALSE(exists(host("WS7", "WIN32APP/zeb.exe")));
  // The system account is an administrator everywhere.
  net_.env().set("USERNAME", "SYSTEM").set("USERDOMAIN", "NT AUTHORITY");
  add = zeb({"add", "OTHER\\\\WS*", "/y", "/cC:\\WIN32APP"});
  EXPECT_EQ(add.exit_code, 0) << add.err;
  EXPECT_NE(add.out.find("ZEB-INFO, 1 servers added\n"), std::string::npos) << add.out;
  EXPECT_TRUE(exists(host("WS1", "WIN32APP/zeb.exe")));
  EXPECT_TRUE(exists(host("WS7", "WIN32APP/zeb.exe")));
  EXPECT_FALSE(exists(host("ODC", "WIN32APP/zeb.exe")));
  EXPECT_FALSE(exists(host("WS3", "WIN32APP/zeb.exe")));  // not on the list

  // Without a domain pattern the list is read for the own domain only.
  ProgramResult show = zeb({"sho", "\\\\WS*", "~F~D ~S"});
  EXPECT_EQ(show.out, "SALES \\\\WS1\nSALES \\\\WS2\n");

  ntnet({"machine", "set", "WS1", "--online", "no"});
  show = zeb({"sho", "*\\\\WS*", "~F~D ~S ~s"});
  EXPECT_EQ(show.exit_code, 0);
  EXPECT_EQ(show.out, "SALES \\\\WS2 STOPPED\nOTHER \\\\WS7 STOPPED\n");
  EXPECT_EQ(show.err, "ZEB-ERROR, OpenSCManager(\\\\WS1) failed, error=1722\n");
  ntnet({"machine", "set", "WS1", "--online", "yes"});

  // An offline server in the middle of a start: reported, the others start.
  ntnet({"shutdown", "WS2", "--timeout", "5"});
  ProgramResult start = zeb({"start", "*\\\\WS*", "/y"});
  EXPECT_EQ(start.exit_code, 0);
  EXPECT_NE(start.err.find("OpenSCManager(\\\\WS2) failed, error=1722"), std::string::npos);
  EXPECT_NE(start.out.find("ZEB-INFO, 2 servers started\n"), std::string::npos) << start.out;
}

TEST_F(ServerCommandsE2E, SetToLocalSystemClearsThePasswordAndKeepsTheSettings) {
  ntnet({"user", "add", "WS1", "svc", "--password", "Secret1", "--local-group",
         "Administrators"});
  install("\\\\WS1", {"/uWS1\\svc", "/pSecret1", "/TD:\\JOBS", "/l1,3", "/A1"});
  NtServiceRecord rec = service_record("WS1");
  EXPECT_EQ(rec.account, "WS1\\svc");
  EXPECT_EQ(rec.password, "Secret1");
  EXPECT_EQ(rec.start_type, SERVICE_AUTO_START);
  EXPECT_EQ(reg_dword("WS1", "Logging"), 0x0Au);
  EXPECT_EQ(reg_text("WS1", "TempDir"), "D:\\JOBS");

  ProgramResult set = zeb({"set", "\\\\WS1", "/uLocalSystem"}, "y\n");
  EXPECT_EQ(set.exit_code, 0) << set.err;
  EXPECT_NE(set.out.find("Modify 'ZEB Service' on '\\\\WS1' ?\n"), std::string::npos);
  EXPECT_NE(set.out.find("ZEB-INFO, Modified 'ZEB Service' on '\\\\WS1'\n"), std::string::npos);
  EXPECT_NE(set.out.find("ZEB-INFO, 1 servers modified\n"), std::string::npos);
  rec = service_record("WS1");
  EXPECT_EQ(rec.account, "LocalSystem");
  EXPECT_EQ(rec.password, "");
  EXPECT_EQ(rec.start_type, SERVICE_AUTO_START);  // /A not given: unchanged
  EXPECT_EQ(reg_dword("WS1", "Logging"), 0x0Au);
  EXPECT_EQ(reg_text("WS1", "TempDir"), "D:\\JOBS");

  // /l and /T change the values, /A0 the start type; a "no" changes nothing.
  set = zeb({"set", "\\\\WS1", "/l0", "/TC:\\T2", "/A0"}, "n\n");
  EXPECT_EQ(set.exit_code, 2);
  EXPECT_EQ(set.err, "ZEB-ERROR, no servers modified\n");
  EXPECT_EQ(reg_dword("WS1", "Logging"), 0x0Au);
  set = zeb({"set", "\\\\WS1", "/l0", "/TC:\\T2", "/A0", "/y"});
  EXPECT_EQ(set.exit_code, 0);
  EXPECT_EQ(reg_dword("WS1", "Logging"), 0x01u);
  EXPECT_EQ(reg_text("WS1", "TempDir"), "C:\\T2");
  EXPECT_EQ(service_record("WS1").start_type, SERVICE_DEMAND_START);
  ProgramResult show = zeb({"sho", "\\\\WS1", "~F~A ~l ~T ~u"});
  EXPECT_EQ(show.out, "0 0 C:\\T2 LocalSystem\n");
}

TEST_F(ServerCommandsE2E, UpdateKeepsTheOldFileAndRestartsWithoutAutostartJobs) {
  install("\\\\WS1");
  ProgramResult r = zeb({"start", "\\\\WS1", "/y"});
  ASSERT_EQ(r.exit_code, 0) << r.err;

  // Same version: nothing changes, nothing counts.
  r = zeb({"upd", "\\\\WS1", "/y"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "ZEB-INFO, \\\\WS1 has same version (V2.0.0100)\n");
  EXPECT_EQ(r.err, "ZEB-ERROR, no servers updated\n");
  EXPECT_FALSE(exists(host("WS1", "WIN32APP/zeb.V2.0.0100")));

  // An older version with an autostart job stored meanwhile.
  set_reg_text("WS1", "Version", "V1.0.0100");
  std::ofstream(host("WS1", "WIN32APP/zeb.V1.0.0100")) << "stale backup";
  JobRecord job;
  job_record_init(&job);
  job_set_name(&job, "boot");
  job_set_command(&job, "/bin/true");
  job.flags = JOB_AUTOSTART;
  HKEY key = service_key("WS1");
  HKEY jobs = nullptr;
  ASSERT_EQ(job_store_open(key, &jobs), ERROR_SUCCESS);
  ASSERT_EQ(job_store_save(jobs, job), ERROR_SUCCESS);

  r = zeb({"upd", "\\\\WS1"}, "y\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Update ZEB Service V1.0.0100 on \\\\WS1 with V2.0.0100 ?\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("stopping service on '\\\\WS1'..."), std::string::npos);
  EXPECT_NE(r.out.find("ZEB-INFO, moved \\\\WS1\\C$\\WIN32APP\\zeb.exe to "
                       "\\\\WS1\\C$\\WIN32APP\\zeb.V1.0.0100\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("ZEB-INFO, Successfully updated ZEB Service on \\\\WS1 with V2.0.0100\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("ZEB-INFO, starting service on '\\\\WS1'..."), std::string::npos);
  EXPECT_NE(r.out.find("ZEB-INFO, 1 servers updated\n"), std::string::npos);
  EXPECT_EQ(count_of(r.out, "servers started"), 0u);  // the restart does not count
  struct stat old_file, new_file;
  ASSERT_EQ(stat(host("WS1", "WIN32APP/zeb.V1.0.0100").c_str(), &old_file), 0);
  ASSERT_EQ(stat(host("WS1", "WIN32APP/zeb.exe").c_str(), &new_file), 0);
  EXPECT_EQ(old_file.st_size, new_file.st_size);  // the stale backup was replaced
  EXPECT_EQ(reg_text("WS1", "Version"), kVersion);
  EXPECT_EQ(reg_dword("WS1", "No Autostart Jobs"), 0u);
  EXPECT_EQ(service_record("WS1").state, SERVICE_RUNNING);
  auto table = std::make_unique<JobTable>();
  job_store_load(jobs, table.get());
  ASSERT_EQ(table->count(), 1);
  EXPECT_EQ(job_time(table->at(0).last_run), 0u);  // not started by the restart

  // A plain restart does start it: the check above can tell the difference.
  zeb({"stop", "\\\\WS1", "/y"});
  zeb({"start", "\\\\WS1", "/y"});
  bool ran = false;
  for (int i = 0; i < 100 && !ran; ++i) {
    job_store_load(jobs, table.get());
    ran = table->count() == 1 && job_time(table->at(0).last_run) != 0;
    if (!ran) usleep(100000);
  }
  EXPECT_TRUE(ran);
  RegCloseKey(jobs);
  RegCloseKey(key);
}

TEST_F(ServerCommandsE2E, DeleteAnsweredNoAtTheExecutableKeepsTheFile) {
  install("\\\\WS*");
  ASSERT_EQ(zeb({"start", "\\\\WS1", "/y"}).exit_code, 0);  // makes its event source

  ProgramResult del = zeb({"del", "\\\\WS1"}, "y\nn\n");
  EXPECT_EQ(del.exit_code, 0) << del.err;
  EXPECT_NE(del.out.find("Remove 'ZEB Service' on '\\\\WS1' ?\n"), std::string::npos);
  EXPECT_NE(del.out.find("stopping service on '\\\\WS1'..."), std::string::npos);
  EXPECT_NE(del.out.find("Successfully deleted 'ZEB Service' on '\\\\WS1'\n"), std::string::npos);
  EXPECT_NE(del.out.find("ZEB-INFO, Deleted key 'EventLog\\ZEB Service' on '\\\\WS1'\n"),
            std::string::npos)
      << del.out;
  EXPECT_NE(del.out.find("Delete executable file 'C:\\WIN32APP\\zeb.exe' on '\\\\WS1' ?\n"),
            std::string::npos);
  EXPECT_EQ(del.out.find("ZEB-INFO, Deleted \\\\"), std::string::npos);
  EXPECT_NE(del.out.find("ZEB-INFO, 1 servers removed\n"), std::string::npos);
  EXPECT_TRUE(exists(host("WS1", "WIN32APP/zeb.exe")));
  EXPECT_EQ(service_key("WS1"), nullptr);  // the service key went with the service

  // Answered yes: the file goes too. A declined server is not removed.
  del = zeb({"del", "\\\\WS*"}, "y\ny\nn\n");
  EXPECT_EQ(del.exit_code, 0);
  EXPECT_NE(del.err.find("ZEB-ERROR, OpenService(\\\\WS1) failed, error=1060\n"),
            std::string::npos)
      << del.err;
  EXPECT_NE(del.out.find("ZEB-INFO, Deleted \\\\WS2\\C$\\WIN32APP\\zeb.exe\n"),
            std::string::npos)
      << del.out;
  EXPECT_FALSE(exists(host("WS2", "WIN32APP/zeb.exe")));
  EXPECT_TRUE(exists(host("WS3", "WIN32APP/zeb.exe")));
  EXPECT_NE(service_key("WS3"), nullptr);
  EXPECT_NE(del.out.find("ZEB-INFO, 1 servers removed\n"), std::string::npos);
}

TEST_F(ServerCommandsE2E, TargetPathIsAskedOnceWhenTakenForAllServers) {
  ProgramResult add = zeb({"add", "\\\\WS*", "/y"}, "C:\\APPS\ny\n");
  EXPECT_EQ(add.exit_code, 0) << add.err;
  EXPECT_EQ(count_of(add.out, "Where will ZEB Service be stored on '\\\\WS1'\n"
                              "(default: C:\\WIN32APP\\) : "),
            1u)
      << add.out;
  EXPECT_EQ(count_of(add.out, "Where will"), 1u);
  EXPECT_EQ(count_of(add.out, "Shall C:\\APPS be the target for all servers ? [y/N]"), 1u);
  for (const char* ws : {"WS1", "WS2", "WS3"}) {
    EXPECT_TRUE(exists(host(ws, "APPS/zeb.exe"))) << ws;
    EXPECT_EQ(service_record(ws).binary_path, "C:\\APPS\\zeb.exe");
  }
  ASSERT_EQ(zeb({"del", "\\\\WS*", "/y"}).exit_code, 0);

  // "No" for all: the next server asks again; an empty answer is the default.
  add = zeb({"add", "\\\\WS*", "/y"}, "C:\\A1\nn\n\ny\n");
  EXPECT_EQ(count_of(add.out, "Where will"), 2u) << add.out;
  EXPECT_TRUE(exists(host("WS1", "A1/zeb.exe")));
  EXPECT_TRUE(exists(host("WS2", "WIN32APP/zeb.exe")));
  EXPECT_TRUE(exists(host("WS3", "WIN32APP/zeb.exe")));
  ASSERT_EQ(zeb({"del", "\\\\WS*", "/y"}).exit_code, 0);

  // A remote path without a drive cannot be reached through a share: it is
  // refused before anything is made, not copied to this machine.
  add = zeb({"add", "\\\\WS1", "/y", "/c\\APPS"});
  EXPECT_EQ(add.exit_code, 2);
  EXPECT_NE(add.err.find("ZEB-ERROR, target path '\\APPS\\zeb.exe' on '\\\\WS1' must begin "
                         "with a drive letter\n"),
            std::string::npos)
      << add.err;
  EXPECT_EQ(service_record("WS1").binary_path, "");
}

TEST_F(ServerCommandsE2E, LocalAddRegistersTheRunningProgramInPlace) {
  ProgramResult add = zeb({"add", "/y"});
  EXPECT_EQ(add.exit_code, 0) << add.err;
  EXPECT_EQ(add.out,
            "ZEB-INFO, Successfully added 'ZEB Service' on '\\\\LOCALPC'\n"
            "ZEB-INFO, 1 servers added\n");
  EXPECT_EQ(service_record("LOCALPC").binary_path, built_program_path("zeb"));
  ProgramResult show = zeb({"sho", "~F~S ~c"});
  std::string dir = built_program_path("zeb");
  dir = dir.substr(0, dir.rfind('/') + 1);
  EXPECT_EQ(show.out, "\\\\LOCALPC " + dir + "\n");
  ProgramResult del = zeb({"del", "/y"});
  EXPECT_EQ(del.exit_code, 0);
  EXPECT_NE(del.out.find("is the running executable, not deleted"), std::string::npos);
  EXPECT_TRUE(exists(built_program_path("zeb")));
}

TEST_F(ServerCommandsE2E, UserCommandOverTheServerLoop) {
  ProgramResult both = zeb({"user", "\\\\WS1", "/uAdministrator", "/d001"});
  EXPECT_EQ(both.exit_code, 87);
  EXPECT_EQ(both.err, "ZEB-ERROR, cannot both add and delete a user (/u /d)\n");
  EXPECT_EQ(both.out, "");

  install("\\\\WS*");
  ProgramResult add = zeb({"user", "\\\\WS1", "/uAdministrator", "/pSecret1", "/y"});
  EXPECT_EQ(add.exit_code, 0) << add.err;
  EXPECT_NE(add.out.find("ZEB-INFO, Processing \\\\WS1\n"), std::string::npos) << add.out;
  EXPECT_NE(add.out.find("ZEB-INFO, 1 servers processed\n"), std::string::npos);
  ProgramResult list = zeb({"user", "\\\\WS*"});
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_EQ(list.out, "\\\\WS1       001:\\Administrator\n") << list.err;
  // Listing servers without accounts lists nothing: exit code 2.
  list = zeb({"user", "\\\\WS2"});
  EXPECT_EQ(list.exit_code, 2);
  EXPECT_EQ(list.out, "");
}

}  // namespace

namespace {

// "dd.MM.yyyy hh:mm" of the first minute that begins at least `margin`
// seconds from now (UTC, the time zone of the tests).
std::string coming_minute(int margin) {
  time_t at = (time(nullptr) + margin + 59) / 60 * 60;
  struct tm t;
  gmtime_r(&at, &t);
  char text[64];
  snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", t.tm_mday, t.tm_mon + 1,
           t.tm_year + 1900, t.tm_hour, t.tm_min);
  return text;
}

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// The administrator's everyday request from end to end: the scheduler goes
// onto every workstation of the domain, one job is added everywhere, and it
// runs at its minute on each of them.
TEST_F(ServerCommandsE2E, AJobAddedEverywhereRunsAtItsMinuteOnEachServer) {
  install("\\\\WS*");
  ASSERT_EQ(zeb({"start", "\\\\WS*", "/y"}).exit_code, 0);
  for (const char* ws : {"WS1", "WS2", "WS3"}) mkdir(host(ws, "TEMP").c_str(), 0777);

  const std::string when = coming_minute(8);
  ProgramResult add = zeb({"add", "\\\\WS*\\backup", "/c/bin/sh -c \"echo saved $COMPUTERNAME\"",
                           "/t" + when, "/id1", "/y"});
  ASSERT_EQ(add.exit_code, 0) << add.out << add.err;
  EXPECT_EQ(count_of(add.out, "ZEB-INFO, add successful for \\\\WS"), 3u) << add.out;

  // Each server runs it once its minute has come (at most 68 s from now).
  for (const char* ws : {"WS1", "WS2", "WS3"}) {
    std::string out;
    for (int i = 0; i < 400 && out.find("END of Job") == std::string::npos; ++i) {
      usleep(250 * 1000);
      out = file_text(host(ws, "TEMP/backup.OUT"));
    }
    EXPECT_NE(out.find("BEGIN "), std::string::npos) << ws << ": " << out;
    EXPECT_NE(out.find("saved " + std::string(ws) + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("END of Job at "), std::string::npos) << out;
    EXPECT_NE(out.find("(EXIT=0)"), std::string::npos) << out;
  }
  // The lines of all jobs: the run recorded, the next one a day later.
  ProgramResult show = zeb({"sho", "\\\\WS*\\*", "~F~N ~E ~i", "~S~S ~T"});
  EXPECT_EQ(show.exit_code, 0) << show.err;
  EXPECT_EQ(show.out,
            "backup 0 1 00:00\n\\\\WS1 1\n"
            "backup 0 1 00:00\n\\\\WS2 1\n"
            "backup 0 1 00:00\n\\\\WS3 1\n");
}
