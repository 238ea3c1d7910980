#include "platform/resource/format_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/kernel/local_memory.h"
#include "platform/resource/resource.h"
#include "platform/resource/resource_blob.h"

namespace {

class FormatMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("NT_ACP");
    had_acp_ = old != nullptr;
    if (had_acp_) old_acp_ = old;
    setenv("NT_ACP", "65001", 1);
    nt_reload_code_pages();
    std::vector<uint8_t> blob = serialize_resources({
        {RESOURCE_MESSAGE, 0x40000004, "Created process with ID=%1%nJob=%2"},
        {RESOURCE_MESSAGE, 0xC0000002, "%1%n%2\r\n"},
        {RESOURCE_MESSAGE, 7, "Grüße %1"},
        {RESOURCE_STRING, 1, "@Fx"},
    });
    module_ = nt_module_from_blob(blob.data(), blob.size());
  }
  void TearDown() override {
    FreeLibrary(module_);
    if (had_acp_) {
      setenv("NT_ACP", old_acp_.c_str(), 1);
    } else {
      unsetenv("NT_ACP");
    }
    nt_reload_code_pages();
  }

  // FORMAT_MESSAGE_FROM_STRING with an argument array.
  static std::string from_string(const char* text, std::vector<DWORD_PTR> args,
                                 DWORD extra_flags = 0) {
    char buffer[512];
    SetLastError(ERROR_SUCCESS);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                 extra_flags,
                             text, 0, 0, buffer, sizeof buffer,
                             reinterpret_cast<va_list*>(args.data()));
    if (n == 0 && GetLastError() != ERROR_SUCCESS) {
      return "<error " + std::to_string(GetLastError()) + ">";
    }
    EXPECT_EQ(strlen(buffer), n);
    return std::string(buffer, n);
  }

  static DWORD_PTR s(const char* text) { return reinterpret_cast<DWORD_PTR>(text); }

  HMODULE module_ = nullptr;
  bool had_acp_ = false;
  std::string old_acp_;
};

// FormatMessageA with a real va_list.
DWORD format_va(char* buffer, DWORD size, const char* text, ...) {
  va_list args;
  va_start(args, text);
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, buffer, size, &args);
  va_end(args);
  return n;
}

TEST_F(FormatMessageTest, EscapesAndStringInserts) {
  SetLastError(0);
  EXPECT_EQ("a b", from_string("a %1", {s("b")}));
  EXPECT_EQ("x\r\ny\rz\tw%.! v", from_string("x%ny%rz%tw%%%.%!% v", {}));
  EXPECT_EQ("kept", from_string("kept%0 and dropped", {}));
  EXPECT_EQ("two\r\n", from_string("two\r\n", {}));
  EXPECT_EQ("B-A-B", from_string("%2-%1-%2", {s("A"), s("B")}));
  // Two digits at most: %100 is insert 10 and a 0.
  std::vector<DWORD_PTR> ten(10, s("-"));
  ten[9] = s("ten");
  EXPECT_EQ("ten0", from_string("%100", ten));
  EXPECT_EQ("ten", from_string("%10", ten));
  EXPECT_EQ("(null)", from_string("%1", {0}));
  EXPECT_EQ("end%", from_string("end%", {}));
}

TEST_F(FormatMessageTest, PrintfFormatsFollowWin32Widths) {
  EXPECT_EQ("42", from_string("%1!d!", {42}));
  EXPECT_EQ("-1", from_string("%1!d!", {static_cast<DWORD_PTR>(-1)}));
  EXPECT_EQ("-1", from_string("%1!ld!", {0xFFFFFFFFu}));  // long is 32 bits
  EXPECT_EQ("4294967295", from_string("%1!lu!", {static_cast<DWORD_PTR>(-1)}));
  EXPECT_EQ("-1", from_string("%1!I64d!", {static_cast<DWORD_PTR>(-1)}));
  EXPECT_EQ("000000ff", from_string("%1!08lx!", {255}));
  EXPECT_EQ("0XFF", from_string("%1!#X!", {255}));
  EXPECT_EQ("ab   |", from_string("%1!-5s!|", {s("ab")}));
  EXPECT_EQ("  abc", from_string("%1!*.*s!", {5, 3, s("abcdef")}));
  EXPECT_EQ("Q", from_string("%1!c!", {'Q'}));
  EXPECT_EQ("wide", from_string("%1!S!", {reinterpret_cast<DWORD_PTR>(u"wide")}));
  EXPECT_EQ("wide", from_string("%1!ls!", {reinterpret_cast<DWORD_PTR>(u"wide")}));
  EXPECT_EQ("<error 87>", from_string("%1!f!", {1}));  // no floating point
  EXPECT_EQ("<error 87>", from_string("%1!99999d!", {1}));
  // An unclosed format is no format.
  EXPECT_EQ("x!d", from_string("%1!d", {s("x")}));
}

TEST_F(FormatMessageTest, IgnoreInsertsMissingArgumentsAndBadFlags) {
  EXPECT_EQ("%1 and %2!d!\r\n", from_string("%1 and %2!d!%n", {}, FORMAT_MESSAGE_IGNORE_INSERTS));
  char buffer[64];
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0, buffer, 64, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(4u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "none", 0, 0, buffer, 64, nullptr));
  EXPECT_EQ(0u, FormatMessageA(0, "x", 0, 0, buffer, 64, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, nullptr, 0, 0, buffer, 64, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_SYSTEM, "x", 0, 0,
                               buffer, 64, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(FormatMessageTest, BufferSizesAndAllocation) {
  char buffer[8];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "12345678", 0, 0, buffer, 8, nullptr));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ('x', buffer[0]);  // left alone
  EXPECT_EQ(7u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "1234567", 0, 0, buffer, 8, nullptr));
  EXPECT_STREQ("1234567", buffer);

  char* allocated = nullptr;
  DWORD_PTR args[] = {s("world")};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           "hello %1", 0, 0, reinterpret_cast<char*>(&allocated), 0,
                           reinterpret_cast<va_list*>(args));
  ASSERT_EQ(11u, n);
  ASSERT_NE(nullptr, allocated);
  EXPECT_STREQ("hello world", allocated);
  EXPECT_EQ(nullptr, LocalFree(allocated));
}

TEST_F(FormatMessageTest, VaListArguments) {
  char buffer[64];
  // Arguments are read in their order and used by number.
  EXPECT_EQ(5u, format_va(buffer, 64, "%2 %1!d! %3", 7, "b", "c"));
  EXPECT_STREQ("b 7 c", buffer);
  EXPECT_EQ(7u, format_va(buffer, 64, "%1!u!-%2", 123, "xyz"));
  EXPECT_STREQ("123-xyz", buffer);
}

TEST_F(FormatMessageTest, MessagesFromModulesAndTheSystem) {
  char buffer[256];
  DWORD_PTR args[] = {s("1234"), s("backup")};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_,
                           0x40000004, 0, buffer, sizeof buffer, reinterpret_cast<va_list*>(args));
  EXPECT_STREQ("Created process with ID=1234\r\nJob=backup", buffer);
  EXPECT_EQ(strlen(buffer), n);
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_, 0xC0000002,
                 0x409, buffer, sizeof buffer, reinterpret_cast<va_list*>(args));
  EXPECT_STREQ("1234\r\nbackup\r\n", buffer);

  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                               module_, 0x40000005, 0, buffer, sizeof buffer, nullptr));
  EXPECT_EQ(ERROR_MR_MID_NOT_FOUND, GetLastError());
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                               module_, 0x40000004, 0x407, buffer, sizeof buffer, nullptr));
  EXPECT_EQ(ERROR_RESOURCE_LANG_NOT_FOUND, GetLastError());

  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2, 0,
                 buffer, sizeof buffer, nullptr);
  EXPECT_STREQ("The system cannot find the file specified.\r\n", buffer);
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x80070005,
                 0, buffer, sizeof buffer, nullptr);
  EXPECT_STREQ("Access is denied.\r\n", buffer);
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 193, 0,
                 buffer, sizeof buffer, nullptr);
  EXPECT_STREQ("%1 is not a valid Win32 application.\r\n", buffer);
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, 4242, 0, buffer, sizeof buffer, nullptr));
  EXPECT_EQ(ERROR_MR_MID_NOT_FOUND, GetLastError());
  // The module first, then the system.
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 module_, 87, 0, buffer, sizeof buffer, nullptr);
  EXPECT_STREQ("The parameter is incorrect.\r\n", buffer);
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 module_, 7, 0, buffer, sizeof buffer, nullptr);
  EXPECT_STREQ("Grüße %1", buffer);
}

TEST_F(FormatMessageTest, ModuleTextsComeInTheAnsiPage) {
  setenv("NT_ACP", "1252", 1);
  nt_reload_code_pages();
  char buffer[64];
  DWORD_PTR args[] = {s("\xE9")};
  EXPECT_EQ(7u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_,
                               7, 0, buffer, sizeof buffer, reinterpret_cast<va_list*>(args)));
  EXPECT_STREQ("Gr\xFC\xDF" "e \xE9", buffer);
}

TEST_F(FormatMessageTest, WidthJoinsAndWrapsLines) {
  EXPECT_EQ("one two\r\nthree",
            from_string("one\r\ntwo%nthree", {}, FORMAT_MESSAGE_MAX_WIDTH_MASK));
  EXPECT_EQ("aaa bbb\r\nccc dd\r\neeeeeeeeee\r\nee",
            from_string("aaa bbb ccc dd eeeeeeeeeeee", {}, 10));
  EXPECT_EQ("ab\r\ncd", from_string("ab%ncd", {}, 10));
}

TEST(FormatMessageStrings, EventStringsWithMissingAndOddInserts) {
  EXPECT_EQ("first\r\nsecond\r\n", nt_format_message("%1%n%2\r\n", {"first", "second"}));
  // Too few strings: the reference stays, as an event viewer shows it.
  EXPECT_EQ("only\r\n%2\r\n", nt_format_message("%1%n%2\r\n", {"only"}));
  EXPECT_EQ("x     |", nt_format_message("%1!-6s!|", {"x"}));
  EXPECT_EQ("%1!d!", nt_format_message("%1!d!", {"5"}));
  EXPECT_EQ("100% sure", nt_format_message("%1%% sure%0tail", {"100"}));
  EXPECT_EQ("", nt_format_message("", {}));
}

TEST(SystemMessages, KnownAndUnknownNumbers) {
  std::string text;
  ASSERT_TRUE(nt_system_message(0, &text));
  EXPECT_EQ("The operation completed successfully.", text);
  ASSERT_TRUE(nt_system_message(1722, &text));
  EXPECT_EQ("The RPC server is unavailable.", text);
  ASSERT_TRUE(nt_system_message(11004, &text));
  EXPECT_FALSE(nt_system_message(7, &text));
  EXPECT_FALSE(nt_system_message(0xFFFFFFFFu, &text));
}

}  // namespace
