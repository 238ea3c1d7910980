#include "lib/wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "lib/parser_test_env.h"

namespace {

using parser_test::StandardEnv;

TEST(Wildcard, HasWildcard) {
  EXPECT_FALSE(has_wildcard(nullptr));
  EXPECT_FALSE(has_wildcard(""));
  EXPECT_FALSE(has_wildcard("SERVER1"));
  EXPECT_TRUE(has_wildcard("WS*"));
  EXPECT_TRUE(has_wildcard("?"));
  EXPECT_TRUE(has_wildcard("a?b"));
}

TEST(Wildcard, StarsQuestionMarksAndAbsentTexts) {
  StandardEnv env;
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  } cases[] = {
      {"WS01", "WS*", true},     {"WS", "WS*", true},      {"AWS01", "WS*", false},
      {"", "*", true},           {"", "", true},           {"a", "", false},
      {"", "?", false},          {"abc", "a?c", true},     {"ac", "a?c", false},
      {"abc", "*c", true},       {"abcd", "*c", false},    {"abc", "a**c", true},
      {"abcbc", "*bc", true},    {"abcbd", "a*b*d", true}, {"mississippi", "m*iss*ppi", true},
      {"mississippi", "m*iss*x", false},                   {"a*b", "a*b", true},
      {"axxb", "a?b", false},    {"abc", "abc*", true},    {"abc", "ab", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(match_wildcard(c.text, c.pattern, 0), c.match) << c.text << " / " << c.pattern;
    EXPECT_EQ(match_wildcard(c.text, c.pattern, 1), c.match) << c.text << " / " << c.pattern;
  }
  EXPECT_TRUE(match_wildcard("anything", nullptr, 0));
  EXPECT_TRUE(match_wildcard(nullptr, nullptr, 0));
  EXPECT_FALSE(match_wildcard(nullptr, "*", 0));
}

TEST(Wildcard, CaseIsIgnoredWithTheSystemMapping) {
  {
    StandardEnv env("65001");
    EXPECT_TRUE(match_wildcard("Administrator", "ADMIN*", 0));
    EXPECT_FALSE(match_wildcard("Administrator", "ADMIN*", 1));
    EXPECT_TRUE(match_wildcard("Comment about AB", "*ab", 0));
    EXPECT_TRUE(match_wildcard("caf\xC3\xA9", "CAF\xC3\x89", 0));  // é and É
    EXPECT_FALSE(match_wildcard("caf\xC3\xA9", "CAF\xC3\x89", 1));
    // '?' stands for one character, however many bytes it takes.
    EXPECT_TRUE(match_wildcard("caf\xC3\xA9", "caf?", 0));
    EXPECT_TRUE(match_wildcard("\xE2\x82\xAC" "5", "?5", 1));
    EXPECT_FALSE(match_wildcard("caf\xC3\xA9", "caf??", 0));
  }
  {
    StandardEnv env("1252");
    EXPECT_TRUE(match_wildcard("caf\xE9", "CAF\xC9", 0));
    EXPECT_TRUE(match_wildcard("caf\xE9", "caf?", 0));
    EXPECT_FALSE(match_wildcard("caf\xE9", "CAF\xC9", 1));
  }
}

TEST(Wildcard, CaseBlindMatchingSeesAtMost1024Bytes) {
  StandardEnv env("65001");
  const std::string long_text = std::string(1024, 'a') + "b";
  EXPECT_FALSE(match_wildcard(long_text.c_str(), "*B", 0));  // the 'b' is past the limit
  EXPECT_TRUE(match_wildcard(long_text.c_str(), "*A", 0));
  EXPECT_TRUE(match_wildcard(long_text.c_str(), "*b", 1));  // exact case reads it all
  // The cut never splits a character: a two-byte one across it is left out whole.
  const std::string split = std::string(1023, 'a') + "\xC3\xA9";
  EXPECT_TRUE(match_wildcard(split.c_str(), "*A", 0));
  const std::string pattern = std::string(1023, 'a') + "?";
  EXPECT_FALSE(match_wildcard(split.c_str(), pattern.c_str(), 0));
}

TEST(Wildcard, ManyStarsStayFast) {
  StandardEnv env;
  const std::string text = std::string(1000, 'a');
  const std::string pattern = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(match_wildcard(text.c_str(), pattern.c_str(), 0));
    EXPECT_TRUE(match_wildcard((text + "b").c_str(), pattern.c_str(), 1));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
