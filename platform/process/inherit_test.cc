// What travels from a parent to its child in the environment, and the
// records of process ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/kernel/handle.h"
#include "platform/network/network_test_env.h"
#include "platform/process/exit_records.h"
#include "platform/process/spawn.h"
#include "platform/process/startup_info.h"

namespace {

TEST(InheritedHandles, EntriesRoundTripAndCountOnlyForTheirProcess) {
  std::vector<NtSpawnHandle> handles(3);
  handles[0] = {4, "event", 17, "m"};
  handles[1] = {12, "process", 18, "4242.99"};
  handles[2] = {16, "~file", 19, "c0000000"};
  std::string text = "77:" + nt_handles_text(handles);
  EXPECT_EQ(text, "77:4=event:17:m,12=process:18:4242.99,16=~file:19:c0000000");
  std::vector<NtInheritedEntry> entries = nt_parse_inherited_handles(text.c_str(), 77);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].handle, 4u);
  EXPECT_EQ(entries[0].kind, "event");
  EXPECT_EQ(entries[0].fd, 17);
  EXPECT_EQ(entries[0].extra, "m");
  EXPECT_TRUE(entries[0].inheritable);
  EXPECT_EQ(entries[1].extra, "4242.99");
  EXPECT_EQ(entries[2].kind, "file");
  EXPECT_FALSE(entries[2].inheritable);
  EXPECT_TRUE(nt_parse_inherited_handles(text.c_str(), 78).empty());
  EXPECT_TRUE(nt_parse_inherited_handles(nullptr, 77).empty());
  EXPECT_TRUE(nt_parse_inherited_handles("", 77).empty());
  EXPECT_TRUE(nt_parse_inherited_handles("x:4=event:3", 77).empty());

  // Malformed entries are skipped, the good ones kept.
  entries = nt_parse_inherited_handles(
      "5:6=event:3,0=event:3,8=:3,8=event,8=event:x,=event:3,8=~:3,20=pipe:9,65540=event:3", 5);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].handle, 20u);
  EXPECT_EQ(entries[0].kind, "pipe");
}

TEST(StartupText, FieldsAndStrings) {
  STARTUPINFOA info{};
  info.cb = sizeof info;
  info.lpDesktop = const_cast<char*>("WinSta0\\job:1,2");
  info.lpTitle = const_cast<char*>("");
  info.dwFlags = 0x101;
  info.wShowWindow = 7;
  info.dwX = 1;
  info.dwYSize = 0xFFFFFFFF;
  std::string text = "321:" + nt_startup_text(info);
  NtStartupFields f;
  ASSERT_TRUE(nt_parse_startup(text.c_str(), 321, &f));
  EXPECT_EQ(f.flags, 0x101u);
  EXPECT_EQ(f.show_window, 7);
  EXPECT_EQ(f.x, 1u);
  EXPECT_EQ(f.y_size, 0xFFFFFFFFu);
  EXPECT_TRUE(f.has_desktop);
  EXPECT_EQ(f.desktop, "WinSta0\\job:1,2");
  EXPECT_TRUE(f.has_title);
  EXPECT_EQ(f.title, "");
  EXPECT_FALSE(nt_parse_startup(text.c_str(), 322, &f));

  info.lpDesktop = nullptr;
  info.lpTitle = nullptr;
  text = "5:" + nt_startup_text(info);
  ASSERT_TRUE(nt_parse_startup(text.c_str(), 5, &f));
  EXPECT_FALSE(f.has_desktop);
  EXPECT_FALSE(f.has_title);
  // Lengths that do not match the text, or missing fields, are refused.
  EXPECT_FALSE(nt_parse_startup("5:0,0,0,0,0,0,0,0,0,3,-1:ab", 5, &f));
  EXPECT_FALSE(nt_parse_startup("5:0,0,0,0,0,0,0,0,0,-1:", 5, &f));
  EXPECT_FALSE(nt_parse_startup("5:0,0,0,0,0,0,0,0,0,-2,0:", 5, &f));
}

TEST(EnvironmentBlock, Entries) {
  const char block[] = "A=1\0B=\0=C:=C:\\x\0";
  std::vector<std::string> entries = nt_environment_block_entries(block);
  EXPECT_EQ(entries, (std::vector<std::string>{"A=1", "B=", "=C:=C:\\x"}));
  EXPECT_TRUE(nt_environment_block_entries("\0").empty());
  EXPECT_TRUE(nt_environment_block_entries(nullptr).empty());
}

TEST(ProcessRecords, LinesPerProcessAndStart) {
  TempNetwork network;
  NtProcessRecord record;
  EXPECT_FALSE(nt_read_process_record(99999, 1, &record));
  ASSERT_TRUE(nt_record_process_line(99999, 1, "exit", 70000));
  ASSERT_TRUE(nt_record_process_line(99999, 1, "terminate", 5));
  ASSERT_TRUE(nt_record_process_line(99999, 1, "terminate", 0xFFFFFFFF));
  ASSERT_TRUE(nt_read_process_record(99999, 1, &record));
  EXPECT_TRUE(record.exit_set);
  EXPECT_EQ(record.exit_code, 70000u);
  EXPECT_TRUE(record.terminated);
  EXPECT_EQ(record.terminate_code, 0xFFFFFFFFu);  // the last line counts
  EXPECT_FALSE(record.final_set);
  // Another start time is another process.
  EXPECT_FALSE(nt_read_process_record(99999, 2, &record));
  EXPECT_EQ(nt_process_records_dir(), network.root() + "/run/processes");

  EXPECT_NE(nt_process_start_time(getpid()), 0u);
  EXPECT_EQ(nt_process_start_time(0x7FFFFFF0), 0u);
  int status;
  EXPECT_FALSE(nt_process_zombie_status(getpid(), nt_process_start_time(getpid()), &status));
}

}  // namespace
