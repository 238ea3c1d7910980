#include <gtest/gtest.h>

#include <string>

#include "lib/format.h"
#include "lib/format_test_support.h"

namespace {

constexpr ArgSpec END{ARG_END, 0, 0, nullptr, 0};

TEST(MatchCriteria, ComparesNumbersAndCharactersEvenWhenNotGiven) {
  int32_t count = 7;
  char kind = 'U';
  const ArgSpec object[] = {{ARG_NUMERIC, 'n', 0, &count, 0}, {ARG_CHAR, 'k', 0, &kind, 0}, END};
  int32_t wanted = 7;
  char wanted_kind = 'U';
  const ArgSpec criteria[] = {{ARG_NUMERIC, 'n', ARG_OPTIONAL, &wanted, 7},
                              {ARG_CHAR, 'k', ARG_OPTIONAL, &wanted_kind, 'U'},
                              END};
  EXPECT_TRUE(match_criteria(object, criteria));
  wanted = 8;  // a default that differs rejects the object too
  EXPECT_FALSE(match_criteria(object, criteria));
  wanted = 7;
  wanted_kind = 'u';  // characters compare exactly
  EXPECT_FALSE(match_criteria(object, criteria));

  // A criterion of another kind than the value does not apply.
  const ArgSpec text_object[] = {{ARG_STRING, 'n', 0, const_cast<char*>("7"), 0}, END};
  wanted = 99;
  EXPECT_TRUE(match_criteria(text_object, criteria));
  const ArgSpec empty[] = {END};
  EXPECT_TRUE(match_criteria(empty, criteria));
  EXPECT_TRUE(match_criteria(object, empty));
  EXPECT_TRUE(match_criteria(nullptr, criteria));
}

TEST(MatchCriteria, MatchesGivenTextsByWildcardIgnoringCase) {
  CodePageScope pages("65001", "65001");
  char comment[ARG_TEXT_SIZE] = "abacus";
  WCHAR home[ARG_TEXT_SIZE] = u"\\\\SRV\\Home\\jdoe";
  const ArgSpec object[] = {{ARG_STRING, 'c', 0, comment, 0}, {ARG_WSTRING, 'H', 0, home, 0}, END};
  char pattern[ARG_TEXT_SIZE] = "AB*";
  WCHAR home_pattern[ARG_TEXT_SIZE] = u"*\\HOME\\*";
  ArgSpec criteria[] = {{ARG_STRING, 'c', ARG_GIVEN, pattern, 0},
                        {ARG_WSTRING, 'H', ARG_GIVEN, home_pattern, 0},
                        END};
  EXPECT_TRUE(match_criteria(object, criteria));
  strcpy(comment, "Cab");
  EXPECT_FALSE(match_criteria(object, criteria));
  criteria[0].state = ARG_OPTIONAL;  // not given: no test
  EXPECT_TRUE(match_criteria(object, criteria));
  criteria[0].state = ARG_GIVEN;
  home_pattern[1] = u'X';
  EXPECT_FALSE(match_criteria(object, criteria));

  // An object without the comment placeholder is not tested on it.
  home_pattern[1] = u'\\';
  const ArgSpec no_comment[] = {{ARG_WSTRING, 'H', 0, home, 0}, END};
  EXPECT_TRUE(match_criteria(no_comment, criteria));

  // Wide values are compared in their first 1,023 bytes.
  std::u16string long_text(1100, u'a');
  long_text[1023] = u'b';
  const ArgSpec long_object[] = {{ARG_WSTRING, 'c', 0, long_text.data(), 0}, END};
  strcpy(pattern, "*B*");
  EXPECT_FALSE(match_criteria(long_object, criteria));
  long_text[1022] = u'b';
  EXPECT_TRUE(match_criteria(long_object, criteria));
}

TEST(MatchCriteria, AdmitsNumbersByRange) {
  int32_t value = 6;
  const ArgSpec object[] = {{ARG_NUMERIC, 'h', 0, &value, 0}, END};
  char range[ARG_TEXT_SIZE] = "1,3,5:7";
  const ArgSpec criteria[] = {{ARG_RANGE, 'h', ARG_GIVEN, range, 0}, END};
  EXPECT_TRUE(match_criteria(object, criteria));
  value = 4;
  EXPECT_FALSE(match_criteria(object, criteria));
  range[0] = '\0';  // an empty range admits everything
  EXPECT_TRUE(match_criteria(object, criteria));
}

TEST(MatchCriteria, SelectsTimesInsideTheWindow) {
  const uint64_t day = 864000000000ull;
  const uint64_t t0 = 150000 * day;
  FILETIME when = u64_to_filetime(t0);
  const ArgSpec object[] = {{ARG_ABSTIME, 'L', 0, &when, 0}, END};
  FILETIME upper{};  // -L
  FILETIME lower{};  // +L
  const ArgSpec criteria[] = {{ARG_ABSTIME, 'L', ARG_OPTIONAL, &upper, arg_ptr(&lower)}, END};

  EXPECT_TRUE(match_criteria(object, criteria));  // no bounds at all
  // The missing upper bound is replaced once, in the criterion itself.
  EXPECT_EQ(filetime_to_u64(upper), OPEN_UPPER_TIME);

  lower = u64_to_filetime(t0);  // only +L: at or after
  EXPECT_TRUE(match_criteria(object, criteria));
  when = u64_to_filetime(t0 - 1);
  EXPECT_FALSE(match_criteria(object, criteria));
  when = u64_to_filetime(0xFFFFFFFFFFFFFFFFull);  // "never" lies beyond the open end
  EXPECT_FALSE(match_criteria(object, criteria));

  lower = FILETIME{};
  upper = u64_to_filetime(t0);  // only -L: at or before
  when = u64_to_filetime(t0);
  EXPECT_TRUE(match_criteria(object, criteria));
  when = u64_to_filetime(t0 + 1);
  EXPECT_FALSE(match_criteria(object, criteria));

  lower = u64_to_filetime(t0 - day);  // both, each inclusive
  when = u64_to_filetime(t0 - day);
  EXPECT_TRUE(match_criteria(object, criteria));
  when = u64_to_filetime(t0 - day - 1);
  EXPECT_FALSE(match_criteria(object, criteria));
  // Halves compare as one 64-bit number.
  upper = FILETIME{0, 2};
  lower = FILETIME{0xFFFFFFFF, 0};
  when = FILETIME{0, 1};
  EXPECT_TRUE(match_criteria(object, criteria));
  when = FILETIME{0xFFFFFFFE, 0};
  EXPECT_FALSE(match_criteria(object, criteria));
}

}  // namespace
