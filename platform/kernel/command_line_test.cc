#include "platform/kernel/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(CommandLineJoin, QuotesArgumentsWithBlanksAndEmptyOnes) {
  EXPECT_EQ(nt_join_command_line({"acma", "sho", "*"}), "acma sho *");
  EXPECT_EQ(nt_join_command_line({"zeb", "add", "/cHello world"}), "zeb add \"/cHello world\"");
  EXPECT_EQ(nt_join_command_line({"p", "", "x"}), "p \"\" x");
  EXPECT_EQ(nt_join_command_line({"p", "a\tb"}), "p \"a\tb\"");
  // Quotes inside an argument are passed through for the tool's own tokenizer.
  EXPECT_EQ(nt_join_command_line({"portel", "/g\"a", "b\""}), "portel /g\"a b\"");
  EXPECT_EQ(nt_join_command_line({}), "");
}

TEST(CommandLineText, RebuiltFromOwnArguments) {
  // The test binary runs without a handed-down text: the text starts with argv[0].
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("NT_CMDLINE");
        const char* text = GetCommandLineA();
        exit(strstr(text, "platform_tests") != nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(CommandLineText, HandedDownTextCountsOnlyForItsProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string entry = nt_command_line_env_entry(getpid(), "zeb  SpAwN \"x y\"");
        putenv(strdup(entry.c_str()));
        exit(strcmp(GetCommandLineA(), "zeb  SpAwN \"x y\"") == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        std::string entry = nt_command_line_env_entry(getpid() + 1, "not mine");
        putenv(strdup(entry.c_str()));
        exit(strstr(GetCommandLineA(), "not mine") == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(CommandLineText, SetReplacesBothForms) {
  nt_set_command_line("tool sho \"a b\"");
  EXPECT_STREQ(GetCommandLineA(), "tool sho \"a b\"");
  EXPECT_EQ(std::u16string(GetCommandLineW()), u"tool sho \"a b\"");
  nt_set_command_line(nullptr);
  EXPECT_STREQ(GetCommandLineA(), "");
}

}  // namespace
