#include "platform/files/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

namespace {

class FileIoTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/file_io_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string path(const char* name) const { return dir_ + "/" + name; }

  void write_text(const char* name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  std::string read_text(const char* name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(const char* name) const { return access(path(name).c_str(), F_OK) == 0; }

  HANDLE open(const char* name, DWORD access, DWORD disposition, DWORD share = 0) const {
    return CreateFileA(path(name).c_str(), access, share, nullptr, disposition, 0, nullptr);
  }

  FilesTestNetwork net_;
  std::string dir_;
};

TEST_F(FileIoTest, DispositionsAndTheirErrors) {
  SetLastError(77);
  HANDLE h = open("new.txt", GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(open("new.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

  write_text("old.txt", "old contents");
  h = open("old.txt", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(h);
  EXPECT_EQ(read_text("old.txt"), "");

  h = open("fresh.txt", GENERIC_READ, CREATE_ALWAYS);  // read access, new file
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(h);

  write_text("keep.txt", "kept");
  h = open("keep.txt", GENERIC_READ, OPEN_ALWAYS);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(h);
  EXPECT_EQ(read_text("keep.txt"), "kept");
  h = open("made.txt", GENERIC_READ, OPEN_ALWAYS);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(h);
  EXPECT_TRUE(exists("made.txt"));

  // CREATE_ALWAYS truncates even through a read-only handle.
  write_text("ro.txt", "data");
  h = open("ro.txt", GENERIC_READ, CREATE_ALWAYS);
  CloseHandle(h);
  EXPECT_EQ(read_text("ro.txt"), "");

  write_text("cut.txt", "0123456789");
  h = open("cut.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(read_text("cut.txt"), "");
  write_text("cut.txt", "0123456789");
  EXPECT_EQ(open("cut.txt", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(read_text("cut.txt"), "0123456789");
  EXPECT_EQ(open("nothing.txt", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(open("missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open("nodir/missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(open("nodir/new.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(open("keep.txt/below", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(open("keep.txt", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(open("keep.txt", GENERIC_READ, 6), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  mkdir(path("sub").c_str(), 0755);
  EXPECT_EQ(open("sub", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  h = CreateFileA(path("sub").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  EXPECT_EQ(CreateFileA("Q:\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileIoTest, ReadWriteSeekAndSize) {
  HANDLE h = open("rw.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD done = 99;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &done, nullptr));
  EXPECT_EQ(done, 10u);
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);

  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFile(h, buffer, 4, &done, nullptr));
  EXPECT_EQ(done, 4u);
  EXPECT_STREQ(buffer, "2345");
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 3u);
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));  // end of file
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_CURRENT), 6u);

  SetLastError(0);
  EXPECT_EQ(SetFilePointer(h, -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Past 4 GB only with the high half.
  LONG far_high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &far_high, FILE_BEGIN), 16u);
  EXPECT_EQ(far_high, 1);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  EXPECT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 4u);
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_FALSE(ReadFile(h, buffer, 1, &done, reinterpret_cast<OVERLAPPED*>(buffer)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadFile(h, buffer, 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_text("rw.bin"), "0123");

  // Access rights of the handle count.
  h = open("rw.bin", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_FALSE(WriteFile(h, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(FlushFileBuffers(h));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(h));
  CloseHandle(h);
  h = open("rw.bin", GENERIC_WRITE, OPEN_EXISTING);
  EXPECT_FALSE(ReadFile(h, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);

  // A closed handle is gone.
  EXPECT_FALSE(ReadFile(h, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileIoTest, ShareModesAmongOpenHandles) {
  write_text("shared.txt", "abc");
  HANDLE reader = open("shared.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  HANDLE second = open("shared.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  EXPECT_EQ(open("shared.txt", GENERIC_WRITE, OPEN_EXISTING, FILE_SHARE_READ),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // The new handle's share mode must allow the reader already there.
  EXPECT_EQ(open("shared.txt", GENERIC_READ, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // CREATE_ALWAYS refused by the share mode leaves the contents alone.
  EXPECT_EQ(open("shared.txt", GENERIC_WRITE, CREATE_ALWAYS, FILE_SHARE_READ),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(read_text("shared.txt"), "abc");

  EXPECT_FALSE(DeleteFileA(path("shared.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(MoveFileExA(path("shared.txt").c_str(), path("moved.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(reader);

  reader = open("shared.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_DELETE);
  EXPECT_TRUE(DeleteFileA(path("shared.txt").c_str()));
  CloseHandle(reader);
  EXPECT_FALSE(exists("shared.txt"));
}

TEST_F(FileIoTest, DeleteAndAttributes) {
  write_text("f.txt", "x");
  mkdir(path("d").c_str(), 0755);
  EXPECT_EQ(GetFileAttributesA(path("f.txt").c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesA(path("d").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA(path("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA(path("none/x").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("\\\\SRV\\SHARE\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);

  EXPECT_FALSE(DeleteFileA(path("d").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileA(path("none").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileA(path("none/x").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(DeleteFileA(path("f.txt").c_str()));
  EXPECT_FALSE(exists("f.txt"));
}

TEST_F(FileIoTest, MoveReplacesOnlyWhenAsked) {
  write_text("a.txt", "new");
  write_text("b.txt", "old");
  EXPECT_FALSE(MoveFileExA(path("a.txt").c_str(), path("b.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(read_text("a.txt"), "new");
  EXPECT_EQ(read_text("b.txt"), "old");

  EXPECT_TRUE(MoveFileExA(path("a.txt").c_str(), path("b.txt").c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_FALSE(exists("a.txt"));
  EXPECT_EQ(read_text("b.txt"), "new");

  EXPECT_TRUE(MoveFileExA(path("b.txt").c_str(), path("c.txt").c_str(), 0));
  EXPECT_EQ(read_text("c.txt"), "new");

  EXPECT_FALSE(MoveFileExA(path("gone.txt").c_str(), path("x.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileExA(path("c.txt").c_str(), path("nodir/x.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  mkdir(path("d").c_str(), 0755);
  EXPECT_FALSE(MoveFileExA(path("c.txt").c_str(), path("d").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(MoveFileExA(path("c.txt").c_str(), nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(read_text("c.txt"), "new");
}

TEST_F(FileIoTest, ReadOnlyAndHiddenFilesAreProtectedAsNtDoes) {
  write_text("ro.txt", "keep");
  ASSERT_TRUE(SetFileAttributesA(path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  // Reading is fine; writing, deleting and overwriting are not.
  HANDLE h = open("ro.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  for (DWORD access : {GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, DELETE}) {
    EXPECT_EQ(open("ro.txt", access, OPEN_EXISTING), INVALID_HANDLE_VALUE) << access;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(open("ro.txt", GENERIC_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(open("ro.txt", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileA(path("ro.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(read_text("ro.txt"), "keep");
  // Clearing the attribute lifts the protection.
  ASSERT_TRUE(SetFileAttributesA(path("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA(path("ro.txt").c_str()));

  // CREATE_ALWAYS over a hidden or system file must name those attributes.
  write_text("hid.txt", "old");
  ASSERT_TRUE(SetFileAttributesA(path("hid.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(open("hid.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  h = CreateFileA(path("hid.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  FILE_ATTRIBUTE_HIDDEN, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(h);
  EXPECT_EQ(read_text("hid.txt"), "");
  EXPECT_EQ(GetFileAttributesA(path("hid.txt").c_str()),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  h = open("hid.txt", GENERIC_WRITE, OPEN_EXISTING);  // other dispositions do not care
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST_F(FileIoTest, NewFilesGetTheirAttributesAndArchive) {
  HANDLE h = CreateFileA(path("new.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // The handle that made a read-only file may still write it.
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &done, nullptr));
  CloseHandle(h);
  EXPECT_EQ(read_text("new.txt"), "abc");
  EXPECT_EQ(GetFileAttributesA(path("new.txt").c_str()),
            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  h = open("plain.txt", GENERIC_WRITE, CREATE_ALWAYS);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA(path("plain.txt").c_str()), FILE_ATTRIBUTE_ARCHIVE);
  // Opening an existing file leaves its attributes.
  write_text("host.txt", "x");
  h = open("host.txt", GENERIC_WRITE, OPEN_ALWAYS);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA(path("host.txt").c_str()), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileIoTest, DrivePathsAndCaseInsensitiveNames) {
  net_.map('D', dir_);
  write_text("Mixed.Case", "m");
  HANDLE h = CreateFileA("d:\\MIXED.CASE", GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[4] = {};
  DWORD done = 0;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "m");
  CloseHandle(h);
  // A new file keeps the case given.
  h = CreateFileA("D:\\NewName.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(exists("NewName.TXT"));
  EXPECT_EQ(CreateFileA("D:\\newname.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_TRUE(DeleteFileA("D:\\NEWNAME.txt"));
  EXPECT_FALSE(exists("NewName.TXT"));
}

}  // namespace
