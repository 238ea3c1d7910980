#include "platform/files/directory.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files/file_io.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

namespace {

TEST(Directories, CreateAndRemoveWithNtErrors) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.map('D', d);

  EXPECT_TRUE(CreateDirectoryA("D:\\NewDir", nullptr));
  EXPECT_TRUE(FilesTestNetwork::exists(d + "/NewDir"));  // the case given
  EXPECT_FALSE(CreateDirectoryA("D:\\newdir", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  net.write(d + "/file.txt", "x");
  EXPECT_FALSE(CreateDirectoryA("D:\\FILE.TXT", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("D:\\missing\\child", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CreateDirectoryA("D:\\", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("Q:\\x", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(CreateDirectoryA("D:\\newdir\\Child\\", nullptr));
  EXPECT_TRUE(FilesTestNetwork::exists(d + "/NewDir/Child"));

  EXPECT_FALSE(RemoveDirectoryA("D:\\NEWDIR"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(RemoveDirectoryA("D:\\file.txt"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(RemoveDirectoryA("D:\\gone"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA("D:\\gone\\deeper"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA("D:\\"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // Read-only directories are protected; clearing the attribute lifts it.
  ASSERT_TRUE(SetFileAttributesA("D:\\newdir\\child", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(RemoveDirectoryA("D:\\newdir\\child"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesA("D:\\newdir\\child", FILE_ATTRIBUTE_NORMAL));

  // The current directory is in use; leave it first, as NT wants.
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\NewDir\\Child"));
  EXPECT_FALSE(RemoveDirectoryA("D:\\NewDir\\Child"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_TRUE(RemoveDirectoryA("child\\"));
  EXPECT_FALSE(RemoveDirectoryA("D:\\newdir"));  // now the current directory
  ASSERT_TRUE(SetCurrentDirectoryA("\\"));
  EXPECT_TRUE(RemoveDirectoryA("D:\\newdir"));
  EXPECT_FALSE(FilesTestNetwork::exists(d + "/NewDir"));
}

TEST(Directories, OnSharesOfOtherMachines) {
  FilesTestNetwork net;
  EXPECT_TRUE(CreateDirectoryA("\\\\SRV1\\C$\\Data", nullptr));
  EXPECT_TRUE(FilesTestNetwork::exists(net.drive_c("SRV1") + "/Data"));
  EXPECT_TRUE(RemoveDirectoryA("\\\\srv1\\c$\\DATA"));
  EXPECT_FALSE(CreateDirectoryA("\\\\GONE1\\C$\\Data", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_FALSE(RemoveDirectoryA("\\\\SRV1\\NOPE\\x"));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NET_NAME);
}

}  // namespace
