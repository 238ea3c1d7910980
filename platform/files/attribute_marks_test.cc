#include "platform/files/attribute_marks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/files/fast_copy.h"
#include "platform/files/file_copy.h"
#include "platform/files/file_info.h"
#include "platform/files/files_test_env.h"
#include "platform/files/find_file.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"

namespace {

mode_t mode_of(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 ? st.st_mode : 0;
}

bool marked(const std::string& host) { return (mode_of(host) & NT_ATTRIBUTE_MARK) != 0; }

bool has_xattr(const std::string& host) {
  char value[32];
  return getxattr(host.c_str(), NT_ATTRIB_XATTR, value, sizeof value) >= 0;
}

class AttributeMarksTest : public testing::Test {
 protected:
  void SetUp() override {
    d_ = net_.folder("d");
    net_.map('D', d_);
    net_.folder("d/Dir");
    net_.write(d_ + "/Dir/file.txt", "hello");
  }

  // Points NT_NETWORK at a folder holding only the given network.ini.
  std::string ini_network(const std::string& name, const std::string& text) {
    std::string root = net_.folder(name);
    std::ofstream(root + "/network.ini") << text;
    return root;
  }

  // The attributes a search without creation times hands out for one name.
  DWORD found_attributes(const char* nt_path) {
    WIN32_FIND_DATAA data;
    HANDLE h = nt_find_first_file(nt_path, &data, NT_FIND_NO_CREATION);
    if (h == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
    FindClose(h);
    return data.dwFileAttributes;
  }

  FilesTestNetwork net_;
  std::string d_;
};

TEST_F(AttributeMarksTest, NetworkIniDecidesWhetherMarksAreTrusted) {
  const char* given = getenv("NT_NETWORK");
  ASSERT_NE(given, nullptr);
  const std::string saved = given;
  const std::string ini = "; comment\n[Network]\nVersion=1\nDefaultMachine=PC1\n";
  const std::string plain = ini_network("plain", ini);
  const std::string on = ini_network("on", "[Network]\n  attributemarks = 1 \n");
  const std::string off = ini_network("off", "[Network]\nAttributeMarks=0\n");
  const std::string elsewhere = ini_network("elsewhere", "[Network]\n[Other]\nAttributeMarks=1\n");
  const std::string none = net_.folder("none");

  setenv("NT_NETWORK", plain.c_str(), 1);
  EXPECT_FALSE(nt_attribute_marks_trusted());
  setenv("NT_NETWORK", on.c_str(), 1);
  EXPECT_TRUE(nt_attribute_marks_trusted());
  setenv("NT_NETWORK", off.c_str(), 1);
  EXPECT_FALSE(nt_attribute_marks_trusted());
  setenv("NT_NETWORK", elsewhere.c_str(), 1);
  EXPECT_FALSE(nt_attribute_marks_trusted());
  setenv("NT_NETWORK", none.c_str(), 1);
  EXPECT_FALSE(nt_attribute_marks_trusted());

  // Enabling keeps the rest of the file and replaces an earlier value; the
  // answer of this process follows at once.
  setenv("NT_NETWORK", plain.c_str(), 1);
  EXPECT_FALSE(nt_attribute_marks_trusted());
  ASSERT_EQ(nt_network_enable_attribute_marks(plain), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(nt_attribute_marks_trusted());
  EXPECT_EQ(nt_network_default_machine(plain), "PC1");
  ASSERT_EQ(nt_network_enable_attribute_marks(off), static_cast<DWORD>(ERROR_SUCCESS));
  std::ifstream in(off + "/network.ini");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "[Network]\nAttributeMarks=1\n");
  EXPECT_EQ(nt_network_enable_attribute_marks(none), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  setenv("NT_NETWORK", saved.c_str(), 1);
}

TEST_F(AttributeMarksTest, StoredAttributesCarryTheMarkOnRegularFilesOnly) {
  const std::string file = d_ + "/Dir/file.txt";
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  EXPECT_FALSE(marked(file));

  ASSERT_TRUE(SetFileAttributesA("D:\\dir\\FILE.TXT", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(marked(file));
  EXPECT_EQ(mode_of(file) & 0777, 0640u);  // the other bits stay
  ASSERT_TRUE(SetFileAttributesA("D:\\dir\\FILE.TXT", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(marked(file));
  ASSERT_TRUE(SetFileAttributesA("D:\\dir\\FILE.TXT", FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(marked(file));
  EXPECT_FALSE(has_xattr(file));
  EXPECT_EQ(mode_of(file) & 07777, 0640u);

  // Through a descriptor alike.
  int fd = open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(nt_store_attributes_fd(fd, FILE_ATTRIBUTE_SYSTEM), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(marked(file));
  EXPECT_EQ(nt_store_attributes_fd(fd, 0), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(marked(file));
  close(fd);

  // A directory never gets the bit, which would restrict deletion in it.
  ASSERT_TRUE(SetFileAttributesA("D:\\Dir", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(marked(d_ + "/Dir"));
  EXPECT_TRUE(has_xattr(d_ + "/Dir"));
  EXPECT_EQ(nt_set_attribute_mark(d_ + "/Dir", true), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(marked(d_ + "/Dir"));
  EXPECT_EQ(nt_set_attribute_mark(d_ + "/gone", true), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(nt_set_attribute_mark_fd(-1, true), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  EXPECT_EQ(nt_mode_with_mark(S_IFREG | 01755, false), 0755u);
  EXPECT_EQ(nt_mode_with_mark(S_IFREG | 0644, true), 01644u);
  EXPECT_TRUE(nt_mode_without_attributes(S_IFREG | 0644, true));
  EXPECT_FALSE(nt_mode_without_attributes(S_IFREG | 01644, true));
  EXPECT_FALSE(nt_mode_without_attributes(S_IFDIR | 0755, true));
  EXPECT_FALSE(nt_mode_without_attributes(S_IFREG | 0644, false));
}

TEST_F(AttributeMarksTest, TrustedReadsPassOverUnmarkedFilesOnly) {
  const std::string file = d_ + "/Dir/file.txt";
  const std::string old_file = d_ + "/Dir/old.txt";
  net_.write(old_file, "old");
  ASSERT_TRUE(SetFileAttributesA("D:\\Dir\\file.txt", FILE_ATTRIBUTE_HIDDEN));
  // A file written before marks: the attribute without the bit.
  ASSERT_EQ(setxattr(old_file.c_str(), NT_ATTRIB_XATTR, "R", 1, 0), 0);
  ASSERT_TRUE(SetFileAttributesA("D:\\Dir", FILE_ATTRIBUTE_SYSTEM));

  const int dir = open((d_ + "/Dir").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  NtFileInfo info;
  const DWORD trusted = NT_INFO_NO_CREATION | NT_INFO_TRUST_MARK;
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", file, &info, trusted), ERROR_SUCCESS);
  EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(nt_file_info_at(dir, "old.txt", old_file, &info, trusted), ERROR_SUCCESS);
  EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_NORMAL);  // what trusting an old network costs
  EXPECT_EQ(info.size, 3u);
  ASSERT_EQ(nt_file_info_at(dir, "old.txt", old_file, &info, NT_INFO_NO_CREATION), ERROR_SUCCESS);
  EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_READONLY);
  // With creation times the attribute list is read anyway, and tells all.
  ASSERT_EQ(nt_file_info_at(dir, "old.txt", old_file, &info, NT_INFO_TRUST_MARK), ERROR_SUCCESS);
  EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_READONLY);
  // Directories are read whatever their mode.
  ASSERT_EQ(nt_file_info_at(dir, "", d_ + "/Dir", &info, trusted), ERROR_SUCCESS);
  EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
  close(dir);

  // Searches ask the network: this test network has not said it trusts marks...
  const bool trusted_before = nt_attribute_marks_trusted();
  if (!trusted_before) {
    EXPECT_EQ(found_attributes("D:\\Dir\\old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  // ...and once it does, an unmarked file shows no attributes, a marked one its own.
  ASSERT_EQ(nt_network_enable_attribute_marks(net_.root()), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(found_attributes("D:\\Dir\\old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(found_attributes("D:\\Dir\\file.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(found_attributes("D:\\Dir"),
            static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
  // Exact readers never trust the mark.
  EXPECT_EQ(GetFileAttributesA("D:\\Dir\\old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(nt_is_read_only(old_file));
}

TEST_F(AttributeMarksTest, OldFilesAreMarkedInPlace) {
  net_.folder("d/Dir/a/b");
  const std::string one = d_ + "/Dir/a/one.txt", two = d_ + "/Dir/a/b/two.txt";
  const std::string plain = d_ + "/Dir/a/plain.txt", outside = net_.folder("out") + "/x.txt";
  net_.write(one, "1");
  net_.write(two, "2");
  net_.write(plain, "p");
  net_.write(outside, "x");
  ASSERT_EQ(setxattr(one.c_str(), NT_ATTRIB_XATTR, "H", 1, 0), 0);
  ASSERT_EQ(setxattr(two.c_str(), NT_ATTRIB_XATTR, std::string(40, 'A').c_str(), 40, 0), 0);
  ASSERT_EQ(setxattr(outside.c_str(), NT_ATTRIB_XATTR, "S", 1, 0), 0);
  ASSERT_EQ(setxattr((d_ + "/Dir/a").c_str(), NT_ATTRIB_XATTR, "S", 1, 0), 0);
  ASSERT_EQ(symlink(outside.c_str(), (d_ + "/Dir/a/link").c_str()), 0);

  unsigned long count = 99;
  EXPECT_EQ(nt_mark_attribute_files(d_ + "/Dir", &count), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(marked(one));
  EXPECT_TRUE(marked(two));  // a value too long for the buffer counts as present
  EXPECT_FALSE(marked(plain));
  EXPECT_FALSE(marked(outside));  // links are not followed
  EXPECT_FALSE(marked(d_ + "/Dir/a"));
  EXPECT_EQ(nt_mark_attribute_files(d_ + "/Dir", &count), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(count, 0u);
  EXPECT_NE(nt_mark_attribute_files(d_ + "/missing", &count), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(count, 0u);
}

TEST_F(AttributeMarksTest, CopiesCarryTheMarkWithTheAttributeNotWithTheMode) {
  const std::string src = d_ + "/Dir";
  net_.write(src + "/stray.txt", "s");
  ASSERT_EQ(chmod((src + "/stray.txt").c_str(), 01644), 0);  // a bit set by someone else
  net_.write(src + "/old.txt", "o");
  ASSERT_EQ(setxattr((src + "/old.txt").c_str(), NT_ATTRIB_XATTR, "A", 1, 0), 0);
  ASSERT_TRUE(SetFileAttributesA("D:\\Dir\\file.txt", FILE_ATTRIBUTE_HIDDEN));
  const std::string out = net_.folder("copies");

  ASSERT_EQ(nt_copy_resolved(src + "/stray.txt", out + "/stray.txt", true), ERROR_SUCCESS);
  EXPECT_FALSE(marked(out + "/stray.txt"));
  EXPECT_EQ(mode_of(out + "/stray.txt") & 0777, 0644u);
  ASSERT_EQ(nt_copy_resolved(src + "/old.txt", out + "/old.txt", true), ERROR_SUCCESS);
  EXPECT_TRUE(marked(out + "/old.txt"));
  EXPECT_EQ(nt_stored_attributes(out + "/old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_EQ(nt_copy_resolved(src + "/file.txt", out + "/file.txt", true), ERROR_SUCCESS);
  EXPECT_TRUE(marked(out + "/file.txt"));
  // A replace by a file without attributes takes the mark away.
  ASSERT_EQ(nt_copy_resolved(src + "/stray.txt", out + "/file.txt", false), ERROR_SUCCESS);
  EXPECT_FALSE(marked(out + "/file.txt"));
  EXPECT_FALSE(has_xattr(out + "/file.txt"));
  // CopyFileA alike.
  ASSERT_TRUE(CopyFileA("D:\\Dir\\old.txt", "D:\\Dir\\old2.txt", TRUE));
  EXPECT_TRUE(marked(src + "/old2.txt"));
  ASSERT_TRUE(CopyFileA("D:\\Dir\\stray.txt", "D:\\Dir\\stray2.txt", TRUE));
  EXPECT_FALSE(marked(src + "/stray2.txt"));
}

}  // namespace
