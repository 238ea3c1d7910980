// evpost as a program: the events it writes, the source it registers, its
// messages and exit codes; `ntnet events` shows the events with the texts
// of evpost's message table.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/eventlog/eventlog.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"
#include "platform/security/account_lookup.h"
#include "utils/testing/child_process.h"

namespace {

const char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

const char kUsage[] =
    "Adds an event to the Application event log\n\nusage: evpost [-s<source>] [-t<type>] "
    "<Message1> [<Message2> ...]\n\n-s<source>  specifies the EventSource (default:EvPost)\n"
    "-t<type>    e Error (default)\n            i Information\n            w Warning\n"
    "MessageX    Up to 4 description messages (appear as separate lines)\n";

class EvpostProgram : public ::testing::Test {
 protected:
  // Runs evpost as the local Administrator unless another user is given.
  ChildResult evpost(const std::vector<std::string>& args, const char* user = "Administrator") {
    ChildOptions options;
    options.env = {std::string("USERNAME=") + user};
    return run_child(built_program("evpost"), args, options);
  }

  // The events of the local Application log, oldest first.
  std::vector<NtEventRecord> events() {
    std::vector<NtEventRecord> out;
    HANDLE log = OpenEventLogA(nullptr, "Application");
    EXPECT_NE(log, nullptr);
    std::string buffer(0x10000, '\0');
    DWORD read = 0, needed = 0;
    while (ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                         0x10000, &read, &needed)) {
      size_t pos = 0;
      while (pos < read) {
        NtEventRecord r;
        size_t length = 0;
        if (!nt_event_record_parse(std::string_view(buffer).substr(pos, read - pos), true, &r,
                                   &length))
          break;
        out.push_back(r);
        pos += length;
      }
    }
    CloseEventLog(log);
    return out;
  }

  // A value of the source's key ("" when it is missing).
  std::string source_value(const std::string& source, const char* name, DWORD* type) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kSourceKey + source).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
      return "";
    char data[4096];
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data, size) : std::string();
  }

  std::string administrator_sid() {
    char sid[SECURITY_MAX_SID_SIZE];
    char domain[32];
    DWORD sid_size = sizeof sid, domain_size = sizeof domain;
    SID_NAME_USE use;
    EXPECT_TRUE(LookupAccountNameA(nullptr, "Administrator", sid, &sid_size, domain,
                                   &domain_size, &use));
    return std::string(sid, sid_size);
  }

  static std::vector<std::u16string> u16(std::vector<std::string> texts) {
    std::vector<std::u16string> out;
    for (const std::string& t : texts) out.emplace_back(t.begin(), t.end());
    return out;
  }

  TempNetwork net_{"LOCALPC"};
};

TEST_F(EvpostProgram, WarningWithTwoLinesRegistersItsSourceOnFirstUse) {
  ChildResult r = evpost({"-tw", "-sNightly Backup", "Backup of D: failed", "Tape not ready"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");

  DWORD type = 0;
  EXPECT_EQ(source_value("Nightly Backup", "EventMessageFile", &type),
            built_program("evpost") + std::string(1, '\0'));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(source_value("Nightly Backup", "TypesSupported", &type), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);

  std::vector<NtEventRecord> written = events();
  ASSERT_EQ(written.size(), 1u);
  const NtEventRecord& e = written[0];
  EXPECT_EQ(e.event_type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(e.event_id, 0xC0000002u);
  EXPECT_EQ(e.category, 0);
  EXPECT_EQ(e.source, u"Nightly Backup");
  EXPECT_EQ(e.strings, u16({"Backup of D: failed", "Tape not ready"}));
  EXPECT_EQ(e.sid, administrator_sid());

  // ntnet shows it with evpost's message text: one line a message.
  ChildResult shown = run_child(built_program("ntnet"), {"events", "LOCALPC"});
  EXPECT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_NE(shown.out.find("Type:        Warning\n"
                           "Source:      Nightly Backup\n"
                           "Event ID:    2 (0xC0000002)\n"
                           "Category:    None\n"
                           "User:        LOCALPC\\Administrator\n"
                           "Computer:    LOCALPC\n"
                           "Description:\n"
                           "    Backup of D: failed\n"
                           "    Tape not ready\n"),
            std::string::npos)
      << shown.out;

  // A registered source is left as it is.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kSourceKey) + "Nightly Backup").c_str(),
                          0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  const char other[] = "C:\\other.exe";
  ASSERT_EQ(RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(other), sizeof other),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(evpost({"-sNightly Backup", "again"}).exit_code, 0);
  EXPECT_EQ(source_value("Nightly Backup", "EventMessageFile", &type), std::string(other, sizeof other));
  EXPECT_EQ(events().size(), 2u);
}

TEST_F(EvpostProgram, DefaultsTypesAndTheFourMessageLimit) {
  ASSERT_EQ(evpost({"just one"}).exit_code, 0);
  ChildResult five = evpost({"-ti", "a", "b", "c", "d", "e"});
  EXPECT_EQ(five.exit_code, 0);
  EXPECT_EQ(five.out, "");  // the fifth message is dropped without a word
  ASSERT_EQ(evpost({"-sFirst", "-s", "-te", "kept name"}).exit_code, 0);
  ASSERT_EQ(evpost({"three", "-tw", "lines", "-sLate", "here"}).exit_code, 0);

  std::vector<NtEventRecord> written = events();
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(written[0].source, u"EvPost");
  EXPECT_EQ(written[0].event_type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(written[0].event_id, 0xC0000001u);
  EXPECT_EQ(written[1].event_type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(written[1].event_id, 0xC0000004u);
  EXPECT_EQ(written[1].strings, u16({"a", "b", "c", "d"}));
  EXPECT_EQ(written[2].source, u"First");
  EXPECT_EQ(written[2].event_type, EVENTLOG_ERROR_TYPE);
  // Switches act wherever they stand: the last ones count.
  EXPECT_EQ(written[3].source, u"Late");
  EXPECT_EQ(written[3].event_type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(written[3].event_id, 0xC0000003u);
  EXPECT_EQ(written[3].strings, u16({"three", "lines", "here"}));

  ChildResult shown = run_child(built_program("ntnet"), {"events", "LOCALPC"});
  EXPECT_NE(shown.out.find("Description:\n    a\n    b\n    c\n    d\n"), std::string::npos)
      << shown.out;
  EXPECT_NE(shown.out.find("Source:      EvPost\nEvent ID:    1 (0xC0000001)\n"),
            std::string::npos);
  EXPECT_NE(shown.out.find("Description:\n    just one\n\n"), std::string::npos);
}

TEST_F(EvpostProgram, UsageAndCommandLineErrors) {
  ChildResult usage = evpost({});
  EXPECT_EQ(usage.exit_code, 0);
  EXPECT_EQ(usage.err, "");
  ASSERT_EQ(usage.out.rfind("EvPost V1.0 (built ", 0), 0u);
  EXPECT_EQ(usage.out.substr(usage.out.find('\n') + 1), kUsage);

  struct Case {
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {{"-x", "msg"}, "Invalid switch 'x'\n"},
      {{"-S", "msg"}, "Invalid switch 'S'\n"},
      {{"msg", "-"}, "Invalid switch ''\n"},
      {{"-tq", "msg"}, "Invalid type 'q'\n"},
      {{"-tW", "msg"}, "Invalid type 'W'\n"},
      {{"-t", "msg"}, "Invalid type ''\n"},
      {{"-tw"}, "No message\n"},
      {{"-sSource", "-ti"}, "No message\n"},
  };
  for (const Case& c : cases) {
    ChildResult r = evpost(c.args);
    EXPECT_EQ(r.exit_code, 1) << c.out;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(events().empty());
}

TEST_F(EvpostProgram, TheUserMustBeKnown) {
  ChildResult r = evpost({"msg"}, "nobody");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "LookupAccountName() for 'nobody' failed, error=1332\n");
  // A name of 256 characters fits the user name buffer; one more does not.
  std::string longest(256, 'u');
  r = evpost({"msg"}, longest.c_str());
  EXPECT_EQ(r.out, "LookupAccountName() for '" + longest + "' failed, error=1332\n");
  r = evpost({"msg"}, (longest + "u").c_str());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "GetUserName() for failed, error=122\n");
  // The guest account is a user as well.
  EXPECT_EQ(evpost({"msg"}, "guest").exit_code, 0);
  EXPECT_EQ(events().size(), 1u);
}

TEST_F(EvpostProgram, EventLogFailuresArePrintedWithTheirCall) {
  // A message longer than an event takes: the event is not written, which
  // the exit code tells.
  std::string huge(NT_EVENT_MAX_STRING_LENGTH + 1, 'h');
  ChildResult r = evpost({"-sBig", huge});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex("evpost_main\\.cc: Error 87 from ReportEvent     on line [0-9]+\n")))
      << r.out;
  EXPECT_TRUE(events().empty());
  // The longest message is written.
  r = evpost({"-sBig", huge.substr(1)});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  ASSERT_EQ(events().size(), 1u);
  EXPECT_EQ(events()[0].strings.at(0).size(), NT_EVENT_MAX_STRING_LENGTH);
}

}  // namespace
