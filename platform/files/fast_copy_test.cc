// Copies between resolved host paths: the results CopyFileA gives.
#include "platform/files/fast_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/files/file_info.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

namespace {

class FastCopyTest : public ::testing::Test {
 protected:
  FastCopyTest() : dir_(net_.folder("fast")) {}

  // Names in the folder, hidden ones included.
  int entries() const {
    int count = 0;
    DIR* d = opendir(dir_.c_str());
    while (struct dirent* e = readdir(d)) {
      if (e->d_name[0] != '.' || (e->d_name[1] != '\0' && e->d_name[1] != '.')) ++count;
    }
    closedir(d);
    return count;
  }

  FilesTestNetwork net_;
  std::string dir_;
};

TEST_F(FastCopyTest, CopiesDataAttributesAndTimes) {
  const std::string from = dir_ + "/a.txt", to = dir_ + "/b.txt";
  FilesTestNetwork::write(from, "payload");
  ASSERT_EQ(nt_store_attributes(from, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            ERROR_SUCCESS);
  struct timespec times[2] = {{1000000000, 5}, {1200000000, 123456700}};
  ASSERT_EQ(utimensat(AT_FDCWD, from.c_str(), times, 0), 0);

  EXPECT_EQ(nt_copy_resolved(from, to, true), ERROR_SUCCESS);
  EXPECT_EQ(FilesTestNetwork::read(to), "payload");
  EXPECT_EQ(nt_stored_attributes(to), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  struct stat st;
  ASSERT_EQ(stat(to.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);

  // An empty file is copied too.
  FilesTestNetwork::write(dir_ + "/empty", "");
  EXPECT_EQ(nt_copy_resolved(dir_ + "/empty", dir_ + "/empty2", true), ERROR_SUCCESS);
  EXPECT_TRUE(FilesTestNetwork::exists(dir_ + "/empty2"));
  EXPECT_EQ(entries(), 4);
}

TEST_F(FastCopyTest, ExistingTargetsAndFailures) {
  const std::string from = dir_ + "/a.txt", to = dir_ + "/b.txt";
  FilesTestNetwork::write(from, "new");
  FilesTestNetwork::write(to, "old");
  EXPECT_EQ(nt_copy_resolved(from, to, true), ERROR_FILE_EXISTS);
  EXPECT_EQ(FilesTestNetwork::read(to), "old");
  EXPECT_EQ(nt_copy_resolved(from, to, false), ERROR_SUCCESS);
  EXPECT_EQ(FilesTestNetwork::read(to), "new");

  // A read-only target is not replaced; neither is a directory.
  ASSERT_EQ(nt_store_attributes(to, FILE_ATTRIBUTE_READONLY), ERROR_SUCCESS);
  FilesTestNetwork::write(from, "newer");
  EXPECT_EQ(nt_copy_resolved(from, to, false), ERROR_ACCESS_DENIED);
  EXPECT_EQ(FilesTestNetwork::read(to), "new");
  ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
  EXPECT_EQ(nt_copy_resolved(from, dir_ + "/sub", false), ERROR_ACCESS_DENIED);
  EXPECT_EQ(nt_copy_resolved(dir_ + "/sub", dir_ + "/c", true), ERROR_ACCESS_DENIED);

  // Same file, missing source, missing target directory.
  EXPECT_EQ(nt_copy_resolved(from, from, false), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(nt_copy_resolved(dir_ + "/none", dir_ + "/c", true), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(nt_copy_resolved(from, dir_ + "/nodir/c", true), ERROR_PATH_NOT_FOUND);
  // Nothing half-made is left behind: a.txt, b.txt and sub.
  EXPECT_EQ(entries(), 3);
}

}  // namespace
