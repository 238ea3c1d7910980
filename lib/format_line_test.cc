// Lines of many values: the locale's separators follow changes of the
// locale and the code page between lines, text runs are cut at the output
// size, and the OEM conversion leaves ASCII lines as they are.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lib/format.h"
#include "lib/format_test_support.h"
#include "platform/nls/codepage.h"

namespace {

constexpr ArgSpec END{ARG_END, 0, 0, nullptr, 0};

TEST(FormatLine, NumberSeparatorsFollowTheLocaleAndTheAnsiPage) {
  int32_t number = 1234567;
  double bytes = 7654321.0;
  const ArgSpec table[] = {{ARG_NUMERIC, 'T', 0, &number, 0}, {ARG_DOUBLE, 's', 0, &bytes, 0}, END};
  {
    CodePageScope pages("65001", "65001", "de_DE.UTF-8");
    EXPECT_EQ(expand("~T ~s", table), "1.234.567 7.654.321");
    // The same thread, the locale changed between two lines.
    EnvScope lang("LANG", "en_US.UTF-8");
    EXPECT_EQ(expand("~T ~s", table), "1,234,567 7,654,321");
    EnvScope all("LC_ALL", "de_CH.UTF-8");
    EXPECT_EQ(expand("~T", table), "1'234'567");
  }
  {
    // French groups with a no-break space: one byte in 1252, two in UTF-8;
    // the width counts it as one character in both.
    CodePageScope pages("1252", "1252", "fr_FR.UTF-8");
    EXPECT_EQ(expand("~T|~10s|", table), "1\xA0" "234\xA0" "567| 7\xA0" "654\xA0" "321|");
  }
  {
    CodePageScope pages("65001", "65001", "fr_FR.UTF-8");
    EXPECT_EQ(expand("~T|~10s|", table),
              "1\xC2\xA0" "234\xC2\xA0" "567| 7\xC2\xA0" "654\xC2\xA0" "321|");
  }
}

TEST(FormatLine, TextRunsStopAtTheOutputSize) {
  CodePageScope pages("65001", "65001");
  char name[ARG_TEXT_SIZE] = "name.txt";
  const ArgSpec table[] = {{ARG_STRING, 'N', 0, name, 0}, END};
  EXPECT_EQ(expand("hello ~N world", table, 3), "hel");
  EXPECT_EQ(expand("hello ~N world", table, 10), "hello name");
  EXPECT_EQ(expand("hello ~N world", table, 17), "hello name.txt wo");
  // A character of the format that does not fit whole is left out.
  EXPECT_EQ(expand("ab\xC3\xBC" "cd", table, 3), "ab");
  EXPECT_EQ(expand("ab\xC3\xBC" "cd", table, 5), "ab\xC3\xBC" "c");
  // Control bytes and DEL are plain one-byte characters.
  EXPECT_EQ(expand("\x01\x7F~N\x7F", table), "\x01\x7Fname.txt\x7F");
  strcpy(name, "\x7F\x01" "ab\xC3\xBC");
  EXPECT_EQ(expand("~6N|~-6N|~.4N|", table), " \x7F\x01" "ab\xC3\xBC|\x7F\x01" "ab\xC3\xBC |\x7F\x01..|");
  EXPECT_EQ(expand("~N", table, 4), "\x7F\x01" "ab");
}

TEST(FormatLine, AsciiLinesLeaveTheOemConversionAlone) {
  // What lets to_oem skip ASCII lines: every page pair converts ASCII to itself.
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  const char* pages_known[] = {"65001", "1252", "850", "437"};
  for (const char* ansi : pages_known) {
    for (const char* oem : pages_known) {
      CodePageScope pages(ansi, oem);
      EXPECT_EQ(nt_ansi_to_oem(ascii), ascii) << ansi << " -> " << oem;
      char line[OUTPUT_LINE_SIZE];
      strcpy(line, ascii.c_str());
      to_oem(line);
      EXPECT_EQ(std::string(line), ascii) << ansi << " -> " << oem;
    }
  }
  // One byte outside ASCII and the whole line is converted.
  CodePageScope pages("1252", "850");
  char line[OUTPUT_LINE_SIZE] = "plain text and \xFC";
  to_oem(line);
  EXPECT_STREQ(line, "plain text and \x81");
}

TEST(FormatLine, AGrownLineKeepsItsNewlineInsideTheBuffer) {
  // 1252 text grows in UTF-8: the converted line is cut to 2,047 bytes on a
  // character boundary and still ends with one newline.
  CodePageScope pages("1252", "65001");
  char name[ARG_TEXT_SIZE];
  std::memset(name, '\xFC', 255);
  name[255] = '\0';
  const ArgSpec table[] = {{ARG_STRING, 'N', 0, name, 0}, END};
  testing::internal::CaptureStdout();
  print_formatted_text("~N~N~N~N~N~N~N~N~N", table, false);
  print_formatted_text("x~N", table, false);
  std::fflush(stdout);
  const std::string out = testing::internal::GetCapturedStdout();
  const size_t first_end = out.find('\n');
  ASSERT_NE(first_end, std::string::npos);
  EXPECT_EQ(first_end, 2046u);  // 1,023 two-byte characters
  EXPECT_EQ(out.substr(0, 2), "\xC3\xBC");
  const std::string second = out.substr(first_end + 1);
  EXPECT_EQ(second.size(), 1u + 510u + 1u);
  EXPECT_EQ(second.front(), 'x');
  EXPECT_EQ(second.back(), '\n');
}

}  // namespace
