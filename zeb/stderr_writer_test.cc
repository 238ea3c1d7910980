#include "zeb/stderr_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "platform/files/file_io.h"
#include "platform/kernel/handle.h"
#include "platform/pipes/anonymous_pipe.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"

namespace {

// A host file opened through the platform; its contents read back by path.
class StderrWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    char pattern[] = "/tmp/zeb_err_XXXXXX";
    int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = pattern;
  }
  void TearDown() override { unlink(path_.c_str()); }
  std::string contents() {
    std::string s;
    FILE* f = fopen(path_.c_str(), "rb");
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
  }
  std::string path_;
};

TEST_F(StderrWriterTest, ChunksOfAtMost512BytesEachBehindAStamp) {
  HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE r = nullptr;
  HANDLE w = nullptr;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 4096));
  // 1300 bytes written at once, before the reader starts: the reader must
  // split them.
  std::string data(1300, 'e');
  data[0] = 'A';
  data[1299] = 'Z';
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(w, data.data(), static_cast<DWORD>(data.size()), &done, nullptr));
  CloseHandle(w);
  DWORD chunks = stderr_writer_copy(r, file);
  CloseHandle(r);
  CloseHandle(file);
  EXPECT_GE(chunks, 3u);
  std::string err = contents();
  std::regex stamp("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}: ");
  std::string joined;
  size_t stamps = 0;
  std::sregex_token_iterator it(err.begin(), err.end(), stamp, -1), end;
  ASSERT_NE(it, end);
  EXPECT_EQ(it->str(), "") << "the file begins with a stamp";
  for (++it; it != end; ++it) {
    EXPECT_LE(it->length(), 512);
    EXPECT_GT(it->length(), 0);
    joined += it->str();
    ++stamps;
  }
  EXPECT_EQ(stamps, chunks);
  EXPECT_EQ(joined, data);
}

TEST_F(StderrWriterTest, AppendsBehindWhatIsThereAndEndsOnAClosedPipe) {
  FILE* f = fopen(path_.c_str(), "wb");
  fputs("earlier run\n", f);
  fclose(f);
  HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFilePointer(file, 0, nullptr, FILE_END);
  HANDLE r = nullptr;
  HANDLE w = nullptr;
  ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
  StderrWriterArgs args{r, file};
  HANDLE thread = CreateThread(nullptr, 10240, stderr_writer_thread, &args, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(w, "oops", 4, &done, nullptr));
  // The thread keeps reading until the last write end is gone.
  EXPECT_EQ(WaitForSingleObject(thread, 200), WAIT_TIMEOUT);
  CloseHandle(w);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(r);
  CloseHandle(file);
  std::string err = contents();
  EXPECT_TRUE(std::regex_match(
      err, std::regex("earlier run\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}: oops")))
      << err;
}

}  // namespace
