// The user locale kept between calls and held for a piece of work, and
// number texts built with separators of several bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/kernel/error.h"
#include "platform/nls/locale.h"
#include "platform/nls/locale_test_formats.h"
#include "platform/nls/nls_test_env.h"

namespace {

constexpr LCID kEnUs = 0x0409, kDeDe = 0x0407, kFrFr = 0x040C, kItIt = 0x0410;

std::string number(const char* value, const NUMBERFMTA& format) {
  char buf[200];
  if (GetNumberFormatA(kEnUs, 0, value, &format, buf, sizeof buf) <= 0) {
    return "<error " + std::to_string(GetLastError()) + ">";
  }
  return buf;
}

TEST(UserLocaleCache, SeesEveryChangeOfTheVariables) {
  NlsEnv env;
  env.lang("de_DE.UTF-8");
  EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
  EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
  env.set("LANG", "fr_FR.UTF-8");
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  // LC_ALL over LANG, an empty LC_ALL gives way to LANG, none at all is English.
  env.set("LC_ALL", "it_IT");
  EXPECT_EQ(GetUserDefaultLCID(), kItIt);
  EXPECT_EQ(GetSystemDefaultLCID(), kItIt);
  env.set("LC_ALL", "");
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  env.set("LC_ALL", nullptr);
  env.set("LANG", nullptr);
  EXPECT_EQ(GetUserDefaultLCID(), kEnUs);
  env.set("LANG", "de_DE");
  EXPECT_EQ(GetUserDefaultLCID(), kDeDe);

  // A variable changed in place (putenv of a buffer the caller rewrites)
  // keeps its string pointer: the text is what counts.
  static char in_place[] = "LANG=de_DE.UTF-8";
  ASSERT_EQ(putenv(in_place), 0);
  EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
  std::memcpy(in_place + 5, "fr", 2);
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  env.set("LANG", "it_IT.UTF-8");  // puts a copy in place of the buffer
  EXPECT_EQ(GetUserDefaultLCID(), kItIt);

  // Values too long to be kept for the comparison are parsed every time.
  const std::string long_german = "de_DE.UTF-8@" + std::string(80, 'x');
  const std::string long_french = "fr_FR.UTF-8@" + std::string(80, 'x');
  env.set("LANG", long_german.c_str());
  EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
  env.set("LANG", long_french.c_str());
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
}

TEST(UserLocaleHold, FixesTheLocaleOfItsThreadWhileItLives) {
  NlsEnv env;
  env.lang("de_DE.UTF-8");
  {
    NtUserLocaleHold hold;
    env.set("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
    EXPECT_EQ(GetSystemDefaultLCID(), kDeDe);
    char thousand[8];
    ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, sizeof thousand), 0);
    EXPECT_STREQ(thousand, ".");
    {
      // An inner hold keeps what the outer one read.
      NtUserLocaleHold inner;
      EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
    }
    EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
    // Other threads are not held.
    LCID other = 0;
    std::thread([&other] { other = GetUserDefaultLCID(); }).join();
    EXPECT_EQ(other, kFrFr);
  }
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  {
    NtUserLocaleHold hold;
    EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  }
}

// Calls in a row that differ in one thing only: each must show it.
TEST(DateTimeFormat, RepeatedCallsFollowEveryInput) {
  NlsEnv env;
  env.pages("65001", "65001").lang("de_DE.UTF-8");
  const SYSTEMTIME march = at(2026, 3, 9, 13, 5, 7);
  EXPECT_EQ(date(kDeDe, march, "dd.MM.yyyy"), "09.03.2026");
  EXPECT_EQ(date(kDeDe, march, "dd.MM.yyyy"), "09.03.2026");
  EXPECT_EQ(date(kDeDe, at(2026, 3, 10), "dd.MM.yyyy"), "10.03.2026");
  EXPECT_EQ(date(kDeDe, at(2027, 3, 10), "dd.MM.yyyy"), "10.03.2027");
  EXPECT_EQ(date(kDeDe, at(2027, 4, 10), "dd.MM.yyyy"), "10.04.2027");
  EXPECT_EQ(date(kDeDe, at(2027, 4, 10), "dd.MM.yy"), "10.04.27");
  EXPECT_EQ(date(kDeDe, march, "dddd, d. MMMM"), "Montag, 9. M\xC3\xA4rz");
  EXPECT_EQ(date(kFrFr, march, "dddd, d. MMMM"), "lundi, 9. mars");
  EXPECT_EQ(date(kDeDe, march, nullptr, DATE_SHORTDATE), "09.03.2026");
  EXPECT_EQ(date(kDeDe, march, nullptr, DATE_LONGDATE), "Montag, 9. M\xC3\xA4rz 2026");
  EXPECT_EQ(date(LOCALE_USER_DEFAULT, march, "MMMM"), "M\xC3\xA4rz");
  env.set("LANG", "fr_FR.UTF-8");
  EXPECT_EQ(date(LOCALE_USER_DEFAULT, march, "MMMM"), "mars");
  env.pages("1252", "850").lang("de_DE.UTF-8");
  EXPECT_EQ(date(kDeDe, march, "MMMM"), "M\xE4rz");  // the same call in another ANSI page

  env.pages("65001", "65001");
  EXPECT_EQ(time_of(kEnUs, march, "hh:mm:ss tt"), "01:05:07 PM");
  EXPECT_EQ(time_of(kEnUs, march, "hh:mm:ss tt"), "01:05:07 PM");
  EXPECT_EQ(time_of(kEnUs, at(2026, 3, 9, 1, 5, 7), "hh:mm:ss tt"), "01:05:07 AM");
  EXPECT_EQ(time_of(kEnUs, at(2026, 3, 9, 1, 6, 7), "hh:mm:ss tt"), "01:06:07 AM");
  EXPECT_EQ(time_of(kEnUs, at(2026, 3, 9, 1, 6, 8), "hh:mm:ss tt"), "01:06:08 AM");
  EXPECT_EQ(time_of(kEnUs, at(2026, 3, 9, 1, 6, 8), "hh:mm:ss tt", TIME_NOSECONDS), "01:06 AM");
  EXPECT_EQ(time_of(kEnUs, at(2026, 3, 9, 1, 6, 8), "hh:mm:ss tt", TIME_FORCE24HOURFORMAT),
            "01:06:08 AM");
  EXPECT_EQ(time_of(kEnUs, march, "hh:mm:ss tt", TIME_FORCE24HOURFORMAT), "13:05:07 PM");
  EXPECT_EQ(time_of(kDeDe, march, nullptr), "13:05:07");
  // The day does not enter a time, nor the time a date.
  EXPECT_EQ(time_of(kDeDe, at(2030, 1, 1, 13, 5, 7), nullptr), "13:05:07");
  EXPECT_EQ(date(kDeDe, at(2026, 3, 9, 23, 59, 59), "dd.MM.yyyy"), "09.03.2026");
  // A failing call leaves the next one unharmed.
  EXPECT_EQ(date(kDeDe, at(2026, 2, 30), "dd.MM.yyyy"), "<error 87>");
  EXPECT_EQ(date(kDeDe, march, "dd.MM.yyyy"), "09.03.2026");
}

TEST(NumberFormat, SeparatorsOfSeveralBytes) {
  char decimal[] = "<>", thousand[] = "\xE2\x80\xAF";  // U+202F in UTF-8
  NUMBERFMTA f{2, 1, 3, decimal, thousand, 0};
  EXPECT_EQ(number("1234567.891", f), "1\xE2\x80\xAF" "234\xE2\x80\xAF" "567<>89");
  EXPECT_EQ(number("-999999.999", f), "(1\xE2\x80\xAF" "000\xE2\x80\xAF" "000<>00)");
  EXPECT_EQ(number("12", f), "12<>00");
  f.NegativeOrder = 4;
  f.Grouping = 32;
  EXPECT_EQ(number("-123456789", f),
            "12\xE2\x80\xAF" "34\xE2\x80\xAF" "56\xE2\x80\xAF" "789<>00 -");
  f.NumDigits = 0;
  f.NegativeOrder = 2;
  EXPECT_EQ(number("-1", f), "- 1");
  // Forty digits: every group is cut alike, not only those of 32-bit values.
  f.Grouping = 3;
  char comma[] = ",";
  f.lpThousandSep = comma;
  EXPECT_EQ(number("1234567890123456789012345678901234567890", f),
            "1,234,567,890,123,456,789,012,345,678,901,234,567,890");
  // A buffer one byte short fails and leaves the buffer as it was.
  char small[6] = "xxxxx";
  EXPECT_EQ(GetNumberFormatA(kEnUs, 0, "123456", &f, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_STREQ(small, "xxxxx");
  EXPECT_EQ(GetNumberFormatA(kEnUs, 0, "123456", &f, nullptr, 0), 8);
}

}  // namespace
