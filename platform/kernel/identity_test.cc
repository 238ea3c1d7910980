#include "platform/kernel/identity.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel/error.h"

namespace {

class IdentityTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("LANG", "C", 1);
    unsetenv("NT_ACP");
  }
  void TearDown() override {
    unsetenv("COMPUTERNAME");
    unsetenv("USERNAME");
  }
};

TEST_F(IdentityTest, ComputerNameIsUpperCaseAndAtMostFifteen) {
  setenv("COMPUTERNAME", "mailhost", 1);
  char buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof buffer;
  ASSERT_TRUE(GetComputerNameA(buffer, &size));
  EXPECT_STREQ(buffer, "MAILHOST");
  EXPECT_EQ(size, 8u);

  // Exactly big enough, then one too small: ERROR_BUFFER_OVERFLOW and the
  // size needed with the terminator.
  size = 9;
  EXPECT_TRUE(GetComputerNameA(buffer, &size));
  size = 8;
  memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(GetComputerNameA(buffer, &size));
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_FALSE(GetComputerNameA(buffer, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  setenv("COMPUTERNAME", "averyveryverylongname", 1);
  size = sizeof buffer;
  ASSERT_TRUE(GetComputerNameA(buffer, &size));
  EXPECT_STREQ(buffer, "AVERYVERYVERYLO");
  EXPECT_EQ(size, 15u);

  WCHAR wide[MAX_COMPUTERNAME_LENGTH + 1];
  size = 16;
  ASSERT_TRUE(GetComputerNameW(wide, &size));
  EXPECT_EQ(std::u16string(wide), u"AVERYVERYVERYLO");
  size = 15;
  EXPECT_FALSE(GetComputerNameW(wide, &size));
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 16u);

  // Without the variable: the host's name, in the same shape.
  unsetenv("COMPUTERNAME");
  std::string name = nt_computer_name();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  EXPECT_EQ(name.find('.'), std::string::npos);
  for (char c : name) EXPECT_FALSE(c >= 'a' && c <= 'z') << name;
}

TEST_F(IdentityTest, UserNameSizesCountTheTerminator) {
  setenv("USERNAME", "tester", 1);
  char buffer[UNLEN + 1];
  DWORD size = sizeof buffer;
  ASSERT_TRUE(GetUserNameA(buffer, &size));
  EXPECT_STREQ(buffer, "tester");
  EXPECT_EQ(size, 7u);
  size = 6;
  EXPECT_FALSE(GetUserNameA(buffer, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 7u);
  size = 0;
  EXPECT_FALSE(GetUserNameA(nullptr, &size));
  EXPECT_EQ(size, 7u);

  WCHAR wide[UNLEN + 1];
  size = UNLEN + 1;
  ASSERT_TRUE(GetUserNameW(wide, &size));
  EXPECT_EQ(std::u16string(wide), u"tester");
  EXPECT_EQ(size, 7u);

  unsetenv("USERNAME");
  size = sizeof buffer;
  ASSERT_TRUE(GetUserNameA(buffer, &size));
  EXPECT_STREQ(buffer, "Administrator");
  EXPECT_EQ(size, 14u);
}

}  // namespace
