#include "zeb/job_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/nls/nls_test_env.h"

namespace {

uint32_t dword_at(const BYTE* bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint64_t qword_at(const BYTE* bytes, size_t offset) {
  return static_cast<uint64_t>(dword_at(bytes, offset)) |
         static_cast<uint64_t>(dword_at(bytes, offset + 4)) << 32;
}

std::string text_at(const BYTE* bytes, size_t offset, size_t size) {
  const char* p = reinterpret_cast<const char*>(bytes + offset);
  return std::string(p, strnlen(p, size));
}

TEST(JobRecord, EveryFieldLandsAtItsOffsetLittleEndian) {
  JobRecord rec;
  job_record_init(&rec);
  job_set_command(&rec, "backup.cmd /full");
  job_set_creator(&rec, "alice");
  job_set_modified_by(&rec, "bob");
  rec.account_index = 0x01020304;
  rec.last_exit_code = -2;
  rec.day_mask = 0x80000002;
  rec.weekday_mask = 0x3E;
  rec.hour_mask = 0x0003FF00;
  job_set_time(&rec.modified_at, 0x1122334455667788ull);
  job_set_time(&rec.last_run, 0x0102030405060708ull);
  job_set_time(&rec.next_run, 0x01D0000000000001ull);
  rec.interval = 1440;
  rec.flags = JOB_PAUSED | JOB_AUTOSTART;
  rec.process_id = 4242;
  rec.stop_event = 0x1C;
  job_set_name(&rec, "backup");

  BYTE b[JOB_RECORD_SIZE];
  job_record_encode(rec, b);
  EXPECT_EQ(text_at(b, 0, 256), "backup.cmd /full");
  EXPECT_EQ(text_at(b, 256, 16), "alice");
  EXPECT_EQ(text_at(b, 272, 16), "bob");
  EXPECT_EQ(b[288], 0x04);  // low byte first
  EXPECT_EQ(dword_at(b, 288), 0x01020304u);
  EXPECT_EQ(dword_at(b, 292), 0xFFFFFFFEu);
  EXPECT_EQ(dword_at(b, 296), 0x80000002u);
  EXPECT_EQ(dword_at(b, 300), 0x3Eu);
  EXPECT_EQ(dword_at(b, 304), 0x0003FF00u);
  EXPECT_EQ(b[308], 0x88);
  EXPECT_EQ(qword_at(b, 308), 0x1122334455667788ull);
  EXPECT_EQ(qword_at(b, 316), 0x0102030405060708ull);
  EXPECT_EQ(qword_at(b, 324), 0x01D0000000000001ull);
  EXPECT_EQ(dword_at(b, 332), 1440u);
  EXPECT_EQ(dword_at(b, 336), 0x11u);
  EXPECT_EQ(dword_at(b, 340), 4242u);
  EXPECT_EQ(dword_at(b, 344), 0x1Cu);
  EXPECT_EQ(text_at(b, 348, 32), "backup");
  // Everything after a text's terminator is zero: no stale bytes travel.
  for (size_t i = 16; i < 256; ++i) ASSERT_EQ(b[i], 0) << i;
  for (size_t i = 348 + 6; i < JOB_RECORD_SIZE; ++i) ASSERT_EQ(b[i], 0) << i;

  JobRecord back;
  ASSERT_TRUE(job_record_decode(b, sizeof b, &back));
  EXPECT_EQ(memcmp(&back, &rec, sizeof rec), 0);
}

TEST(JobRecord, NewRecordsAllowEveryTimeAndHaveNoResult) {
  JobRecord rec;
  memset(&rec, 0x5A, sizeof rec);
  job_record_init(&rec);
  EXPECT_EQ(rec.last_exit_code, -1);
  EXPECT_EQ(rec.day_mask, 0xFFFFFFFEu);
  EXPECT_EQ(rec.weekday_mask, 0x7Fu);
  EXPECT_EQ(rec.hour_mask, 0x00FFFFFFu);
  EXPECT_EQ(rec.flags, 0u);
  EXPECT_EQ(job_time(rec.next_run), 0u);
  EXPECT_TRUE(job_is_free(rec));
  // A free slot is free whatever else it holds.
  job_set_command(&rec, "still here");
  rec.flags = JOB_RUNNING;
  EXPECT_TRUE(job_is_free(rec));
  job_set_name(&rec, "x");
  EXPECT_FALSE(job_is_free(rec));
}

TEST(JobRecord, TextsAreCutAtTheirLimits) {
  NlsEnv env;
  env.pages("1252", "850");
  JobRecord rec;
  job_record_init(&rec);
  rec.account_index = 7;
  std::string long_user(40, 'u');
  job_set_creator(&rec, long_user.c_str());
  job_set_modified_by(&rec, "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(job_creator(rec), std::string(15, 'u'));
  EXPECT_EQ(job_modified_by(rec), "abcdefghijklmno");
  EXPECT_EQ(rec.creator[15], '\0');
  // The user names never spill into the account index.
  EXPECT_EQ(rec.account_index, 7u);

  std::string command(300, 'c');
  job_set_command(&rec, command.c_str());
  EXPECT_EQ(job_command(rec).size(), 255u);
  EXPECT_EQ(rec.command[255], '\0');
  EXPECT_EQ(job_creator(rec), std::string(15, 'u'));

  job_set_name(&rec, std::string(31, 'n').c_str());
  EXPECT_EQ(job_name(rec), std::string(31, 'n'));
  job_set_name(&rec, std::string(32, 'm').c_str());
  EXPECT_EQ(job_name(rec), std::string(31, 'm'));
  job_set_name(&rec, nullptr);
  EXPECT_TRUE(job_is_free(rec));
}

TEST(JobRecord, CutsNeverSplitAUtf8Character) {
  NlsEnv env;
  env.pages("65001", "65001");
  JobRecord rec;
  job_record_init(&rec);
  // 14 ASCII bytes, then a two-byte character that would end at byte 16.
  job_set_creator(&rec, "abcdefghijklmn\xC3\xA9z");
  EXPECT_EQ(job_creator(rec), "abcdefghijklmn");
  // One byte less and it fits whole.
  job_set_creator(&rec, "abcdefghijklm\xC3\xA9z");
  EXPECT_EQ(job_creator(rec), "abcdefghijklm\xC3\xA9");
  // A three-byte character across the cut of the name field.
  job_set_name(&rec, (std::string(30, 'a') + "\xE2\x82\xAC").c_str());
  EXPECT_EQ(job_name(rec), std::string(30, 'a'));
}

TEST(JobRecord, DecodingChecksSizeAndTerminatesForeignFields) {
  BYTE raw[JOB_RECORD_SIZE + 1];
  memset(raw, 'A', sizeof raw);
  JobRecord rec;
  EXPECT_FALSE(job_record_decode(raw, JOB_RECORD_SIZE - 1, &rec));
  EXPECT_FALSE(job_record_decode(raw, JOB_RECORD_SIZE + 1, &rec));
  EXPECT_FALSE(job_record_decode(nullptr, JOB_RECORD_SIZE, &rec));
  ASSERT_TRUE(job_record_decode(raw, JOB_RECORD_SIZE, &rec));
  // Fields without their NUL are closed in their own last byte.
  EXPECT_EQ(job_command(rec), std::string(255, 'A'));
  EXPECT_EQ(job_creator(rec), std::string(15, 'A'));
  EXPECT_EQ(job_modified_by(rec), std::string(15, 'A'));
  EXPECT_EQ(job_name(rec), std::string(31, 'A'));
  EXPECT_EQ(rec.account_index, 0x41414141u);
}

TEST(JobRecord, StateWordsAndCharacters) {
  EXPECT_STREQ(job_state_word(0), "IDLE");
  EXPECT_EQ(job_state_char(0), ' ');
  EXPECT_STREQ(job_state_word(JOB_PAUSED), "PAUSED");
  EXPECT_EQ(job_state_char(JOB_PAUSED), '-');
  EXPECT_STREQ(job_state_word(JOB_RUNNING), "RUNNING");
  EXPECT_EQ(job_state_char(JOB_RUNNING), '*');
  // Running wins over paused; other bits do not count.
  EXPECT_STREQ(job_state_word(JOB_RUNNING | JOB_PAUSED), "RUNNING");
  EXPECT_EQ(job_state_char(JOB_RUNNING | JOB_PAUSED), '*');
  EXPECT_STREQ(job_state_word(JOB_OWN_DESKTOP | JOB_NO_DEBUG | JOB_AUTOSTART), "IDLE");
}

TEST(JobRecord, RunStartAndEndTouchOnlyTheRunFields) {
  JobRecord rec;
  job_record_init(&rec);
  rec.flags = JOB_AUTOSTART;
  rec.last_exit_code = 3;
  job_mark_started(&rec, 77, 0x2C, 0x01DA000000000000ull);
  EXPECT_EQ(rec.process_id, 77u);
  EXPECT_EQ(rec.stop_event, 0x2Cu);
  EXPECT_EQ(rec.flags, JOB_AUTOSTART | JOB_RUNNING);
  EXPECT_EQ(rec.last_exit_code, -1);
  EXPECT_EQ(job_time(rec.last_run), 0x01DA000000000000ull);

  job_mark_ended(&rec, 0);
  EXPECT_EQ(rec.process_id, 0u);
  EXPECT_EQ(rec.stop_event, 0u);
  EXPECT_EQ(rec.flags, JOB_AUTOSTART);
  EXPECT_EQ(rec.last_exit_code, 0);

  // An end that was not seen (still active) keeps the stored result.
  job_mark_started(&rec, 78, 0x30, 0x01DA000000000001ull);
  job_mark_ended(&rec, 5);
  EXPECT_EQ(rec.last_exit_code, 5);
  job_mark_started(&rec, 79, 0x34, 0x01DA000000000002ull);
  job_mark_ended(&rec, JOB_STILL_ACTIVE);
  EXPECT_EQ(rec.last_exit_code, -1);
  EXPECT_EQ(rec.flags & JOB_RUNNING, 0u);

  EXPECT_TRUE(job_autostarts(rec));
  rec.flags |= JOB_PAUSED;
  EXPECT_FALSE(job_autostarts(rec));
}

}  // namespace
