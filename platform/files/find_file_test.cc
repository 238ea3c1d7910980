#include "platform/files/find_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

#include "platform/files/attribute_marks.h"
#include "platform/files/file_io.h"
#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"

namespace {

// The names a search finds, or {"error N"}.
std::vector<std::string> names(const char* pattern) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) return {"error " + std::to_string(GetLastError())};
  std::vector<std::string> out;
  do {
    out.push_back(data.cFileName);
  } while (FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  return out;
}

using Names = std::vector<std::string>;

class FindTest : public testing::Test {
 protected:
  void SetUp() override {
    d_ = net_.folder("d");
    net_.map('D', d_);
    net_.folder("d/Dir/Sub");
    for (const char* name : {"b.txt", "A.TXT", "c.log", "README", "_under", "zeta.tar.gz",
                             "Makefile"}) {
      net_.write(d_ + "/Dir/" + name, name);
    }
  }

  FilesTestNetwork net_;
  std::string d_;
};

TEST_F(FindTest, WildcardsAndOrderAsNtfsGivesThem) {
  // "." and ".." first, then by upper-case name ('_' sorts after the letters).
  EXPECT_EQ(names("D:\\dir\\*"), (Names{".", "..", "A.TXT", "b.txt", "c.log", "Makefile",
                                         "README", "Sub", "zeta.tar.gz", "_under"}));
  EXPECT_EQ(names("D:\\dir\\*.*"), names("D:\\dir\\*"));
  EXPECT_EQ(names("D:\\DIR\\*.txt"), (Names{"A.TXT", "b.txt"}));
  EXPECT_EQ(names("D:\\dir\\*."), (Names{".", "..", "Makefile", "README", "Sub", "_under"}));
  EXPECT_EQ(names("D:\\dir\\?.*"), (Names{".", "..", "A.TXT", "b.txt", "c.log"}));
  EXPECT_EQ(names("D:\\dir\\*.gz"), (Names{"zeta.tar.gz"}));
  EXPECT_EQ(names("D:\\dir\\r*"), (Names{"README"}));
  EXPECT_EQ(names("D:\\dir\\*.none"), (Names{"error 2"}));
  // The root of a drive has no "." and "..".
  EXPECT_EQ(names("D:\\*"), (Names{"Dir"}));
  EXPECT_EQ(names("D:\\Dir\\Sub\\*"), (Names{".", ".."}));
}

TEST_F(FindTest, SingleNamesAndErrors) {
  EXPECT_EQ(names("D:\\dir\\readme"), (Names{"README"}));  // case ignored, case kept
  EXPECT_EQ(names("D:\\dir\\readme."), (Names{"README"}));
  EXPECT_EQ(names("D:\\dir\\sub"), (Names{"Sub"}));
  EXPECT_EQ(names("D:\\dir"), (Names{"Dir"}));
  EXPECT_EQ(names("D:\\dir\\."), (Names{"."}));
  EXPECT_EQ(names("D:\\dir\\nothing"), (Names{"error 2"}));
  EXPECT_EQ(names("D:\\dir\\"), (Names{"error 2"}));  // no pattern
  EXPECT_EQ(names("D:\\nodir\\*"), (Names{"error 3"}));
  EXPECT_EQ(names("D:\\dir\\README\\*"), (Names{"error 3"}));  // a file as directory
  EXPECT_EQ(names("Q:\\*"), (Names{"error 3"}));
  EXPECT_EQ(names("D:\\dir\\a<b"), (Names{"error 123"}));
  EXPECT_EQ(names("\\\\WS9\\C$\\*"), (Names{"error 53"}));
  EXPECT_EQ(names("\\\\SRV1\\NONE\\*"), (Names{"error 67"}));
  EXPECT_EQ(names(""), (Names{"error 3"}));

  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FindFirstFileA("D:\\dir\\*", nullptr), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindNextFileA(nullptr, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // A file handle is no search handle.
  HANDLE file = CreateFileA("D:\\dir\\b.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindClose(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FindTest, RelativeSharesAndHostDirectories) {
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\Dir"));
  EXPECT_EQ(names("*.log"), (Names{"c.log"}));
  EXPECT_EQ(names("D:*.log"), (Names{"c.log"}));
  EXPECT_EQ(names("..\\*"), (Names{"Dir"}));
  EXPECT_EQ(names("sub\\*"), (Names{".", ".."}));

  // Through the administrative share of another machine.
  EXPECT_EQ(names("\\\\SRV1\\C$\\*"), (Names{"WINNT"}));
  EXPECT_EQ(names("\\\\SRV1\\ADMIN$\\*"), (Names{".", "..", "system32"}));
  // A host directory.
  EXPECT_EQ(names((d_ + "/Dir/*.txt").c_str()), (Names{"A.TXT", "b.txt"}));
}

TEST_F(FindTest, FindDataCarriesAttributesTimesAndSizes) {
  const std::string file = d_ + "/Dir/b.txt";
  ASSERT_EQ(setxattr(file.c_str(), "user.nt.attrib", "RH", 2, 0), 0);
  struct timeval tv[2] = {{1000000000, 0}, {1200000000, 500000}};  // access, write
  ASSERT_EQ(utimes(file.c_str(), tv), 0);
  ASSERT_EQ(setxattr(file.c_str(), "user.nt.ctime", "125911584000000000", 18, 0), 0);
  // A file beyond 4 GB, sparse.
  const std::string big = d_ + "/Dir/big.bin";
  net_.write(big, "");
  ASSERT_EQ(truncate(big.c_str(), (5ll << 30) + 7), 0);

  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("D:\\dir\\b.txt", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  // UTC FILETIMEs: seconds since 1601 times 10^7.
  EXPECT_EQ(filetime_to_u64(data.ftLastAccessTime), (1000000000ull + 11644473600ull) * 10000000);
  EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime),
            (1200000000ull + 11644473600ull) * 10000000 + 5000000);
  EXPECT_EQ(filetime_to_u64(data.ftCreationTime), 125911584000000000ull);
  EXPECT_STREQ(data.cAlternateFileName, "");
  EXPECT_TRUE(FindClose(h));

  h = FindFirstFileA("D:\\dir\\big.bin", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, (1u << 30) + 7);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  FindClose(h);

  h = FindFirstFileA("D:\\dir\\s*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "Sub");
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.nFileSizeLow, 0u);
  FindClose(h);
}

TEST_F(FindTest, ReducedSearchesLeaveOutWhatTheyAreAskedTo) {
  const std::string file = d_ + "/Dir/b.txt";
  ASSERT_EQ(setxattr(file.c_str(), "user.nt.attrib", "HA", 2, 0), 0);
  // With the mark the layer keeps beside it, on networks that trust it.
  ASSERT_EQ(nt_set_attribute_mark(file, true), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(setxattr(file.c_str(), "user.nt.ctime", "125911584000000000", 18, 0), 0);
  struct timeval tv[2] = {{1000000000, 0}, {1200000000, 0}};
  ASSERT_EQ(utimes(file.c_str(), tv), 0);
  ASSERT_EQ(symlink("Sub", (d_ + "/Dir/link").c_str()), 0);

  // Without creation times: attributes, the other times and the size stay.
  WIN32_FIND_DATAA data;
  HANDLE h = nt_find_first_file("D:\\dir\\b.txt", &data, NT_FIND_NO_CREATION);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(filetime_to_u64(data.ftCreationTime), 0u);
  EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), (1200000000ull + 11644473600ull) * 10000000);
  EXPECT_EQ(filetime_to_u64(data.ftLastAccessTime), (1000000000ull + 11644473600ull) * 10000000);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_TRUE(FindClose(h));

  // Names only: the directory bit as the listing tells it (a link to a
  // directory followed), nothing else; same names in the same order.
  std::vector<std::string> found;
  std::vector<DWORD> attributes;
  h = nt_find_first_file("D:\\dir\\*", &data, NT_FIND_NAMES_ONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do {
    found.push_back(data.cFileName);
    attributes.push_back(data.dwFileAttributes);
    EXPECT_EQ(data.nFileSizeLow, 0u);
    EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), 0u);
  } while (FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  EXPECT_EQ(found, names("D:\\dir\\*"));
  for (size_t i = 0; i < found.size(); ++i) {
    const bool dir = found[i] == "." || found[i] == ".." || found[i] == "Sub" || found[i] == "link";
    EXPECT_EQ(attributes[i], dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) << found[i];
  }
  // A single name (no listing type known) and an unknown request.
  h = nt_find_first_file("D:\\dir\\SUB", &data, NT_FIND_NAMES_ONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "Sub");
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
  // Without the stored attributes: the directory bit alone, times and sizes as ever.
  h = nt_find_first_file("D:\\dir\\b.txt", &data, NT_FIND_NO_CREATION | NT_FIND_NO_ATTRIBUTES);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), (1200000000ull + 11644473600ull) * 10000000);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  FindClose(h);
  h = nt_find_first_file("D:\\dir\\b.txt", &data, NT_FIND_NO_ATTRIBUTES);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(filetime_to_u64(data.ftCreationTime), 125911584000000000ull);
  FindClose(h);
  h = nt_find_first_file("D:\\dir\\sub", &data, NT_FIND_NO_CREATION | NT_FIND_NO_ATTRIBUTES);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
  // "." and ".." without their information, the other entries in full.
  h = nt_find_first_file("D:\\dir\\*", &data, NT_FIND_NO_CREATION | NT_FIND_NO_DOT_INFO);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<std::string> listed;
  do {
    listed.push_back(data.cFileName);
    const std::string name = data.cFileName;
    if (name == "." || name == "..") {
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
      EXPECT_EQ(filetime_to_u64(data.ftLastWriteTime), 0u);
    } else {
      EXPECT_NE(filetime_to_u64(data.ftLastWriteTime), 0u) << name;
    }
    if (name == "b.txt") {
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    }
  } while (FindNextFileA(h, &data));
  FindClose(h);
  EXPECT_EQ(listed, names("D:\\dir\\*"));
  ASSERT_GE(listed.size(), 2u);
  EXPECT_EQ(listed[0], ".");
  EXPECT_EQ(listed[1], "..");
  EXPECT_EQ(nt_find_first_file("D:\\dir\\*", &data, 0x10), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(nt_find_first_file("D:\\dir\\*.none", &data, NT_FIND_NAMES_ONLY), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FindTest, EntriesRemovedDuringTheSearchAreSkippedAndHandlesAreReleased) {
  size_t handles = nt_handle_count();
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("D:\\dir\\*.txt", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "A.TXT");
  ASSERT_EQ(unlink((d_ + "/Dir/b.txt").c_str()), 0);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_FALSE(FindNextFileA(h, &data));  // and stays at the end
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_EQ(nt_handle_count(), handles + 1);
  EXPECT_TRUE(FindClose(h));
  EXPECT_EQ(nt_handle_count(), handles);
  EXPECT_FALSE(FindClose(h));
}

TEST_F(FindTest, NamesBeyondAsciiInBothCodePages) {
  net_.write(d_ + "/Dir/\xC3\xA9t\xC3\xA9.txt", "x");  // été.txt
  net_.write(d_ + "/Dir/\xC3\x89" "cole.txt", "x");      // École.txt
  // UTF-8 (the default ANSI page): names as the host has them, sorted by
  // upper case (É after the ASCII letters).
  EXPECT_EQ(names("D:\\dir\\*.txt"),
            (Names{"A.TXT", "b.txt", "\xC3\x89" "cole.txt", "\xC3\xA9t\xC3\xA9.txt"}));
  EXPECT_EQ(names("D:\\dir\\\xC3\x89T\xC3\x89.TXT"), (Names{"\xC3\xA9t\xC3\xA9.txt"}));
  net_.env().pages("1252", "850");
  EXPECT_EQ(names("D:\\dir\\\xE9*"), (Names{"\xC9" "cole.txt", "\xE9t\xE9.txt"}));
}

}  // namespace
