#include "acma/password_derivation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string derived(const std::u16string& seed, int size = 256) {
  std::u16string buffer = seed;
  buffer.resize(static_cast<size_t>(size), u'\0');
  if (!derive_password(buffer.data(), size)) return u"<refused>";
  return std::u16string(buffer.c_str());
}

TEST(PasswordDerivation, LengthAndCharacterClasses) {
  // Sum 294, k 30: ten characters; above 122 becomes a digit, below 48 an
  // upper-case letter; positions past the seed start from the changed first.
  EXPECT_EQ(derived(u"abc"), u"75CWVUTSRQ");
  // An empty seed still gives eight characters, from its terminator.
  EXPECT_EQ(derived(u""), u"A$CBEDGF");
  // A long seed is cut to the length; 58 to 64 become '$'.
  EXPECT_EQ(derived(u"ZZZZZZZZZZZZ"), u"BC$AFGDE");
  // 91 to 96 become lower-case letters.
  EXPECT_EQ(derived(u"Pa"), u"olas7654");
  EXPECT_EQ(derived(u"x"), u"m3zutwvqp");
  EXPECT_EQ(derived(u"~~"), u"kh4srqpwv");
  // Units beyond ASCII take part in the sum and map to digits.
  EXPECT_EQ(derived(u"\u00e9t\u00e9"), u"2b4QROPUV");
}

TEST(PasswordDerivation, SameSeedSamePasswordAndBufferLimits) {
  EXPECT_EQ(derived(u"Secret"), u"Gpue5mpo");
  EXPECT_EQ(derived(u"Secret"), derived(u"Secret"));
  EXPECT_NE(derived(u"Secret"), derived(u"secret"));
  // Eleven characters and a terminator must fit; a smaller buffer is left.
  EXPECT_EQ(derived(u"abc", 11), u"<refused>");
  EXPECT_EQ(derived(u"abc", 12), u"75CWVUTSRQ");
  EXPECT_FALSE(derive_password(nullptr, 256));
  // A seed that fills its buffer without a terminator is read to the end
  // of the buffer only.
  std::u16string full(12, u'Z');
  ASSERT_TRUE(derive_password(full.data(), 12));
  EXPECT_EQ(std::u16string(full.c_str()), u"BC$AFGDE");
}

}  // namespace
