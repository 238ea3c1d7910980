#include "platform/pipes/anonymous_pipe.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"
#include "platform/process/process_test_util.h"

namespace {

TEST(AnonymousPipes, ReadsWhatIsThereAndBreaksCleanly) {
  HANDLE r = nullptr, w = nullptr;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 1024));
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(w, "abc", 3, &done, nullptr));
  ASSERT_TRUE(WriteFile(w, "de", 2, &done, nullptr));
  char buffer[16];
  // A read takes what is there without waiting to fill the buffer.
  ASSERT_TRUE(ReadFile(r, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "abcde");
  // Wrong direction.
  SetLastError(0);
  EXPECT_FALSE(WriteFile(r, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(0);
  EXPECT_FALSE(ReadFile(w, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Writer gone: what is left is read, then the pipe is broken.
  ASSERT_TRUE(WriteFile(w, "tail", 4, &done, nullptr));
  CloseHandle(w);
  ASSERT_TRUE(ReadFile(r, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "tail");
  SetLastError(0);
  EXPECT_FALSE(ReadFile(r, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
  CloseHandle(r);

  // Reader gone: the write fails, and the process lives on (no SIGPIPE).
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
  CloseHandle(r);
  SetLastError(0);
  EXPECT_FALSE(WriteFile(w, "lost", 4, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NO_DATA);
  CloseHandle(w);

  SetLastError(0);
  EXPECT_FALSE(CreatePipe(nullptr, &w, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(AnonymousPipes, ChildWritesItsOutputIntoThePipe) {
  TempNetwork network;
  // Large output crosses while the parent reads: nothing blocks or is lost.
  ChildResult r = run_child("/bin/sh -c \"i=0; while [ $i -lt 3000 ]; do echo line-$i; i=$((i+1)); done\"");
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(r.out.substr(0, 7), "line-0\n");
  EXPECT_EQ(r.out.size(), 3000u * 7 + (3000 - 10) + (3000 - 100) + (3000 - 1000));
  EXPECT_NE(r.out.find("line-2999\n"), std::string::npos);
}

}  // namespace
