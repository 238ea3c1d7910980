#include "patch/history_file.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "patch/patch_test_env.h"
#include "platform/kernel/error.h"

namespace {

using HistoryFileTest = PatchTest;

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
  SYSTEMTIME t{};
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  t.wMilliseconds = ms;
  return t;
}

TEST_F(HistoryFileTest, OnlyAStarMakesAPatchDone) {
  std::string file = write("FIXAR.FXH",
                           "[Patches]\r\n"
                           "A.FXA=*SUCCESS: 06.12.2026 13:45:01.123 \r\n"
                           "B.FXA=*INSTALLED\r\n"
                           "C.FXA=-DEINSTALLED\r\n"
                           "D.FXA=-MARKED_DEINSTALLED\r\n"
                           "E.FXA=-\r\n"
                           "F.FXA=-FAILURE: 06.12.2026 13:45:01.123 timeout (5 sec) for patch F\r\n"
                           "G.FXA= *INSTALLED\r\n"
                           "H.FXA=\r\n"
                           "[Other]\r\nI.FXA=*INSTALLED\r\n");
  const char* f = file.c_str();
  EXPECT_TRUE(patch_done(f, "A.FXA"));
  EXPECT_TRUE(patch_done(f, "b.fxa"));  // names ignore case
  EXPECT_FALSE(patch_done(f, "C.FXA"));
  EXPECT_FALSE(patch_done(f, "D.FXA"));
  EXPECT_FALSE(patch_done(f, "E.FXA"));
  EXPECT_FALSE(patch_done(f, "F.FXA"));
  EXPECT_TRUE(patch_done(f, "G.FXA"));  // the reader trims the value
  EXPECT_FALSE(patch_done(f, "H.FXA"));
  EXPECT_FALSE(patch_done(f, "I.FXA"));  // only section Patches counts
  EXPECT_FALSE(patch_done(f, "UNKNOWN.FXA"));
  EXPECT_FALSE(patch_done(path("nofile.fxh").c_str(), "A.FXA"));
  EXPECT_FALSE(patch_done(nullptr, "A.FXA"));
  EXPECT_FALSE(patch_done(f, ""));

  // Readers see the first 31 characters only.
  EXPECT_EQ(read_history_entry(f, "F.FXA"), "-FAILURE: 06.12.2026 13:45:01.1");
  EXPECT_EQ(read_history_entry(f, "F.FXA").size(), HISTORY_ENTRY_READ_MAX);
  EXPECT_EQ(read_history_entry(f, "B.FXA"), "*INSTALLED");
  EXPECT_EQ(read_history_entry(f, "H.FXA"), "");
}

TEST_F(HistoryFileTest, StampsHaveTheirExactLayout) {
  EXPECT_EQ(history_stamp(true, at(2026, 12, 6, 13, 45, 1, 123)),
            "*SUCCESS: 06.12.2026 13:45:01.123 ");
  EXPECT_EQ(history_stamp(false, at(2026, 1, 2, 3, 4, 5, 6)), "-FAILURE: 02.01.2026 03:04:05.006 ");
  EXPECT_EQ(history_stamp(false, at(99, 10, 31, 23, 59, 59, 999)),
            "-FAILURE: 31.10.0099 23:59:59.999 ");

  SYSTEMTIME t = at(2026, 12, 6, 13, 45, 1, 123);
  EXPECT_EQ(history_outcome_entry(false, "errorlevel (2) mismatch for patch OFFICE1.FXA, step Setup",
                                  t),
            "-FAILURE: 06.12.2026 13:45:01.123 errorlevel (2) mismatch for patch OFFICE1.FXA, "
            "step Setup");
  // A success entry carries no message, even when one is passed.
  EXPECT_EQ(history_outcome_entry(true, "ignored", t), "*SUCCESS: 06.12.2026 13:45:01.123 ");
  // A message is kept to 255 characters.
  std::string entry = history_outcome_entry(false, std::string(300, 'm').c_str(), t);
  EXPECT_EQ(entry, "-FAILURE: 06.12.2026 13:45:01.123 " + std::string(255, 'm'));

  // The entry for now follows the same layout.
  std::string now = history_outcome_entry(true, nullptr);
  EXPECT_TRUE(std::regex_match(
      now, std::regex(R"(\*SUCCESS: \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} )")))
      << now;
}

TEST_F(HistoryFileTest, EntriesAreWrittenAndReadBack) {
  std::string file = path("FIXAR.FXH");
  const char* f = file.c_str();
  ASSERT_TRUE(write_history_probe(f));
  SYSTEMTIME t = at(2026, 12, 6, 13, 45, 1, 123);
  ASSERT_TRUE(write_history_entry(f, "OFFICE1.FXA",
                                  history_outcome_entry(false, "patch OFFICE1.FXA, step Setup: "
                                                               "command missing", t)
                                      .c_str()));
  ASSERT_TRUE(write_history_entry(f, "B.FXA", history_outcome_entry(true, nullptr, t).c_str()));
  EXPECT_FALSE(patch_done(f, "OFFICE1.FXA"));
  EXPECT_TRUE(patch_done(f, "B.FXA"));
  // The file's writer parts sections by a blank line and drops the blank
  // that ends a success stamp; readers trim values anyway.
  EXPECT_EQ(read("FIXAR.FXH"),
            "[Test]\r\nWrite=OK\r\n\r\n"
            "[Patches]\r\n"
            "OFFICE1.FXA=-FAILURE: 06.12.2026 13:45:01.123 patch OFFICE1.FXA, step Setup: "
            "command missing\r\n"
            "B.FXA=*SUCCESS: 06.12.2026 13:45:01.123\r\n");

  // A later entry replaces the earlier one, whatever the case of the name.
  ASSERT_TRUE(write_history_entry(f, "office1.fxa", HISTORY_INSTALLED));
  ASSERT_TRUE(write_history_entry(f, "B.FXA", HISTORY_DEINSTALLED));
  ASSERT_TRUE(write_history_entry(f, "B.FXA_DEINSTALL", HISTORY_PENDING));
  EXPECT_TRUE(patch_done(f, "OFFICE1.FXA"));
  EXPECT_FALSE(patch_done(f, "B.FXA"));
  EXPECT_EQ(read_history_entry(f, "B.FXA_DEINSTALL"), "-");
  ASSERT_TRUE(write_history_probe(f));
  EXPECT_EQ(read("FIXAR.FXH"),
            "[Test]\r\nWrite=OK\r\n\r\n"
            "[Patches]\r\n"
            "OFFICE1.FXA=*INSTALLED\r\n"
            "B.FXA=-DEINSTALLED\r\n"
            "B.FXA_DEINSTALL=-\r\n");
}

TEST_F(HistoryFileTest, WriteFailuresLeaveTheirError) {
  std::string in_missing_dir = path("no/such/dir/FIXAR.FXH");
  SetLastError(0);
  EXPECT_FALSE(write_history_probe(in_missing_dir.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(write_history_entry(path("h.fxh").c_str(), "", "*INSTALLED"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(write_history_probe(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(HistoryFileTest, DefaultHistoryFileLiesInTheSystemRoot) {
  std::string out;
  net_.env().set("SYSTEMROOT", "C:\\WINNT");
  ASSERT_TRUE(default_history_file(&out));
  EXPECT_EQ(out, "C:\\WINNT\\FIXAR.FXH");

  net_.env().set("SYSTEMROOT", nullptr);
  out = "unchanged";
  EXPECT_FALSE(default_history_file(&out));
  EXPECT_EQ(out, "unchanged");
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

  std::string long_root = "C:\\" + std::string(256, 'w');  // 259 characters fit MAX_PATH
  net_.env().set("SYSTEMROOT", long_root.c_str());
  ASSERT_TRUE(default_history_file(&out));
  EXPECT_EQ(out, long_root + "\\FIXAR.FXH");
  long_root += "x";
  net_.env().set("SYSTEMROOT", long_root.c_str());
  EXPECT_FALSE(default_history_file(&out));
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace
