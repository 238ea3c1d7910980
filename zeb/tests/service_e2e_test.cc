// The running service: job runs and their exit codes, chaining, stopping a
// run, the scheduler at the minute (through the clock offset), autostart,
// the event log and its Logging mask, and pause and continue.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/network/machine.h"
#include "zeb/tests/zeb_service_fixture.h"

namespace {

class ServiceTest : public ZebServiceTest {
 protected:
  // Waits until the job has a result (not running, exit code set).
  bool wait_for_result(const std::string& name, JobRecord* rec, int ms = 15000) {
    return wait_until(
        [&] {
          return show_one(name, rec) && (rec->flags & JOB_RUNNING) == 0 &&
                 rec->last_exit_code != JOB_NO_RESULT;
        },
        ms);
  }
};

TEST_F(ServiceTest, StartRunsTheJobAndRecordsItsExitCode) {
  start_service();
  ASSERT_EQ(add(make_job("three", "/bin/sh -c \"exit 3\"")), msg_control(ZEB_DONE));
  using V = std::vector<std::string>;
  EXPECT_EQ(command(ZEB_CMD_START, "three"), (V{"DONE", "ACK"}));
  JobRecord rec;
  ASSERT_TRUE(wait_for_result("three", &rec));
  EXPECT_EQ(rec.last_exit_code, 3);
  EXPECT_NE(job_time(rec.last_run), 0u);
  EXPECT_EQ(rec.process_id, 0u);
  EXPECT_EQ(rec.stop_event, 0u);
  // The registry holds the result too.
  auto jobs = registry_jobs();
  ASSERT_EQ(jobs.size(), 1u);
  JobRecord stored;
  std::memcpy(&stored, jobs[0].second.data(), JOB_STORED_SIZE);
  EXPECT_EQ(stored.last_exit_code, 3);
  EXPECT_EQ(stored.flags & JOB_RUNNING, 0u);

  bool created = false;
  bool exited = false;
  for (const LoggedEvent& e : events()) {
    if (e.id == 0x40000004 && e.strings.size() == 2 && e.strings[1] == "three") {
      created = e.strings[0].find(" (ZebJob main process)") != std::string::npos;
      EXPECT_NE(e.description.find("Created process with ID="), std::string::npos);
    }
    if (e.id == 0x40000008 && e.strings.size() == 2 && e.strings[1] == "three") {
      exited = e.strings[0].find(", ExitCode=3 (zebjob main process)") != std::string::npos;
    }
  }
  EXPECT_TRUE(created);
  EXPECT_TRUE(exited);
}

TEST_F(ServiceTest, StopEndsARunningJobAndDeleteWaitsForIt) {
  start_service();
  ASSERT_EQ(add(make_job("sleeper", "/bin/sleep 30")), msg_control(ZEB_DONE));
  using V = std::vector<std::string>;
  EXPECT_EQ(command(ZEB_CMD_START, "sleeper"), (V{"DONE", "ACK"}));
  JobRecord rec;
  ASSERT_TRUE(wait_until([&] { return show_one("sleeper", &rec) && rec.process_id != 0; }, 10000));
  EXPECT_EQ(rec.flags & JOB_RUNNING, JOB_RUNNING);
  EXPECT_EQ(rec.last_exit_code, JOB_NO_RESULT);
  EXPECT_EQ(command(ZEB_CMD_START, "sleeper"), (V{"Job is running", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_DEL, "sleeper"), (V{"Job is running", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_PAUSE, "sleeper"), (V{"Job is running", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_CLEAN, "sleeper"), (V{"Job is running", "ACK"}));
  EXPECT_EQ(command(ZEB_CMD_STOP, "sleeper"), (V{"DONE", "ACK"}));
  ASSERT_TRUE(wait_for_result("sleeper", &rec));
  EXPECT_EQ(rec.last_exit_code, 1067);
  EXPECT_EQ(command(ZEB_CMD_DEL, "sleeper"), (V{"DONE", "ACK"}));
  EXPECT_TRUE(registry_jobs().empty());
}

TEST_F(ServiceTest, SuccessorsFollowTheExitCode) {
  start_service();
  for (const char* name : {"backup_S", "backup_F", "backup_A", "backup_X", "backupS"}) {
    ASSERT_EQ(add(make_job(name, "/bin/true")), msg_control(ZEB_DONE));
  }
  ASSERT_EQ(add(make_job("backup", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(command(ZEB_CMD_START, "backup").front(), "DONE");
  JobRecord rec;
  ASSERT_TRUE(wait_for_result("backup_S", &rec));
  EXPECT_EQ(rec.last_exit_code, 0);
  ASSERT_TRUE(wait_for_result("backup_A", &rec));
  for (const char* name : {"backup_F", "backup_X", "backupS"}) {
    ASSERT_TRUE(show_one(name, &rec));
    EXPECT_EQ(job_time(rec.last_run), 0u) << name;
  }

  // A failing run starts _F and _A, not _S; a paused successor stays.
  ASSERT_EQ(add(make_job("fail", "/bin/false")), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("fail_f", "/bin/sh -c \"exit 7\"")), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("fail_s", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(add(make_job("fail_a", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(command(ZEB_CMD_PAUSE, "fail_a").front(), "DONE");
  ASSERT_EQ(command(ZEB_CMD_START, "fail").front(), "DONE");
  ASSERT_TRUE(wait_for_result("fail_f", &rec));
  EXPECT_EQ(rec.last_exit_code, 7);
  ASSERT_TRUE(show_one("fail", &rec));
  EXPECT_EQ(rec.last_exit_code, 1);
  for (const char* name : {"fail_s", "fail_a"}) {
    ASSERT_TRUE(show_one(name, &rec));
    EXPECT_EQ(job_time(rec.last_run), 0u) << name;
  }
}

TEST_F(ServiceTest, SchedulerStartsDueJobsAtTheMinuteAndMakesNothingUp) {
  // The service's clock stands 5 seconds into a minute of 17:00 today,
  // so its first pass - right at start - meets that minute.
  time_t real = time(nullptr);
  struct tm day;
  gmtime_r(&real, &day);
  int y = day.tm_year + 1900, mo = day.tm_mon + 1, d = day.tm_mday;
  uint64_t at_1700 = local_filetime(y, mo, d, 17, 0, 5);
  uint64_t real_now = static_cast<uint64_t>(real + FILETIME_UNIX_EPOCH_SECONDS) *
                      FILETIME_TICKS_PER_SECOND;
  long long offset = (static_cast<long long>(at_1700) - static_cast<long long>(real_now)) /
                     static_cast<long long>(FILETIME_TICKS_PER_SECOND);
  uint64_t minute_1700 = local_filetime(y, mo, d, 17, 0);

  // Hourly within 8..17, due now: runs; next run 08:00 tomorrow.
  JobRecord hourly = make_job("hourly", "/bin/true", 60, minute_1700);
  hourly.hour_mask = 0x3FF00;  // hours 8..17
  store_job(hourly);
  // One-time, missed yesterday: dropped, next run cleared, not run.
  store_job(make_job("missed", "/bin/true", 0, minute_1700 - 24ull * 3600 * 10000000));
  // One-time, due this minute: runs once, next run cleared.
  store_job(make_job("once", "/bin/true", 0, minute_1700));
  // Started by command in this minute already: not started again.
  JobRecord manual = make_job("manual", "/bin/true", 60, minute_1700);
  job_set_time(&manual.last_run, minute_1700 + 10000000);
  manual.last_exit_code = 42;
  store_job(manual);
  // Periodic, fell due at 12:00 while the service was stopped: not made up.
  store_job(make_job("late", "/bin/true", 60, local_filetime(y, mo, d, 12, 0)));

  start_service(offset);
  JobRecord rec;
  ASSERT_TRUE(wait_for_result("hourly", &rec));
  EXPECT_EQ(rec.last_exit_code, 0);
  SYSTEMTIME next{};
  FILETIME ft = rec.next_run;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &next));
  EXPECT_EQ(next.wHour, 8);
  EXPECT_EQ(next.wMinute, 0);
  EXPECT_EQ(job_time(rec.next_run) - minute_1700, 15ull * 3600 * 10000000);

  ASSERT_TRUE(wait_for_result("once", &rec));
  EXPECT_EQ(job_time(rec.next_run), 0u);

  ASSERT_TRUE(show_one("missed", &rec));
  EXPECT_EQ(job_time(rec.next_run), 0u);
  EXPECT_EQ(job_time(rec.last_run), 0u);

  ASSERT_TRUE(show_one("manual", &rec));
  EXPECT_EQ(rec.last_exit_code, 42);
  EXPECT_EQ(job_time(rec.last_run), minute_1700 + 10000000);

  ASSERT_TRUE(show_one("late", &rec));
  EXPECT_EQ(job_time(rec.last_run), 0u);
  EXPECT_EQ(job_time(rec.next_run), local_filetime(y, mo, d, 18, 0));
}

TEST_F(ServiceTest, AddComputesTheNextRunFromAPastYear) {
  // Today 10:30:05 on the service's clock.
  time_t real = time(nullptr);
  struct tm day;
  gmtime_r(&real, &day);
  int y = day.tm_year + 1900, mo = day.tm_mon + 1, d = day.tm_mday;
  uint64_t real_now = static_cast<uint64_t>(real + FILETIME_UNIX_EPOCH_SECONDS) *
                      FILETIME_TICKS_PER_SECOND;
  long long offset = (static_cast<long long>(local_filetime(y, mo, d, 10, 30, 5)) -
                      static_cast<long long>(real_now)) /
                     static_cast<long long>(FILETIME_TICKS_PER_SECOND);
  start_service(offset);
  ASSERT_EQ(add(make_job("daily", "/bin/true", 1440, local_filetime(1999, 5, 5, 7, 15))),
            msg_control(ZEB_DONE));
  JobRecord rec;
  ASSERT_TRUE(show_one("daily", &rec));
  // Today 00:00 plus whole days: tomorrow 00:00.
  EXPECT_EQ(job_time(rec.next_run), local_filetime(y, mo, d, 0, 0) + 24ull * 3600 * 10000000);
}

TEST_F(ServiceTest, AutostartAndItsOneTimeSuppression) {
  JobRecord auto_job = make_job("auto", "/bin/true");
  auto_job.flags = JOB_AUTOSTART;
  store_job(auto_job);
  JobRecord paused = make_job("auto_paused", "/bin/true");
  paused.flags = JOB_AUTOSTART | JOB_PAUSED;
  store_job(paused);

  set_service_dword(ZEB_VALUE_NO_AUTOSTART, 1);
  start_service();
  // Loading comes after the pipe is up: wait for the value's reset.
  EXPECT_TRUE(wait_until([&] { return service_dword(ZEB_VALUE_NO_AUTOSTART) == 0; }, 5000));
  JobRecord rec;
  ASSERT_TRUE(show_one("auto", &rec));
  EXPECT_EQ(job_time(rec.last_run), 0u);
  EXPECT_EQ(stop_service(), 0);

  start_service();
  ASSERT_TRUE(wait_until([&] { return show_one("auto", &rec) && rec.last_exit_code == 0; },
                         15000));
  ASSERT_TRUE(show_one("auto_paused", &rec));
  EXPECT_EQ(job_time(rec.last_run), 0u);
}

TEST_F(ServiceTest, LifecycleEventsStatesAndTheLoggingMask) {
  set_service_dword(ZEB_VALUE_LOGGING, 0x0001);
  start_service();
  signal_service(SIGUSR1);
  ASSERT_TRUE(wait_until([&] { return service_output().find("STATE 7 ") != std::string::npos; },
                         5000));
  // Paused: the pipe serves on and jobs start by command.
  ASSERT_EQ(add(make_job("p", "/bin/true")), msg_control(ZEB_DONE));
  ASSERT_EQ(command(ZEB_CMD_START, "p").front(), "DONE");
  signal_service(SIGUSR2);
  ASSERT_TRUE(wait_until(
      [&] {
        std::string out = service_output();
        return out.find("STATE 4 ", out.find("STATE 7 ")) != std::string::npos;
      },
      5000));
  EXPECT_EQ(stop_service(), 0);
  std::string out = service_output();
  for (int cp = 1; cp <= 9; ++cp) {
    EXPECT_NE(out.find("STATE 2 " + std::to_string(cp) + " "), std::string::npos) << cp;
  }
  EXPECT_NE(out.find("STATE 3 1 "), std::string::npos);
  EXPECT_NE(out.find("STATE 1 0 0"), std::string::npos);

  EXPECT_EQ(count_events(0x40000001), 0);  // suppressed by bit 0
  EXPECT_EQ(count_events(0x40000002), 1);
  for (const LoggedEvent& e : events()) {
    if (e.id == 0x40000002) {
      EXPECT_EQ(e.type, 4);
      EXPECT_EQ(e.description, "The ZEB Service has stopped\r\n");
    }
  }
  // Version written at start, the event source registered.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_EVENT_SOURCE_KEY, 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD types = 0, size = sizeof types;
  EXPECT_EQ(RegQueryValueExA(key, "TypesSupported", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&types), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(types, 7u);
  RegCloseKey(key);

  // Without the mask both are logged; the service key must exist to start.
  set_service_dword(ZEB_VALUE_LOGGING, 0);
  start_service();
  EXPECT_EQ(stop_service(), 0);
  EXPECT_EQ(count_events(0x40000001), 1);
  EXPECT_EQ(count_events(0x40000002), 2);
}

TEST_F(ServiceTest, MissingServiceKeyStopsTheStartWithAnApiErrorEvent) {
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY), ERROR_SUCCESS);
  pid_ = fork();
  if (pid_ == 0) {
    int fd = ::open("/dev/null", O_WRONLY);
    dup2(fd, 1);
    std::string program = zeb_program_path();
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);  // ERROR_FILE_NOT_FOUND of the open
  bool found = false;
  for (const LoggedEvent& e : events()) {
    if (e.id == 0xC0008000 && e.strings.size() == 2) {
      found = e.strings[0] == "2" &&
              e.strings[1] == "RegOpenKeyEx(SYSTEM\\CurrentControlSet\\Services\\ZEB Service)";
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace

namespace {

TEST_F(ServiceTest, ServerCommentsPublishRolesIntoTheMachineEnvironment) {
  NtMachineInfo srv;
  srv.name = "FILESRV";
  srv.lan_group = "WORKGROUP";
  srv.role = NtMachineRole::server;
  srv.comment = "main files /~BACKUP /~PRINT\tx";
  ASSERT_EQ(nt_machine_create(net_.root(), srv), ERROR_SUCCESS);
  {
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local, NtMachineAccess::admin), ERROR_SUCCESS);
    NtMachineInfo info;
    ASSERT_EQ(nt_machine_get_info(*local.store, &info), ERROR_SUCCESS);
    info.lan_group = "WORKGROUP";
    ASSERT_EQ(nt_machine_set_info(*local.store, info), ERROR_SUCCESS);
  }
  start_service();
  auto value = [](const char* name) {
    HKEY key = nullptr;
    char data[64] = "";
    DWORD size = sizeof data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
      RegCloseKey(key);
    }
    return std::string(data);
  };
  EXPECT_TRUE(wait_until([&] { return value("Q_PRINT") == "FILESRV"; }, 5000));
  EXPECT_EQ(value("Q_BACKUP"), "FILESRV");
  EXPECT_EQ(value("Q_main"), "");

  // Jobs started afterwards see the variable in their environment.
  std::string out = temp_host_ + "/env.txt";
  ASSERT_EQ(add(make_job("env", "/bin/sh -c \"echo $Q_BACKUP > " + out + "\"")),
            msg_control(ZEB_DONE));
  ASSERT_EQ(command(ZEB_CMD_START, "env").front(), "DONE");
  JobRecord rec;
  ASSERT_TRUE(wait_for_result("env", &rec));
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "FILESRV");
}

}  // namespace
