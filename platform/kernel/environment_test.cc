#include "platform/kernel/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/kernel/error.h"

namespace {

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override { clear(); }
  void TearDown() override { clear(); }
  static void clear() {
    for (const char* name : {"NtEnvTest", "NTENVTEST", "ntenvtest", "NT_ENV_EMPTY", "NT_ENV_A",
                             "NT_ENV_B"}) {
      unsetenv(name);
    }
  }
};

TEST_F(EnvironmentTest, GetFindsNamesIgnoringCaseWithWin32Sizes) {
  setenv("NtEnvTest", "value", 1);
  char buffer[16];
  EXPECT_EQ(5u, GetEnvironmentVariableA("NtEnvTest", buffer, sizeof buffer));
  EXPECT_STREQ("value", buffer);
  EXPECT_EQ(5u, GetEnvironmentVariableA("NTENVTEST", buffer, sizeof buffer));
  EXPECT_STREQ("value", buffer);
  // An exact match wins over one that differs in case.
  setenv("NTENVTEST", "upper", 1);
  EXPECT_EQ(5u, GetEnvironmentVariableA("NTENVTEST", buffer, sizeof buffer));
  EXPECT_STREQ("upper", buffer);
  EXPECT_EQ(5u, GetEnvironmentVariableA("NtEnvTest", buffer, sizeof buffer));
  EXPECT_STREQ("value", buffer);

  // Too small: the size needed with the terminator; never past the buffer.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(6u, GetEnvironmentVariableA("NtEnvTest", buffer, 5));
  EXPECT_EQ('x', buffer[5]);
  EXPECT_EQ(6u, GetEnvironmentVariableA("NtEnvTest", nullptr, 0));
  EXPECT_EQ(5u, GetEnvironmentVariableA("NtEnvTest", buffer, 6));  // exact fit

  SetLastError(0);
  EXPECT_EQ(0u, GetEnvironmentVariableA("NT_ENV_A", buffer, sizeof buffer));
  EXPECT_EQ(ERROR_ENVVAR_NOT_FOUND, GetLastError());
  setenv("NT_ENV_EMPTY", "", 1);
  EXPECT_EQ(0u, GetEnvironmentVariableA("NT_ENV_EMPTY", buffer, sizeof buffer));
  EXPECT_EQ(ERROR_SUCCESS, GetLastError());
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(0u, GetEnvironmentVariableA("", buffer, sizeof buffer));
  EXPECT_EQ(ERROR_ENVVAR_NOT_FOUND, GetLastError());
  // "NtEnvTest=value" must not be found as a variable named "NtEnvTest=v".
  EXPECT_EQ(0u, GetEnvironmentVariableA("NtEnvTest=v", buffer, sizeof buffer));
  EXPECT_EQ(ERROR_ENVVAR_NOT_FOUND, GetLastError());
  EXPECT_EQ(0u, GetEnvironmentVariableA(nullptr, buffer, sizeof buffer));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(EnvironmentTest, SetReplacesRemovesAndChecksNames) {
  EXPECT_TRUE(SetEnvironmentVariableA("NtEnvTest", "one"));
  EXPECT_STREQ("one", getenv("NtEnvTest"));
  // Another case of the name replaces the variable and keeps its name.
  EXPECT_TRUE(SetEnvironmentVariableA("NTENVTEST", "two"));
  EXPECT_STREQ("two", getenv("NtEnvTest"));
  EXPECT_EQ(nullptr, getenv("NTENVTEST"));
  EXPECT_TRUE(SetEnvironmentVariableA("ntenvtest", nullptr));
  EXPECT_EQ(nullptr, getenv("NtEnvTest"));
  EXPECT_FALSE(SetEnvironmentVariableA("NtEnvTest", nullptr));
  EXPECT_EQ(ERROR_ENVVAR_NOT_FOUND, GetLastError());
  EXPECT_TRUE(SetEnvironmentVariableA("NT_ENV_EMPTY", ""));
  EXPECT_STREQ("", getenv("NT_ENV_EMPTY"));
  EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_FALSE(SetEnvironmentVariableA(nullptr, "x"));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(EnvironmentTest, ExpandReplacesKnownReferencesOnly) {
  setenv("NT_ENV_A", "alpha", 1);
  setenv("NT_ENV_B", "", 1);
  char buffer[64];
  EXPECT_EQ(13u, ExpandEnvironmentStringsA("x%NT_ENV_A%y%nt_env_a%", buffer, sizeof buffer));
  EXPECT_STREQ("xalphayalpha", buffer);
  EXPECT_EQ(17u, ExpandEnvironmentStringsA("%NT_ENV_MISSING%", buffer, sizeof buffer));
  EXPECT_STREQ("%NT_ENV_MISSING%", buffer);
  EXPECT_EQ(3u, ExpandEnvironmentStringsA("[%NT_ENV_B%]", buffer, sizeof buffer));
  EXPECT_STREQ("[]", buffer);
  // After an unknown name the second '%' may open a known reference.
  EXPECT_EQ(9u, ExpandEnvironmentStringsA("%zz%NT_ENV_A%", buffer, sizeof buffer));
  EXPECT_STREQ("%zzalpha", buffer);
  EXPECT_STREQ("100%", (ExpandEnvironmentStringsA("100%", buffer, sizeof buffer), buffer));
  EXPECT_STREQ("%%", (ExpandEnvironmentStringsA("%%", buffer, sizeof buffer), buffer));
  EXPECT_EQ(1u, ExpandEnvironmentStringsA("", buffer, sizeof buffer));

  // Too small: the size needed, and a cut, terminated text in the buffer.
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(8u, ExpandEnvironmentStringsA("<%NT_ENV_A%>", buffer, 4));
  EXPECT_STREQ("<al", buffer);
  EXPECT_EQ('x', buffer[4]);
  EXPECT_EQ(8u, ExpandEnvironmentStringsA("<%NT_ENV_A%>", nullptr, 0));
  EXPECT_EQ(0u, ExpandEnvironmentStringsA(nullptr, buffer, 4));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

}  // namespace
