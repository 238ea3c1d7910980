#include "platform/files/file_info.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>

#include "platform/files/file_io.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"

namespace {

class FileInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    d_ = net_.folder("d");
    net_.map('D', d_);
    net_.folder("d/Dir");
    net_.write(d_ + "/Dir/file.txt", "hello");
  }

  std::string xattr(const std::string& host, const char* name) {
    char value[64];
    ssize_t n = getxattr(host.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, static_cast<size_t>(n));
  }

  FilesTestNetwork net_;
  std::string d_;
};

TEST_F(FileInfoTest, AttributesRoundTripThroughTheExtendedAttribute) {
  const char* f = "D:\\DIR\\FILE.TXT";
  EXPECT_EQ(GetFileAttributesA(f), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesA("D:\\dir"), FILE_ATTRIBUTE_DIRECTORY);

  ASSERT_TRUE(SetFileAttributesA(f, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA(f), 0x27u);
  EXPECT_EQ(xattr(d_ + "/Dir/file.txt", NT_ATTRIB_XATTR), "RHSA");

  // Bits outside R H S A are ignored; D cannot be set, C never is.
  ASSERT_TRUE(SetFileAttributesA(f, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY |
                                        FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(f), FILE_ATTRIBUTE_HIDDEN);
  // NORMAL clears everything, and the extended attribute goes.
  ASSERT_TRUE(SetFileAttributesA(f, FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(f), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(xattr(d_ + "/Dir/file.txt", NT_ATTRIB_XATTR), "<none>");
  ASSERT_TRUE(SetFileAttributesA(f, 0));
  EXPECT_EQ(GetFileAttributesA(f), FILE_ATTRIBUTE_NORMAL);

  // Directories keep R H S A beside D.
  ASSERT_TRUE(SetFileAttributesA("D:\\Dir", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetFileAttributesA("D:\\Dir"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);

  // Letters written by hand are read in either case; others are ignored.
  ASSERT_EQ(setxattr((d_ + "/Dir/file.txt").c_str(), NT_ATTRIB_XATTR, "ax?r", 4, 0), 0);
  EXPECT_EQ(GetFileAttributesA(f), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(GetFileAttributesA("D:\\dir\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("D:\\none\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  // A missing directory with a missing parent is "path not found", one
  // whose parent exists "file not found" (a separator at the end or not).
  EXPECT_EQ(GetFileAttributesA("D:\\a\\b\\c\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("D:\\a\\b"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("D:\\a"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("D:\\a\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("D:\\dir\\file.txt\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(SetFileAttributesA("D:\\dir\\none", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(SetFileAttributesA("\\\\GONE1\\C$\\x", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(FileInfoTest, ExtendedInformationAndHandleTimesRoundTrip) {
  const char* f = "D:\\Dir\\file.txt";
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(f, GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_FALSE(GetFileAttributesExA(f, GetFileExMaxInfoLevel, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Times with NT's 100 ns granularity, before and after 1970 alike.
  const uint64_t creation = 116444736000000000ull - 12345678901ull;  // 1969
  const uint64_t access = 130000000000000001ull;
  const uint64_t write = 131000000009999999ull;
  HANDLE h = CreateFileA(f, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME c = u64_to_filetime(creation), a = u64_to_filetime(access),
           w = u64_to_filetime(write);
  ASSERT_TRUE(SetFileTime(h, &c, &a, &w));
  FILETIME c2, a2, w2;
  ASSERT_TRUE(GetFileTime(h, &c2, &a2, &w2));
  EXPECT_EQ(filetime_to_u64(c2), creation);
  EXPECT_EQ(filetime_to_u64(a2), access);
  EXPECT_EQ(filetime_to_u64(w2), write);

  // Null, zero and all-ones times are left as they are.
  FILETIME zero = u64_to_filetime(0), ones = u64_to_filetime(~0ull);
  FILETIME w3 = u64_to_filetime(write + 10);
  ASSERT_TRUE(SetFileTime(h, &zero, &ones, &w3));
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, nullptr));
  ASSERT_TRUE(GetFileTime(h, &c2, &a2, nullptr));
  EXPECT_EQ(filetime_to_u64(c2), creation);
  EXPECT_EQ(filetime_to_u64(a2), access);
  CloseHandle(h);

  ASSERT_TRUE(GetFileAttributesExA(f, GetFileExInfoStandard, &data));
  EXPECT_EQ(filetime_to_u64(data.ftCreationTime), creation);
  EXPECT_EQ(filetime_to_u64(data.ftLastAccessTime), access);
  EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), write + 10);

  // Setting needs a handle opened for writing.
  h = CreateFileA(f, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(SetFileTime(h, &c, &a, &w));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &w2));
  CloseHandle(h);

  // A directory, through FILE_FLAG_BACKUP_SEMANTICS.
  h = CreateFileA("D:\\Dir", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(h, &c, nullptr, &w));
  CloseHandle(h);
  ASSERT_TRUE(GetFileAttributesExA("D:\\dir", GetFileExInfoStandard, &data));
  EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), write);
  EXPECT_EQ(filetime_to_u64(data.ftCreationTime), creation);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FileInfoTest, CreationTimeIsStableWithoutTheExtendedAttribute) {
  const std::string host = d_ + "/Dir/file.txt";
  WIN32_FILE_ATTRIBUTE_DATA before, after;
  ASSERT_TRUE(GetFileAttributesExA("D:\\Dir\\file.txt", GetFileExInfoStandard, &before));
  EXPECT_NE(filetime_to_u64(before.ftCreationTime), 0u);
  // Changing the attributes changes the host's change time; the creation
  // time the file system records stays.
  struct timespec pause = {0, 20 * 1000 * 1000};
  nanosleep(&pause, nullptr);
  ASSERT_TRUE(SetFileAttributesA("D:\\Dir\\file.txt", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(GetFileAttributesExA("D:\\Dir\\file.txt", GetFileExInfoStandard, &after));
  struct statx sx;
  ASSERT_EQ(statx(AT_FDCWD, host.c_str(), 0, STATX_BTIME, &sx), 0);
  if (sx.stx_mask & STATX_BTIME) {
    EXPECT_EQ(filetime_to_u64(after.ftCreationTime), filetime_to_u64(before.ftCreationTime));
  }
}

TEST_F(FileInfoTest, InformationWithoutCreationTimeReadsTheAttributeAlone) {
  const std::string host = d_ + "/Dir/file.txt";
  // The attribute among several others, and one that is too long to be ours.
  ASSERT_EQ(setxattr(host.c_str(), "user.other", "x", 1, 0), 0);
  ASSERT_EQ(setxattr(host.c_str(), NT_ATTRIB_XATTR, "RS", 2, 0), 0);
  ASSERT_EQ(setxattr(host.c_str(), NT_CTIME_XATTR, "125911584000000000", 18, 0), 0);
  const int dir = open((d_ + "/Dir").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  NtFileInfo full, part;
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &full), ERROR_SUCCESS);
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &part, NT_INFO_NO_CREATION), ERROR_SUCCESS);
  EXPECT_EQ(full.creation, 125911584000000000ull);
  EXPECT_EQ(part.creation, 0u);
  EXPECT_EQ(part.attributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(part.attributes, full.attributes);
  EXPECT_EQ(part.size, 5u);
  EXPECT_EQ(part.last_write, full.last_write);
  EXPECT_EQ(part.last_access, full.last_access);
  NtFileInfo bare;
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &bare,
                            NT_INFO_NO_CREATION | NT_INFO_NO_ATTRIBUTES),
            ERROR_SUCCESS);
  EXPECT_EQ(bare.attributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(bare.creation, 0u);
  EXPECT_EQ(bare.last_write, full.last_write);
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &bare, NT_INFO_NO_ATTRIBUTES), ERROR_SUCCESS);
  EXPECT_EQ(bare.attributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(bare.creation, 125911584000000000ull);

  const std::string long_value(40, 'R');
  ASSERT_EQ(setxattr(host.c_str(), NT_ATTRIB_XATTR, long_value.data(), long_value.size(), 0), 0);
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &part, NT_INFO_NO_CREATION), ERROR_SUCCESS);
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &full), ERROR_SUCCESS);
  EXPECT_EQ(part.attributes, full.attributes);

  // No attribute at all: NORMAL; a directory: DIRECTORY; a missing name: the lookup error.
  ASSERT_EQ(removexattr(host.c_str(), NT_ATTRIB_XATTR), 0);
  ASSERT_EQ(nt_file_info_at(dir, "file.txt", host, &part, NT_INFO_NO_CREATION), ERROR_SUCCESS);
  EXPECT_EQ(part.attributes, FILE_ATTRIBUTE_NORMAL);
  ASSERT_EQ(nt_file_info_at(dir, ".", d_ + "/Dir", &part, NT_INFO_NO_CREATION), ERROR_SUCCESS);
  EXPECT_EQ(part.attributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(part.size, 0u);
  EXPECT_EQ(nt_file_info_at(dir, "gone.txt", d_ + "/Dir/gone.txt", &part, NT_INFO_NO_CREATION),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  close(dir);
}

TEST(FileTimeConversion, HostTimesAndFiletimes) {
  struct timespec ts = {0, 0};
  EXPECT_EQ(nt_filetime_of(ts), 116444736000000000ull);
  ts = {1, 999};  // nanoseconds below 100 are cut
  EXPECT_EQ(nt_filetime_of(ts), 116444736010000009ull);
  ts = {-11644473601, 0};  // before 1601: none
  EXPECT_EQ(nt_filetime_of(ts), 0u);
  struct timespec back = nt_timespec_of(116444736010000009ull);
  EXPECT_EQ(back.tv_sec, 1);
  EXPECT_EQ(back.tv_nsec, 900);
  back = nt_timespec_of(116444735990000000ull);  // 1969-12-31 23:59:59
  EXPECT_EQ(back.tv_sec, -1);
  EXPECT_EQ(back.tv_nsec, 0);
  EXPECT_EQ(nt_attribute_letters(0x27), "RHSA");
  EXPECT_EQ(nt_attribute_letters(FILE_ATTRIBUTE_NORMAL), "");
  EXPECT_EQ(nt_parse_attribute_letters("SrZ", 3), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
}

}  // namespace
