#include "platform/eventlog/event_message.h"

#include <gtest/gtest.h>

#include "platform/kernel/error.h"
#include "platform/kernel/module.h"
#include "platform/network/network_test_env.h"
#include "platform/registry/registry.h"

namespace {

// The test program carries a message table (resource/testdata): 0x40000001
// "The service %1 has started.%r\n" and 0xC0008000
// "API-call returned error %1%nCall=%2 ".
class EventMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(nt_open_machine("", &machine_), ERROR_SUCCESS);
    char path[4096];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    std::string self(path, n);
    size_t slash = self.rfind('/');
    dir_ = self.substr(0, slash);
    name_ = self.substr(slash + 1);
    net_.env().set("EVTEST_DIR", dir_.c_str());
  }

  void register_source(const char* log, const char* source, DWORD type, const std::string& files) {
    HKEY root = nullptr;
    ASSERT_EQ(nt_reg_open_machine_root(machine_.name, HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
    std::string path =
        std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + log + "\\" + source;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "EventMessageFile", 0, type,
                             reinterpret_cast<const BYTE*>(files.c_str()),
                             static_cast<DWORD>(files.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(root);
  }

  static NtEventRecord event(const char16_t* source, DWORD id, std::vector<std::u16string> s) {
    NtEventRecord r;
    r.source = source;
    r.event_id = id;
    r.strings = std::move(s);
    return r;
  }

  TempNetwork net_{"LOCALPC"};
  NtMachineRef machine_;
  std::string dir_, name_;
};

TEST_F(EventMessageTest, MessagesComeFromTheSourcesMessageFile) {
  // The file is named through an environment reference, as services do.
  register_source("Application", "Svc", REG_EXPAND_SZ, "%EVTEST_DIR%/" + name_);
  EXPECT_EQ(nt_event_description(machine_, "Application",
                                 event(u"Svc", 0xC0008000, {u"5", u"CreateFile(x)"})),
            "API-call returned error 5\r\nCall=CreateFile(x) ");
  EXPECT_EQ(nt_event_description(machine_, "Application", event(u"svc", 0x40000001, {u"Spooler"})),
            "The service Spooler has started.\r\n");
  // Strings the message does not use are left out; those it lacks stay
  // as references.
  EXPECT_EQ(nt_event_description(machine_, "Application",
                                 event(u"Svc", 0x40000001, {u"A", u"unused"})),
            "The service A has started.\r\n");
  EXPECT_EQ(nt_event_description(machine_, "Application", event(u"Svc", 0xC0008000, {u"5"})),
            "API-call returned error 5\r\nCall=%2 ");
  EXPECT_EQ(nt_event_description(machine_, "Application", event(u"Svc", 0xC0008000, {})),
            "API-call returned error %1\r\nCall=%2 ");
}

TEST_F(EventMessageTest, MissingTextsFallBackToTheInsertionStrings) {
  register_source("Application", "Svc", REG_EXPAND_SZ, "%EVTEST_DIR%/" + name_);
  // An identifier the table lacks: the low 16 bits are shown.
  EXPECT_EQ(nt_event_description(machine_, "Application",
                                 event(u"Svc", 0xC0000002, {u"one", u"two"})),
            "The description for Event ID ( 2 ) in Source ( Svc ) could not be found. It "
            "contains the following insertion string(s): one, two.");
  // A source not registered, or registered under another log.
  EXPECT_EQ(nt_event_description(machine_, "System", event(u"Svc", 0x40000001, {})),
            "The description for Event ID ( 1 ) in Source ( Svc ) could not be found. It "
            "contains the following insertion string(s): .");
  EXPECT_EQ(nt_event_description(machine_, "Application", event(u"Nobody", 7, {u"x"})),
            "The description for Event ID ( 7 ) in Source ( Nobody ) could not be found. It "
            "contains the following insertion string(s): x.");
  // A file that does not exist.
  register_source("Application", "Gone", REG_SZ, dir_ + "/no-such-program");
  EXPECT_EQ(nt_event_description(machine_, "Application", event(u"Gone", 0x40000001, {u"x"})),
            "The description for Event ID ( 1 ) in Source ( Gone ) could not be found. It "
            "contains the following insertion string(s): x.");
  // Several files: the first that has the message wins.
  register_source("System", "Multi", REG_EXPAND_SZ,
                  dir_ + "/no-such-program;%EVTEST_DIR%/" + name_);
  EXPECT_EQ(nt_event_description(machine_, "System", event(u"Multi", 0x40000001, {u"M"})),
            "The service M has started.\r\n");
  // Without a log (a backup file's event) the source is found under any.
  EXPECT_EQ(nt_event_description(machine_, "", event(u"Multi", 0x40000001, {u"N"})),
            "The service N has started.\r\n");
  EXPECT_EQ(nt_event_description(machine_, "", event(u"Svc", 0x40000001, {u"S"})),
            "The service S has started.\r\n");
}

TEST(EventTypeName, AsTheViewerShowsThem) {
  EXPECT_EQ(nt_event_type_name(EVENTLOG_ERROR_TYPE), "Error");
  EXPECT_EQ(nt_event_type_name(EVENTLOG_WARNING_TYPE), "Warning");
  EXPECT_EQ(nt_event_type_name(EVENTLOG_INFORMATION_TYPE), "Information");
  EXPECT_EQ(nt_event_type_name(EVENTLOG_AUDIT_SUCCESS), "Success Audit");
  EXPECT_EQ(nt_event_type_name(EVENTLOG_AUDIT_FAILURE), "Failure Audit");
  EXPECT_EQ(nt_event_type_name(EVENTLOG_SUCCESS), "Success");
  EXPECT_EQ(nt_event_type_name(3), "Type 3");
}

}  // namespace
