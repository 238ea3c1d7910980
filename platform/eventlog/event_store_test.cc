#include "platform/eventlog/event_store.h"

#include <gtest/gtest.h>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"

namespace {

class EventStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nt_open_machine("", &machine_), ERROR_SUCCESS); }

  DWORD append(const char16_t* text) {
    NtEventRecord r;
    r.source = u"S";
    r.strings = {text};
    EXPECT_EQ(nt_event_store_append(*machine_.store, "Application", &r), ERROR_SUCCESS);
    return r.record_number;
  }

  std::vector<std::u16string> texts() {
    std::vector<std::string> records;
    NtEventLogState state;
    EXPECT_EQ(nt_event_store_snapshot(*machine_.store, "Application", &records, &state),
              ERROR_SUCCESS);
    std::vector<std::u16string> out;
    for (const std::string& bytes : records) {
      NtEventRecord r;
      EXPECT_TRUE(nt_event_record_parse(bytes, false, &r, nullptr));
      out.push_back(r.strings.at(0));
    }
    return out;
  }

  TempNetwork net_{"LOCALPC"};
  NtMachineRef machine_;
};

TEST_F(EventStoreTest, ClearAfterABackupKeepsWhatCameLater) {
  append(u"a");
  append(u"b");
  std::vector<std::string> records;
  NtEventLogState seen;
  ASSERT_EQ(nt_event_store_snapshot(*machine_.store, "Application", &records, &seen),
            ERROR_SUCCESS);
  EXPECT_EQ(seen.newest, 2u);
  EXPECT_EQ(seen.count, 2u);
  // Written after the backup was taken, before the clear.
  EXPECT_EQ(append(u"c"), 3u);
  ASSERT_EQ(nt_event_store_clear_through(*machine_.store, "Application", seen.newest,
                                         seen.generation),
            ERROR_SUCCESS);
  EXPECT_EQ(texts(), std::vector<std::u16string>{u"c"});
  NtEventLogState now;
  ASSERT_EQ(nt_event_store_state(*machine_.store, "Application", &now), ERROR_SUCCESS);
  EXPECT_EQ(now.oldest, 3u);  // numbers go on while records remain
  EXPECT_EQ(now.generation, seen.generation + 1);
  EXPECT_EQ(append(u"d"), 4u);

  // Cleared by someone else in between: the records there now are newer
  // and stay.
  ASSERT_EQ(nt_event_store_snapshot(*machine_.store, "Application", &records, &seen),
            ERROR_SUCCESS);
  ASSERT_EQ(nt_event_store_clear(*machine_.store, "Application"), ERROR_SUCCESS);
  EXPECT_EQ(append(u"e"), 1u);
  EXPECT_EQ(append(u"f"), 2u);
  ASSERT_EQ(nt_event_store_clear_through(*machine_.store, "Application", seen.newest,
                                         seen.generation),
            ERROR_SUCCESS);
  EXPECT_EQ(texts(), (std::vector<std::u16string>{u"e", u"f"}));
}

TEST_F(EventStoreTest, LogNames) {
  EXPECT_EQ(nt_event_log_name("system"), "System");
  EXPECT_EQ(nt_event_log_name("SECURITY"), "Security");
  EXPECT_EQ(nt_event_log_name("Application"), "Application");
  EXPECT_EQ(nt_event_log_name("Systems"), "Application");
  EXPECT_EQ(nt_event_log_name(""), "Application");
}

}  // namespace
