// evsave as a program: the files it writes (named or named from the
// machine, log and local time), clearing with -c, server names, messages
// and exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/eventlog/eventlog.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"
#include "utils/testing/child_process.h"

namespace {

constexpr int kFailed = 255;  // exit(-1) as a Linux status

const char kUsageLines[] =
    "usage: evsave [-c] [\\\\<server>\\]<type> [<filename>]\n"
    "-c:\t\t(optional) clear the event log after backup\n"
    "<server>:\t(optional) remote node event log\n"
    "<type>:\t\tSystem|Security|Application\n"
    "<filename>:\toptional target filename (without .EVT)\n"
    "\t\tdefault: <server>_<type>_<yymmddhh>.EVT\n\n";

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class EvsaveProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtMachineInfo server;
    server.name = "SRV1";
    server.lan_group = "WORKGROUP";
    server.role = NtMachineRole::server;
    ASSERT_EQ(nt_machine_create(net_.root(), server), ERROR_SUCCESS);
    // evsave writes into its current directory: the scratch directory.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    saved_cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override { EXPECT_EQ(chdir(saved_cwd_.c_str()), 0); }

  // Runs evsave with the local clock at 23:58:10 on 31 December 1999, five
  // hours west of universal time.
  ChildResult evsave(const std::vector<std::string>& args) {
    struct tm tm {};
    tm.tm_year = 2000 - 1900;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_hour = 4;
    tm.tm_min = 58;
    tm.tm_sec = 10;
    long long offset = static_cast<long long>(timegm(&tm)) - static_cast<long long>(time(nullptr));
    ChildOptions options;
    options.env = {"TZ=EST5", "NT_CLOCK_OFFSET=" + std::to_string(offset)};
    return run_child(built_program("evsave"), args, options);
  }

  void report(const char* server, const char* log, const char* text) {
    if (std::string(log) != "Application") {
      HKEY root = nullptr;
      ASSERT_EQ(nt_reg_open_machine_root(server ? server : "LOCALPC", HKEY_LOCAL_MACHINE, &root),
                ERROR_SUCCESS);
      HKEY key = nullptr;
      std::string path =
          std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + log + "\\Test";
      ASSERT_EQ(RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
      RegCloseKey(key);
      RegCloseKey(root);
    }
    HANDLE h = RegisterEventSourceA(server, "Test");
    ASSERT_NE(h, nullptr);
    const char* strings[] = {text};
    ASSERT_TRUE(ReportEventA(h, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
    DeregisterEventSource(h);
  }

  DWORD count(const char* server, const char* log) {
    HANDLE h = nt_open_event_log(server ? server : "", log, NtMachineAccess::admin);
    DWORD n = 0;
    EXPECT_TRUE(GetNumberOfEventLogRecords(h, &n));
    CloseEventLog(h);
    return n;
  }

  // The first insertion string of each event in a backup file.
  std::vector<std::string> saved(const std::string& file) {
    std::vector<std::string> out;
    HANDLE h = OpenBackupEventLogA(nullptr, file.c_str());
    EXPECT_NE(h, nullptr) << file;
    if (!h) return out;
    char buffer[0x10000];
    DWORD read = 0, needed = 0;
    while (ReadEventLogA(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer,
                         sizeof buffer, &read, &needed)) {
      size_t pos = 0;
      while (pos < read) {
        NtEventRecord r;
        size_t length = 0;
        if (!nt_event_record_parse(std::string_view(buffer + pos, read - pos), true, &r,
                                   &length))
          break;
        out.emplace_back(r.strings.at(0).begin(), r.strings.at(0).end());
        pos += length;
      }
    }
    CloseEventLog(h);
    return out;
  }

  TempNetwork net_{"LOCALPC"};
  ScratchDir dir_;
  std::string saved_cwd_;
};

TEST_F(EvsaveProgram, ClearWritesTheDefaultNameAndEmptiesTheLog) {
  report(nullptr, "Application", "one");
  report(nullptr, "Application", "two");
  report(nullptr, "System", "stays");
  ChildResult r = evsave({"-c", "Application"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "LOCALPC_Application_199912312358.EVT\n");
  EXPECT_EQ(dir_.list(), std::vector<std::string>{"LOCALPC_Application_199912312358.EVT"});
  EXPECT_EQ(saved(dir_.file("LOCALPC_Application_199912312358.EVT")),
            (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(count(nullptr, "Application"), 0u);
  EXPECT_EQ(count(nullptr, "System"), 1u);
  // The log name is used as given.
  r = evsave({"system"});
  EXPECT_EQ(r.out, "LOCALPC_system_199912312358.EVT\n");
  EXPECT_EQ(saved(dir_.file("LOCALPC_system_199912312358.EVT")),
            std::vector<std::string>{"stays"});
  EXPECT_EQ(count(nullptr, "System"), 1u);  // no -c: kept
}

TEST_F(EvsaveProgram, ServerPrefixAndFileNames) {
  report("SRV1", "System", "remote");
  report(nullptr, "System", "local");
  ChildResult r = evsave({"\\\\SRV1\\System", "back"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "back.EVT\n");
  EXPECT_EQ(saved(dir_.file("back.EVT")), std::vector<std::string>{"remote"});
  EXPECT_EQ(count("SRV1", "System"), 1u);

  // The default name carries the server as written; extra arguments are
  // ignored; -c counts only in front.
  r = evsave({"\\\\srv1\\System"});
  EXPECT_EQ(r.out, "srv1_System_199912312358.EVT\n");
  r = evsave({"-c", "\\\\SRV1\\System", "sub", "extra"});
  EXPECT_EQ(r.out, "sub.EVT\n");
  EXPECT_EQ(count("SRV1", "System"), 0u);
  r = evsave({"System", "-c"});
  EXPECT_EQ(r.out, "-c.EVT\n");
  EXPECT_EQ(count(nullptr, "System"), 1u);
  EXPECT_EQ(dir_.list(), (std::vector<std::string>{"-c.EVT", "back.EVT",
                                                    "srv1_System_199912312358.EVT", "sub.EVT"}));
}

TEST_F(EvsaveProgram, UsageAndOpenFailures) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"-c"}}) {
    ChildResult r = evsave(args);
    EXPECT_EQ(r.exit_code, kFailed);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.rfind("evsave V1.1.0 (built ", 0), 0u);
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), kUsageLines);
  }

  ChildResult r = evsave({"\\\\NOSUCH\\System"});
  EXPECT_EQ(r.exit_code, kFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Cannot open event log 'System' on NOSUCH, error=53\n");
  r = evsave({""});
  EXPECT_EQ(r.err, "Cannot open event log '' on this machine, error=87\n");

  NtMachineRef server;
  ASSERT_EQ(nt_open_machine("SRV1", &server), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*server.store, false), ERROR_SUCCESS);
  r = evsave({"-c", "\\\\SRV1\\Application", "x"});
  EXPECT_EQ(r.exit_code, kFailed);
  EXPECT_EQ(r.err, "Cannot open event log 'Application' on SRV1, error=53\n");
  // The log argument is taken up to 253 characters: the server part and
  // 246 characters of the log name.
  std::string long_log(300, 'L');
  r = evsave({"\\\\SRV1\\" + long_log, "x"});
  EXPECT_EQ(r.err, "Cannot open event log '" + long_log.substr(0, 246) + "' on SRV1, error=53\n");
  EXPECT_TRUE(dir_.list().empty());
}

TEST_F(EvsaveProgram, BackupFailuresLeaveTheLogAlone) {
  report(nullptr, "Application", "precious");
  write_bytes(dir_.file("taken.EVT"), "someone else's");
  ChildResult r = evsave({"-c", "Application", "taken"});
  EXPECT_EQ(r.exit_code, kFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "BackupEventLog(\\\\LOCALPC\\Application) to taken.EVT failed, error=183\n");
  EXPECT_EQ(read_bytes(dir_.file("taken.EVT")), "someone else's");
  EXPECT_EQ(count(nullptr, "Application"), 1u);
  r = evsave({"\\\\SRV1\\Application", "no-such-dir/x"});
  EXPECT_EQ(r.err,
            "BackupEventLog(\\\\SRV1\\Application) to no-such-dir/x.EVT failed, error=3\n");
}

TEST_F(EvsaveProgram, FileNamesUpToTheLimit) {
  report(nullptr, "Application", "e");
  // An absolute name of exactly 259 characters with ".EVT" is written (in
  // a subdirectory, so that no single name is too long for the host).
  std::string sub = dir_.file(std::string(100, 'd'));
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  std::string base = sub + "/";
  base += std::string(259 - 4 - base.size(), 'f');
  ASSERT_EQ(base.size() + 4, 259u);
  ChildResult r = evsave({"Application", base});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, base + ".EVT\n");
  EXPECT_TRUE(exists(base + ".EVT"));
  // One more is refused before anything is written.
  std::string longer = base + "g";
  r = evsave({"-c", "Application", longer});
  EXPECT_EQ(r.exit_code, kFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Target file name too long (260 characters, at most 259): " + longer +
                       ".EVT\n");
  EXPECT_FALSE(exists(longer + ".EVT"));
  EXPECT_EQ(count(nullptr, "Application"), 1u);
  // A default name that grows too long is refused the same way.
  r = evsave({std::string(250, 'A')});
  EXPECT_EQ(r.exit_code, kFailed);
  EXPECT_EQ(r.err.rfind("Target file name too long (275 characters, at most 259): LOCALPC_", 0),
            0u);
}

}  // namespace
