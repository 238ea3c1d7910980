#include "platform/files/current_directory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/files/files_test_env.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

std::string current() {
  char buffer[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : "error";
}

std::string full(const char* name) {
  char buffer[MAX_PATH];
  DWORD n = GetFullPathNameA(name, sizeof buffer, buffer, nullptr);
  if (n == 0) return "error " + std::to_string(GetLastError());
  return n < sizeof buffer ? std::string(buffer, n) : "too long";
}

TEST(CurrentDirectory, StartsFromTheHostDirectoryThroughTheDrives) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.folder("d/Work/Deep");
  net.map('D', d);
  // A deeper drive wins over the one that holds it.
  net.map('E', d + "/Work");

  ASSERT_EQ(chdir((d + "/Work/Deep").c_str()), 0);
  nt_reset_current_directories();
  EXPECT_EQ(current(), "E:\\Deep");
  ASSERT_EQ(chdir(d.c_str()), 0);
  nt_reset_current_directories();
  EXPECT_EQ(current(), "D:\\");
  ASSERT_EQ(chdir(net.root().c_str()), 0);  // outside every drive: the host path
  nt_reset_current_directories();
  EXPECT_EQ(current(), FilesTestNetwork::host_cwd());
  EXPECT_EQ(full("x\\y"), FilesTestNetwork::host_cwd() + "/x/y");
}

TEST(CurrentDirectory, SetMovesTheHostDirectoryAndKeepsOnePerDrive) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.folder("d/Data/Sub");
  net.map('D', d);

  EXPECT_TRUE(SetCurrentDirectoryA("d:\\data"));
  EXPECT_EQ(current(), "d:\\data");  // as given, like NT
  EXPECT_EQ(FilesTestNetwork::host_cwd(), d + "/Data");
  EXPECT_EQ(full("sub\\x.txt"), "d:\\data\\sub\\x.txt");
  EXPECT_EQ(full("\\top"), "d:\\top");

  EXPECT_TRUE(SetCurrentDirectoryA("C:\\WINNT\\"));
  EXPECT_EQ(current(), "C:\\WINNT");  // no separator at the end but for a root
  // Drive-relative forms use D:'s own current directory, kept as given.
  EXPECT_EQ(full("D:x"), "d:\\data\\x");
  EXPECT_EQ(full("D:"), "d:\\data");
  EXPECT_EQ(full("..\\x"), "C:\\x");
  std::string host;
  ASSERT_TRUE(nt_host_path("system32", &host));
  EXPECT_EQ(host, net.drive_c("LOCALPC") + "/WINNT/system32");

  EXPECT_TRUE(SetCurrentDirectoryA("D:"));  // back to D:'s own directory
  EXPECT_EQ(current(), "d:\\data");
  EXPECT_TRUE(SetCurrentDirectoryA("sub"));
  EXPECT_EQ(current(), "d:\\data\\sub");
  EXPECT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_TRUE(SetCurrentDirectoryA("\\"));
  EXPECT_EQ(current(), "d:\\");
  EXPECT_EQ(FilesTestNetwork::host_cwd(), d);

  // A new process finds its way back from the host directory.
  EXPECT_TRUE(SetCurrentDirectoryA("D:\\DATA\\SUB"));
  nt_reset_current_directories();
  EXPECT_EQ(current(), "D:\\Data\\Sub");
}

TEST(CurrentDirectory, SharesAndHostPathsAsCurrentDirectories) {
  FilesTestNetwork net;
  EXPECT_TRUE(SetCurrentDirectoryA("\\\\SRV1\\C$\\WINNT"));
  EXPECT_EQ(current(), "\\\\SRV1\\C$\\WINNT");
  EXPECT_EQ(full("\\x"), "\\\\SRV1\\C$\\x");
  EXPECT_EQ(full("..\\..\\.."), "\\\\SRV1\\C$\\");  // the root of a share ends with a separator
  std::string host;
  ASSERT_TRUE(nt_host_path("SYSTEM32", &host));
  EXPECT_EQ(host, net.drive_c("SRV1") + "/WINNT/system32");

  std::string plain = net.folder("plain");
  EXPECT_TRUE(SetCurrentDirectoryA(plain.c_str()));
  EXPECT_EQ(current(), plain);
  EXPECT_EQ(full("a\\b"), plain + "/a/b");
}

TEST(CurrentDirectory, SetFailuresLeaveTheDirectoryAlone) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.write(d + "/file.txt", "x");
  net.map('D', d);
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));

  SetLastError(0);
  EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing\\deeper"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(SetCurrentDirectoryA("D:\\file.txt"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(SetCurrentDirectoryA("Q:\\"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(SetCurrentDirectoryA("\\\\WS9\\C$"));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_FALSE(SetCurrentDirectoryA(""));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(SetCurrentDirectoryA(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(current(), "D:\\");
  EXPECT_EQ(FilesTestNetwork::host_cwd(), d);
}

TEST(CurrentDirectory, Win32BufferSizes) {
  FilesTestNetwork net;
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINNT"));
  char buffer[16];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetCurrentDirectoryA(8, buffer), 9u);  // "C:\WINNT" needs 9 with the terminator
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetCurrentDirectoryA(9, buffer), 8u);
  EXPECT_STREQ(buffer, "C:\\WINNT");
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), 9u);
  EXPECT_EQ(GetCurrentDirectoryA(4, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  char* part = nullptr;
  EXPECT_EQ(GetFullPathNameA("x.ini", sizeof buffer, buffer, &part), 14u);
  EXPECT_STREQ(buffer, "C:\\WINNT\\x.ini");
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(part, "x.ini");
  EXPECT_EQ(GetFullPathNameA("long-name.ini", sizeof buffer, buffer, &part), 23u);
  EXPECT_EQ(GetFullPathNameA("C:\\", sizeof buffer, buffer, &part), 3u);
  EXPECT_EQ(part, nullptr);
  EXPECT_EQ(GetFullPathNameA("C:\\dir\\", sizeof buffer, buffer, &part), 7u);
  EXPECT_EQ(part, nullptr);
  EXPECT_EQ(GetFullPathNameA("", sizeof buffer, buffer, &part), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(GetFullPathNameA(nullptr, sizeof buffer, buffer, &part), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Paths of MAX_PATH characters or more are refused, not cut.
  std::string too_long = "C:\\" + std::string(257, 'x');
  EXPECT_EQ(GetFullPathNameA(too_long.c_str(), sizeof buffer, buffer, &part), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST(CurrentDirectory, NewNetworkStartsAfresh) {
  std::string first;
  {
    FilesTestNetwork net;
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINNT"));
    first = net.drive_c("LOCALPC");
  }
  FilesTestNetwork other;
  std::string now = nt_current_directory();
  EXPECT_NE(now, "C:\\WINNT");
  EXPECT_EQ(now.find(first), std::string::npos);
}

}  // namespace
