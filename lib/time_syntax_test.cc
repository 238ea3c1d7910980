#include "lib/time_syntax.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "lib/parser_test_env.h"
#include "platform/kernel/clock.h"

namespace {

using parser_test::Env;
using parser_test::StandardEnv;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

uint64_t at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
            int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  st.wMilliseconds = static_cast<WORD>(ms);
  FILETIME ft;
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft)) << year << "-" << month << "-" << day;
  return filetime_to_u64(ft);
}

SYSTEMTIME today() {
  FILETIME now = u64_to_filetime(nt_local_now());
  SYSTEMTIME st;
  FileTimeToSystemTime(&now, &st);
  return st;
}

struct Parsed {
  bool ok;
  uint64_t time;
  std::string err;
};

Parsed abs_time(const char* text) {
  FILETIME ft{0x12345678, 0x9ABC};
  CaptureStderr();
  bool ok = parse_abs_time(text, &ft);
  return {ok, filetime_to_u64(ft), GetCapturedStderr()};
}

Parsed delta_time(const char* text) {
  FILETIME ft{0x12345678, 0x9ABC};
  CaptureStderr();
  bool ok = parse_delta_time(text, &ft);
  return {ok, filetime_to_u64(ft), GetCapturedStderr()};
}

std::string render(uint64_t time) {
  FILETIME ft = u64_to_filetime(time);
  char out[256];
  format_time(&ft, out);
  return out;
}

TEST(AbsTime, NeverInAnyCase) {
  StandardEnv env;
  for (const char* text : {"never", "NEVER", "Never", "nEvEr"}) {
    Parsed p = abs_time(text);
    EXPECT_TRUE(p.ok) << text;
    EXPECT_EQ(p.time, NEVER_TIME) << text;
    EXPECT_EQ(p.err, "");
  }
  EXPECT_EQ(render(NEVER_TIME), "never");
  // Only the whole word counts.
  Parsed p = abs_time("nevermore");
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(p.err, "invalid date 'nevermore'\n");
}

TEST(AbsTime, BothDateOrdersAndAllTimeFields) {
  StandardEnv env;
  const uint64_t expected = at(1997, 4, 30, 20, 0);
  EXPECT_EQ(abs_time("30.04.1997 20:00").time, expected);
  EXPECT_EQ(abs_time("04/30/1997 20:00").time, expected);
  EXPECT_EQ(abs_time("4/30/1997 20").time, expected);  // minutes left out are 0
  EXPECT_EQ(abs_time("30.04.1997").time, at(1997, 4, 30));
  EXPECT_EQ(abs_time("30.04.1997 20:01:02:345").time, at(1997, 4, 30, 20, 1, 2, 345));
  EXPECT_EQ(abs_time("30.04.1997 ").time, at(1997, 4, 30));  // empty time part: midnight
  EXPECT_EQ(abs_time("1.1.1601 0:00").time, 0u);
  EXPECT_EQ(abs_time("31.12.30827 23:59:59:999").time, at(30827, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(abs_time("29.02.2000").time, at(2000, 2, 29));
  // Only 31 characters are read: the 'xyz' beyond them is never seen.
  EXPECT_TRUE(abs_time("30.04.1997 20:00:00:00000000000xyz").ok);
  EXPECT_EQ(abs_time("30.04.1997 20:00:00:00000000000xyz").time, at(1997, 4, 30, 20));
}

TEST(AbsTime, LeftOutFieldsComeFromToday) {
  StandardEnv env;
  for (int attempt = 0; attempt < 2; ++attempt) {
    SYSTEMTIME now = today();
    Parsed april = abs_time("30.04");
    Parsed us_april = abs_time("04/30");
    Parsed evening = abs_time("20:00");
    Parsed first = abs_time("1..1997");  // an empty field keeps today's month
    SYSTEMTIME later = today();
    if (later.wDay != now.wDay) continue;  // midnight passed: once more
    EXPECT_EQ(april.time, at(now.wYear, 4, 30));
    EXPECT_EQ(us_april.time, at(now.wYear, 4, 30));
    EXPECT_EQ(evening.time, at(now.wYear, now.wMonth, now.wDay, 20, 0));
    EXPECT_EQ(first.time, at(1997, now.wMonth, 1));
    break;
  }
}

TEST(AbsTime, EachFaultPrintsOneLine) {
  StandardEnv env;
  struct Case {
    const char* text;
    const char* err;
  } cases[] = {
      {"31.04.1997", "invalid date / time '31.04.1997' (out of bounds)\n"},
      {"29.02.1900", "invalid date / time '29.02.1900' (out of bounds)\n"},
      {"13.13.1997", "invalid date / time '13.13.1997' (out of bounds)\n"},
      {"1.1.1600", "invalid date / time '1.1.1600' (out of bounds)\n"},
      {"30.04.97", "invalid date / time '30.04.97' (out of bounds)\n"},  // year as written
      {"1.1.30828", "invalid date / time '1.1.30828' (out of bounds)\n"},
      {"30.04.1997 24:00", "invalid date / time '30.04.1997 24:00' (out of bounds)\n"},
      {"30.04.1997 23:60", "invalid date / time '30.04.1997 23:60' (out of bounds)\n"},
      {"30.04.1997 1:2:3:1000", "invalid date / time '30.04.1997 1:2:3:1000' (out of bounds)\n"},
      {"30.04.1997 1:2:3:4:5", "invalid date / time '30.04.1997 1:2:3:4:5' (out of bounds)\n"},
      {"1.2.1997.4", "invalid date / time '1.2.1997.4' (out of bounds)\n"},
      {"99999999999.1.1997", "invalid date / time '99999999999.1.1997' (out of bounds)\n"},
      {"1.1.65537", "invalid date / time '1.1.65537' (out of bounds)\n"},  // no 16-bit wrap
      {"4294967297.1.1997", "invalid date / time '4294967297.1.1997' (out of bounds)\n"},
      {"1.1.1997 4294967296", "invalid date / time '1.1.1997 4294967296' (out of bounds)\n"},
      {"30-04-1997", "invalid date '30-04-1997'\n"},
      {"20h00", "invalid date '20h00'\n"},  // no ':' and no blank: a date part
      {"", "invalid date ''\n"},
      {"30.04.1997 20h00", "invalid character 'h' in time '20h00'\n"},
      {"30.04.1997 20:00 x", "invalid character ' ' in time '20:00 x'\n"},
      {"30.04-1997", "invalid character '-' in date '30.04-1997'\n"},
      {"04/30.1997", "invalid character '.' in date '04/30.1997'\n"},
      {"x.1.1997 1:00", "invalid character 'x' in date 'x.1.1997'\n"},
  };
  for (const Case& c : cases) {
    Parsed p = abs_time(c.text);
    EXPECT_FALSE(p.ok) << c.text;
    EXPECT_EQ(p.err, c.err) << c.text;
    EXPECT_EQ(p.time, 0x00009ABC12345678u) << "output untouched for " << c.text;
  }
  // The message shows the 31 characters that were read.
  Parsed p = abs_time("31.04.1997 00:00:00:00000000000000");
  EXPECT_EQ(p.err, "invalid date / time '31.04.1997 00:00:00:00000000000' (out of bounds)\n");
}

TEST(DeltaTime, SpansBeforeAndAfterNow) {
  StandardEnv env;
  struct Case {
    const char* text;
    int64_t span;
  } cases[] = {
      {"d1", -SPAN_DAY},
      {"d7", -7 * SPAN_DAY},
      {"d0 2:30", -150 * SPAN_MINUTE},
      {"D1", SPAN_DAY},
      {"D0 0:10", 10 * SPAN_MINUTE},
      {"D1:2:3:4", 62 * SPAN_MINUTE + 3 * SPAN_SECOND + 4 * SPAN_MILLISECOND},
      {"d2 36", -(2 * SPAN_DAY + 36 * 60 * SPAN_MINUTE)},  // hours are not bounded
      {"d 5", -5 * 60 * SPAN_MINUTE},                        // empty days: 0
      {"d", 0},
      {"x5", 0},  // any other first character: now
      {"", 0},
  };
  for (const Case& c : cases) {
    const int64_t before = static_cast<int64_t>(nt_local_now());
    Parsed p = delta_time(c.text);
    const int64_t after = static_cast<int64_t>(nt_local_now());
    EXPECT_TRUE(p.ok) << c.text;
    EXPECT_EQ(p.err, "") << c.text;
    EXPECT_GE(static_cast<int64_t>(p.time), before + c.span) << c.text;
    EXPECT_LE(static_cast<int64_t>(p.time), after + c.span) << c.text;
  }
  // An AbsTime beginning with d or D is a DeltaTime.
  const int64_t before = static_cast<int64_t>(nt_local_now());
  Parsed p = abs_time("D0 1:00");
  EXPECT_TRUE(p.ok);
  EXPECT_GE(static_cast<int64_t>(p.time), before + 60 * SPAN_MINUTE);
  EXPECT_LE(static_cast<int64_t>(p.time), static_cast<int64_t>(nt_local_now()) + 60 * SPAN_MINUTE);
}

TEST(DeltaTime, FaultsAndSpansBeyondTheCalendar) {
  StandardEnv env;
  struct Case {
    const char* text;
    const char* err;
  } cases[] = {
      {"d1x", "invalid character 'x' in days '1x'\n"},
      {"d-1", "invalid character '-' in days '-1'\n"},
      {"d0 2h", "invalid character 'h' in time '2h'\n"},
      {"D1 2:3 4", "invalid character ' ' in time '2:3 4'\n"},
      {"D1:2:3:4:5", "invalid date / time 'D1:2:3:4:5' (out of bounds)\n"},
      // More days than lie between 1601 and now, or between now and 30828.
      {"d999999999", "invalid date / time 'd999999999' (out of bounds)\n"},
      {"d4294967296", "invalid date / time 'd4294967296' (out of bounds)\n"},  // no 32-bit wrap
      {"D99999999999999999999", "invalid date / time 'D99999999999999999999' (out of bounds)\n"},
  };
  for (const Case& c : cases) {
    Parsed p = delta_time(c.text);
    EXPECT_FALSE(p.ok) << c.text;
    EXPECT_EQ(p.err, c.err) << c.text;
    EXPECT_EQ(p.time, 0x00009ABC12345678u) << c.text;
  }
  // Three centuries back is still a time.
  EXPECT_TRUE(delta_time("d109500").ok);
}

TEST(MakeDelta, AddsSignedSpansAndSaturates) {
  FILETIME t = u64_to_filetime(at(1997, 4, 30, 20, 0));
  make_delta(&t, 1, 2, 3, 4, 5);
  EXPECT_EQ(filetime_to_u64(t), at(1997, 5, 1, 22, 3, 4, 5));
  make_delta(&t, -1, -2, -3, -4, -5);
  EXPECT_EQ(filetime_to_u64(t), at(1997, 4, 30, 20, 0));
  make_delta(&t, 0, 0, -1, 0, 0);
  EXPECT_EQ(filetime_to_u64(t), at(1997, 4, 30, 19, 59));
  make_delta(&t, 0, 25, 0, 0, 0);  // fields are not bounded
  EXPECT_EQ(filetime_to_u64(t), at(1997, 5, 1, 20, 59));

  FILETIME early = u64_to_filetime(5);
  make_delta(&early, 0, 0, 0, 0, -1);
  EXPECT_EQ(filetime_to_u64(early), 0u);
  FILETIME late = u64_to_filetime(NEVER_TIME - 10);
  make_delta(&late, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
  EXPECT_EQ(filetime_to_u64(late), NEVER_TIME);
  make_delta(nullptr, 1, 0, 0, 0, 0);  // tolerated
}

TEST(Range, CheckAcceptsOnlyRangeCharacters) {
  EXPECT_TRUE(check_range(""));
  EXPECT_TRUE(check_range(nullptr));
  EXPECT_TRUE(check_range("1,3,5:7"));
  EXPECT_TRUE(check_range("-5:5"));
  EXPECT_TRUE(check_range("5:3"));
  EXPECT_TRUE(check_range(":,-"));
  EXPECT_FALSE(check_range("1;2"));
  EXPECT_FALSE(check_range("1 2"));
  EXPECT_FALSE(check_range("a"));
  EXPECT_FALSE(check_range("7:18h"));
  // 255 characters are significant.
  std::string text(255, '1');
  EXPECT_FALSE(check_range((std::string(254, '1') + "x").c_str()));
  EXPECT_TRUE(check_range((text + "x").c_str()));
}

TEST(Range, Membership) {
  for (int32_t v : {INT_MIN, -1, 0, 7, INT_MAX}) {
    EXPECT_TRUE(in_range("", v));
    EXPECT_TRUE(in_range(nullptr, v));
  }
  struct Case {
    const char* text;
    std::vector<int32_t> in;
    std::vector<int32_t> out;
  } cases[] = {
      {"1,3,5:7", {1, 3, 5, 6, 7}, {0, 2, 4, 8}},
      {"22:", {22, 23, 2100000000}, {21, 0, 2100000001, INT_MAX}},
      {"-5:5", {-5, 0, 5}, {-6, 6}},
      {"5:3", {}, {3, 4, 5}},
      {"0:0", {0, 1, 1000000}, {-1}},  // an upper 0 at the end is open
      {":5", {0, 5}, {-1, 6}},        // empty lower bound: 0
      {":", {0, 2100000000}, {-1}},
      {"5:0,7", {7}, {5, 6}},         // digit after the separator: 0 is a real bound
      {"5:0,-7", {-7}, {5}},
      {"5:0,", {5, 2100000000}, {4}},  // nothing numeric follows: open
      {"5:0,x", {5, 6}, {4}},
      {"2:4:9", {2, 4, 9}, {5, 8}},   // the ':' after a pair separates
      {",5", {5}, {0}},                // empty tokens admit nothing
      {"5,,7", {5, 7}, {0, 6}},
      {"-", {}, {0, -1}},
      {"--5", {}, {0, 5, -5}},
      {"5-3", {5}, {3, -3, 2}},  // reading stops inside the run
      {"99999999999", {INT_MAX}, {0}},  // saturates instead of wrapping
      {"-99999999999:-5", {INT_MIN, -5}, {-4}},
      {"7:18", {7, 12, 18}, {6, 19}},
  };
  for (const Case& c : cases) {
    for (int32_t v : c.in) EXPECT_TRUE(in_range(c.text, v)) << c.text << " " << v;
    for (int32_t v : c.out) EXPECT_FALSE(in_range(c.text, v)) << c.text << " " << v;
  }
  // Only 255 characters count: a number beyond them is not read.
  std::string text = std::string(254, ',') + "12";
  EXPECT_TRUE(in_range(text.c_str(), 1));
  EXPECT_FALSE(in_range(text.c_str(), 12));
}

TEST(FormatBitmask, RunsOfAdmittedNumbers) {
  auto render_mask = [](uint32_t mask, uint32_t valid, int size = 64) {
    char out[64];
    memset(out, 'Z', sizeof out);
    format_bitmask(mask, valid, out, size);
    return std::string(out);
  };
  const uint32_t hours = 0x00FFFFFF;
  EXPECT_EQ(render_mask(0x0007FF80, hours), "7:18");
  EXPECT_EQ(render_mask(0x41, 0x7F), "0,6");
  EXPECT_EQ(render_mask(0x2E, 0xFFFFFFFE), "1:3,5");
  EXPECT_EQ(render_mask(0, hours), "");
  EXPECT_EQ(render_mask(0xFFFFFFFF, 0xFFFFFFFF), "0:31");
  EXPECT_EQ(render_mask(0xFFFFFFFF, hours), "0:23");  // bits outside the valid mask are ignored
  EXPECT_EQ(render_mask(0x80000001, 0xFFFFFFFF), "0,31");
  EXPECT_EQ(render_mask(0x28, 0xFFFFFFEF), "3:5");  // 4 is not visited: 3 and 5 are a run
  EXPECT_EQ(render_mask(0x55555555, 0xFFFFFFFF),
            "0,2,4,6,8,10,12,14,16,18,20,22,24,26,28,30");
  // The buffer size bounds the text.
  EXPECT_EQ(render_mask(0x2E, 0xFFFFFFFE, 4), "1:3");
  EXPECT_EQ(render_mask(0x2E, 0xFFFFFFFE, 1), "");
  char untouched[2] = {'Z', 0};
  format_bitmask(0x2E, 0xFFFFFFFF, untouched, 0);
  EXPECT_EQ(untouched[0], 'Z');
}

TEST(FormatTime, PicturesFromTheEnvironment) {
  StandardEnv env;
  const uint64_t t = at(1997, 4, 30, 20, 0, 5);
  EXPECT_EQ(render(t), "30.04.1997 20:00");
  {
    Env pictures;
    pictures.set("QX_DATE_FORMAT", "yyyy-MM-dd ").set("QX_TIME_FORMAT", "HH:mm:ss");
    EXPECT_EQ(render(t), "1997-04-30 20:00:05");
    pictures.set("QX_DATE_FORMAT", "dd/MM/yy");  // no trailing blank: runs together
    EXPECT_EQ(render(t), "30/04/9720:00:05");
    // A picture longer than 15 characters is cut to its first 15.
    pictures.set("QX_DATE_FORMAT", "dd.MM.yyyy dd.MM.yyyy ");
    pictures.set("QX_TIME_FORMAT", "HH:mm:ss HH:mm:ss");
    EXPECT_EQ(render(t), "30.04.1997 30.420:00:05 20:00:");
    // The cut may fall inside quoted text, which then runs to the end.
    pictures.set("QX_DATE_FORMAT", "'abcdefghijklmnop'");
    pictures.set("QX_TIME_FORMAT", nullptr);
    EXPECT_EQ(render(t), "abcdefghijklmn20:00");
  }
  // The output size bounds the text.
  FILETIME ft = u64_to_filetime(t);
  char small[6];
  format_time(&ft, small, sizeof small);
  EXPECT_EQ(std::string(small), "30.04");
}

TEST(FormatTime, NeverAndFarYears) {
  StandardEnv env;
  EXPECT_EQ(render(NEVER_TIME), "never");
  EXPECT_EQ(render(0), "never");
  EXPECT_EQ(render(0x8000000000000000ull), "never");
  char out[16];
  format_time(nullptr, out, sizeof out);
  EXPECT_EQ(std::string(out), "never");

  for (int attempt = 0; attempt < 2; ++attempt) {
    SYSTEMTIME now = today();
    const int y = now.wYear;
    std::string near_future = render(at(y + 99, 1, 1, 12, 0));
    std::string near_past = render(at(y - 99, 12, 31, 12, 0));
    std::string far_future = render(at(y + 100, 1, 1));
    std::string far_past = render(at(y - 100, 12, 31));
    if (today().wYear != y) continue;
    EXPECT_EQ(near_future, "01.01." + std::to_string(y + 99) + " 12:00");
    EXPECT_EQ(near_past, "31.12." + std::to_string(y - 99) + " 12:00");
    EXPECT_EQ(far_future, "never");
    EXPECT_EQ(far_past, "never");
    break;
  }
}

}  // namespace
