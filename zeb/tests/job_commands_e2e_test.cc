// The job commands of the client, run as the built zeb against real
// services on a throwaway network.
#include <cstring>

#include "lib/testing/run_program.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"
#include "zeb/account_store.h"
#include "zeb/tests/zeb_service_fixture.h"

namespace {

class JobCommandsTest : public ZebServiceTest {
 protected:
  void SetUp() override {
    ZebServiceTest::SetUp();
    for (const char* v : {"ZEB_J_FORMAT", "ZEB_SJ_FORMAT", "ZEB_TJ_FORMAT", "SERVERLIST",
                          "QX_DATE_FORMAT", "QX_TIME_FORMAT"}) {
      net_.env().set(v, nullptr);
    }
  }
  // Every service a test started stops, whatever happened.
  void TearDown() override {
    for (pid_t pid : remote_) stop_remote(pid);
    ZebServiceTest::TearDown();
  }

  ProgramResult zeb(const std::vector<std::string>& args, const std::string& input = "") {
    return run_program(zeb_program_path(), args, "", input);
  }
  JobRecord job(const std::string& name) {
    JobRecord rec{};
    EXPECT_TRUE(show_one(name, &rec)) << name;
    return rec;
  }

  // A member server of domain SALES (with this machine and its controller)
  // running a service of its own; the domain's administrator is the user.
  void start_remote_service(const std::string& name) {
    for (const char* m : {"DC1", name.c_str()}) {
      NtMachineInfo info;
      info.name = m;
      info.lan_group = "SALES";
      info.role = m == name ? NtMachineRole::server : NtMachineRole::pdc;
      DWORD rc = nt_machine_create(net_.root(), info);
      ASSERT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS) << rc;
    }
    NtMachineRef local;
    NtMachineInfo info;
    ASSERT_EQ(nt_open_machine("", &local, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_machine_get_info(*local.store, &info), ERROR_SUCCESS);
    info.lan_group = "SALES";
    ASSERT_EQ(nt_machine_set_info(*local.store, info), ERROR_SUCCESS);
    net_.env().set("USERDOMAIN", "SALES");
    ProgramResult reg = run_program(built_program_path("ntnet"),
                                    {"reg", "set", name, std::string("HKLM\\") + ZEB_SERVICE_KEY,
                                     "TempDir", "REG_EXPAND_SZ", "C:\\\\TEMP"});
    ASSERT_EQ(reg.exit_code, 0) << reg.err;
    pid_t pid = fork();
    if (pid == 0) {
      setenv("COMPUTERNAME", name.c_str(), 1);
      std::string program = zeb_program_path();
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    remote_.push_back(pid);
    std::string pipe = "\\\\" + name + "\\pipe\\zebsrv";
    ASSERT_TRUE(wait_until(
        [&] {
          RawPipe p;
          return p.open(pipe.c_str(), 200) && p.code(ZEB_CMD_VERSION) &&
                 p.read() == msg_text(kTestVersion);
        },
        15000))
        << name;
  }

  void stop_remote(pid_t pid) {
    kill(pid, SIGTERM);
    if (!wait_until([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 10000)) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  std::vector<pid_t> remote_;
};

TEST_F(JobCommandsTest, AddSetAndOptionChecks) {
  start_service();
  ProgramResult r = zeb({"add", "nightly", "/c/bin/true"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "ZEB-INFO, add successful for \\\\.\\nightly\n");
  EXPECT_EQ(job_time(job("nightly").next_run), 0u) << "no /t: no next run";

  // A set with only /W1:5 changes only the weekday mask.
  JobRecord before = make_job("custom", "/bin/false");
  before.flags = JOB_AUTOSTART | JOB_NO_DEBUG;
  before.hour_mask = 0xFF00;
  before.interval = 30;
  ASSERT_EQ(add(before), msg_control(ZEB_DONE));
  before = job("custom");
  r = zeb({"set", "custom", "/W1:5", "/y"});
  EXPECT_EQ(r.out,
            "ZEB-INFO, set successful for \\\\.\\custom\nZEB-INFO, 1 jobs processed on \\\\.\n");
  JobRecord after = job("custom");
  before.weekday_mask = 0x3E;
  EXPECT_EQ(std::memcmp(&after, &before, offsetof(JobRecord, modified_by)), 0);
  EXPECT_EQ(std::memcmp(&after.account_index, &before.account_index,
                        offsetof(JobRecord, modified_at) - offsetof(JobRecord, account_index)),
            0);
  EXPECT_EQ(after.flags, before.flags);
  EXPECT_EQ(after.interval, 30u);

  EXPECT_EQ(zeb({"add", "hourly", "/c/bin/true", "/ih"}).exit_code, 0);
  EXPECT_EQ(job("hourly").interval, 60u);
  EXPECT_EQ(zeb({"add", "twodays", "/c/bin/true", "/id2", "/A1", "/I0", "/G0"}).exit_code, 0);
  EXPECT_EQ(job("twodays").interval, 2880u);
  EXPECT_EQ(job("twodays").flags, JOB_AUTOSTART | JOB_OWN_DESKTOP | JOB_NO_DEBUG);

  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string err;
  } cases[] = {
      {{"add", "j1"}, 2, "ZEB-ERROR, command must be specified\n"},
      {{"add", "j*", "/cx"}, 2, "ZEB-ERROR, job name must not contain wildcards\n"},
      {{"switch", "j?"}, 2, "ZEB-ERROR, job name must not contain wildcards\n"},
      {{"add", "j1", "/cx", "/iw2"}, 2, "ZEB-ERROR, invalid interval 'w' (specify m,h or d)\n"},
      {{"add", "j1", "/cx", "/W7"}, 2, "ZEB-ERROR, weekdays out of bounds (0-6)\n"},
      {{"set", "j1", "/D0:5"}, 2, "ZEB-ERROR, days out of bounds (1-31)\n"},
      {{"add", "j1", "/cx", "/H0:24"}, 2, "ZEB-ERROR, hours out of bounds (0-23)\n"},
      {{"add", "HOURLY", "/cx"}, 2, "ZEB-ERROR, \\\\. reports 'Job already exists'\n"},
      {{"upd", "\\\\SRV1\\j1"}, 87, "ZEB-ERROR, invalid job command 'upd'\n"},
      {{"clean", "\\\\SRV1"}, 87, "ZEB-ERROR, invalid command 'clean'\n"},
      {{"add", "j1", "/Q"},
       87,
       "PARAM-ERROR, invalid option '/Q'\nZEB-ERROR, error in argument number 3\n"},
  };
  for (const Case& c : cases) {
    r = zeb(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(r.err, c.err) << c.args[0] << " " << c.args[1];
  }
  EXPECT_EQ(show("*").size(), 4u) << "no refused job was added";
}

TEST_F(JobCommandsTest, DeleteAsksOncePerJob) {
  start_service();
  for (const char* name : {"a1", "a2", "a3"})
    ASSERT_EQ(add(make_job(name, "/bin/true")), msg_control(ZEB_DONE));
  const std::string ask = "\aN=no/Y=yes/A=yes to all (Default:N) ";
  ProgramResult r = zeb({"del", "a*"}, "n\ny\n\n");  // an empty line is no
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "del 'a1' on \\\\. ?\n" + ask + "del 'a2' on \\\\. ?\n" + ask +
                       "ZEB-INFO, del successful for \\\\.\\a2\ndel 'a3' on \\\\. ?\n" + ask +
                       "ZEB-INFO, 1 jobs processed on \\\\.\n");
  EXPECT_EQ(show("*").size(), 2u);
  EXPECT_EQ(zeb({"del", "a*"}, "n\nn\n").exit_code, 2) << "all declined";
  r = zeb({"del", "a*"}, "a\n");  // yes to all: one question
  EXPECT_EQ(r.out.find("'a3' on"), std::string::npos) << r.out;
  EXPECT_TRUE(show("*").empty());
}

TEST_F(JobCommandsTest, ShowFormatsCriteriaAndAccounts) {
  start_service();
  HKEY users = nullptr;
  int index = 0;
  bool added = false;
  ASSERT_EQ(account_store_open(nullptr, true, &users), ERROR_SUCCESS);
  ASSERT_EQ(account_store_put(users, account_record_make(7, "DOM", "joe", "pw"), &index, &added),
            ERROR_SUCCESS);
  RegCloseKey(users);
  ASSERT_EQ(zeb({"add", "alpha", "/c/bin/sleep 30"}).exit_code, 0);
  ASSERT_EQ(zeb({"add", "beta", "/c/bin/true", "/udom\\JOE"}).exit_code, 0);
  EXPECT_EQ(job("beta").account_index, 1u);
  ProgramResult r = zeb({"add", "gamma", "/cx", "/uDOM\\nobody"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err,
            "ZEB-ERROR, user DOM\\nobody not registered on \\\\.\n"
            "ZEB-ERROR, \\\\. Invalid account 'DOM\\nobody'\n");

  r = zeb({"show", "*"});
  EXPECT_EQ(r.out,
            " alpha                /bin/sleep 30        never 0 00:00\n"
            " beta                 /bin/true            never 0 00:00\n");
  net_.env().set("ZEB_J_FORMAT", "~N=~u");
  EXPECT_EQ(zeb({"sho", "*", "~S~S:~T", "~T~S/~T"}).out,
            "alpha=0\nbeta=DOM\\joe\n\\\\LOCALPC:2\n1/2\n");
  net_.env().set("ZEB_SJ_FORMAT", "on ~S").set("ZEB_TJ_FORMAT", "total ~T");
  r = zeb({"sho", "*", "-cnone"});
  EXPECT_EQ(r.exit_code, 2) << "nothing matched";
  EXPECT_EQ(r.out, "on \\\\LOCALPC\ntotal 0\n");
  net_.env().set("ZEB_SJ_FORMAT", nullptr).set("ZEB_TJ_FORMAT", nullptr);

  ASSERT_EQ(command(ZEB_CMD_START, "alpha").front(), "DONE");
  ASSERT_TRUE(wait_until([&] { return (job("alpha").flags & JOB_RUNNING) != 0; }, 10000));
  EXPECT_EQ(zeb({"sho", "*", "-sRUNNING"}).out, "alpha=0\n");
  EXPECT_EQ(zeb({"sho", "*", "-sIDLE", "-c/bin/t*"}).out, "beta=DOM\\joe\n");
  EXPECT_EQ(zeb({"sho", "*", "-uDOM\\j*", "-A0"}).out, "beta=DOM\\joe\n");
  r = zeb({"sho", "nothing*"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "ZEB-ERROR, \\\\. reports 'No match'\n");
  EXPECT_EQ(zeb({"stop", "alpha", "/y"}).exit_code, 0);
}

// A service of another version: it answers the version check with its own
// string, then finds no job.
DWORD old_service(void* arg) {
  HANDLE pipe = static_cast<HANDLE>(arg);
  if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;
  char buf[1024];
  DWORD got = 0, put = 0;
  for (const std::string& reply :
       {msg_text("V1.0.0001"), msg_text("No match"), msg_control(ZEB_END)}) {
    ReadFile(pipe, buf, sizeof buf, &got, nullptr);  // code, pattern, final ACK
    WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &put, nullptr);
  }
  ReadFile(pipe, buf, sizeof buf, &got, nullptr);
  return 0;
}

TEST_F(JobCommandsTest, OtherVersionIsReportedAndTheCommandGoesOn) {
  HANDLE pipe = CreateNamedPipeA(ZEB_PIPE_NAME, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                 1024, 1024, 10000, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  HANDLE thread = CreateThread(nullptr, 0, old_service, pipe, 0, nullptr);
  ProgramResult r = zeb({"pause", "*", "/v"});
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  CloseHandle(pipe);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err,
            "ZEB-ERROR, \\\\. Version mismatch ! Server is V1.0.0001, expected V2.0.0100\n"
            "ZEB-ERROR, \\\\. reports 'No match'\n");
  EXPECT_EQ(r.out,
            "ZEB-INFO, trying to connect \\\\.\\pipe\\zebsrv...\n"
            "ZEB-INFO, 0 jobs processed on \\\\.\n");
}

TEST_F(JobCommandsTest, SeveralServersOfTheNetwork) {
  ASSERT_NO_FATAL_FAILURE(start_remote_service("SRV1"));
  ASSERT_NO_FATAL_FAILURE(start_remote_service("SRV2"));
  ProgramResult r = zeb({"add", "\\\\SRV*\\multi", "/c/bin/true", "/ih"});
  EXPECT_EQ(r.out,
            "ZEB-INFO, add successful for \\\\SRV1\\multi\n"
            "ZEB-INFO, add successful for \\\\SRV2\\multi\n")
      << r.err;
  r = zeb({"sho", "\\\\SRV*\\mul*", "~F~S ~N ~i", "~S~D ~S ~T", "~T~S ~T"});
  EXPECT_EQ(r.out,
            "\\\\SRV1 multi 0 01:00\nSALES \\\\SRV1 1\n"
            "\\\\SRV2 multi 0 01:00\nSALES \\\\SRV2 1\n2 2\n")
      << r.err;
  stop_remote(remote_[0]);  // one server down: reported, the other served
  remote_.erase(remote_.begin());
  r = zeb({"del", "\\\\SRV*\\multi", "/y"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "ZEB-ERROR, ZEB Service not running on \\\\SRV1\n");
  EXPECT_EQ(
      r.out,
      "ZEB-INFO, del successful for \\\\SRV2\\multi\nZEB-INFO, 1 jobs processed on \\\\SRV2\n");
}

}  // namespace
