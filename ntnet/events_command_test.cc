#include "ntnet/events_command.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/eventlog/eventlog.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/security/account_lookup.h"
#include "platform/security/machine_sid.h"
#include "ntnet/command_test_run.h"

namespace {

CommandRun events(const std::vector<std::string>& args) {
  return run_command(ntnet_events_command, args);
}

class EventsCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Five hours west of universal time, so that local time is visible.
    net_.env().set("TZ", "EST5");
    tzset();
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    NtMachineInfo server;
    server.name = "SRV1";
    server.lan_group = "WORKGROUP";
    ASSERT_EQ(nt_machine_create(net_.root(), server), ERROR_SUCCESS);
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }

  // Writes an event and returns the local time text it must show with.
  std::string report(const char* server, const char* source, WORD type, WORD category, DWORD id,
                     const std::string& sid, std::vector<const char*> strings) {
    HANDLE h = RegisterEventSourceA(server, source);
    EXPECT_NE(h, nullptr);
    EXPECT_TRUE(ReportEventA(h, type, category, id, sid.empty() ? nullptr : (void*)sid.data(),
                             static_cast<WORD>(strings.size()), 0, strings.data(), nullptr));
    DeregisterEventSource(h);
    // The record's own time, converted here independently of the layer.
    HANDLE log = OpenEventLogA(server, "Application");
    char buffer[0x10000];
    DWORD read = 0, needed = 0;
    EXPECT_TRUE(ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer,
                              sizeof buffer, &read, &needed));
    CloseEventLog(log);
    NtEventRecord r;
    EXPECT_TRUE(nt_event_record_parse(std::string_view(buffer, read), true, &r, nullptr));
    time_t t = static_cast<time_t>(r.time_generated) - 5 * 3600;
    struct tm tm;
    gmtime_r(&t, &tm);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
  }

  std::string administrator_sid() {
    NtMachineRef local;
    EXPECT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    std::string sid;
    EXPECT_EQ(nt_machine_sid(*local.store, &sid), ERROR_SUCCESS);
    return nt_sid_append(sid, 500);
  }

  TempNetwork net_{"LOCALPC"};
};

TEST_F(EventsCommandTest, PrintsEachEventAsABlock) {
  std::string admin = administrator_sid();
  std::string when1 = report(nullptr, "Tool", EVENTLOG_WARNING_TYPE, 0, 0xC0000002, admin,
                             {"one", "two"});
  std::string stranger = nt_sid_make(SECURITY_NT_AUTHORITY, {21, 1, 2, 3, 1001});
  std::string when2 = report(nullptr, "Other", EVENTLOG_AUDIT_FAILURE, 7, 0x40010001, stranger,
                             {});
  std::string when3 = report(nullptr, "Tool", EVENTLOG_INFORMATION_TYPE, 0, 5, "", {"x"});

  CommandRun r = events({"localpc"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "Events of \\\\LOCALPC Application: 3\n"
            "\n"
            "Record:      1\n"
            "Time:        " + when1 + "\n"
            "Type:        Warning\n"
            "Source:      Tool\n"
            "Event ID:    2 (0xC0000002)\n"
            "Category:    None\n"
            "User:        LOCALPC\\Administrator\n"
            "Computer:    LOCALPC\n"
            "Description:\n"
            "    The description for Event ID ( 2 ) in Source ( Tool ) could not be found. It "
            "contains the following insertion string(s): one, two.\n"
            "\n"
            "Record:      2\n"
            "Time:        " + when2 + "\n"
            "Type:        Failure Audit\n"
            "Source:      Other\n"
            "Event ID:    1 (0x40010001)\n"
            "Category:    (7)\n"
            "User:        S-1-5-21-1-2-3-1001\n"
            "Computer:    LOCALPC\n"
            "Description:\n"
            "    The description for Event ID ( 1 ) in Source ( Other ) could not be found. It "
            "contains the following insertion string(s): .\n"
            "\n"
            "Record:      3\n"
            "Time:        " + when3 + "\n"
            "Type:        Information\n"
            "Source:      Tool\n"
            "Event ID:    5 (0x00000005)\n"
            "Category:    None\n"
            "User:        N/A\n"
            "Computer:    LOCALPC\n"
            "Description:\n"
            "    The description for Event ID ( 5 ) in Source ( Tool ) could not be found. It "
            "contains the following insertion string(s): x.\n");
}

TEST_F(EventsCommandTest, LogsMachinesAndBackupFiles) {
  report("SRV1", "Remote", EVENTLOG_ERROR_TYPE, 0, 1, "", {"r"});
  // Another log, and an unknown name that is Application.
  CommandRun r = events({"\\\\SRV1", "System"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Events of \\\\SRV1 System: 0\n");
  r = events({"SRV1", "whatever"});
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Events of \\\\SRV1 Application: 1");
  EXPECT_NE(r.out.find("Source:      Remote\n"), std::string::npos);

  // Offline machines are read too.
  NtMachineRef server;
  ASSERT_EQ(nt_open_machine("SRV1", &server), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*server.store, false), ERROR_SUCCESS);
  EXPECT_EQ(events({"SRV1"}).out, r.out);

  // A backup file reads as the log it was saved from.
  HANDLE log = nt_open_event_log("SRV1", "Application", NtMachineAccess::admin);
  std::string file = net_.root() + "/srv1.evt";
  ASSERT_TRUE(BackupEventLogA(log, file.c_str()));
  CloseEventLog(log);
  CommandRun saved = events({"--file", file});
  EXPECT_EQ(saved.code, 0) << saved.err;
  EXPECT_EQ(saved.out.substr(0, saved.out.find('\n')), "Events of backup file " + file + ": 1");
  EXPECT_EQ(saved.out.substr(saved.out.find('\n')), r.out.substr(r.out.find('\n')));
  EXPECT_EQ(events({"--file=" + file}).out, saved.out);
}

TEST_F(EventsCommandTest, BadCommandLinesAndFailures) {
  const char usage[] = "usage: ntnet events MACHINE [LOG] | ntnet events --file F.EVT\n";
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"A", "B", "C"},
                                             {"--file"},
                                             {"--file", "a", "b"},
                                             {"--file="},
                                             {"--files", "x"},
                                             {"-x"},
                                             {"LOCALPC", ""}}) {
    CommandRun r = events(args);
    EXPECT_EQ(r.code, 2) << args.size();
    EXPECT_EQ(r.err, usage);
    EXPECT_EQ(r.out, "");
  }
  CommandRun r = events({"NOSUCH"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: no machine NOSUCH in the network\n");
  r = events({"--file", net_.root() + "/missing.evt"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: cannot open the backup file " + net_.root() +
                       "/missing.evt (error 2)\n");
}

}  // namespace
