#include "lib/command_line_parser.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "lib/parser_test_env.h"
#include "lib/time_syntax.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/command_line.h"

namespace {

using parser_test::StandardEnv;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr ArgSpec END{ARG_END, 0, 0, nullptr, 0};

std::vector<std::string> tokenize(const std::string& line, int max = MAX_TOKENS) {
  std::vector<char> text(line.begin(), line.end());
  text.push_back('\0');
  std::vector<char*> tokens(static_cast<size_t>(max > 0 ? max : 1));
  int n = tokenize_command_line(text.data(), tokens.data(), max);
  return std::vector<std::string>(tokens.begin(), tokens.begin() + n);
}

using Tokens = std::vector<std::string>;

struct Outcome {
  int result;
  std::string err;
};

Outcome parse(const std::string& line, ArgSpec* params, ArgSpec* options, ArgSpec* criteria,
              ArgSpec* formats) {
  CaptureStderr();
  int r = parse_command_text(line.c_str(), params, options, criteria, formats);
  return {r, GetCapturedStderr()};
}

uint64_t at(int year, int month, int day, int hour, int minute) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  return filetime_to_u64(ft);
}

TEST(Tokenizer, BlanksAndQuotes) {
  EXPECT_EQ(tokenize("prog a  b   c"), (Tokens{"prog", "a", "b", "c"}));
  EXPECT_EQ(tokenize("  prog a  "), (Tokens{"prog", "a"}));
  EXPECT_EQ(tokenize(""), Tokens{});
  EXPECT_EQ(tokenize("   "), Tokens{});
  EXPECT_EQ(tokenize("prog a\tb"), (Tokens{"prog", "a\tb"}));  // only the space separates
  // A quote before the prefix makes one quoted token, an option.
  EXPECT_EQ(tokenize("prog \"/cHello world\" x"), (Tokens{"prog", "/cHello world", "x"}));
  EXPECT_EQ(tokenize("\"C:\\Program Files\\zeb.exe\" sho"),
            (Tokens{"C:\\Program Files\\zeb.exe", "sho"}));
  // A quote right after prefix and letter opens a quoted value.
  EXPECT_EQ(tokenize("prog /g\"a:r b:f\" x"), (Tokens{"prog", "/ga:r b:f", "x"}));
  EXPECT_EQ(tokenize("prog ~F\"~N ~c\""), (Tokens{"prog", "~F~N ~c"}));
  EXPECT_EQ(tokenize("prog /x\""), (Tokens{"prog", "/x"}));
  EXPECT_EQ(tokenize("prog -a\"b\"c d\""), (Tokens{"prog", "-ab\"c d"}));
  // Anywhere else a quote in an unquoted token is an ordinary character.
  EXPECT_EQ(tokenize("prog a\"b c"), (Tokens{"prog", "a\"b", "c"}));
  EXPECT_EQ(tokenize("prog /ab\"c d\""), (Tokens{"prog", "/ab\"c", "d\""}));
  EXPECT_EQ(tokenize("prog x\"y\" z"), (Tokens{"prog", "x\"y\"", "z"}));
  // In a quoted token a quote followed by a non-blank stays; one followed by
  // a blank or the end closes the token.
  EXPECT_EQ(tokenize("prog \"say \"hi\"x\" y"), (Tokens{"prog", "say \"hi\"x", "y"}));
  EXPECT_EQ(tokenize("prog \"say \"hi\" now\""), (Tokens{"prog", "say \"hi", "now\""}));
  EXPECT_EQ(tokenize("prog \"a\"\"b\""), (Tokens{"prog", "a\"\"b"}));
  EXPECT_EQ(tokenize("prog \"caf\xC3\xA9\"\xC3\xA9\""), (Tokens{"prog", "caf\xC3\xA9\"\xC3\xA9"}));
  // Empty tokens and a quote that is never closed.
  EXPECT_EQ(tokenize("prog \"\" x"), (Tokens{"prog", "", "x"}));
  EXPECT_EQ(tokenize("prog \""), (Tokens{"prog", ""}));
  EXPECT_EQ(tokenize("prog \"open to the end"), (Tokens{"prog", "open to the end"}));
}

TEST(Tokenizer, AtMost256Tokens) {
  std::string line = "prog";
  for (int i = 1; i < 300; ++i) line += " t" + std::to_string(i);
  Tokens all = tokenize(line);
  ASSERT_EQ(all.size(), 256u);
  EXPECT_EQ(all[0], "prog");
  EXPECT_EQ(all[255], "t255");
  EXPECT_EQ(tokenize("a b c d", 3), (Tokens{"a", "b", "c"}));
  EXPECT_EQ(tokenize("a b", 0), Tokens{});
  char text[] = "a b";
  EXPECT_EQ(tokenize_command_line(text, nullptr, 4), 0);
  EXPECT_EQ(tokenize_command_line(nullptr, nullptr, 4), 0);
}

TEST(Parser, TokensPastThe256thAreIgnored) {
  StandardEnv env;
  int32_t flag = 0;
  ArgSpec options[] = {{ARG_FLAG, 'y', ARG_OPTIONAL, &flag, 0}, END};
  std::string line = "prog";
  for (int i = 1; i <= 255; ++i) line += " /y";
  Outcome ok = parse(line + " /Z", nullptr, options, nullptr, nullptr);
  EXPECT_EQ(ok.result, 0);
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(flag, 1);

  std::string bad = "prog";
  for (int i = 1; i <= 254; ++i) bad += " /y";
  Outcome last = parse(bad + " /Z /Q", nullptr, options, nullptr, nullptr);
  EXPECT_EQ(last.result, 255);
  EXPECT_EQ(last.err, "PARAM-ERROR, invalid option '/Z'\n");
}

TEST(Parser, QuotedValuesReachTheirTargets) {
  StandardEnv env;
  char comment[ARG_TEXT_SIZE] = "";
  char grants[ARG_TEXT_SIZE] = "";
  ArgSpec options[] = {{ARG_STRING, 'c', ARG_OPTIONAL, comment, 0},
                       {ARG_STRING, 'g', ARG_OPTIONAL, grants, 0},
                       END};
  EXPECT_EQ(parse("prog /cHello", nullptr, options, nullptr, nullptr).result, 0);
  EXPECT_STREQ(comment, "Hello");
  EXPECT_EQ(parse("prog /c\"Hello world\"", nullptr, options, nullptr, nullptr).result, 0);
  EXPECT_STREQ(comment, "Hello world");
  EXPECT_EQ(parse("prog \"/cHello world\" /g\"a:r b:f\"", nullptr, options, nullptr, nullptr).result, 0);
  EXPECT_STREQ(comment, "Hello world");
  EXPECT_STREQ(grants, "a:r b:f");
  EXPECT_EQ(parse("prog /c", nullptr, options, nullptr, nullptr).result, 0);
  EXPECT_STREQ(comment, "");
}

TEST(Parser, NumbersCharsFlagsAndLetterCase) {
  StandardEnv env;
  int32_t m = 99, big = 0, lower = 0;
  char k = 'z';
  int32_t y = 7;
  ArgSpec options[] = {{ARG_NUMERIC, 'M', ARG_OPTIONAL, &m, 5},
                       {ARG_NUMERIC, 'C', ARG_OPTIONAL, &big, 0},
                       {ARG_NUMERIC, 'c', ARG_OPTIONAL, &lower, 0},
                       {ARG_CHAR, 'k', ARG_OPTIONAL, &k, 'q'},
                       {ARG_FLAG, 'y', ARG_OPTIONAL, &y, 0},
                       END};
  auto run = [&](const char* line) { return parse(line, nullptr, options, nullptr, nullptr); };

  EXPECT_EQ(run("prog /M").result, 0);
  EXPECT_EQ(m, -1);  // empty numeric option
  EXPECT_EQ(run("prog /M0").result, 0);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(run("prog /M12abc").result, 0);
  EXPECT_EQ(m, 12);
  EXPECT_EQ(run("prog /M+7").result, 0);
  EXPECT_EQ(m, 7);
  EXPECT_EQ(run("prog /M-42").result, 0);
  EXPECT_EQ(m, -42);
  EXPECT_EQ(run("prog /M1 /M2").result, 0);
  EXPECT_EQ(m, 2);  // the later token wins
  EXPECT_EQ(run("prog /M99999999999").result, 0);
  EXPECT_EQ(m, INT_MAX);  // saturates
  EXPECT_EQ(run("prog /M-99999999999").result, 0);
  EXPECT_EQ(m, INT_MIN);
  EXPECT_EQ(run("prog /M2147483648").result, 0);
  EXPECT_EQ(m, INT_MAX);
  EXPECT_EQ(run("prog /M-2147483648").result, 0);
  EXPECT_EQ(m, INT_MIN);
  EXPECT_EQ(run("prog /C1 /c2").result, 0);
  EXPECT_EQ(big, 1);
  EXPECT_EQ(lower, 2);
  EXPECT_EQ(run("prog /kxyz").result, 0);
  EXPECT_EQ(k, 'x');
  EXPECT_EQ(run("prog /k").result, 0);
  EXPECT_EQ(k, '\0');
  EXPECT_EQ(run("prog /y").result, 0);
  EXPECT_EQ(y, 1);

  // Only the program name: every default.
  for (ArgSpec* e = options; e->type != ARG_END; ++e) e->state = ARG_OPTIONAL;
  EXPECT_EQ(run("prog").result, 0);
  EXPECT_EQ(m, 5);
  EXPECT_EQ(k, 'q');
  EXPECT_EQ(y, 0);

  Outcome non_numeric = run("prog /Mabc");
  EXPECT_EQ(non_numeric.result, 1);
  EXPECT_EQ(non_numeric.err, "PARAM-ERROR, non-numeric value for option '/M'\n");
  // A zero read from a text not starting with '0' is not a number.
  EXPECT_EQ(run("prog /M-0").result, 1);
  EXPECT_EQ(run("prog /M+").result, 1);
  Outcome flag_value = run("prog /y1");
  EXPECT_EQ(flag_value.result, 1);
  EXPECT_EQ(flag_value.err, "PARAM-ERROR, no value allowed for option '/y'\n");
}

TEST(Parser, TextsAreCutAtTheirLimits) {
  char text[ARG_TEXT_SIZE + 8];
  WCHAR wide[ARG_TEXT_SIZE + 8];
  ArgSpec options[] = {{ARG_STRING, 's', ARG_OPTIONAL, text, 0},
                       {ARG_WSTRING, 'w', ARG_OPTIONAL, wide, 0},
                       END};
  auto run = [&](const std::string& line) {
    memset(text, 'Z', sizeof text);
    for (WCHAR& c : wide) c = u'Z';
    return parse(line, nullptr, options, nullptr, nullptr).result;
  };
  {
    StandardEnv env("65001");
    ASSERT_EQ(run("prog /s" + std::string(300, 'a')), 0);
    EXPECT_EQ(std::string(text), std::string(255, 'a'));
    EXPECT_EQ(text[256], 'Z');  // nothing written past the 256 bytes
    ASSERT_EQ(run("prog /s" + std::string(255, 'a')), 0);
    EXPECT_EQ(strlen(text), 255u);
    // A two-byte character across the limit is left out whole.
    ASSERT_EQ(run("prog /s" + std::string(254, 'a') + "\xC3\xA9"), 0);
    EXPECT_EQ(std::string(text), std::string(254, 'a'));
    ASSERT_EQ(run("prog /s" + std::string(253, 'a') + "\xC3\xA9"), 0);
    EXPECT_EQ(std::string(text), std::string(253, 'a') + "\xC3\xA9");
    ASSERT_EQ(run("prog /s" + std::string(253, 'a') + "\xE2\x82\xAC"), 0);  // euro sign
    EXPECT_EQ(std::string(text), std::string(253, 'a'));

    ASSERT_EQ(run("prog /wH\xC3\xA9llo"), 0);
    EXPECT_EQ(std::u16string(wide), u"H\u00e9llo");
    ASSERT_EQ(run("prog /w" + std::string(300, 'b')), 0);
    EXPECT_EQ(std::u16string(wide), std::u16string(255, u'b'));
    EXPECT_EQ(wide[256], u'Z');
    ASSERT_EQ(run("prog /w" + std::string(300, 'b') + "\xC3\xA9"), 0);
    EXPECT_EQ(std::u16string(wide), std::u16string(255, u'b'));
    // 255 units of two-byte characters come from 510 bytes.
    std::string accents;
    for (int i = 0; i < 300; ++i) accents += "\xC3\xA9";
    ASSERT_EQ(run("prog /w" + accents), 0);
    EXPECT_EQ(std::u16string(wide), std::u16string(255, u'\u00e9'));
    // A character outside the basic plane is never cut in half.
    ASSERT_EQ(run("prog /w" + std::string(254, 'b') + "\xF0\x9F\x98\x80"), 0);
    EXPECT_EQ(std::u16string(wide), std::u16string(254, u'b'));
    ASSERT_EQ(run("prog /w" + std::string(253, 'b') + "\xF0\x9F\x98\x80"), 0);
    EXPECT_EQ(std::u16string(wide), std::u16string(253, u'b') + u"\U0001F600");
    ASSERT_EQ(run("prog /w"), 0);
    EXPECT_EQ(wide[0], 0);
  }
  {
    StandardEnv env("1252");
    ASSERT_EQ(run("prog /s" + std::string(254, 'a') + "\xE9\xE9"), 0);
    EXPECT_EQ(std::string(text), std::string(254, 'a') + "\xE9");
    ASSERT_EQ(run("prog /wcaf\xE9"), 0);
    EXPECT_EQ(std::u16string(wide), u"caf\u00e9");
    ASSERT_EQ(run("prog \"/w\xE9\x80\""), 0);
    EXPECT_EQ(std::u16string(wide), u"\u00e9\u20ac");
  }
}

TEST(Parser, RangesAndBitmasks) {
  StandardEnv env;
  char range[ARG_TEXT_SIZE] = "";
  uint32_t mask = 0;
  ArgSpec options[] = {{ARG_RANGE, 'H', ARG_OPTIONAL, range, arg_ptr("0:23")},
                       {ARG_BITMASK, 'W', ARG_OPTIONAL, &mask, 0x7F},
                       END};
  auto run = [&](const char* line) { return parse(line, nullptr, options, nullptr, nullptr); };
  EXPECT_EQ(run("prog").result, 0);
  EXPECT_STREQ(range, "0:23");
  EXPECT_EQ(mask, 0x7Fu);
  EXPECT_EQ(run("prog /H7:18 /W").result, 0);
  EXPECT_STREQ(range, "7:18");
  EXPECT_EQ(mask, 0xFFFFFFFFu);
  EXPECT_EQ(run("prog /W1:5").result, 0);
  EXPECT_EQ(mask, 0x3Eu);
  EXPECT_EQ(run("prog /W0,6").result, 0);
  EXPECT_EQ(mask, 0x41u);
  EXPECT_EQ(run("prog /W22:").result, 0);
  EXPECT_EQ(mask, 0xFFC00000u);
  EXPECT_EQ(run("prog /W5:3").result, 0);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(run("prog /W-3:40").result, 0);
  EXPECT_EQ(mask, 0xFFFFFFFFu);

  Outcome bad_range = run("prog /H7-18h");
  EXPECT_EQ(bad_range.result, 1);
  EXPECT_EQ(bad_range.err, "PARAM-ERROR, range syntax error for option '/H'\n");
  mask = 123;
  Outcome bad_mask = run("prog /H1 /W1;2");
  EXPECT_EQ(bad_mask.result, 2);  // silent: the tool names the argument
  EXPECT_EQ(bad_mask.err, "");
  EXPECT_EQ(mask, 123u);
}

TEST(Parser, TimesAndTimeWindows) {
  StandardEnv env;
  const FILETIME zero{0, 0};
  const FILETIME def_time = u64_to_filetime(at(2000, 1, 1, 0, 0));
  FILETIME start{1, 1}, at_option{1, 1}, upper{7, 7}, lower{0, 0}, delta_upper{7, 7}, delta_lower{0, 0};
  ArgSpec options[] = {{ARG_ABSTIME, 't', ARG_OPTIONAL, &start, arg_ptr(&def_time)},
                       {ARG_DELTATIME, 'i', ARG_OPTIONAL, &at_option, arg_ptr(&zero)},
                       END};
  ArgSpec criteria[] = {{ARG_ABSTIME, 'L', ARG_OPTIONAL, &upper, arg_ptr(&lower)},
                        {ARG_DELTATIME, 'A', ARG_OPTIONAL, &delta_upper, arg_ptr(&delta_lower)},
                        END};
  auto run = [&](const char* line) { return parse(line, nullptr, options, criteria, nullptr); };

  ASSERT_EQ(run("prog \"/t30.04.1997 20:00\" -L31.12.1999 +L01/01/1999").result, 0);
  EXPECT_EQ(filetime_to_u64(start), at(1997, 4, 30, 20, 0));
  EXPECT_EQ(filetime_to_u64(upper), at(1999, 12, 31, 0, 0));
  EXPECT_EQ(filetime_to_u64(lower), at(1999, 1, 1, 0, 0));
  EXPECT_EQ(criteria[0].state, ARG_GIVEN);
  EXPECT_EQ(filetime_to_u64(at_option), 0u);  // default copied from `zero`

  // Only the lower bound: the upper bound stays as the tool set it.
  upper = FILETIME{0, 0};
  criteria[0].state = ARG_OPTIONAL;
  ASSERT_EQ(run("prog +Lnever").result, 0);
  EXPECT_EQ(filetime_to_u64(upper), 0u);
  EXPECT_EQ(filetime_to_u64(lower), NEVER_TIME);

  // Lower bounds of a DeltaTime criterion, relative to now.
  for (ArgSpec* e : {&options[0], &options[1], &criteria[0], &criteria[1]}) e->state = ARG_OPTIONAL;
  const uint64_t before = nt_local_now();
  ASSERT_EQ(run("prog +Ad1 -AD0").result, 0);
  const uint64_t after = nt_local_now();
  EXPECT_GE(filetime_to_u64(delta_lower) + SPAN_DAY, before);
  EXPECT_LE(filetime_to_u64(delta_lower) + SPAN_DAY, after);
  EXPECT_GE(filetime_to_u64(delta_upper), before);
  EXPECT_LE(filetime_to_u64(delta_upper), after);
  // Neither given: the value takes the FILETIME the default points to.
  EXPECT_EQ(filetime_to_u64(upper), NEVER_TIME);
  EXPECT_EQ(filetime_to_u64(start), at(2000, 1, 1, 0, 0));

  // A bad time text: the reader's line, then the parser's.
  Outcome bad_option = run("prog /t31.04.1997");
  EXPECT_EQ(bad_option.result, 1);
  EXPECT_EQ(bad_option.err,
            "invalid date / time '31.04.1997' (out of bounds)\n"
            "PARAM-ERROR, AbsTime syntax error for option '/t'\n");
  Outcome bad_delta = run("prog /id1x /x");
  EXPECT_EQ(bad_delta.result, 1);
  EXPECT_EQ(bad_delta.err,
            "invalid character 'x' in days '1x'\n"
            "PARAM-ERROR, DeltaTime syntax error for option '/i'\n");
  Outcome lower_only = run("prog +Ld1x");
  EXPECT_EQ(lower_only.result, 1);
  EXPECT_EQ(lower_only.err,
            "invalid character 'x' in days '1x'\n"
            "PARAM-ERROR, Syntax error for criteria '+L'\n");
}

// Every PARAM line of an option, a criterion, a lower criterion and a format.
TEST(Parser, MessagesOfPrefixedTokens) {
  StandardEnv env;
  int32_t n = 0, flag = 0;
  double d = 0;
  uint32_t mask = 0;
  char text[ARG_TEXT_SIZE];
  char range[ARG_TEXT_SIZE];
  FILETIME t{0, 0}, low{0, 0};
  int32_t number = 0;
  ArgSpec options[] = {{ARG_NUMERIC, 'n', ARG_OPTIONAL, &n, 0},
                       {ARG_FLAG, 'y', ARG_OPTIONAL, &flag, 0},
                       {ARG_ABSTIME, 't', ARG_OPTIONAL, &t, 0},
                       {ARG_DELTATIME, 'd', ARG_OPTIONAL, &t, 0},
                       {ARG_RANGE, 'r', ARG_OPTIONAL, range, 0},
                       {ARG_DOUBLE, 'D', ARG_OPTIONAL, &d, 0},
                       {17, 'U', ARG_OPTIONAL, &n, 0},
                       END};
  ArgSpec criteria[] = {{ARG_NUMERIC, 'n', ARG_OPTIONAL, &number, 0},
                        {ARG_STRING, 'c', ARG_OPTIONAL, text, 0},
                        {ARG_ABSTIME, 't', ARG_OPTIONAL, &t, arg_ptr(&low)},
                        {ARG_DELTATIME, 'd', ARG_OPTIONAL, &t, arg_ptr(&low)},
                        {ARG_RANGE, 'r', ARG_OPTIONAL, range, 0},
                        {ARG_FLAG, 'f', ARG_OPTIONAL, &flag, 0},
                        {ARG_DOUBLE, 'D', ARG_OPTIONAL, &d, 0},
                        {ARG_BITMASK, 'm', ARG_OPTIONAL, &mask, 0},
                        END};
  ArgSpec formats[] = {{ARG_STRING, 'F', ARG_OPTIONAL, text, 0},
                       {ARG_NUMERIC, 'N', ARG_OPTIONAL, &n, 0},
                       END};
  struct Case {
    const char* args;
    int result;
    const char* err;
  } cases[] = {
      {"/Z", 1, "PARAM-ERROR, invalid option '/Z'\n"},
      {"/n1 /nx", 2, "PARAM-ERROR, non-numeric value for option '/n'\n"},
      {"/yes", 1, "PARAM-ERROR, no value allowed for option '/y'\n"},
      {"/t20h", 1, "invalid date '20h'\nPARAM-ERROR, AbsTime syntax error for option '/t'\n"},
      {"/dd1x", 1, "invalid character 'x' in days '1x'\nPARAM-ERROR, DeltaTime syntax error for option '/d'\n"},
      {"/r1;2", 1, "PARAM-ERROR, range syntax error for option '/r'\n"},
      {"/D1", -1, "PARAM-ERROR, INTERNAL ERROR, invalid OPTION datatype\n"},
      {"/U1", -1, "PARAM-ERROR, INTERNAL ERROR, invalid OPTION datatype\n"},
      {"-Z", 1, "PARAM-ERROR, invalid criteria '-Z'\n"},
      {"-nx", 1, "PARAM-ERROR, non-numeric value for criteria '-n'\n"},
      {"-t1.1.1500", 1,
       "invalid date / time '1.1.1500' (out of bounds)\nPARAM-ERROR, Syntax error for criteria '-t'\n"},
      {"-dD2h", 1, "invalid character 'h' in days '2h'\nPARAM-ERROR, DeltaTime syntax error for criteria '-d'\n"},
      {"-rx", 1, "PARAM-ERROR, range syntax error for criteria '-r'\n"},
      {"-f", -1, "PARAM-ERROR, INTERNAL ERROR, invalid CRITERIA datatype\n"},
      {"-D1", -1, "PARAM-ERROR, INTERNAL ERROR, invalid CRITERIA datatype\n"},
      {"-m1", -1, "PARAM-ERROR, INTERNAL ERROR, invalid CRITERIA datatype\n"},
      {"+Z1", 1, "PARAM-ERROR, invalid criteria '+Z'\n"},
      {"+cabc", 1, "PARAM-ERROR, invalid LOWER-CRITERIA datatype\n"},
      {"+n5", 1, "PARAM-ERROR, invalid LOWER-CRITERIA datatype\n"},
      {"+t30-04-1997", 1, "invalid date '30-04-1997'\nPARAM-ERROR, Syntax error for criteria '+t'\n"},
      {"\"+dd1 1h\"", 1, "invalid character 'h' in time '1h'\nPARAM-ERROR, Syntax error for criteria '+d'\n"},
      {"~Q", 1, "PARAM-ERROR, invalid format '~Q'\n"},
      {"~Nabc", -1, "PARAM-ERROR, INTERNAL ERROR, invalid FORMAT datatype\n"},
  };
  for (const Case& c : cases) {
    Outcome o = parse(std::string("prog ") + c.args, nullptr, options, criteria, formats);
    EXPECT_EQ(o.result, c.result) << c.args;
    EXPECT_EQ(o.err, c.err) << c.args;
  }
}

TEST(Parser, MessagesOfPositionalParameters) {
  StandardEnv env;
  int32_t number = 0, flag = 0;
  char text[ARG_TEXT_SIZE];
  FILETIME t{0, 0};
  char range[ARG_TEXT_SIZE];
  ArgSpec numeric[] = {{ARG_NUMERIC, 0, ARG_OPTIONAL, &number, 0}, END};
  ArgSpec two[] = {{ARG_STRING, 0, ARG_OPTIONAL, text, 0}, {ARG_STRING, 0, ARG_OPTIONAL, text, 0}, END};
  ArgSpec abs[] = {{ARG_ABSTIME, 0, ARG_OPTIONAL, &t, 0}, END};
  ArgSpec delta[] = {{ARG_DELTATIME, 0, ARG_OPTIONAL, &t, 0}, END};
  ArgSpec ranges[] = {{ARG_RANGE, 0, ARG_OPTIONAL, range, 0}, END};
  ArgSpec flags[] = {{ARG_FLAG, 0, ARG_OPTIONAL, &flag, 0}, END};
  ArgSpec bitmask[] = {{ARG_BITMASK, 0, ARG_OPTIONAL, &flag, 0}, END};

  struct Case {
    const char* line;
    ArgSpec* table;
    int result;
    const char* err;
  } cases[] = {
      {"prog a b c", two, 3, "PARAM-ERROR, invalid parameter 3\n"},
      {"prog x", numeric, 1, "PARAM-ERROR, non-numeric value for parameter 1\n"},
      {"prog 30.04.1997 x", abs, 2, "PARAM-ERROR, invalid parameter 2\n"},
      {"prog 24:00", abs, 1,
       "invalid date / time '24:00' (out of bounds)\nPARAM-ERROR, AbsTime syntax error for parameter 1\n"},
      {"prog dx", delta, 1,
       "invalid character 'x' in days 'x'\nPARAM-ERROR, DeltaTime syntax error for parameter 1\n"},
      {"prog 1:x", ranges, 1, "PARAM-ERROR, range syntax error for parameter 1\n"},
      {"prog 1", flags, -1, "PARAM-ERROR, INTERNAL ERROR, invalid param datatype\n"},
      {"prog 1", bitmask, -1, "PARAM-ERROR, INTERNAL ERROR, invalid param datatype\n"},
  };
  for (const Case& c : cases) {
    Outcome o = parse(c.line, c.table, nullptr, nullptr, nullptr);
    EXPECT_EQ(o.result, c.result) << c.line;
    EXPECT_EQ(o.err, c.err) << c.line;
  }

  ASSERT_EQ(parse("prog 42", numeric, nullptr, nullptr, nullptr).result, 0);
  EXPECT_EQ(number, 42);
  ASSERT_EQ(parse("prog 30.04.1997", abs, nullptr, nullptr, nullptr).result, 0);
  EXPECT_EQ(filetime_to_u64(t), at(1997, 4, 30, 0, 0));
  ASSERT_EQ(parse("prog one two", two, nullptr, nullptr, nullptr).result, 0);
  EXPECT_STREQ(text, "two");
}

TEST(Parser, SilentFailures) {
  StandardEnv env;
  int32_t flag = 0;
  char text[ARG_TEXT_SIZE];
  ArgSpec params[] = {{ARG_STRING, 0, ARG_OPTIONAL, text, 0}, END};
  ArgSpec options[] = {{ARG_FLAG, 'y', ARG_OPTIONAL, &flag, 0}, END};
  ArgSpec criteria[] = {{ARG_STRING, 'c', ARG_OPTIONAL, text, 0}, END};
  ArgSpec formats[] = {{ARG_STRING, 'F', ARG_OPTIONAL, text, 0}, END};
  struct Case {
    const char* line;
    bool with_tables;
    int result;
  } cases[] = {
      {"prog /y /", true, 2},    {"prog -", true, 1},      {"prog /y +", true, 2},
      {"prog ~", true, 1},       {"prog \"\"", true, 1},   {"prog /y \"\" x", true, 2},
      {"prog x", false, 1},      {"prog /y", false, 1},    {"prog -cx", false, 1},
      {"prog +cx", false, 1},    {"prog ~Fx", false, 1},
  };
  for (const Case& c : cases) {
    Outcome o = c.with_tables ? parse(c.line, params, options, criteria, formats)
                              : parse(c.line, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(o.result, c.result) << c.line;
    EXPECT_EQ(o.err, "") << c.line;
  }
}

TEST(Parser, MandatoryEntriesAndDefaultsInTableOrder) {
  StandardEnv env;
  char target[ARG_TEXT_SIZE] = "unset";
  char comment[ARG_TEXT_SIZE] = "unset";
  char format[ARG_TEXT_SIZE] = "unset";
  WCHAR wide_format[ARG_TEXT_SIZE] = u"unset";
  int32_t count_n = 0, count_m = 0, cn = 0;
  char ch = 0;
  ArgSpec params[] = {{ARG_STRING, 0, ARG_OPTIONAL, comment, arg_ptr("cmd")},
                      {ARG_STRING, 0, ARG_MANDATORY, target, 0},
                      END};
  ArgSpec options[] = {{ARG_NUMERIC, 'n', ARG_OPTIONAL, &count_n, 9},
                       {ARG_NUMERIC, 'm', ARG_MANDATORY, &count_m, 0},
                       END};
  ArgSpec criteria[] = {{ARG_CHAR, 'k', ARG_OPTIONAL, &ch, 'K'},
                        {ARG_NUMERIC, 'x', ARG_MANDATORY, &cn, 0},
                        END};
  ArgSpec formats[] = {{ARG_STRING, 'F', ARG_MANDATORY, format, arg_ptr("~N")},
                       {ARG_WSTRING, 'W', ARG_OPTIONAL, wide_format, arg_ptr(u"~w")},
                       END};
  auto reset = [&]() {
    params[1].state = ARG_MANDATORY;
    options[1].state = ARG_MANDATORY;
    criteria[1].state = ARG_MANDATORY;
    for (ArgSpec* t : {params, options, criteria, formats}) {
      for (ArgSpec* e = t; e->type != ARG_END; ++e) {
        if (e->state == ARG_GIVEN) e->state = ARG_OPTIONAL;
      }
    }
  };

  Outcome none = parse("prog", params, options, criteria, formats);
  EXPECT_EQ(none.result, 2);
  EXPECT_EQ(none.err, "PARAM-ERROR, mandatory parameter 2 not specified\n");
  EXPECT_STREQ(comment, "cmd");   // defaults before the missing entry are applied
  EXPECT_EQ(count_n, 0);          // later tables are not reached
  EXPECT_STREQ(format, "unset");

  reset();
  Outcome no_option = parse("prog show \\\\SRV", params, options, criteria, formats);
  EXPECT_EQ(no_option.result, 2);
  EXPECT_EQ(no_option.err, "PARAM-ERROR, mandatory option /m not specified\n");
  EXPECT_STREQ(target, "\\\\SRV");
  EXPECT_EQ(params[1].state, ARG_GIVEN);

  reset();
  Outcome no_criterion = parse("prog show x /m3", params, options, criteria, formats);
  EXPECT_EQ(no_criterion.result, 2);
  EXPECT_EQ(no_criterion.err, "PARAM-ERROR, mandatory criteria -x not specified\n");
  EXPECT_EQ(count_m, 3);
  EXPECT_EQ(count_n, 9);
  EXPECT_EQ(ch, 'K');  // criteria before the missing one have their defaults
  reset();
  // Formats are never mandatory: they take their defaults.
  Outcome all = parse("prog show x /m3 -x4", params, options, criteria, formats);
  EXPECT_EQ(all.result, 0);
  EXPECT_EQ(all.err, "");
  EXPECT_EQ(ch, 'K');
  EXPECT_EQ(cn, 4);
  EXPECT_STREQ(format, "~N");
  EXPECT_EQ(std::u16string(wide_format), u"~w");

  // The first error ends the parse: no defaults at all.
  reset();
  strcpy(comment, "unset");
  Outcome early = parse("prog show x /bad -x4", params, options, criteria, formats);
  EXPECT_EQ(early.result, 3);
  EXPECT_EQ(early.err, "PARAM-ERROR, invalid option '/b'\n");
  EXPECT_STREQ(comment, "show");
  EXPECT_EQ(cn, 4);  // from the run before: nothing after the bad token is read
}

TEST(Parser, FormatsAndWideDefaults) {
  StandardEnv env;
  char line_format[ARG_TEXT_SIZE] = "";
  WCHAR wide[ARG_TEXT_SIZE] = u"";
  char empty_default[ARG_TEXT_SIZE] = "x";
  std::u16string long_default(300, u'w');
  ArgSpec formats[] = {{ARG_STRING, 'F', ARG_OPTIONAL, line_format, arg_ptr("~N ~c")},
                       {ARG_WSTRING, 'W', ARG_OPTIONAL, wide, arg_ptr(long_default.c_str())},
                       {ARG_STRING, 'T', ARG_OPTIONAL, empty_default, 0},
                       END};
  ASSERT_EQ(parse("prog", nullptr, nullptr, nullptr, formats).result, 0);
  EXPECT_STREQ(line_format, "~N ~c");
  EXPECT_EQ(std::u16string(wide), std::u16string(255, u'w'));  // cut to 255 units
  EXPECT_STREQ(empty_default, "");                              // no default text: empty
  formats[0].state = formats[1].state = formats[2].state = ARG_OPTIONAL;
  ASSERT_EQ(parse("prog \"~F~-.15N ~c\" ~W\xC3\xA9t\xC3\xA9", nullptr, nullptr, nullptr, formats).result, 0);
  EXPECT_STREQ(line_format, "~-.15N ~c");
  EXPECT_EQ(std::u16string(wide), u"\u00e9t\u00e9");
}

TEST(Parser, ReadsTheProcessCommandLine) {
  StandardEnv env;
  int32_t flag = 0;
  char word[ARG_TEXT_SIZE] = "";
  ArgSpec params[] = {{ARG_STRING, 0, ARG_OPTIONAL, word, 0}, END};
  ArgSpec options[] = {{ARG_FLAG, 'y', ARG_OPTIONAL, &flag, 0}, END};
  std::string saved = GetCommandLineA();
  nt_set_command_line("zeb.exe \"add it\" /y");
  EXPECT_EQ(parse_command_line(params, options, nullptr, nullptr), 0);
  nt_set_command_line(saved.c_str());
  EXPECT_STREQ(word, "add it");
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(parse_command_text(nullptr, params, options, nullptr, nullptr), 0);
}

}  // namespace
