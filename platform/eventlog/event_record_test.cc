#include "platform/eventlog/event_record.h"

#include <gtest/gtest.h>

#include "platform/nls/nls_test_env.h"
#include "platform/security/sid.h"

namespace {

DWORD get32(const std::string& b, size_t at) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

WORD get16(const std::string& b, size_t at) {
  return static_cast<WORD>(static_cast<unsigned char>(b[at]) |
                           (static_cast<unsigned char>(b[at + 1]) << 8));
}

void put32(std::string* b, size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

NtEventRecord sample() {
  NtEventRecord r;
  r.record_number = 7;
  r.time_generated = 0x11223344;
  r.time_written = 0x11223345;
  r.event_id = 0xC0000002;
  r.event_type = EVENTLOG_WARNING_TYPE;
  r.category = 3;
  r.source = u"Src";
  r.computer = u"PC";
  r.sid = nt_sid_make(SECURITY_WORLD_SID_AUTHORITY, {0});
  r.strings = {u"a", u"bc"};
  r.data = std::string("\x01\x02\x03", 3);
  return r;
}

TEST(EventRecord, WideLayoutIsByteExact) {
  std::string b = nt_event_record_layout(sample(), false);
  // 56 fixed, "Src" and "PC" in UTF-16 (14 bytes) padded to 72, SID 12,
  // strings 10, data 3, padded to 100, trailing length.
  ASSERT_EQ(b.size(), 104u);
  EXPECT_EQ(get32(b, 0), 104u);
  EXPECT_EQ(get32(b, 4), 0x654C664Cu);
  EXPECT_EQ(b.substr(4, 4), "LfLe");
  EXPECT_EQ(get32(b, 8), 7u);
  EXPECT_EQ(get32(b, 12), 0x11223344u);
  EXPECT_EQ(get32(b, 16), 0x11223345u);
  EXPECT_EQ(get32(b, 20), 0xC0000002u);
  EXPECT_EQ(get16(b, 24), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(get16(b, 26), 2);  // strings
  EXPECT_EQ(get16(b, 28), 3);  // category
  EXPECT_EQ(get16(b, 30), 0);
  EXPECT_EQ(get32(b, 32), 0u);
  EXPECT_EQ(get32(b, 36), 84u);  // strings
  EXPECT_EQ(get32(b, 40), 12u);  // SID length
  EXPECT_EQ(get32(b, 44), 72u);  // SID
  EXPECT_EQ(get32(b, 48), 3u);   // data length
  EXPECT_EQ(get32(b, 52), 94u);  // data
  EXPECT_EQ(b.substr(56, 14), std::string("S\0r\0c\0\0\0P\0C\0\0\0", 14));
  EXPECT_EQ(b.substr(70, 2), std::string(2, '\0'));
  EXPECT_EQ(nt_sid_to_text(b.substr(72, 12)), "S-1-1-0");
  EXPECT_EQ(b.substr(84, 10), std::string("a\0\0\0b\0c\0\0\0", 10));
  EXPECT_EQ(b.substr(94, 3), "\x01\x02\x03");
  EXPECT_EQ(b.substr(97, 3), std::string(3, '\0'));
  EXPECT_EQ(get32(b, 100), 104u);
}

TEST(EventRecord, AnsiLayoutAndRecordsWithoutSidOrData) {
  NlsEnv env;
  env.pages("65001", "65001");
  std::string a = nt_event_record_layout(sample(), true);
  // "Src\0PC\0" is 7 bytes, padded to 64; SID to 76; "a\0bc\0" to 81; data
  // to 84, already aligned; trailing length.
  ASSERT_EQ(a.size(), 88u);
  EXPECT_EQ(get32(a, 44), 64u);
  EXPECT_EQ(get32(a, 36), 76u);
  EXPECT_EQ(get32(a, 52), 81u);
  EXPECT_EQ(a.substr(56, 7), std::string("Src\0PC\0", 7));
  EXPECT_EQ(a.substr(76, 5), std::string("a\0bc\0", 5));
  EXPECT_EQ(get32(a, 84), 88u);

  NtEventRecord bare;
  bare.source = u"S";
  std::string b = nt_event_record_layout(bare, false);
  // "S\0" + "\0" (empty computer) = 6 bytes, padded to 64; nothing else.
  ASSERT_EQ(b.size(), 68u);
  EXPECT_EQ(get32(b, 40), 0u);
  EXPECT_EQ(get32(b, 44), 64u);  // the SID's place even without one
  EXPECT_EQ(get32(b, 36), 64u);
  EXPECT_EQ(get32(b, 52), 64u);
  EXPECT_EQ(get16(b, 26), 0);
}

TEST(EventRecord, ParseGivesBackWhatWasLaidOut) {
  NlsEnv env;
  env.pages("65001", "65001");
  NtEventRecord original = sample();
  original.strings.push_back(u"gr\u00fc\u00dfe \u20ac");
  original.strings.push_back(u"");
  for (bool ansi : {false, true}) {
    std::string bytes = nt_event_record_layout(original, ansi);
    NtEventRecord back;
    size_t length = 0;
    ASSERT_TRUE(nt_event_record_parse(bytes + "next record", ansi, &back, &length));
    EXPECT_EQ(length, bytes.size());
    EXPECT_EQ(back.record_number, 7u);
    EXPECT_EQ(back.event_id, 0xC0000002u);
    EXPECT_EQ(back.event_type, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(back.category, 3);
    EXPECT_EQ(back.source, u"Src");
    EXPECT_EQ(back.computer, u"PC");
    EXPECT_EQ(back.sid, original.sid);
    EXPECT_EQ(back.strings, original.strings);
    EXPECT_EQ(back.data, original.data);
  }
}

TEST(EventRecord, DamagedRecordsAreRefused) {
  std::string good = nt_event_record_layout(sample(), false);
  NtEventRecord out;
  auto refused = [&](std::string bytes) { return !nt_event_record_parse(bytes, false, &out, nullptr); };
  EXPECT_FALSE(refused(good));
  EXPECT_TRUE(refused(good.substr(0, good.size() - 1)));  // cut short
  EXPECT_TRUE(refused(""));
  std::string b = good;
  b[4] = 'X';  // signature
  EXPECT_TRUE(refused(b));
  b = good;
  put32(&b, 100, 100);  // trailing length disagrees
  EXPECT_TRUE(refused(b));
  b = good;
  put32(&b, 0, 102);  // not a multiple of four
  EXPECT_TRUE(refused(b));
  b = good;
  put32(&b, 48, 200);  // data beyond the record
  EXPECT_TRUE(refused(b));
  b = good;
  put32(&b, 44, 0xFFFFFFF0);  // SID offset that would wrap around
  EXPECT_TRUE(refused(b));
  b = good;
  b[72] = 2;  // SID revision
  EXPECT_TRUE(refused(b));
  b = good;
  put32(&b, 40, 11);  // SID length that disagrees with its count
  EXPECT_TRUE(refused(b));
  b = good;
  b[26] = 5;  // more strings than there are
  EXPECT_TRUE(refused(b));
  b = good;
  for (size_t i = 56; i < 72; ++i) b[i] = 'x';  // names without terminator
  EXPECT_TRUE(refused(b));
}

TEST(EventRecord, TypesKnown) {
  for (WORD t : {0, 1, 2, 4, 8, 16}) EXPECT_TRUE(nt_event_type_valid(t)) << t;
  for (WORD t : {3, 5, 32, 0xFFFF}) EXPECT_FALSE(nt_event_type_valid(t)) << t;
}

}  // namespace
