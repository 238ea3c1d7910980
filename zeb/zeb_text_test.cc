#include "zeb/zeb_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/nls/nls_test_env.h"

namespace {

TEST(ZebText, CutsAtWholeCharactersUnderUtf8) {
  NlsEnv env;
  env.pages("65001", "65001");
  EXPECT_EQ(zeb_cut_length("abc", 3), 3u);
  EXPECT_EQ(zeb_cut_length("abcd", 3), 3u);
  // Two-, three- and four-byte characters that would be split.
  EXPECT_EQ(zeb_cut_length("ab\xC3\xA9", 3), 2u);
  EXPECT_EQ(zeb_cut_length("a\xE2\x82\xAC", 3), 1u);
  EXPECT_EQ(zeb_cut_length("a\xE2\x82\xAC", 2), 1u);
  EXPECT_EQ(zeb_cut_length("\xF0\x9F\x98\x80z", 3), 0u);
  EXPECT_EQ(zeb_cut_length("\xF0\x9F\x98\x80z", 4), 4u);
  // Stray continuation bytes are no character: cut where the limit is.
  EXPECT_EQ(zeb_cut_length("ab\x82\x82\x82", 3), 3u);
  EXPECT_EQ(zeb_cut_length("\x82\x82\x82\x82\x82", 4), 4u);
}

TEST(ZebText, SingleBytePagesCutAtTheLimit) {
  NlsEnv env;
  env.pages("1252", "850");
  EXPECT_EQ(zeb_cut_length("ab\xC3\xA9", 3), 3u);
  char field[4];
  memset(field, 'x', sizeof field);
  zeb_copy_cut(field, sizeof field, "abcdef");
  EXPECT_EQ(std::string(field, 4), std::string("abc\0", 4));
  memset(field, 'x', sizeof field);
  zeb_copy_cut(field, sizeof field, "a");
  EXPECT_EQ(std::string(field, 4), std::string("a\0\0\0", 4));
  zeb_copy_cut(field, 0, "zzz");  // nothing written
  EXPECT_EQ(field[0], 'a');
  EXPECT_EQ(zeb_field("abcd", 2), "ab");
  EXPECT_EQ(zeb_field(nullptr, 5), "");
  EXPECT_TRUE(zeb_equal_nocase("Job\xE9", "JOB\xC9"));
  EXPECT_FALSE(zeb_equal_nocase("job", "jobs"));
}

}  // namespace
