#include "platform/network/nt_name.h"

#include <gtest/gtest.h>

#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"

namespace {

TEST(NtName, NormalisedToUpperCase) {
  std::string out;
  EXPECT_EQ(nt_normalize_name("ws-01", &out), ERROR_SUCCESS);
  EXPECT_EQ(out, "WS-01");
  EXPECT_EQ(nt_normalize_machine_name("\\\\srv", &out), ERROR_SUCCESS);
  EXPECT_EQ(out, "SRV");
  EXPECT_EQ(nt_normalize_machine_name("\\srv", &out), ERROR_INVALID_NAME);  // one backslash
  EXPECT_EQ(nt_normalize_name("\xCE\xB1\xCE\xB2", &out), ERROR_SUCCESS);    // Greek
  EXPECT_EQ(out, "\xCE\x91\xCE\x92");
  EXPECT_EQ(nt_normalize_name("my pc", &out), ERROR_SUCCESS);
  EXPECT_EQ(out, "MY PC");
}

TEST(NtName, LengthCountsCharactersNotBytes) {
  std::string out;
  std::string fifteen;
  for (int i = 0; i < 15; ++i) fifteen += "\xC3\xA9";  // é, two bytes each
  EXPECT_EQ(nt_normalize_name(fifteen, &out), ERROR_SUCCESS);
  EXPECT_EQ(nt_normalize_name(fifteen + "e", &out), ERROR_INVALID_NAME);
  EXPECT_EQ(nt_normalize_name("\xFF\xFE", &out), ERROR_INVALID_NAME);  // not UTF-8
  EXPECT_EQ(nt_normalize_name(std::string("A\0B", 3), &out), ERROR_INVALID_NAME);
}

TEST(Wtf8, EveryUnitSequenceComesBack) {
  std::u16string samples[] = {
      u"", u"plain", u"\u00e9\u4e2d", u"\U0001F600",
      std::u16string(1, char16_t(0xD800)),                    // lone high surrogate
      std::u16string{char16_t(0xDC00), u'x', char16_t(0xD83D)},  // lone low, then high at end
      std::u16string(3, u'\0'),
  };
  for (const auto& s : samples) EXPECT_EQ(nt_utf16_from_wtf8(nt_wtf8_from_utf16(s)), s);
  EXPECT_EQ(nt_wtf8_from_utf16(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(nt_wtf8_from_utf16(std::u16string(1, char16_t(0xD800))), "\xED\xA0\x80");
  // Broken input: one replacement character per bad byte, nothing lost after.
  EXPECT_EQ(nt_utf16_from_wtf8("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(nt_utf16_from_wtf8("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong
}

}  // namespace
