// Share mode 0 across processes: a second process (a fork of the test) opens
// the file that this one holds, by host path and through a server share.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/files/file_io.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

namespace {

// Opens `path` in a child process and returns 0 when that worked, else the
// Win32 error the child saw. The child holds the handle for `hold_ms`.
DWORD open_in_child(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                    int hold_ms = 0) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) _exit(static_cast<int>(GetLastError() & 0xFF));
    if (hold_ms > 0) usleep(static_cast<useconds_t>(hold_ms) * 1000);
    _exit(0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 0xFFFF;
  return static_cast<DWORD>(WEXITSTATUS(status));
}

class ShareLockTest : public testing::Test {
 protected:
  FilesTestNetwork net_;
};

TEST_F(ShareLockTest, ShareModeZeroKeepsOtherProcessesOut) {
  std::string dir = net_.folder("locks");
  std::string file = dir + "/user.lck";
  FilesTestNetwork::write(file, "held");
  const DWORD rw = GENERIC_READ | GENERIC_WRITE;
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE;

  HANDLE held = CreateFileA(file.c_str(), rw, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open_in_child(file, rw, 0, OPEN_ALWAYS), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(open_in_child(file, GENERIC_READ, all, OPEN_EXISTING), ERROR_SHARING_VIOLATION);
  // Overwriting is refused before anything is truncated.
  EXPECT_EQ(open_in_child(file, rw, all, CREATE_ALWAYS), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(FilesTestNetwork::read(file), "held");
  // An open for attributes only passes, as in NT.
  EXPECT_EQ(open_in_child(file, 0, all, OPEN_EXISTING), 0u);
  // A second name of the same file does not get round the lock.
  std::string link = dir + "/other-name.lck";
  ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
  EXPECT_EQ(open_in_child(link, rw, 0, OPEN_EXISTING), ERROR_SHARING_VIOLATION);

  ASSERT_TRUE(CloseHandle(held));
  EXPECT_EQ(open_in_child(file, rw, 0, OPEN_ALWAYS), 0u);
}

TEST_F(ShareLockTest, SharedOpensBlockOnlyExclusiveOnes) {
  std::string file = net_.folder("shared") + "/data.txt";
  FilesTestNetwork::write(file, "x");
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE reader = CreateFileA(file.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open_in_child(file, GENERIC_READ | GENERIC_WRITE, all, OPEN_EXISTING), 0u);
  EXPECT_EQ(open_in_child(file, GENERIC_READ, 0, OPEN_EXISTING), ERROR_SHARING_VIOLATION);
  // Within one process the share modes decide as before: a second shared
  // handle is fine, an exclusive one is refused.
  HANDLE second = CreateFileA(file.c_str(), GENERIC_WRITE, all, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(second);
  CloseHandle(reader);
  EXPECT_EQ(open_in_child(file, GENERIC_READ, 0, OPEN_EXISTING), 0u);
}

TEST_F(ShareLockTest, LockHeldThroughAServerShare) {
  // The lock file lives on SRV1 and is reached as \\SRV1\home\ADMIN.LCK.
  NtMachineRef srv;
  ASSERT_EQ(nt_open_machine("SRV1", &srv, NtMachineAccess::admin), ERROR_SUCCESS);
  std::string home = net_.root() + "/machines/SRV1/drives/C/home";
  mkdir(home.c_str(), 0755);
  net_.share("SRV1", "home", "C:\\home");
  const char* unc = "\\\\SRV1\\home\\ADMIN.LCK";
  const DWORD rw = GENERIC_READ | GENERIC_WRITE;

  // Another process holds it (created there) for a while.
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    HANDLE h = CreateFileA(unc, rw, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) _exit(1);
    usleep(1500 * 1000);
    _exit(0);
  }
  ASSERT_GT(pid, 0);
  std::string host = home + "/ADMIN.LCK";
  for (int i = 0; i < 100 && !FilesTestNetwork::exists(host); ++i) usleep(20 * 1000);
  usleep(100 * 1000);
  EXPECT_EQ(CreateFileA(unc, rw, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Its end releases the lock.
  HANDLE mine = CreateFileA(unc, rw, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_NE(mine, INVALID_HANDLE_VALUE);
  CloseHandle(mine);
}

}  // namespace
