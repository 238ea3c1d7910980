#include "platform/process/command_resolve.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineSplit, RuntimeRules) {
  EXPECT_EQ(nt_split_command_line(""), Args{});
  EXPECT_EQ(nt_split_command_line("   \t "), Args{});
  EXPECT_EQ(nt_split_command_line("prog"), (Args{"prog"}));
  EXPECT_EQ(nt_split_command_line("  prog   a\tb  "), (Args{"prog", "a", "b"}));
  // Quotes group and vanish; "" is an empty argument.
  EXPECT_EQ(nt_split_command_line("p \"a b\" \"\" c\"d e\"f"), (Args{"p", "a b", "", "cd ef"}));
  // Backslashes count only before a quote.
  EXPECT_EQ(nt_split_command_line("p a\\b c\\\\ d\\\\\\e"), (Args{"p", "a\\b", "c\\\\", "d\\\\\\e"}));
  EXPECT_EQ(nt_split_command_line("p a\\\"b"), (Args{"p", "a\"b"}));
  EXPECT_EQ(nt_split_command_line("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));
  EXPECT_EQ(nt_split_command_line("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));
  // "" inside quotes is a literal quote, the quote goes on.
  EXPECT_EQ(nt_split_command_line("p \"a\"\"b c\""), (Args{"p", "a\"b c"}));
  // An unterminated quote runs to the end.
  EXPECT_EQ(nt_split_command_line("p \"a b"), (Args{"p", "a b"}));
  // argv[0] takes quotes alone; backslashes are plain there.
  EXPECT_EQ(nt_split_command_line("\"C:\\Program Files\\x.exe\" y"),
            (Args{"C:\\Program Files\\x.exe", "y"}));
  EXPECT_EQ(nt_split_command_line("C:\\dir\\x.exe\\\" y"), (Args{"C:\\dir\\x.exe\\\"", "y"}));
}

TEST(CommandLineSplit, ProgramCandidates) {
  EXPECT_EQ(nt_program_candidates(""), Args{});
  EXPECT_EQ(nt_program_candidates("\"C:\\a b\\c.exe\" x y"), (Args{"C:\\a b\\c.exe"}));
  EXPECT_EQ(nt_program_candidates("\"unterminated x"), (Args{"unterminated x"}));
  EXPECT_EQ(nt_program_candidates("  C:\\a b\\c d"),
            (Args{"C:\\a", "C:\\a b\\c", "C:\\a b\\c d"}));
  EXPECT_EQ(nt_program_candidates("prog"), (Args{"prog"}));
  EXPECT_EQ(nt_program_candidates("prog  \t x"), (Args{"prog", "prog  \t x"}));
}

}  // namespace
