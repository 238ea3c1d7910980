#include "platform/eventlog/evt_file.h"

#include <gtest/gtest.h>

#include "platform/eventlog/event_record.h"

namespace {

DWORD get32(const std::string& b, size_t at) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

void put32(std::string* b, size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string record(DWORD number, const std::u16string& text) {
  NtEventRecord r;
  r.record_number = number;
  r.source = u"Test";
  r.computer = u"PC";
  r.event_type = EVENTLOG_INFORMATION_TYPE;
  r.strings = {text};
  return nt_event_record_layout(r, false);
}

TEST(EvtFile, HeaderRecordsAndEndRecordAreLaidOutInOrder) {
  std::vector<std::string> records = {record(4, u"four"), record(5, u"five!")};
  std::string file = nt_evt_file_build(records, 6);
  size_t body = records[0].size() + records[1].size();
  ASSERT_EQ(file.size(), 48 + body + 40);
  // Header.
  EXPECT_EQ(get32(file, 0), 0x30u);
  EXPECT_EQ(file.substr(4, 4), "LfLe");
  EXPECT_EQ(get32(file, 8), 1u);
  EXPECT_EQ(get32(file, 12), 1u);
  EXPECT_EQ(get32(file, 16), 0x30u);        // first record
  EXPECT_EQ(get32(file, 20), 48 + body);    // end record
  EXPECT_EQ(get32(file, 24), 6u);           // next number
  EXPECT_EQ(get32(file, 28), 4u);           // oldest
  EXPECT_EQ(get32(file, 32), 0x80000u);     // size limit
  EXPECT_EQ(get32(file, 36), 0u);           // clean
  EXPECT_EQ(get32(file, 44), 0x30u);
  // Records as given.
  EXPECT_EQ(file.substr(48, records[0].size()), records[0]);
  EXPECT_EQ(file.substr(48 + records[0].size(), records[1].size()), records[1]);
  // End record.
  size_t end = 48 + body;
  EXPECT_EQ(get32(file, end), 0x28u);
  EXPECT_EQ(get32(file, end + 4), 0x11111111u);
  EXPECT_EQ(get32(file, end + 16), 0x44444444u);
  EXPECT_EQ(get32(file, end + 20), 0x30u);
  EXPECT_EQ(get32(file, end + 24), end);
  EXPECT_EQ(get32(file, end + 28), 6u);
  EXPECT_EQ(get32(file, end + 32), 4u);
  EXPECT_EQ(get32(file, end + 36), 0x28u);

  std::vector<std::string> back;
  ASSERT_TRUE(nt_evt_file_parse(file, &back));
  EXPECT_EQ(back, records);
}

TEST(EvtFile, EmptyAndLargeLogs) {
  std::string empty = nt_evt_file_build({}, 1);
  EXPECT_EQ(empty.size(), 88u);
  EXPECT_EQ(get32(empty, 28), 0u);  // no oldest record
  std::vector<std::string> back = {"stale"};
  ASSERT_TRUE(nt_evt_file_parse(empty, &back));
  EXPECT_TRUE(back.empty());

  // Beyond the default limit the size limit grows in 64 KB steps.
  std::vector<std::string> many;
  for (DWORD i = 1; i <= 300; ++i) many.push_back(record(i, std::u16string(1000, u'x')));
  std::string big = nt_evt_file_build(many, 301);
  ASSERT_GT(big.size(), 0x80000u);
  EXPECT_EQ(get32(big, 32) % 0x10000, 0u);
  EXPECT_GE(get32(big, 32), big.size());
  ASSERT_TRUE(nt_evt_file_parse(big, &back));
  EXPECT_EQ(back.size(), 300u);
}

TEST(EvtFile, ForeignAndDamagedFilesAreRefused) {
  std::string good = nt_evt_file_build({record(1, u"one"), record(2, u"two")}, 3);
  std::vector<std::string> out;
  auto refused = [&](const std::string& f) { return !nt_evt_file_parse(f, &out); };
  EXPECT_FALSE(refused(good));
  EXPECT_TRUE(refused(""));
  EXPECT_TRUE(refused("not an event log file at all, just some text......"));
  EXPECT_TRUE(refused(good.substr(0, good.size() - 1)));  // end record cut
  std::string f = good;
  f[5] = 'X';
  EXPECT_TRUE(refused(f));
  f = good;
  put32(&f, 20, get32(good, 20) - 4);  // end offset inside a record
  EXPECT_TRUE(refused(f));
  f = good;
  put32(&f, 16, 0x34);  // start inside the first record
  EXPECT_TRUE(refused(f));
  f = good;
  put32(&f, 16, 0xFFFFFFFF);
  EXPECT_TRUE(refused(f));
  f = good;
  f[48 + 4] = 'x';  // a record's signature
  EXPECT_TRUE(refused(f));
  f = good;
  put32(&f, 8, 2);  // major version
  EXPECT_TRUE(refused(f));
}

}  // namespace
