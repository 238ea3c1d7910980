#include <gtest/gtest.h>

#include <string>

#include "lib/format.h"
#include "lib/format_test_support.h"

namespace {

TEST(ToOem, ConvertsInPlaceWithinTheBuffer) {
  {
    CodePageScope pages("1252", "850");
    char line[OUTPUT_LINE_SIZE] = "M\xFCller \xE9t\xE9 \x80";  // Müller été €
    to_oem(line);
    EXPECT_STREQ(line, "M\x81ller \x82t\x82 ?");  // 850 has no euro sign
  }
  {
    // ANSI 1252 into an OEM page of UTF-8 doubles these bytes; the buffer
    // holds what fits in whole characters and its terminator.
    CodePageScope pages("1252", "65001");
    char line[8 + 4] = "ab\xFC\xFC\xFC";
    std::memset(line + 6, '#', sizeof line - 6);
    to_oem(line, 8);
    EXPECT_STREQ(line, "ab\xC3\xBC\xC3\xBC");
    EXPECT_EQ(std::string(line + 8, 4), "####");
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    to_oem(unterminated, 4);
    EXPECT_STREQ(unterminated, "abc");
  }
  {
    CodePageScope pages("65001", "65001");
    char line[OUTPUT_LINE_SIZE] = "M\xC3\xBCller";
    to_oem(line);
    EXPECT_STREQ(line, "M\xC3\xBCller");
  }
}

TEST(PrintFormatted, PrintsOneConvertedLineUnlessEmpty) {
  CodePageScope pages("1252", "850");
  WCHAR name[ARG_TEXT_SIZE] = u"J\u00fcrgen";
  const ArgSpec table[] = {{ARG_WSTRING, 'N', 0, name, 0}, {ARG_END, 0, 0, nullptr, 0}};

  testing::internal::CaptureStdout();
  print_formatted("~-8N|", table, false);
  print_formatted("", table, false);
  print_formatted(nullptr, table, false);
  print_formatted("~N", table, true);
  print_formatted("~q", table, true);  // expands to nothing, but the format was not empty
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "J\x81rgen  |\nJ\xFCrgen\n\n");

  // The line holds 2,047 bytes at most.
  testing::internal::CaptureStdout();
  print_formatted("~255N~255N~255N~255N~255N~255N~255N~255N~255N", table, true);
  std::fflush(stdout);
  const std::string long_line = testing::internal::GetCapturedStdout();
  EXPECT_EQ(long_line.size(), 2047u + 1);
  EXPECT_EQ(long_line.back(), '\n');
}

}  // namespace
