#include "utils/replz/replace_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Bytes of a literal that may hold zero bytes.
template <size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

std::string replaced(std::string_view data, std::string_view search, std::string_view by,
                     size_t* count = nullptr) {
  std::string out;
  EXPECT_TRUE(replace_text(data, search, by,
                           [&out](const char* bytes, size_t size) {
                             out.append(bytes, size);
                             return true;
                           },
                           count));
  return out;
}

TEST(ReplaceText, FoldsOnlyLettersAToZ) {
  size_t count = 0;
  EXPECT_EQ(replaced("ABC aBc abc abd", "abc", "x", &count), "x x x abd");
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(replaced("abc", "ABC", "x"), "x");
  // Neighbours of the letters in the code table are not folded.
  EXPECT_EQ(replaced("a[b a{b", "a{b", "x"), "a[b x");
  EXPECT_EQ(replaced("@ `", "`", "x"), "@ x");
  // Bytes beyond ASCII compare exactly.
  EXPECT_EQ(replaced("\xe9t\xc9t", "\xe9t", "x"), "x\xc9t");
}

TEST(ReplaceText, LeftmostMatchesWithoutOverlapOrRescan) {
  size_t count = 0;
  EXPECT_EQ(replaced("aaa", "aa", "b", &count), "ba");
  EXPECT_EQ(count, 1u);
  // A replacement holding the search text is not searched again.
  EXPECT_EQ(replaced("aaa", "a", "aa", &count), "aaaaaa");
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(replaced("x-cat-x", "cat", "concat"), "x-concat-x");
  EXPECT_EQ(replaced("a-b-c-", "-", "", &count), "abc");
  EXPECT_EQ(count, 3u);
}

TEST(ReplaceText, MatchesEndWithTheData) {
  // The data ends in the middle of a possible match: copied to its end.
  EXPECT_EQ(replaced("xxab", "abc", "Z"), "xxab");
  EXPECT_EQ(replaced("abcab", "abc", "Z"), "Zab");
  EXPECT_EQ(replaced("xxabc", "abc", "Z"), "xxZ");
  EXPECT_FALSE(search_matches_at("xab", 1, "abc"));
  EXPECT_TRUE(search_matches_at("xabc", 1, "abc"));
  EXPECT_FALSE(search_matches_at("abc", 3, "c"));
  EXPECT_FALSE(search_matches_at("abc", 9, "c"));
}

TEST(ReplaceText, ZeroByteInTheDataEndsAMatch) {
  const std::string data = bytes("a\0b");
  const std::string search_with_zero = bytes("a\0b");
  EXPECT_FALSE(search_matches_at(data, 0, search_with_zero));
  EXPECT_EQ(replaced(data, search_with_zero, "x"), data);
  // Matching goes on after a zero byte.
  EXPECT_EQ(replaced(bytes("ab\0cABC"), "abc", "x"), bytes("ab\0cx"));
}

TEST(ReplaceText, BinaryDataPassesUnchanged) {
  const std::string data = bytes("line1\r\n\0\xff\x01KEY=1\r\nkey=2\r\n");
  const std::string expected = bytes("line1\r\n\0\xff\x01VAL=1\r\nVAL=2\r\n");
  EXPECT_EQ(replaced(data, "key", "VAL"), expected);
  EXPECT_EQ(replaced("a\r\nb\r\n", "\r\n", "\n"), "a\nb\n");
}

TEST(ReplaceText, EmptySearchMatchesNowhere) {
  size_t count = 7;
  EXPECT_FALSE(search_matches_at("abc", 0, ""));
  EXPECT_EQ(replaced("abc", "", "x", &count), "abc");
  EXPECT_EQ(count, 0u);
}

TEST(ReplaceText, StopsAtTheFirstFailedWrite) {
  int calls = 0;
  bool ok = replace_text("a1a2a3", "a", "b", [&calls](const char*, size_t) {
    ++calls;
    return calls < 2;
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(calls, 2);
}

}  // namespace
