#include "platform/files/file_copy.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/files/file_io.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

namespace {

class CopyTest : public testing::Test {
 protected:
  void SetUp() override {
    d_ = net_.folder("d");
    net_.map('D', d_);
    net_.folder("d/Src");
    net_.folder("d/Dst");
    net_.write(d_ + "/Src/file.txt", "source data");
  }

  // Entries of a host directory, "." and ".." left out.
  static std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    if (d) closedir(d);
    return out;
  }

  static void make_big(const std::string& host, size_t megabytes) {
    std::string block(1 << 20, 'b');
    FILE* f = fopen(host.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (size_t i = 0; i < megabytes; ++i) fwrite(block.data(), 1, block.size(), f);
    fclose(f);
  }

  FilesTestNetwork net_;
  std::string d_;
};

TEST_F(CopyTest, CopyKeepsDataAttributesAndTimes) {
  const char* src = "D:\\src\\FILE.TXT";
  ASSERT_TRUE(SetFileAttributesA(src, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  HANDLE h = CreateFileA(src, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME c = u64_to_filetime(125000000000000000ull), a = u64_to_filetime(126000000000000007ull),
           w = u64_to_filetime(127000000000001234ull);
  ASSERT_TRUE(SetFileTime(h, &c, &a, &w));
  CloseHandle(h);
  chmod((d_ + "/Src/file.txt").c_str(), 0640);
  ASSERT_EQ(setxattr((d_ + "/Src/file.txt").c_str(), "user.nt.sd", "sd", 2, 0), 0);

  ASSERT_TRUE(CopyFileA(src, "D:\\dst\\Copy.txt", TRUE));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA("D:\\dst\\copy.txt", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(filetime_to_u64(data.ftCreationTime), 125000000000000000ull);
  EXPECT_EQ(filetime_to_u64(data.ftLastAccessTime), 126000000000000007ull);
  EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), 127000000000001234ull);
  EXPECT_EQ(data.nFileSizeLow, 11u);
  EXPECT_EQ(net_.read(d_ + "/Dst/Copy.txt"), "source data");  // reading moves the access time
  struct stat st;
  ASSERT_EQ(stat((d_ + "/Dst/Copy.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // The security descriptor is not copied: a new file gets default security.
  EXPECT_LT(getxattr((d_ + "/Dst/Copy.txt").c_str(), "user.nt.sd", nullptr, 0), 0);

  // Replacing an existing file; a read-only source may be copied.
  ASSERT_TRUE(SetFileAttributesA(src, FILE_ATTRIBUTE_READONLY));
  net_.write(d_ + "/Dst/old.txt", "a much longer old content");
  ASSERT_TRUE(CopyFileA(src, "D:\\Dst\\OLD.TXT", FALSE));
  EXPECT_EQ(net_.read(d_ + "/Dst/old.txt"), "source data");
  EXPECT_EQ(GetFileAttributesA("D:\\Dst\\old.txt"), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(FilesTestNetwork::exists(d_ + "/Dst/OLD.TXT"));
  // Nothing is left beside the targets.
  EXPECT_EQ(entries(d_ + "/Dst").size(), 2u);
}

TEST_F(CopyTest, CopyErrorsAsNtReportsThem) {
  const char* src = "D:\\Src\\file.txt";
  net_.write(d_ + "/Dst/there.txt", "there");
  EXPECT_FALSE(CopyFileA(src, "D:\\Dst\\there.txt", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(net_.read(d_ + "/Dst/there.txt"), "there");
  ASSERT_TRUE(SetFileAttributesA("D:\\Dst\\there.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(CopyFileA(src, "D:\\Dst\\there.txt", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA(src, "D:\\Dst", FALSE));  // a directory as target
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA("D:\\Src", "D:\\Dst\\x", FALSE));  // a directory as source
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA("D:\\Src\\none.txt", "D:\\Dst\\x", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFileA("D:\\none\\x.txt", "D:\\Dst\\x", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CopyFileA(src, "D:\\nodir\\x", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CopyFileA(src, "d:\\SRC\\File.Txt", FALSE));  // onto itself
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(CopyFileA(src, "\\\\WS9\\C$\\x", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_FALSE(CopyFileA(nullptr, "D:\\Dst\\x", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Sharing: a source open without read sharing, a target without write sharing.
  HANDLE h = CreateFileA(src, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(CopyFileA(src, "D:\\Dst\\y", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  net_.write(d_ + "/Dst/busy.txt", "busy");
  h = CreateFileA("D:\\Dst\\busy.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                  nullptr);
  EXPECT_FALSE(CopyFileA(src, "D:\\Dst\\busy.txt", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  EXPECT_EQ(entries(d_ + "/Dst").size(), 2u);
}

TEST_F(CopyTest, CopiesAcrossMachinesThroughShares) {
  ASSERT_TRUE(CopyFileA("D:\\Src\\file.txt", "\\\\SRV1\\ADMIN$\\copied.txt", FALSE));
  EXPECT_EQ(net_.read(net_.drive_c("SRV1") + "/WINNT/copied.txt"), "source data");
  ASSERT_TRUE(CopyFileA("\\\\SRV1\\C$\\WINNT\\copied.txt", "\\\\SRV2\\C$\\back.txt", TRUE));
  EXPECT_EQ(net_.read(net_.drive_c("SRV2") + "/back.txt"), "source data");
}

// Progress routine of the tests: counts calls, answers as told.
struct ProgressLog {
  int calls = 0;
  int64_t last = -1;
  int64_t total = 0;
  DWORD answer_after_first_chunk = PROGRESS_CONTINUE;
  BOOL* cancel = nullptr;
};

DWORD record_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                        DWORD, DWORD reason, HANDLE, HANDLE, void* data) {
  auto* log = static_cast<ProgressLog*>(data);
  ++log->calls;
  log->last = done.QuadPart;
  log->total = total.QuadPart;
  if (reason == CALLBACK_CHUNK_FINISHED) {
    if (log->cancel) *log->cancel = TRUE;
    return log->answer_after_first_chunk;
  }
  return PROGRESS_CONTINUE;
}

TEST_F(CopyTest, ProgressAndCancelLeaveNoPartialFile) {
  make_big(d_ + "/Src/big.bin", 20);
  ProgressLog log;
  ASSERT_TRUE(CopyFileExA("D:\\Src\\big.bin", "D:\\Dst\\big.bin", record_progress, &log,
                          nullptr, 0));
  EXPECT_EQ(log.total, 20 << 20);
  EXPECT_EQ(log.last, 20 << 20);
  EXPECT_GE(log.calls, 4);  // the start, then 8 MB chunks
  struct stat st;
  ASSERT_EQ(stat((d_ + "/Dst/big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 20 << 20);

  for (DWORD answer : {PROGRESS_CANCEL, PROGRESS_STOP}) {
    ProgressLog stop;
    stop.answer_after_first_chunk = answer;
    EXPECT_FALSE(CopyFileExA("D:\\Src\\big.bin", "D:\\Dst\\stopped.bin", record_progress,
                             &stop, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_REQUEST_ABORTED);
    EXPECT_EQ(stop.calls, 2);
  }
  BOOL cancel = FALSE;
  ProgressLog flagged;
  flagged.cancel = &cancel;
  EXPECT_FALSE(CopyFileExA("D:\\Src\\big.bin", "D:\\Dst\\big.bin", record_progress, &flagged,
                           &cancel, 0));
  EXPECT_EQ(GetLastError(), ERROR_REQUEST_ABORTED);
  // The old target is whole, and no other file is there.
  ASSERT_EQ(stat((d_ + "/Dst/big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 20 << 20);
  EXPECT_EQ(entries(d_ + "/Dst"), std::vector<std::string>{"big.bin"});
  EXPECT_FALSE(CopyFileExA("D:\\Src\\big.bin", "D:\\Dst\\big.bin", nullptr, nullptr, nullptr,
                           COPY_FILE_FAIL_IF_EXISTS));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

// The child of the kill test: reports the first chunk through the pipe,
// then waits to be killed in the middle of the copy.
DWORD stall_after_first_chunk(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                              DWORD reason, HANDLE, HANDLE, void* data) {
  if (reason == CALLBACK_CHUNK_FINISHED) {
    int fd = *static_cast<int*>(data);
    (void)!write(fd, "1", 1);
    for (;;) pause();
  }
  return PROGRESS_CONTINUE;
}

TEST_F(CopyTest, KilledCopyLeavesNoFileUnderTheTargetName) {
  const std::string src = d_ + "/Src/large.bin";
  make_big(src, 64);
  const std::string target = d_ + "/Dst/large.bin";
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_fds[0]);
    // Host paths: the child touches no machine store.
    CopyFileExA(src.c_str(), target.c_str(), stall_after_first_chunk, &pipe_fds[1], nullptr, 0);
    _exit(3);
  }
  close(pipe_fds[1]);
  char byte = 0;
  ASSERT_EQ(read(pipe_fds[0], &byte, 1), 1);  // in the middle of the copy now
  close(pipe_fds[0]);
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_FALSE(FilesTestNetwork::exists(target));
  for (const std::string& name : entries(d_ + "/Dst")) {
    EXPECT_EQ(name.rfind(".~copy-", 0), 0u) << name;  // at most a hidden leftover
  }
  // The copy can be made again.
  ASSERT_TRUE(CopyFileA(src.c_str(), target.c_str(), TRUE));
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 64 << 20);
}

TEST_F(CopyTest, MovesRenamesAndCaseChanges) {
  const char* src = "D:\\Src\\file.txt";
  ASSERT_TRUE(SetFileAttributesA(src, FILE_ATTRIBUTE_READONLY));
  // A read-only file may be renamed.
  ASSERT_TRUE(MoveFileA(src, "D:\\Dst\\moved.txt"));
  EXPECT_FALSE(FilesTestNetwork::exists(d_ + "/Src/file.txt"));
  EXPECT_EQ(GetFileAttributesA("D:\\Dst\\moved.txt"), FILE_ATTRIBUTE_READONLY);
  // Only the case changes.
  ASSERT_TRUE(MoveFileA("D:\\Dst\\moved.txt", "D:\\Dst\\MOVED.TXT"));
  EXPECT_EQ(entries(d_ + "/Dst"), std::vector<std::string>{"MOVED.TXT"});
  ASSERT_TRUE(MoveFileA("D:\\Dst\\moved.txt", "D:\\Dst\\MOVED.TXT"));  // nothing to do

  net_.write(d_ + "/Dst/other.txt", "other");
  EXPECT_FALSE(MoveFileA("D:\\Dst\\other.txt", "D:\\Dst\\moved.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(MoveFileExA("D:\\Dst\\other.txt", "D:\\Dst\\moved.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);  // the target is read-only
  ASSERT_TRUE(SetFileAttributesA("D:\\Dst\\moved.txt", 0));
  ASSERT_TRUE(MoveFileExA("D:\\Dst\\other.txt", "D:\\Dst\\moved.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(net_.read(d_ + "/Dst/MOVED.TXT"), "other");

  // Directories move within a drive.
  ASSERT_TRUE(MoveFileA("D:\\Src", "D:\\Dst\\Inner"));
  EXPECT_TRUE(FilesTestNetwork::exists(d_ + "/Dst/Inner"));
  EXPECT_FALSE(MoveFileA("D:\\nothing", "D:\\x"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileExA("D:\\Dst\\MOVED.TXT", nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CopyTest, MovesAcrossFileSystemsCopyWhenAllowed) {
  // /dev/shm is another file system than the test's folders (when it exists).
  struct stat shm, here;
  if (stat("/dev/shm", &shm) != 0 || stat(d_.c_str(), &here) != 0 || shm.st_dev == here.st_dev) {
    GTEST_SKIP() << "no second file system";
  }
  char pattern[] = "/dev/shm/files-move-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string other = pattern;
  ASSERT_TRUE(SetFileAttributesA("D:\\Src\\file.txt", FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_FALSE(MoveFileExA("D:\\Src\\file.txt", (other + "/f.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  ASSERT_TRUE(MoveFileExA("D:\\Src\\file.txt", (other + "/f.txt").c_str(),
                          MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(net_.read(other + "/f.txt"), "source data");
  EXPECT_FALSE(FilesTestNetwork::exists(d_ + "/Src/file.txt"));
  EXPECT_FALSE(MoveFileExA("D:\\Src", (other + "/dir").c_str(), MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  unlink((other + "/f.txt").c_str());
  rmdir(other.c_str());
}

}  // namespace
