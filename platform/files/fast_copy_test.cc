// Copies between resolved host paths: the results CopyFileA gives.
#include "platform/files/fast_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(FastCopyTest, CreationTimesAndLargerFiles) {
  const std::string kept = dir_ + "/kept.txt", born = dir_ + "/born.txt";
  FilesTestNetwork::write(kept, "k");
  // A kept creation time next to the attributes travels with them.
  const uint64_t creation = 125000000000000000ull;
  const int fd = open(kept.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(nt_store_creation_time_fd(fd, creation), ERROR_SUCCESS);
  ASSERT_EQ(nt_store_attributes_fd(fd, FILE_ATTRIBUTE_SYSTEM), ERROR_SUCCESS);
  DWORD attributes = 0;
  uint64_t read_back = 0;
  nt_stored_info_fd(fd, &attributes, &read_back);
  EXPECT_EQ(attributes, FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(read_back, creation);
  close(fd);
  ASSERT_EQ(nt_copy_resolved(kept, dir_ + "/kept2.txt", true), ERROR_SUCCESS);
  NtFileInfo info;
  ASSERT_EQ(nt_file_info(dir_ + "/kept2.txt", &info), ERROR_SUCCESS);
  EXPECT_EQ(info.creation, creation);
  EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_SYSTEM);

  // Without one, the copy keeps the creation time the source shows.
  FilesTestNetwork::write(born, "b");
  NtFileInfo source;
  ASSERT_EQ(nt_file_info(born, &source), ERROR_SUCCESS);
  const int plain = open(born.c_str(), O_RDONLY);
  ASSERT_GE(plain, 0);
  nt_stored_info_fd(plain, &attributes, &read_back);
  EXPECT_EQ(attributes, 0u);
  EXPECT_EQ(read_back, 0u);
  close(plain);
  ASSERT_EQ(nt_copy_resolved(born, dir_ + "/born2.txt", true), ERROR_SUCCESS);
  ASSERT_EQ(nt_file_info(dir_ + "/born2.txt", &info), ERROR_SUCCESS);
  EXPECT_EQ(info.creation, source.creation);
  EXPECT_EQ(info.attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

  // Data past one block, and a replace by a shorter file, come out exact.
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
  FilesTestNetwork::write(dir_ + "/big", big);
  ASSERT_EQ(nt_copy_resolved(dir_ + "/big", dir_ + "/big2", true), ERROR_SUCCESS);
  EXPECT_EQ(FilesTestNetwork::read(dir_ + "/big2"), big);
  ASSERT_EQ(nt_copy_resolved(born, dir_ + "/big2", false), ERROR_SUCCESS);
  EXPECT_EQ(FilesTestNetwork::read(dir_ + "/big2"), "b");
}

TEST_F(FastCopyTest, DirectoryCheckedOncePerObject) {
  const std::string from = dir_ + "/a.txt";
  FilesTestNetwork::write(from, "a");
  NtCopyDirectory missing;
  EXPECT_EQ(nt_copy_resolved(from, dir_ + "/nodir/a.txt", true, &missing), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(missing.checked);
  ASSERT_EQ(mkdir((dir_ + "/out").c_str(), 0755), 0);
  NtCopyDirectory out;
  // A target that is there is no check of the directory.
  FilesTestNetwork::write(dir_ + "/out/x.txt", "x");
  EXPECT_EQ(nt_copy_resolved(from, dir_ + "/out/x.txt", true, &out), ERROR_FILE_EXISTS);
  EXPECT_FALSE(out.checked);
  EXPECT_EQ(nt_copy_resolved(from, dir_ + "/out/a.txt", true, &out), ERROR_SUCCESS);
  EXPECT_TRUE(out.checked);
  EXPECT_EQ(nt_copy_resolved(from, dir_ + "/out/b.txt", true, &out), ERROR_SUCCESS);
  EXPECT_EQ(FilesTestNetwork::read(dir_ + "/out/b.txt"), "a");
  // The source is still checked for every file.
  EXPECT_EQ(nt_copy_resolved(dir_ + "/none", dir_ + "/out/c.txt", true, &out),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FilesTestNetwork::exists(dir_ + "/out/c.txt"));
}

}  // namespace
