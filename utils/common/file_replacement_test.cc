#include "utils/common/file_replacement.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

#include "platform/kernel/error.h"
#include "utils/testing/child_process.h"

namespace {

using Names = std::vector<std::string>;

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(FileReplacement, TargetChangesOnlyAtCommit) {
  ScratchDir dir;
  const std::string target = dir.file("conf.ini");
  write_bytes(target, "old");
  chmod(target.c_str(), 0751);
  const bool has_xattr = setxattr(target.c_str(), "user.nt.attrib", "H", 1, 0) == 0;

  FileReplacement out(target, "~t");
  ASSERT_TRUE(out.begin());
  // More than one buffer's worth, in pieces of odd sizes.
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    std::string piece = "line " + std::to_string(i) + "\r\n";
    expected += piece;
    ASSERT_TRUE(out.write(piece));
  }
  ASSERT_TRUE(out.finish());
  const std::string temp = out.temp_name();
  EXPECT_EQ(temp.rfind(dir.path() + "/~t", 0), 0u) << temp;
  EXPECT_EQ(read_bytes(target), "old");
  EXPECT_EQ(dir.list().size(), 2u);

  ASSERT_TRUE(out.commit());
  EXPECT_EQ(read_bytes(target), expected);
  EXPECT_EQ(dir.list(), Names{"conf.ini"});
  EXPECT_EQ(mode_of(target), 0751u);
  if (has_xattr) {
    char value[8] = {};
    EXPECT_EQ(getxattr(target.c_str(), "user.nt.attrib", value, sizeof value), 1);
    EXPECT_STREQ(value, "H");
  }
}

TEST(FileReplacement, UnfinishedReplacementLeavesNoTrace) {
  ScratchDir dir;
  const std::string target = dir.file("f");
  write_bytes(target, "keep");
  {
    FileReplacement out(target, "~t");
    ASSERT_TRUE(out.begin());
    EXPECT_TRUE(out.write("new"));
    EXPECT_FALSE(out.commit());  // not finished yet
  }
  {
    FileReplacement out(target, "~t");
    ASSERT_TRUE(out.begin());
    ASSERT_TRUE(out.finish());
    EXPECT_FALSE(out.write("late"));
  }
  EXPECT_EQ(read_bytes(target), "keep");
  EXPECT_EQ(dir.list(), Names{"f"});
}

TEST(FileReplacement, RefusesWhatCannotBeRewritten) {
  ScratchDir dir;
  FileReplacement missing(dir.file("missing"), "~t");
  EXPECT_FALSE(missing.begin());
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  FileReplacement directory(dir.path(), "~t");
  EXPECT_FALSE(directory.begin());
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(dir.list().empty());
  FileReplacement unused(dir.file("x"), "~t");
  EXPECT_FALSE(unused.write("x"));
  EXPECT_FALSE(unused.finish());
}

TEST(FileReplacement, DirectoryPrefix) {
  EXPECT_EQ(nt_directory_prefix("a\\b\\c.ini"), "a\\b\\");
  EXPECT_EQ(nt_directory_prefix("/x/y"), "/x/");
  EXPECT_EQ(nt_directory_prefix("/x"), "/");
  EXPECT_EQ(nt_directory_prefix("a/b\\c"), "a/b\\");
  EXPECT_EQ(nt_directory_prefix("c.ini"), "");
  EXPECT_EQ(nt_directory_prefix("C:c.ini"), "C:");
}

}  // namespace
