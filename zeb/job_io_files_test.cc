#include "zeb/job_io_files.h"

#include <gtest/gtest.h>

namespace {

TEST(JobIoFiles, NamesWithOrWithoutTrailingBackslash) {
  JobIoFiles a = job_io_files("C:\\TEMP", "backup");
  JobIoFiles b = job_io_files("C:\\TEMP\\", "backup");
  EXPECT_EQ(a.in, "C:\\TEMP\\backup.IN");
  EXPECT_EQ(a.out, "C:\\TEMP\\backup.OUT");
  EXPECT_EQ(a.err, "C:\\TEMP\\backup.ERR");
  EXPECT_EQ(a.in, b.in);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.err, b.err);
  // A forward slash is a separator as well; no second one is added.
  EXPECT_EQ(job_io_files("D:/jobs/", "x").out, "D:/jobs/x.OUT");
  EXPECT_EQ(job_io_files("\\\\SRV\\share", "x").err, "\\\\SRV\\share\\x.ERR");
  // An empty directory is the root of the current drive.
  EXPECT_EQ(job_io_files("", "x").in, "\\x.IN");
  EXPECT_EQ(zeb_dir_with_backslash("C:\\"), "C:\\");
  EXPECT_EQ(job_io_file("C:\\TEMP", "job", JOB_CLEAN_KINDS[0]), "C:\\TEMP\\job.ERR");
  EXPECT_STREQ(JOB_CLEAN_KINDS[1], "OUT");
  EXPECT_STREQ(JOB_CLEAN_KINDS[2], "IN");
}

TEST(JobIoFiles, RunnerLines) {
  SYSTEMTIME t{};
  t.wYear = 2024;
  t.wMonth = 3;
  t.wDay = 5;
  t.wHour = 7;
  t.wMinute = 8;
  t.wSecond = 9;
  t.wMilliseconds = 42;
  EXPECT_EQ(job_begin_line(t, "backup.cmd /all") + job_start_outcome(true, 0),
            "BEGIN 2024-03-05 07:08:09 ***** backup.cmd /all ...success\r\n");
  EXPECT_EQ(job_begin_line(t, "missing.exe") + job_start_outcome(false, 2),
            "BEGIN 2024-03-05 07:08:09 ***** missing.exe ...error=2\r\n");
  EXPECT_EQ(job_end_line(t, "backup.cmd /all", 1067),
            "END of Job at 2024-03-05 07:08:09 ***** backup.cmd /all (EXIT=1067)\r\n");
  EXPECT_EQ(job_end_line(t, "x", -1), "END of Job at 2024-03-05 07:08:09 ***** x (EXIT=-1)\r\n");
  EXPECT_EQ(job_logon_failure_line(), "(logon failure)\r\n");
  EXPECT_EQ(job_err_stamp(t), "2024-03-05 07:08:09.042: ");
}

}  // namespace
