#include "platform/files/nt_wildcard.h"

#include <gtest/gtest.h>

namespace {

bool match(const char* pattern, const char* name) { return NtPattern(pattern).matches(name); }

TEST(NtPattern, StarsAndTheEverythingForms) {
  for (const char* name : {"a", "a.txt", "noext", ".", "..", ".hidden", "a.b.c"}) {
    EXPECT_TRUE(match("*", name)) << name;
    EXPECT_TRUE(match("*.*", name)) << name;
  }
  EXPECT_TRUE(NtPattern("*.*").matches_everything());
  EXPECT_TRUE(match("a*", "ABC"));
  EXPECT_TRUE(match("*c", "abc"));
  EXPECT_TRUE(match("a*c*e", "abcde"));
  EXPECT_FALSE(match("a*c*e", "abcd"));
  EXPECT_TRUE(match("*.txt", "a.b.txt"));
  EXPECT_TRUE(match("*.txt", ".txt"));
  EXPECT_FALSE(match("*.txt", "a.txt.bak"));
  EXPECT_FALSE(match("*.txt", "atxt"));
  EXPECT_TRUE(match("*.t*", "x.tmp"));
  EXPECT_TRUE(match("*.t*", "x.y.t"));
  EXPECT_FALSE(match("*.t*", "x.y"));
  EXPECT_TRUE(match("**", "anything"));
}

TEST(NtPattern, StarDotSelectsNamesWithoutADot) {
  EXPECT_TRUE(match("*.", "README"));
  EXPECT_TRUE(match("*.", "makefile"));
  EXPECT_FALSE(match("*.", "a.txt"));
  EXPECT_FALSE(match("*.", ".profile"));
  EXPECT_TRUE(match("*.", "."));  // a dot matched by the dot itself
  EXPECT_TRUE(match("abc.", "ABC"));  // a trailing dot matches nothing at the end
  EXPECT_TRUE(match("abc.", "abc."));
  EXPECT_FALSE(match("abc.", "abc.d"));
}

TEST(NtPattern, QuestionMarksStopAtDotsAndEnds) {
  EXPECT_TRUE(match("a??", "a"));
  EXPECT_TRUE(match("a??", "ab"));
  EXPECT_TRUE(match("a??", "abc"));
  EXPECT_FALSE(match("a??", "abcd"));
  EXPECT_TRUE(match("?.txt", "a.txt"));
  EXPECT_TRUE(match("?.txt", ".txt"));  // nothing before the dot
  EXPECT_FALSE(match("?.txt", "ab.txt"));
  EXPECT_TRUE(match("file?.c", "file1.c"));
  EXPECT_TRUE(match("file?.c", "file.c"));
  EXPECT_FALSE(match("file?.c", "file12.c"));
  EXPECT_TRUE(match("*.?", "a.b"));
  EXPECT_TRUE(match("*.?", "a"));  // dot and mark match nothing at the end
  EXPECT_FALSE(match("*.?", "a.bc"));
  EXPECT_TRUE(match("*.??", "x.c"));
  EXPECT_TRUE(match("a?c", "abc"));
  EXPECT_FALSE(match("a?c", "a.c"));  // a mark never matches the dot itself
}

TEST(NtPattern, CaseIsIgnoredAlsoBeyondAscii) {
  EXPECT_TRUE(match("README.TXT", "readme.txt"));
  EXPECT_TRUE(match("*.TxT", "a.tXt"));
  EXPECT_TRUE(match("\xC3\xA9t\xC3\xA9*", "\xC3\x89T\xC3\x89.doc"));  // été* ~ ÉTÉ.doc
  EXPECT_TRUE(match("*.doc", "\xC3\x89T\xC3\x89.doc"));
  EXPECT_TRUE(match("?t?.doc", "\xC3\xA9t\xC3\xA9.doc"));  // one mark, one character
  EXPECT_FALSE(match("\xC3\xA9", "e"));
  // Control characters are plain characters, never wildcards.
  EXPECT_TRUE(match("a\x01\x02\x03\x04", "a\x01\x02\x03\x04"));
  EXPECT_FALSE(match("a\x01", "abc"));
  EXPECT_FALSE(NtPattern("name").has_wildcards());
  EXPECT_TRUE(NtPattern("na?e").has_wildcards());
  EXPECT_TRUE(nt_has_wildcards("a*"));
  EXPECT_FALSE(nt_has_wildcards("a.b"));
}

}  // namespace
