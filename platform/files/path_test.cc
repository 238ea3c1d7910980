#include "platform/files/path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel/error.h"

namespace {

std::string cwd() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

TEST(NtHostPath, HostAndRelativePaths) {
  std::string host;
  ASSERT_TRUE(nt_host_path("/tmp/a b/c.txt", &host));
  EXPECT_EQ(host, "/tmp/a b/c.txt");
  ASSERT_TRUE(nt_host_path("\\tmp\\x\\y.ini", &host));
  EXPECT_EQ(host, "/tmp/x/y.ini");
  ASSERT_TRUE(nt_host_path("sub\\file.txt", &host));
  EXPECT_EQ(host, cwd() + "/sub/file.txt");
  ASSERT_TRUE(nt_host_path("..\\up/x", &host));
  EXPECT_EQ(host, cwd() + "/../up/x");
}

TEST(NtHostPath, DrivesUncAndEmptyFail) {
  std::string host = "unchanged";
  struct Case {
    const char* path;
    DWORD error;
  } cases[] = {
      {"C:\\WINNT\\win.ini", ERROR_PATH_NOT_FOUND},
      {"c:relative", ERROR_PATH_NOT_FOUND},
      {"\\\\SERVER\\SHARE\\x", ERROR_BAD_NETPATH},
      {"//SERVER/SHARE", ERROR_BAD_NETPATH},
      {"\\/mixed", ERROR_BAD_NETPATH},
      {"", ERROR_PATH_NOT_FOUND},
      {nullptr, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(nt_host_path(c.path, &host)) << (c.path ? c.path : "(null)");
    EXPECT_EQ(GetLastError(), c.error) << (c.path ? c.path : "(null)");
  }
  EXPECT_EQ(host, "unchanged");
}

TEST(NtHostPath, DirectoryPartDetection) {
  EXPECT_FALSE(nt_path_has_directory("SMTP.INI"));
  EXPECT_FALSE(nt_path_has_directory(nullptr));
  EXPECT_TRUE(nt_path_has_directory(".\\SMTP.INI"));
  EXPECT_TRUE(nt_path_has_directory("dir/x.ini"));
  EXPECT_TRUE(nt_path_has_directory("C:x.ini"));
}

TEST(WindowsDirectory, DefaultAndEnvironmentWithWin32Sizes) {
  unsetenv("SYSTEMROOT");
  char buffer[64];
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "C:\\WINNT");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 17u);
  EXPECT_STREQ(buffer, "C:\\WINNT\\system32");

  // Too small by one: the size needed comes back and nothing is written.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 8), 9u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 9), 8u);
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 9u);
  SetLastError(0);
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 5), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  setenv("SYSTEMROOT", "/srv/nt/root", 1);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 12u);
  EXPECT_STREQ(buffer, "/srv/nt/root");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 21u);
  EXPECT_STREQ(buffer, "/srv/nt/root\\system32");
  std::string host;
  ASSERT_TRUE(nt_host_path(buffer, &host));
  EXPECT_EQ(host, "/srv/nt/root/system32");
  unsetenv("SYSTEMROOT");
}

}  // namespace
