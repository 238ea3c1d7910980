#include "lib/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "lib/format_test_support.h"
#include "platform/kernel/clock.h"

namespace {

constexpr ArgSpec END{ARG_END, 0, 0, nullptr, 0};

TEST(ExpandFormat, CutsAndFillsTextsToTheirColumn) {
  CodePageScope pages("65001", "65001");
  char name[ARG_TEXT_SIZE] = "ADMINISTRATOR_ACCOUNT";
  const ArgSpec table[] = {{ARG_STRING, 'N', 0, name, 0}, END};

  EXPECT_EQ(expand("~-.15N", table), "ADMINISTRATOR..");
  EXPECT_EQ(expand("~.15N|", table), "ADMINISTRATOR..|");
  EXPECT_EQ(expand("~!3N", table), "ADM");
  EXPECT_EQ(expand("~.!5N", table), "ADMIN");  // '!' wins over '.'
  EXPECT_EQ(expand("~!.5N", table), "5N");     // fixed order: a '.' after '!' is the letter
  EXPECT_EQ(expand("~3N", table), "ADMINISTRATOR_ACCOUNT");  // no cut without '.' or '!'
  EXPECT_EQ(expand("~.1N|~.2N|~.3N", table), ".|..|A..");

  strcpy(name, "GUEST");
  EXPECT_EQ(expand("~-.15N|", table), "GUEST          |");
  EXPECT_EQ(expand("~.15N|", table), "          GUEST|");
  EXPECT_EQ(expand("~0-7N|", table), "7N|");  // fixed order: the '-' after '0' is the letter
  strcpy(name, "ABCDEFGHIJKLMN");  // 14 = width - 1
  EXPECT_EQ(expand("~-.15N|", table), "ABCDEFGHIJKLM. |");
  strcpy(name, "ABCDEFGHIJKLM");  // 13 = width - 2: unchanged
  EXPECT_EQ(expand("~-.15N|", table), "ABCDEFGHIJKLM  |");
  strcpy(name, "ABCDEF");
  EXPECT_EQ(expand("~!3N", table), "ABC");
}

TEST(ExpandFormat, PlacesNumbersWithFillAndLocaleSeparators) {
  int32_t number = 42;
  const ArgSpec table[] = {{ARG_NUMERIC, 'M', 0, &number, 0}, END};
  {
    CodePageScope pages("65001", "65001", "en_US.UTF-8");
    EXPECT_EQ(expand("~5M|~05M|~-05M|~-5M|", table), "   42|00042|42000|42   |");
    EXPECT_EQ(expand("~.1M ~!1M", table), ". 4");  // cutting applies to numbers alike
    number = 1234567;
    EXPECT_EQ(expand("~M", table), "1,234,567");
    number = -1;
    EXPECT_EQ(expand("~M", table), "(1)");
    number = INT_MIN;
    EXPECT_EQ(expand("~M", table), "(2,147,483,648)");
    number = 0;
    EXPECT_EQ(expand("~M", table), "0");
  }
  {
    CodePageScope pages("65001", "65001", "de_DE.UTF-8");
    number = 1234567;
    EXPECT_EQ(expand("~M", table), "1.234.567");
    EXPECT_EQ(expand("~.6M", table), "1.23..");
  }
}

TEST(ExpandFormat, RoundsDoublesToWholeNumbers) {
  CodePageScope pages("65001", "65001", "en_US.UTF-8");
  double value = 1234567.5;
  const ArgSpec table[] = {{ARG_DOUBLE, 's', 0, &value, 0}, END};
  EXPECT_EQ(expand("~s", table), "1,234,568");
  value = -2.5;
  EXPECT_EQ(expand("~s", table), "(3)");
  value = -0.4;  // rounds to zero, not to a negative zero
  EXPECT_EQ(expand("~s", table), "0");
  value = 1e20;  // beyond every integer type
  EXPECT_EQ(expand("~s", table), "100,000,000,000,000,000,000");
  value = -1e300;
  const std::string huge = expand("~s", table);
  EXPECT_EQ(huge.size(), 2 + 301 + 100u);
  EXPECT_EQ(huge.substr(0, 5), "(1,00");
  value = std::nan("");
  EXPECT_EQ(expand("~4s", table), " nan");
}

TEST(ExpandFormat, ReadsTheGrammarAndDropsWhatPrintsNothing) {
  CodePageScope pages("65001", "65001");
  char text[ARG_TEXT_SIZE] = "x";
  char letter = 'Z';
  int32_t flag = 1;
  char range[ARG_TEXT_SIZE] = "1:5";
  FILETIME delta{1, 1};
  char first[] = "first";
  char second[] = "second";
  const ArgSpec table[] = {
      {ARG_STRING, 'N', 0, text, 0},     {ARG_CHAR, 'c', 0, &letter, 0},
      {ARG_FLAG, 'f', 0, &flag, 0},      {ARG_RANGE, 'r', 0, range, 0},
      {ARG_DELTATIME, 'd', 0, &delta, 0}, {ARG_STRING, 'a', 0, nullptr, 0},
      {ARG_STRING, 'b', 0, first, 0},    {ARG_STRING, 'b', 0, second, 0},
      END};

  EXPECT_EQ(expand("~~", table), "~");
  EXPECT_EQ(expand("a~~N~", table), "a~N");  // "~~" then a plain N; a final '~' prints nothing
  EXPECT_EQ(expand("<~q>", table), "<>");
  EXPECT_EQ(expand("<~-5q>", table), "<>");
  EXPECT_EQ(expand("<~5c~5f~5r~5d~5a>", table), "<>");
  EXPECT_EQ(expand("~b ~n", table), "first ");  // first entry of a letter; letters exact
  EXPECT_EQ(expand("line 1\r\nline\t2\n~N\n", table), "line 1\r\nline\t2\nx\n");
  EXPECT_EQ(expand("~-.!00012N|", table), "x00000000000|");
  EXPECT_EQ(expand("end ~-.5", table), "end ");  // a placeholder cut short by the end
  EXPECT_EQ(expand("~3~|", table), "~|");
  EXPECT_EQ(expand("", table), "");
  EXPECT_EQ(expand("~N", nullptr), "");
  EXPECT_EQ(expand(nullptr, table), "");
}

TEST(ExpandFormat, CapsTheWidthAt255) {
  CodePageScope pages("65001", "65001");
  char text[ARG_TEXT_SIZE] = "x";
  const ArgSpec table[] = {{ARG_STRING, 'N', 0, text, 0}, END};
  EXPECT_EQ(expand("~255N", table), std::string(254, ' ') + "x");
  EXPECT_EQ(expand("~256N", table), std::string(254, ' ') + "x");
  EXPECT_EQ(expand("~99999999999999999999N", table), std::string(254, ' ') + "x");
  EXPECT_EQ(expand("~-0300N", table), "x" + std::string(254, '0'));
}

TEST(ExpandFormat, StopsAtTheOutputSize) {
  CodePageScope pages("65001", "65001");
  int32_t number = 42;
  const ArgSpec table[] = {{ARG_NUMERIC, 'M', 0, &number, 0}, END};
  EXPECT_EQ(expand("ab~5M", table, 4), "ab  ");  // inside the fill
  EXPECT_EQ(expand("ab~5M", table, 6), "ab   4");  // inside the value
  EXPECT_EQ(expand("ab~-5M!", table, 5), "ab42 ");  // inside the trailing fill
  EXPECT_EQ(expand("ab~5M", table, 7), "ab   42");
  EXPECT_EQ(expand("abc", table, 0), "");
  EXPECT_EQ(expand("~~~~", table, 1), "~");

  char guard[4] = {'#', '#', '#', '#'};
  expand_format("abc", guard, table, -1);  // no room for anything, not even a terminator
  EXPECT_EQ(std::string(guard, 4), "####");
}

TEST(ExpandFormat, CountsCharactersNotBytesInUtf8) {
  CodePageScope pages("65001", "65001");
  char name[ARG_TEXT_SIZE] = "M\xC3\xBCllerstra\xC3\x9F" "e";  // Müllerstraße
  WCHAR wide[ARG_TEXT_SIZE] = u"M\u00fcller";
  const ArgSpec table[] = {{ARG_STRING, 'N', 0, name, 0}, {ARG_WSTRING, 'w', 0, wide, 0}, END};

  EXPECT_EQ(expand("~.5N", table), "M\xC3\xBCl..");
  EXPECT_EQ(expand("~!12N", table), name);
  EXPECT_EQ(expand("~!11N", table), "M\xC3\xBCllerstra\xC3\x9F");
  EXPECT_EQ(expand("~-8w|", table), "M\xC3\xBCller  |");
  EXPECT_EQ(expand("~8w", table), "  M\xC3\xBCller");
  // The size limit falls inside the two bytes of the u-umlaut: it is left out whole.
  EXPECT_EQ(expand("~w", table, 2), "M");
  EXPECT_EQ(expand("~wX", table, 3), "M\xC3\xBC");
  // A multi-byte character after '~' is no letter and disappears whole.
  EXPECT_EQ(expand("<~\xC3\xBC>", table), "<>");
  // Stray bytes count as one character each and are copied as they stand.
  strcpy(name, "\xFF\x80" "ab");
  EXPECT_EQ(expand("~.4N|~6N", table), "\xFF\x80..|  \xFF\x80" "ab");
}

TEST(ExpandFormat, WritesWideTextsInTheAnsiCodePage) {
  CodePageScope pages("1252", "850");
  WCHAR wide[ARG_TEXT_SIZE] = u"M\u00fcller \u20ac \u0416";  // u-umlaut, euro, a Cyrillic letter
  const ArgSpec table[] = {{ARG_WSTRING, 'w', 0, wide, 0}, END};
  EXPECT_EQ(expand("~w", table), "M\xFCller \x80 ?");
  EXPECT_EQ(expand("~.4w", table), "M\xFC..");
}

TEST(ExpandFormat, RendersTimesAndBitMasks) {
  CodePageScope pages("65001", "65001");
  EnvScope date("QX_DATE_FORMAT", nullptr);
  EnvScope time("QX_TIME_FORMAT", nullptr);
  SYSTEMTIME fields{1997, 4, 0, 30, 20, 0, 0, 0};
  FILETIME when{};
  ASSERT_TRUE(SystemTimeToFileTime(&fields, &when));
  FILETIME never = u64_to_filetime(0xFFFFFFFFFFFFFFFFull);
  uint32_t hours = 0x7FF80;  // bits 7 to 18
  uint32_t days = 0x2E;      // 1, 2, 3 and 5
  const ArgSpec table[] = {{ARG_ABSTIME, 'M', 0, &when, 0},
                           {ARG_ABSTIME, 'X', 0, &never, 0},
                           {ARG_BITMASK, 'H', 0, &hours, 0xFFFFFF},
                           {ARG_BITMASK, 'D', 0, &days, 0xFFFFFFFE},
                           {ARG_BITMASK, 'h', 0, &hours, 0x7F00},  // only 8 to 14 exist
                           END};
  EXPECT_EQ(expand("~M|~-8X|", table), "30.04.1997 20:00|never   |");
  EXPECT_EQ(expand("~.12M", table), "30.04.1997..");
  EXPECT_EQ(expand("~7H|~D|~h", table), "   7:18|1:3,5|8:14");
}

}  // namespace
