#include "platform/nls/locale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/nls/locale_test_formats.h"
#include "platform/nls/nls_test_env.h"

namespace {

std::string info(LCID lcid, LCTYPE type) {
  char buf[80];
  int n = GetLocaleInfoA(lcid, type, buf, sizeof buf);
  return n > 0 ? std::string(buf) : "<error " + std::to_string(GetLastError()) + ">";
}

std::string number(LCID lcid, const char* value, const NUMBERFMTA* format = nullptr) {
  char buf[80];
  int n = GetNumberFormatA(lcid, 0, value, format, buf, sizeof buf);
  if (n <= 0) return "<error " + std::to_string(GetLastError()) + ">";
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf) + 1);
  return buf;
}

constexpr LCID kEnUs = 0x0409, kEnGb = 0x0809, kDeDe = 0x0407, kDeCh = 0x0807, kFrFr = 0x040C,
               kItIt = 0x0410, kEsEs = 0x0C0A, kSvSe = 0x041D;

TEST(UserLocale, ComesFromLcAllElseLang) {
  NlsEnv env;
  env.lang(nullptr);
  EXPECT_EQ(GetUserDefaultLCID(), kEnUs);
  struct Case {
    const char* lang;
    LCID lcid;
  } cases[] = {
      {"de_DE.UTF-8", kDeDe}, {"en_GB", kEnGb},           {"de_CH.UTF-8", kDeCh},
      {"fr_FR@euro", kFrFr},  {"it_IT.ISO-8859-1", kItIt}, {"es_ES.UTF-8", kEsEs},
      {"nl_NL", 0x0413},      {"sv_SE.UTF-8", kSvSe},     {"pt_BR.UTF-8", 0x0416},
      {"C", kEnUs},           {"POSIX", kEnUs},           {"C.UTF-8", kEnUs},
      {"", kEnUs},            {"de_AT.UTF-8", kDeDe},     {"pt_PT", 0x0416},
      {"xx_YY.UTF-8", kEnUs}, {"de", kDeDe},              {"de_DE!", kEnUs},
  };
  for (const auto& c : cases) {
    env.set("LANG", c.lang);
    EXPECT_EQ(GetUserDefaultLCID(), c.lcid) << c.lang;
  }
  env.set("LANG", "de_DE.UTF-8").set("LC_ALL", "fr_FR.UTF-8");
  EXPECT_EQ(GetUserDefaultLCID(), kFrFr);
  EXPECT_EQ(info(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE), "French");
  env.set("LC_ALL", "");
  EXPECT_EQ(GetUserDefaultLCID(), kDeDe);
  EXPECT_EQ(GetSystemDefaultLCID(), kDeDe);
  EXPECT_TRUE(IsValidLocale(kSvSe, 0));
  EXPECT_FALSE(IsValidLocale(0x0419, 0));
}

TEST(LocaleInfo, Values) {
  NlsEnv env;
  env.pages("65001", "850");
  EXPECT_EQ(info(kDeDe, LOCALE_SDECIMAL), ",");
  EXPECT_EQ(info(kDeDe, LOCALE_STHOUSAND), ".");
  EXPECT_EQ(info(kDeDe, LOCALE_SGROUPING), "3;0");
  EXPECT_EQ(info(kDeDe, LOCALE_SSHORTDATE), "dd.MM.yyyy");
  EXPECT_EQ(info(kDeDe, LOCALE_STIMEFORMAT), "HH:mm:ss");
  EXPECT_EQ(info(kDeDe, LOCALE_S1159), "");
  EXPECT_EQ(info(kDeDe, LOCALE_SDAYNAME1), "Montag");
  EXPECT_EQ(info(kDeDe, LOCALE_SDAYNAME1 + 6), "Sonntag");
  EXPECT_EQ(info(kDeDe, LOCALE_SABBREVMONTHNAME1 + 2), "Mrz");
  EXPECT_EQ(info(kDeDe, LOCALE_SMONTHNAME1 + 2), "M\xC3\xA4rz");
  EXPECT_EQ(info(kDeDe, LOCALE_SMONTHNAME1 + 11), "Dezember");
  EXPECT_EQ(info(kDeDe, LOCALE_ILANGUAGE), "0407");
  EXPECT_EQ(info(kDeDe, LOCALE_ITIME), "1");
  EXPECT_EQ(info(kDeCh, LOCALE_STHOUSAND), "'");
  EXPECT_EQ(info(kEnUs, LOCALE_ITIME), "0");
  EXPECT_EQ(info(kEnUs, LOCALE_S2359), "PM");
  EXPECT_EQ(info(kEnUs, LOCALE_INEGNUMBER | LOCALE_NOUSEROVERRIDE), "1");
  EXPECT_EQ(info(kEnUs, LOCALE_SABBREVDAYNAME1 + 3), "Thu");
  EXPECT_EQ(info(kItIt, LOCALE_STIME), ".");
  EXPECT_EQ(info(kSvSe, LOCALE_SSHORTDATE), "yyyy-MM-dd");
  EXPECT_EQ(info(kFrFr, LOCALE_STHOUSAND), "\xC2\xA0");
  env.pages("1252", "850");
  EXPECT_EQ(info(kDeDe, LOCALE_SMONTHNAME1 + 2), "M\xE4rz");
  EXPECT_EQ(info(kFrFr, LOCALE_STHOUSAND), "\xA0");
}

TEST(LocaleInfo, SizesAndErrors) {
  char buf[8];
  EXPECT_EQ(GetLocaleInfoA(kDeDe, LOCALE_SDAYNAME1, nullptr, 0), 7);
  EXPECT_EQ(GetLocaleInfoA(kDeDe, LOCALE_SDAYNAME1, buf, 7), 7);
  EXPECT_STREQ(buf, "Montag");
  std::memset(buf, '#', sizeof buf);
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoA(kDeDe, LOCALE_SDAYNAME1, buf, 6), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(GetLocaleInfoA(kDeDe, 0x9999, buf, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLocaleInfoA(0x0419, LOCALE_SDECIMAL, buf, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLocaleInfoA(kDeDe, LOCALE_SDECIMAL, buf, -1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLocaleInfoA(kDeDe, LOCALE_SDECIMAL, nullptr, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(NumberFormat, LocaleDefaults) {
  EXPECT_EQ(number(kEnUs, "1234567"), "1,234,567.00");
  EXPECT_EQ(number(kDeDe, "1234567"), "1.234.567,00");
  EXPECT_EQ(number(kDeCh, "-1234567.5"), "-1'234'567.50");
  EXPECT_EQ(number(kEnGb, "-1"), "-1.00");
  NlsEnv env;
  env.lang("de_DE.UTF-8");
  EXPECT_EQ(number(LOCALE_USER_DEFAULT, "1000"), "1.000,00");
}

TEST(NumberFormat, ExplicitFormat) {
  char dot[] = ".", comma[] = ",", apostrophe[] = "'";
  NUMBERFMTA f{0, 1, 3, dot, comma, 0};
  EXPECT_EQ(number(kEnUs, "1234567", &f), "1,234,567");
  EXPECT_EQ(number(kEnUs, "-1", &f), "(1)");
  EXPECT_EQ(number(kEnUs, "-2147483648", &f), "(2,147,483,648)");
  EXPECT_EQ(number(kEnUs, "0", &f), "0");
  EXPECT_EQ(number(kEnUs, "-0", &f), "0");
  EXPECT_EQ(number(kEnUs, "999", &f), "999");
  EXPECT_EQ(number(kEnUs, "1000", &f), "1,000");
  EXPECT_EQ(number(kEnUs, "007", &f), "7");
  // Rounding half away from zero, carries included.
  EXPECT_EQ(number(kEnUs, "2.5", &f), "3");
  EXPECT_EQ(number(kEnUs, "-2.5", &f), "(3)");
  EXPECT_EQ(number(kEnUs, "0.4", &f), "0");
  EXPECT_EQ(number(kEnUs, "-0.4", &f), "0");
  EXPECT_EQ(number(kEnUs, "999999.5", &f), "1,000,000");
  f.NumDigits = 2;
  EXPECT_EQ(number(kEnUs, "1.005", &f), "1.01");
  EXPECT_EQ(number(kEnUs, "999.995", &f), "1,000.00");
  EXPECT_EQ(number(kEnUs, "5.", &f), "5.00");
  EXPECT_EQ(number(kEnUs, ".5", &f), "0.50");
  f.LeadingZero = 0;
  EXPECT_EQ(number(kEnUs, "0.5", &f), ".50");
  f.NumDigits = 1;
  f.LeadingZero = 1;
  const char* orders[] = {"(1,234.5)", "-1,234.5", "- 1,234.5", "1,234.5-", "1,234.5 -"};
  for (UINT order = 0; order < 5; ++order) {
    f.NegativeOrder = order;
    EXPECT_EQ(number(kEnUs, "-1234.5", &f), orders[order]);
  }
  f.NumDigits = 0;
  f.NegativeOrder = 1;
  f.Grouping = 0;
  EXPECT_EQ(number(kEnUs, "1234567", &f), "1234567");
  f.Grouping = 32;
  EXPECT_EQ(number(kEnUs, "1234567", &f), "12,34,567");
  f.Grouping = 4;
  f.lpThousandSep = apostrophe;
  EXPECT_EQ(number(kEnUs, "1234567", &f), "123'4567");
}

TEST(NumberFormat, Errors) {
  char dot[] = ".", comma[] = ",";
  NUMBERFMTA f{0, 1, 3, dot, comma, 0};
  for (const char* bad : {"", "-", ".", "1,000", "1.2.3", "+1", " 1", "1 ", "1e5", "--1"}) {
    EXPECT_EQ(number(kEnUs, bad, &f), "<error 87>") << bad;
  }
  EXPECT_EQ(GetNumberFormatA(kEnUs, 0, nullptr, &f, nullptr, 0), 0);
  char buf[8];
  SetLastError(0);
  EXPECT_EQ(GetNumberFormatA(kEnUs, LOCALE_NOUSEROVERRIDE, "1", &f, buf, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(GetNumberFormatA(kEnUs, LOCALE_NOUSEROVERRIDE, "1", nullptr, buf, 8), 5);
  EXPECT_EQ(GetNumberFormatA(0x0419, 0, "1", &f, buf, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  NUMBERFMTA broken[] = {{10, 1, 3, dot, comma, 0}, {0, 2, 3, dot, comma, 0},
                         {0, 1, 10, dot, comma, 0}, {0, 1, 3, nullptr, comma, 0},
                         {0, 1, 3, dot, nullptr, 0}, {0, 1, 3, dot, comma, 5}};
  for (const auto& b : broken) EXPECT_EQ(number(kEnUs, "1", &b), "<error 87>");
  // "1,234" takes six bytes with its terminator.
  EXPECT_EQ(GetNumberFormatA(kEnUs, 0, "1234", &f, nullptr, 0), 6);
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(GetNumberFormatA(kEnUs, 0, "1234", &f, buf, 5), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(GetNumberFormatA(kEnUs, 0, "1234", &f, buf, 6), 6);
  EXPECT_STREQ(buf, "1,234");
}

TEST(DateFormat, Pictures) {
  NlsEnv env;
  env.pages("65001", "850");
  SYSTEMTIME t = at(1997, 4, 30, 20, 5, 9);  // a Wednesday
  t.wDayOfWeek = 0;                          // wrong on purpose: the date decides
  EXPECT_EQ(date(kEnUs, t, "dd.MM.yyyy "), "30.04.1997 ");
  EXPECT_EQ(date(kEnUs, t, "ddd dddd dddddd"), "Wed Wednesday Wednesday");
  EXPECT_EQ(date(kDeDe, t, "ddd dddd, MMM MMMM"), "Mi Mittwoch, Apr April");
  EXPECT_EQ(date(kEnUs, t, "yy y yyy yyyyy gg"), "97 97 1997 1997 A.D.");
  EXPECT_EQ(date(kEnUs, t, "'Day' d 'of' M"), "Day 30 of 4");
  EXPECT_EQ(date(kEnUs, t, "'it''s' d''M '' 'open"), "it's 30'4 ' open");
  EXPECT_EQ(date(kEnUs, t, "dd HH:mm:ss tt/"), "30 HH:mm:ss tt/");
  SYSTEMTIME early = at(2009, 3, 5);
  EXPECT_EQ(date(kEnUs, early, "d/M/y yy"), "5/3/9 09");
  EXPECT_EQ(date(kDeDe, early, "MMM MMMM"), "Mrz M\xC3\xA4rz");
  EXPECT_EQ(date(kEnUs, at(1996, 2, 29), "dddd"), "Thursday");
  EXPECT_EQ(date(kEnUs, at(2000, 1, 1), "dddd"), "Saturday");
  EXPECT_EQ(date(kEnUs, at(1601, 1, 1), "dddd"), "Monday");
  // The locale's own formats.
  EXPECT_EQ(date(kEnUs, t, nullptr), "4/30/1997");
  EXPECT_EQ(date(kDeDe, t, nullptr, DATE_SHORTDATE), "30.04.1997");
  EXPECT_EQ(date(kEnUs, t, nullptr, DATE_LONGDATE), "Wednesday, April 30, 1997");
  EXPECT_EQ(date(kDeDe, t, nullptr, DATE_LONGDATE), "Mittwoch, 30. April 1997");
  EXPECT_EQ(date(kEsEs, t, nullptr, DATE_LONGDATE), "mi\xC3\xA9rcoles, 30 de abril de 1997");
  EXPECT_EQ(date(kSvSe, t, nullptr), "1997-04-30");
  env.pages("1252", "850");
  EXPECT_EQ(date(kDeDe, early, "MMMM"), "M\xE4rz");
  env.lang("fr_FR.UTF-8");
  EXPECT_EQ(date(LOCALE_USER_DEFAULT, t, "dddd d MMMM"), "mercredi 30 avril");
}

TEST(DateFormat, Errors) {
  SYSTEMTIME good = at(1997, 4, 30);
  for (const SYSTEMTIME& bad : {at(1997, 2, 29), at(1997, 13, 1), at(1997, 4, 31), at(1997, 0, 1),
                                at(1997, 4, 0), at(1600, 12, 31)}) {
    EXPECT_EQ(date(kEnUs, bad, "d"), "<error 87>") << bad.wYear << "-" << bad.wMonth;
  }
  EXPECT_EQ(date(kEnUs, good, "d", DATE_SHORTDATE), "<error 1004>");
  EXPECT_EQ(date(kEnUs, good, nullptr, DATE_SHORTDATE | DATE_LONGDATE), "<error 1004>");
  EXPECT_EQ(date(kEnUs, good, nullptr, 0x100), "<error 1004>");
  EXPECT_EQ(date(0x0419, good, "d"), "<error 87>");
  // Time fields do not matter to a date.
  SYSTEMTIME late = good;
  late.wHour = 99;
  EXPECT_EQ(date(kEnUs, late, "d"), "30");
  char buf[8];
  EXPECT_EQ(GetDateFormatA(kEnUs, 0, &good, "dd.MM.yy", nullptr, 0), 9);
  std::memset(buf, '#', sizeof buf);
  SetLastError(0);
  EXPECT_EQ(GetDateFormatA(kEnUs, 0, &good, "dd.MM.yy", buf, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(GetDateFormatA(kEnUs, 0, &good, "d.M.yy", buf, 8), 8);
  EXPECT_STREQ(buf, "30.4.97");
  EXPECT_EQ(GetDateFormatA(kEnUs, 0, &good, "d", nullptr, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(DateFormat, NullTimeIsNow) {
  NlsEnv env;
  env.set("TZ", "UTC").set("NT_CLOCK_OFFSET", nullptr);
  tzset();
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  char buf[32];
  ASSERT_GT(GetDateFormatA(kEnUs, 0, nullptr, "yyyy-MM-dd", buf, sizeof buf), 0);
  GetLocalTime(&after);
  std::string got = buf;
  EXPECT_TRUE(got == date(kEnUs, before, "yyyy-MM-dd") || got == date(kEnUs, after, "yyyy-MM-dd"))
      << got;
  ASSERT_GT(GetTimeFormatA(kEnUs, 0, nullptr, "HH:mm", buf, sizeof buf), 0);
  EXPECT_EQ(std::strlen(buf), 5u);
}

TEST(TimeFormat, Pictures) {
  NlsEnv env;
  env.pages("65001", "850");
  SYSTEMTIME evening = at(1997, 4, 30, 20, 5, 9);
  EXPECT_EQ(time_of(kEnUs, evening, "HH:mm"), "20:05");
  EXPECT_EQ(time_of(kEnUs, evening, "hh:mm:ss tt"), "08:05:09 PM");
  EXPECT_EQ(time_of(kEnUs, evening, "h:m:s t"), "8:5:9 P");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 0, 15), "hh:mm tt"), "12:15 AM");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 12, 30), "h:mm tt"), "12:30 PM");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 11, 59), "h:mm tt"), "11:59 AM");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 7, 5, 9), "H:m:s"), "7:5:9");
  EXPECT_EQ(time_of(kDeDe, evening, "h:mm tt|"), "8:05 |");
  EXPECT_EQ(time_of(kEnUs, evening, "dd.MM.yyyy gg HH:mm"), "dd.MM.yyyy gg 20:05");
  EXPECT_EQ(time_of(kEnUs, evening, "HH'h'mm 'o''clock'"), "20h05 o'clock");
  // Flags drop elements along with the text before them.
  EXPECT_EQ(time_of(kEnUs, evening, "hh:mm:ss tt", TIME_NOSECONDS), "08:05 PM");
  EXPECT_EQ(time_of(kEnUs, evening, "hh:mm:ss tt", TIME_NOMINUTESORSECONDS), "08 PM");
  EXPECT_EQ(time_of(kEnUs, evening, "hh:mm:ss tt", TIME_NOTIMEMARKER), "08:05:09");
  EXPECT_EQ(time_of(kEnUs, evening, "tt hh:mm", TIME_NOTIMEMARKER), "08:05");
  EXPECT_EQ(time_of(kEnUs, evening, "hh:mm", TIME_FORCE24HOURFORMAT), "20:05");
  // The locale's own format.
  EXPECT_EQ(time_of(kEnUs, evening, nullptr), "8:05:09 PM");
  EXPECT_EQ(time_of(kEnUs, evening, nullptr, TIME_NOSECONDS), "8:05 PM");
  EXPECT_EQ(time_of(kDeDe, evening, nullptr), "20:05:09");
  EXPECT_EQ(time_of(kItIt, evening, nullptr), "20.05.09");
}

TEST(TimeFormat, Errors) {
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 24, 0), "HH"), "<error 87>");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 23, 60), "HH"), "<error 87>");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 23, 59, 60), "HH"), "<error 87>");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 1), "HH", 0x100), "<error 1004>");
  EXPECT_EQ(time_of(kEnUs, at(1997, 4, 30, 1), "HH", LOCALE_NOUSEROVERRIDE), "<error 1004>");
  EXPECT_EQ(time_of(kEnUs, at(0, 0, 0, 1, 2), "H:mm"), "1:02");  // the date is not read
  SYSTEMTIME t = at(1997, 4, 30, 20, 5);
  char buf[8];
  EXPECT_EQ(GetTimeFormatA(kEnUs, 0, &t, "HH:mm", nullptr, 0), 6);
  std::memset(buf, '#', sizeof buf);
  SetLastError(0);
  EXPECT_EQ(GetTimeFormatA(kEnUs, 0, &t, "HH:mm", buf, 5), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(GetTimeFormatA(kEnUs, 0, &t, "HH:mm", buf, 6), 6);
  EXPECT_STREQ(buf, "20:05");
}

}  // namespace
