// Job runs through the running service: the process tree of a debugged
// run, stopping it, undebugged runs, the OUT and ERR files, the job's
// account and its environment on fixed dates.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <regex>

#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/network/machine.h"
#include "platform/desktop/desktop.h"
#include "platform/security/account_lookup.h"
#include "platform/security/acl.h"
#include "platform/security/sid.h"
#include "platform/security/token.h"
#include "zeb/account_record.h"
#include "zeb/account_store.h"
#include "zeb/event_logger.h"
#include "zeb/tests/zeb_service_fixture.h"

namespace {

class JobRunnerTest : public ZebServiceTest {
 protected:
  bool wait_for_result(const std::string& name, JobRecord* rec, int ms = 20000) {
    return wait_until(
        [&] {
          return show_one(name, rec) && (rec->flags & JOB_RUNNING) == 0 &&
                 rec->last_exit_code != JOB_NO_RESULT;
        },
        ms);
  }
  bool wait_running(const std::string& name, JobRecord* rec, int ms = 10000) {
    return wait_until([&] { return show_one(name, rec) && rec->process_id != 0; }, ms);
  }
  void start_job(const std::string& name) {
    EXPECT_EQ(command(ZEB_CMD_START, name), (std::vector<std::string>{"DONE", "ACK"}));
  }
  std::string temp_file(const std::string& name) {
    std::ifstream in(temp_host_ + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  // Pids of the events of one id for a job, in the order logged.
  std::vector<long> event_pids(DWORD id) {
    std::vector<long> pids;
    for (const LoggedEvent& e : events()) {
      if (e.id == id && !e.strings.empty()) pids.push_back(std::atol(e.strings[0].c_str()));
    }
    return pids;
  }
  // Running, not a zombie waiting to be reaped.
  static bool alive(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
  }
  std::string dump_events() {
    std::string s;
    for (const LoggedEvent& e : events()) {
      char id[16];
      snprintf(id, sizeof id, "%08X", static_cast<unsigned>(e.id));
      s += id;
      for (const std::string& t : e.strings) s += " | " + t;
      s += "\n";
    }
    return s;
  }
  void register_account(int* index, const char* domain, const char* user, const char* password) {
    HKEY users = nullptr;
    ASSERT_EQ(account_store_open(nullptr, true, &users), ERROR_SUCCESS);
    bool added = false;
    ASSERT_EQ(account_store_put(users, account_record_make(7, domain, user, password), index,
                                &added),
              ERROR_SUCCESS);
    RegCloseKey(users);
  }
  void add_user(const char* name, const char* password) {
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine("LOCALPC", &ref, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_TRUE(ref.store);
    NtUserRecord user;
    user.name = name;
    user.password_hash = nt_password_hash(password);
    ASSERT_EQ(nt_accounts_add_user(*ref.store, &user), ERROR_SUCCESS);
    nt_token_flush_cache();
  }
};

TEST_F(JobRunnerTest, DebuggedRunFollowsTheTreeAndKeepsTheFirstExitCode) {
  start_service();
  // The shell ends at once with 5; its background child lives 2 s more.
  ASSERT_EQ(add(make_job("tree", "/bin/sh -c \"/bin/sleep 2 & exit 5\"")),
            msg_control(ZEB_DONE));
  auto begun = std::chrono::steady_clock::now();
  start_job("tree");
  JobRecord rec;
  ASSERT_TRUE(wait_running("tree", &rec));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_TRUE(show_one("tree", &rec));
  EXPECT_EQ(rec.flags & JOB_RUNNING, JOB_RUNNING) << "the background child still runs";
  ASSERT_TRUE(wait_for_result("tree", &rec));
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(1900));
  EXPECT_EQ(rec.last_exit_code, 5);
  // Both processes were seen created and ended.
  EXPECT_EQ(event_pids(ZEB_EV_PROCESS_CREATED).size(), 3u);  // runner + 2
  std::string out = temp_file("tree.OUT");
  EXPECT_EQ(count_of(out, "BEGIN "), 1);
  EXPECT_NE(out.find("success\r\n"), std::string::npos);
  EXPECT_NE(out.find("(EXIT=5)\r\n"), std::string::npos);
}

TEST_F(JobRunnerTest, StopEndsEveryLiveProcessNewestFirst) {
  start_service();
  ASSERT_EQ(add(make_job("stopme",
                         "/bin/sh -c \"/bin/sleep 30 & /bin/sleep 30 & exec /bin/sleep 30\"")),
            msg_control(ZEB_DONE));
  start_job("stopme");
  JobRecord rec;
  ASSERT_TRUE(wait_running("stopme", &rec));
  // Wait until the runner has seen the shell (which becomes the last sleep)
  // and its two children.
  ASSERT_TRUE(wait_until([&] { return event_pids(ZEB_EV_PROCESS_CREATED).size() >= 4; }, 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto begun = std::chrono::steady_clock::now();
  EXPECT_EQ(command(ZEB_CMD_STOP, "stopme"), (std::vector<std::string>{"DONE", "ACK"}));
  ASSERT_TRUE(wait_for_result("stopme", &rec));
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(15));
  EXPECT_EQ(rec.last_exit_code, 1067);

  // Created: the runner (by the service), then the shell and its children.
  std::vector<long> created = event_pids(ZEB_EV_PROCESS_CREATED);
  ASSERT_EQ(created.size(), 4u);
  std::vector<long> tree(created.begin() + 1, created.end());
  std::vector<long> aborted = event_pids(ZEB_EV_PROCESS_ABORTED);
  ASSERT_EQ(aborted.size(), 3u) << service_output() << dump_events();
  EXPECT_EQ(aborted, std::vector<long>(tree.rbegin(), tree.rend()));
  // Each of them ended with 1067.
  int killed_exits = 0;
  for (const LoggedEvent& e : events()) {
    if (e.id == ZEB_EV_PROCESS_EXIT && e.strings[0].find("ExitCode=1067") != std::string::npos) {
      ++killed_exits;
    }
  }
  EXPECT_GE(killed_exits, 3);
  for (long pid : tree) EXPECT_FALSE(alive(static_cast<pid_t>(pid))) << pid;
  EXPECT_NE(temp_file("stopme.OUT").find("(EXIT=1067)\r\n"), std::string::npos);
}

TEST_F(JobRunnerTest, UndebuggedStopEndsOnlyTheFirstProcess) {
  start_service();
  JobRecord job =
      make_job("free", "/bin/sh -c \"/bin/sleep 30 & echo $! > bg.pid; exec /bin/sleep 30\"");
  job.flags |= JOB_NO_DEBUG;
  ASSERT_EQ(add(job), msg_control(ZEB_DONE));
  start_job("free");
  JobRecord rec;
  ASSERT_TRUE(wait_running("free", &rec));
  ASSERT_TRUE(wait_until([&] { return !temp_file("bg.pid").empty(); }, 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  pid_t child = static_cast<pid_t>(std::atol(temp_file("bg.pid").c_str()));
  ASSERT_GT(child, 0);
  EXPECT_EQ(command(ZEB_CMD_STOP, "free"), (std::vector<std::string>{"DONE", "ACK"}));
  ASSERT_TRUE(wait_for_result("free", &rec, 45000));
  EXPECT_EQ(rec.last_exit_code, 1067);
  EXPECT_EQ(event_pids(ZEB_EV_PROCESS_ABORTED).size(), 1u);
  EXPECT_TRUE(alive(child)) << "the background child keeps running" << dump_events();
  kill(child, SIGKILL);
}

TEST_F(JobRunnerTest, OutKeepsEveryRunAndErrHoldsStampedChunks) {
  start_service();
  ASSERT_EQ(add(make_job("talk",
                         "/bin/sh -c \"echo hello; head -c 1300 /dev/zero | tr '\\0' x >&2\"")),
            msg_control(ZEB_DONE));
  JobRecord rec;
  for (int run = 0; run < 2; ++run) {
    start_job("talk");
    ASSERT_TRUE(wait_for_result("talk", &rec));
    EXPECT_EQ(rec.last_exit_code, 0);
    // The run is over once its END line is there.
    ASSERT_TRUE(wait_until([&] { return count_of(temp_file("talk.OUT"), "END of Job") == run + 1; },
                           15000));
  }
  std::string out = temp_file("talk.OUT");
  std::regex line(
      "BEGIN \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\*+ [^\r]*success\r\nhello\n"
      "END of Job at \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\*+ [^\r]*\\(EXIT=0\\)\r\n");
  int runs = 0;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) ++runs;
  EXPECT_EQ(runs, 2) << out;

  std::string err = temp_file("talk.ERR");
  std::regex stamp("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}: ");
  std::vector<size_t> starts;
  std::vector<size_t> ends;
  for (std::sregex_iterator it(err.begin(), err.end(), stamp), end; it != end; ++it) {
    starts.push_back(static_cast<size_t>(it->position()));
    ends.push_back(static_cast<size_t>(it->position() + it->length()));
  }
  ASSERT_GE(starts.size(), 6u) << "1300 bytes twice need at least three chunks each";
  EXPECT_EQ(starts[0], 0u);
  size_t data = 0;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t stop = i + 1 < starts.size() ? starts[i + 1] : err.size();
    size_t chunk = stop - ends[i];
    EXPECT_GT(chunk, 0u);
    EXPECT_LE(chunk, 512u);
    EXPECT_EQ(err.substr(ends[i], chunk), std::string(chunk, 'x'));
    data += chunk;
  }
  EXPECT_EQ(data, 2600u);
}

TEST_F(JobRunnerTest, JobRunsAsItsAccountOrAsTheService) {
  add_user("jobuser", "secret");
  int good = 0;
  int bad = 0;
  register_account(&good, "LOCALPC", "jobuser", "secret");
  register_account(&bad, "LOCALPC", "other", "wrong");
  EXPECT_EQ(good, 1);
  EXPECT_EQ(bad, 2);
  start_service();
  const char* show_user = "/bin/sh -c \"echo U=$USERNAME Z=$ZEBuser\"";
  JobRecord as_user = make_job("asuser", show_user);
  as_user.account_index = static_cast<DWORD>(good);
  JobRecord wrong = make_job("wrongpw", show_user);
  wrong.account_index = static_cast<DWORD>(bad);
  JobRecord plain = make_job("plain", show_user);
  for (const JobRecord& j : {as_user, wrong, plain}) ASSERT_EQ(add(j), msg_control(ZEB_DONE));
  JobRecord rec;
  start_job("asuser");
  ASSERT_TRUE(wait_for_result("asuser", &rec));
  EXPECT_EQ(rec.last_exit_code, 0);
  EXPECT_NE(temp_file("asuser.OUT").find("U=jobuser Z=jobuser\n"), std::string::npos)
      << temp_file("asuser.OUT");

  start_job("wrongpw");
  ASSERT_TRUE(wait_for_result("wrongpw", &rec));
  EXPECT_EQ(rec.last_exit_code, 1326);
  EXPECT_EQ(temp_file("wrongpw.OUT"), "(logon failure)\r\n");
  EXPECT_EQ(count_events(ZEB_EV_LOGON_FAILED), 1);

  start_job("plain");
  ASSERT_TRUE(wait_for_result("plain", &rec));
  EXPECT_NE(temp_file("plain.OUT").find("U=Administrator Z=DEFAULT\n"), std::string::npos)
      << temp_file("plain.OUT");
}

TEST_F(JobRunnerTest, MoreThanThirtyTwoLiveProcessesAreAllFollowed) {
  start_service();
  // 40 children alive at once, the shell ending before them with 4.
  ASSERT_EQ(add(make_job("wide", "/bin/sh -c \"i=0; while [ $i -lt 40 ]; do /bin/sleep 2 & "
                                 "i=$((i+1)); done; exit 4\"")),
            msg_control(ZEB_DONE));
  auto begun = std::chrono::steady_clock::now();
  start_job("wide");
  JobRecord rec;
  ASSERT_TRUE(wait_for_result("wide", &rec, 60000));
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(1900));
  EXPECT_EQ(rec.last_exit_code, 4);
  // The runner by the service, then the shell and its 40 children; every
  // one of them was followed to its end.
  EXPECT_EQ(event_pids(ZEB_EV_PROCESS_CREATED).size(), 42u);
  EXPECT_EQ(event_pids(ZEB_EV_PROCESS_EXIT).size(), 42u);
}

// 200 short processes, debugged and not: both complete with the shell's
// exit code; the times go to the test's output.
TEST_F(JobRunnerTest, TwoHundredShortProcesses) {
  start_service();
  const char* many = "/bin/sh -c \"i=0; while [ $i -lt 200 ]; do /bin/true; i=$((i+1)); done\"";
  JobRecord debugged = make_job("many", many);
  JobRecord free = make_job("manyfree", many);
  free.flags |= JOB_NO_DEBUG;
  ASSERT_EQ(add(debugged), msg_control(ZEB_DONE));
  ASSERT_EQ(add(free), msg_control(ZEB_DONE));
  for (const char* name : {"many", "manyfree"}) {
    auto begun = std::chrono::steady_clock::now();
    start_job(name);
    JobRecord rec;
    ASSERT_TRUE(wait_for_result(name, &rec, 120000));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - begun);
    EXPECT_EQ(rec.last_exit_code, 0);
    printf("[ TIMING   ] %s: %lld ms\n", name, static_cast<long long>(ms.count()));
  }
  // Debugged: every one of the 201 processes logged its creation.
  EXPECT_EQ(event_pids(ZEB_EV_PROCESS_CREATED).size(), 2u + 201u + 1u);
}

TEST_F(JobRunnerTest, OwnDesktopOfAnInteractiveServiceLetsTheAccountIn) {
  add_user("deskuser", "pw");
  int index = 0;
  register_account(&index, "LOCALPC", "deskuser", "pw");
  net_.env().set("ZEB_SERVICE_INTERACTIVE", "1");
  start_service();
  JobRecord own = make_job("owndesk", "/bin/sh -c \"echo U=$USERNAME\"");
  own.flags |= JOB_OWN_DESKTOP;
  own.account_index = static_cast<DWORD>(index);
  ASSERT_EQ(add(own), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("shared", "/bin/true")), msg_control(ZEB_DONE));
  JobRecord rec;
  start_job("owndesk");
  ASSERT_TRUE(wait_for_result("owndesk", &rec));
  EXPECT_EQ(rec.last_exit_code, 0) << temp_file("owndesk.OUT");
  EXPECT_NE(temp_file("owndesk.OUT").find("U=deskuser\n"), std::string::npos);
  start_job("shared");
  ASSERT_TRUE(wait_for_result("shared", &rec));
  EXPECT_EQ(rec.last_exit_code, 0);

  // The job's own desktop exists; a job without JOB_OWN_DESKTOP made none.
  HDESK desk = OpenDesktopA("owndesk", 0, FALSE, DESKTOP_READOBJECTS);
  ASSERT_NE(desk, nullptr) << GetLastError();
  EXPECT_EQ(OpenDesktopA("shared", 0, FALSE, DESKTOP_READOBJECTS), nullptr);
  // Its access list has an allow-all entry for the account.
  BYTE sid[68];
  DWORD sid_size = sizeof sid;
  char domain[64];
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountNameA(nullptr, "deskuser", sid, &sid_size, domain, &domain_size, &use));
  std::vector<BYTE> sd(4096);
  SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  ASSERT_TRUE(GetUserObjectSecurity(desk, &info, sd.data(), 4096, &needed));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);
  int entries_for_user = 0;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &ace));
    if (EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, sid)) ++entries_for_user;
  }
  EXPECT_EQ(entries_for_user, 1);
  CloseDesktop(desk);
}

// The environment of a run on a fixed date: the service's clock is moved
// there through its offset.
class JobDateTest : public JobRunnerTest {
 protected:
  std::string run_on(int y, int mo, int d, const std::string& name) {
    SYSTEMTIME target{};
    target.wYear = static_cast<WORD>(y);
    target.wMonth = static_cast<WORD>(mo);
    target.wDay = static_cast<WORD>(d);
    target.wHour = 12;
    FILETIME ft{};
    SystemTimeToFileTime(&target, &ft);
    long long offset = static_cast<long long>((filetime_to_u64(ft) / 10000000ULL)) -
                       static_cast<long long>(time(nullptr) + 11644473600LL);
    start_service(offset);
    EXPECT_EQ(add(make_job(name, "/bin/sh -c \"echo $ZEByyyy-$ZEBmm-$ZEBdd $ZEBwdy yd=$ZEByd "
                                 "$ZEBlmd$ZEBlyd$ZEBfmd$ZEBfyd cw=$ZEBcw\"")),
              msg_control(ZEB_DONE));
    start_job(name);
    JobRecord rec;
    EXPECT_TRUE(wait_for_result(name, &rec));
    stop_service();
    return temp_file(name + ".OUT");
  }
};

TEST_F(JobDateTest, EnvironmentFollowsTheServiceClock) {
  EXPECT_NE(run_on(2024, 12, 31, "dec31").find("2024-12-31 TUE yd=366 TTFF cw=53\n"),
            std::string::npos);
  EXPECT_NE(run_on(2025, 1, 1, "jan1").find("2025-01-01 WED yd=001 FFTT cw=01\n"),
            std::string::npos);
  EXPECT_NE(run_on(2024, 2, 29, "feb29").find("2024-02-29 THU yd=060 TFFF cw=09\n"),
            std::string::npos);
  EXPECT_NE(run_on(2024, 3, 17, "sunday").find("2024-03-17 SUN yd=077 FFFF cw=11\n"),
            std::string::npos);
}

}  // namespace
