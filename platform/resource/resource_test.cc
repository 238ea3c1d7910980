#include "platform/resource/resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/kernel/module.h"
#include "platform/nls/codepage.h"
#include "platform/resource/resource_blob.h"

namespace {

// A module made from entries, released at the end of the test.
class BlobModule {
 public:
  explicit BlobModule(const std::vector<ResourceEntry>& entries) {
    std::vector<uint8_t> bytes = serialize_resources(entries);
    module_ = nt_module_from_blob(bytes.data(), bytes.size());
  }
  ~BlobModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// Sets the ANSI page for one test and puts the old one back.
class ScopedAnsiPage {
 public:
  explicit ScopedAnsiPage(const char* page) {
    const char* old = getenv("NT_ACP");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("NT_ACP", page, 1);
    nt_reload_code_pages();
  }
  ~ScopedAnsiPage() {
    if (had_) {
      setenv("NT_ACP", old_.c_str(), 1);
    } else {
      unsetenv("NT_ACP");
    }
    nt_reload_code_pages();
  }

 private:
  bool had_;
  std::string old_;
};

std::string test_bin(const char* name) {
  const char* bin = getenv("NT_TEST_BIN");
  return bin != nullptr ? std::string(bin) + "/" + name : std::string();
}

TEST(Resource, RunningProgramFindsItsOwnResources) {
  ScopedAnsiPage utf8("65001");
  char buffer[64];
  EXPECT_EQ(9, LoadStringA(nullptr, 1, buffer, sizeof buffer));
  EXPECT_STREQ("@Fplattst", buffer);
  EXPECT_EQ(4, LoadStringA(nullptr, 2, buffer, sizeof buffer));
  EXPECT_STREQ("V2.5", buffer);
  std::string version;
  ASSERT_TRUE(nt_module_version(nullptr, &version));
  EXPECT_EQ("2.5.0.42", version);
  std::string message;
  EXPECT_EQ(ERROR_SUCCESS, nt_find_message(nullptr, 0xC0008000u, &message));
  EXPECT_EQ("API-call returned error %1%nCall=%2 ", message);

  SetLastError(0);
  EXPECT_EQ(0, LoadStringA(nullptr, 5, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
  EXPECT_STREQ("", buffer);
  // An empty string is a missing one.
  EXPECT_EQ(0, LoadStringA(nullptr, 40, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
  EXPECT_EQ(ERROR_MR_MID_NOT_FOUND, nt_find_message(nullptr, 0x40000002, &message));
  EXPECT_EQ(ERROR_MR_MID_NOT_FOUND, GetLastError());
}

TEST(Resource, LoadLibraryReadsAnotherExecutablesResources) {
  std::string self = test_bin("platform_tests");
  if (self.empty()) self = "/proc/self/exe";
  HMODULE module = LoadLibraryExA(self.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module) << GetLastError();
  char buffer[64];
  EXPECT_EQ(6, LoadStringA(module, 3, buffer, sizeof buffer));
  EXPECT_STREQ("@B0042", buffer);
  std::string message;
  EXPECT_EQ(ERROR_SUCCESS, nt_find_message(module, 0x40000001, &message));
  EXPECT_EQ("The service %1 has started.%r\n", message);
  std::string path;
  ASSERT_TRUE(nt_module_path(module, &path));
  EXPECT_EQ('/', path[0]);
  EXPECT_GT(GetModuleFileNameA(module, buffer, sizeof buffer), 0u);

  EXPECT_TRUE(FreeLibrary(module));
  // Freed, the handle is no module any more.
  EXPECT_FALSE(FreeLibrary(module));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(Resource, LoadLibraryFailuresGiveTheWin32Errors) {
  EXPECT_EQ(nullptr, LoadLibraryExA("/nonexistent/prog", nullptr, LOAD_LIBRARY_AS_DATAFILE));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  char path[] = "/tmp/resource_testXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(6, write(fd, "hello\n", 6));
  close(fd);
  EXPECT_EQ(nullptr, LoadLibraryA(path));
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, GetLastError());
  unlink(path);
  std::string rescomp = test_bin("rescomp");
  if (!rescomp.empty()) {
    EXPECT_EQ(nullptr, LoadLibraryExA(rescomp.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, GetLastError());
  }
  // Backslashes separate names as in any NT path.
  HMODULE module = LoadLibraryExA("\\proc\\self\\exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(nullptr, module);
  FreeLibrary(module);
  EXPECT_EQ(nullptr, LoadLibraryExA(nullptr, nullptr, 0));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryExA("/proc/self/exe", reinterpret_cast<HANDLE>(4), 0));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryExA("/proc/self/exe", nullptr, 0x8));  // altered search path
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST(Resource, LoadStringACutsToTheBufferAndTellsMissingKinds) {
  ScopedAnsiPage utf8("65001");
  BlobModule m({{RESOURCE_STRING, 1, "abcdef"},
                {RESOURCE_STRING, 2, "caf\xC3\xA9!"},
                {RESOURCE_STRING, 3, std::string("@Fzeb\0\0\0", 8)}});
  ASSERT_NE(nullptr, m.get());
  char buffer[16];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(4, LoadStringA(m.get(), 1, buffer, 5));
  EXPECT_STREQ("abcd", buffer);
  EXPECT_EQ('x', buffer[5]);  // nothing written past the buffer
  EXPECT_EQ(0, LoadStringA(m.get(), 1, buffer, 1));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(6, LoadStringA(m.get(), 1, buffer, 7));  // exact fit
  EXPECT_STREQ("abcdef", buffer);
  // A UTF-8 character is never cut in two (UTF-8 being the ANSI page here).
  EXPECT_EQ(3, LoadStringA(m.get(), 2, buffer, 5));
  EXPECT_STREQ("caf", buffer);
  EXPECT_EQ(5, LoadStringA(m.get(), 2, buffer, 6));
  EXPECT_STREQ("caf\xC3\xA9", buffer);
  // Inner NULs count, as the string table stores lengths.
  EXPECT_EQ(8, LoadStringA(m.get(), 3, buffer, sizeof buffer));
  EXPECT_STREQ("@Fzeb", buffer);

  EXPECT_EQ(0, LoadStringA(m.get(), 1, nullptr, 5));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0, LoadStringA(m.get(), 1, buffer, 0));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

  BlobModule messages_only({{RESOURCE_MESSAGE, 1, "m"}});
  EXPECT_EQ(0, LoadStringA(messages_only.get(), 1, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, GetLastError());
  std::string version;
  EXPECT_FALSE(nt_module_version(messages_only.get(), &version));
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, GetLastError());
  std::string text;
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, nt_find_message(m.get(), 1, &text));
  EXPECT_EQ(ERROR_SUCCESS, nt_find_message(messages_only.get(), 1, &text));

  BlobModule empty({});
  EXPECT_EQ(0, LoadStringA(empty.get(), 1, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, GetLastError());

  std::vector<uint8_t> junk(40, 0x55);
  EXPECT_EQ(nullptr, nt_module_from_blob(junk.data(), junk.size()));
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, GetLastError());
  // A handle that is no module.
  int not_a_module = 0;
  EXPECT_EQ(0, LoadStringA(reinterpret_cast<HMODULE>(&not_a_module), 1, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(Resource, LoadStringWConvertsCutsAndHandsOutPointers) {
  BlobModule m({{RESOURCE_STRING, 1, "Gr\xC3\xBC\xC3\x9F" "e"},
                {RESOURCE_STRING, 2, "ab\xF0\x9F\x98\x80"}});  // U+1F600 needs two units
  WCHAR buffer[8];
  EXPECT_EQ(5, LoadStringW(m.get(), 1, buffer, 8));
  EXPECT_EQ(std::u16string(u"Grüße"), buffer);
  EXPECT_EQ(2, LoadStringW(m.get(), 1, buffer, 3));
  EXPECT_EQ(std::u16string(u"Gr"), buffer);
  // The first half of a surrogate pair is not kept alone.
  EXPECT_EQ(2, LoadStringW(m.get(), 2, buffer, 4));
  EXPECT_EQ(std::u16string(u"ab"), buffer);
  EXPECT_EQ(4, LoadStringW(m.get(), 2, buffer, 5));

  const WCHAR* direct = nullptr;
  EXPECT_EQ(5, LoadStringW(m.get(), 1, reinterpret_cast<WCHAR*>(&direct), 0));
  ASSERT_NE(nullptr, direct);
  EXPECT_EQ(std::u16string(u"Grüße"), std::u16string(direct, 5));
  EXPECT_EQ(0, LoadStringW(m.get(), 9, buffer, 8));
  EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
  EXPECT_EQ(0, LoadStringW(nullptr, 17, buffer, 0 - 1));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(5, LoadStringW(nullptr, 17, buffer, 8));  // the test program's own
  EXPECT_EQ(std::u16string(u"Grüße"), buffer);
}

TEST(Resource, LoadStringAGivesTheAnsiPage) {
  ScopedAnsiPage western("1252");
  char buffer[16];
  EXPECT_EQ(5, LoadStringA(nullptr, 17, buffer, sizeof buffer));
  EXPECT_STREQ("Gr\xFC\xDF" "e", buffer);
  EXPECT_EQ(3, LoadStringA(nullptr, 17, buffer, 4));  // single bytes cut anywhere
  EXPECT_STREQ("Gr\xFC", buffer);
}

}  // namespace
