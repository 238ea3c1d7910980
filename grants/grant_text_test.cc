#include "grants/grant_text.h"

#include <gtest/gtest.h>

namespace {

TEST(GrantText, LettersGiveTheirKindAndMask) {
  auto e = parse_grants("Everyone:R a:w b:F c:x d:n");
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].name, "Everyone");
  EXPECT_TRUE(e[0].access_ok);
  EXPECT_EQ(e[0].type, GRANT_ACE_ALLOWED);
  EXPECT_EQ(e[0].mask, 0xA0000000u);
  EXPECT_EQ(e[1].mask, 0xE0010000u);
  EXPECT_EQ(e[2].mask, 0x10000000u);
  EXPECT_EQ(e[3].mask, 0x20000000u);
  EXPECT_EQ(e[4].type, GRANT_ACE_DENIED);
  EXPECT_EQ(e[4].mask, 0x10000000u);
  for (const auto& entry : e) {
    EXPECT_FALSE(entry.flag_letters) << entry.name;
    EXPECT_EQ(entry.flags, 0) << entry.name;
  }
}

TEST(GrantText, HexMasksNeedEightDigitsAndAreNotZero) {
  auto e = parse_grants("DOM\\jdoe:0x001F01FF a:0x1F b:0x0000000G c:0x00000000 d:0X001F01FF "
                        "e:0x001f01ffci f:01234567890");
  ASSERT_EQ(e.size(), 7u);
  EXPECT_TRUE(e[0].access_ok);
  EXPECT_EQ(e[0].name, "DOM\\jdoe");
  EXPECT_EQ(e[0].mask, 0x001F01FFu);
  EXPECT_FALSE(e[0].flag_letters);
  EXPECT_FALSE(e[1].access_ok);  // too few digits
  EXPECT_FALSE(e[2].access_ok);  // not hexadecimal
  EXPECT_FALSE(e[3].access_ok);  // grants nothing
  EXPECT_FALSE(e[4].access_ok);  // "0X"
  EXPECT_TRUE(e[5].access_ok);   // lower-case digits, then flags
  EXPECT_EQ(e[5].mask, 0x001F01FFu);
  EXPECT_EQ(e[5].flags, GRANT_FLAG_CONTAINER_INHERIT | GRANT_FLAG_INHERIT_ONLY);
  EXPECT_FALSE(e[6].access_ok);  // a 0 not followed by x
}

TEST(GrantText, FlagLettersAndOthersPassedOver) {
  auto e = parse_grants("a:Fci b:Rocni c:Nz d:Wcc e:RC");
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].flags, GRANT_FLAG_CONTAINER_INHERIT | GRANT_FLAG_INHERIT_ONLY);
  EXPECT_EQ(e[1].flags, 0x0F);
  EXPECT_EQ(e[2].flags, 0);
  EXPECT_TRUE(e[2].flag_letters);  // a letter stood there, even if none counted
  EXPECT_EQ(e[2].type, GRANT_ACE_DENIED);
  EXPECT_EQ(e[3].flags, GRANT_FLAG_CONTAINER_INHERIT);
  EXPECT_EQ(e[4].flags, 0);  // flag letters are lower case
  EXPECT_TRUE(e[4].flag_letters);
}

TEST(GrantText, NamesRunToTheColonAndEntriesToTheNextBlank) {
  auto e = parse_grants("   SALES\\Domain Admins:F    jdoe:Q  x:R");
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].name, "SALES\\Domain Admins");
  EXPECT_TRUE(e[0].access_ok);
  EXPECT_EQ(e[1].name, "jdoe");
  EXPECT_FALSE(e[1].access_ok);
  EXPECT_EQ(e[2].name, "x");
  EXPECT_TRUE(e[2].access_ok);

  // Without a colon the name takes the rest of the text and has no access.
  e = parse_grants("jdoe Everyone");
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "jdoe Everyone");
  EXPECT_FALSE(e[0].access_ok);
  // A colon with nothing after it: no access; the next entry still counts.
  e = parse_grants("a: b:R");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_FALSE(e[0].access_ok);
  EXPECT_TRUE(e[1].access_ok);
  // Two entries of one account are both kept, in order.
  e = parse_grants("jdoe:R jdoe:N");
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].type, GRANT_ACE_ALLOWED);
  EXPECT_EQ(e[1].type, GRANT_ACE_DENIED);

  EXPECT_TRUE(parse_grants("").empty());
  EXPECT_TRUE(parse_grants("    ").empty());
  EXPECT_TRUE(parse_grants(nullptr).empty());
}

TEST(GrantText, LongNamesAreCutAt255) {
  std::string name(300, 'a');
  auto e = parse_grants((name + ":R next:F").c_str());
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].name, std::string(255, 'a'));
  EXPECT_TRUE(e[0].access_ok);
  EXPECT_EQ(e[1].name, "next");
}

TEST(GrantText, AccessTextOfMasks) {
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0x001200A9u), "R");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0xA0000000u), "R");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0x001301BFu), "W");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0xE0000000u), "W");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0xE0010000u), "0xE0010000");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0x001F01FFu), "F");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0x10000000u), "F");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0x20000000u), "X");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0x0000001Fu), "0x0000001F");
  EXPECT_EQ(grant_access_text(GRANT_ACE_ALLOWED, 0u), "0x00000000");
  EXPECT_EQ(grant_access_text(GRANT_ACE_DENIED, 0xA0000000u), "N");
  EXPECT_EQ(grant_access_text(GRANT_ACE_DENIED, 0x1u), "N");
}

TEST(GrantText, FlagTextAndEntryText) {
  EXPECT_EQ(grant_flag_text(0), "");
  EXPECT_EQ(grant_flag_text(0x0F), "cino");
  EXPECT_EQ(grant_flag_text(0x01 | 0x04), "no");
  EXPECT_EQ(grant_flag_text(0x08 | 0x02), "ci");
  EXPECT_EQ(grant_flag_text(0x10 | 0x80), "");  // inherited and unknown bits
  EXPECT_EQ(grant_entry_text("", "Everyone", GRANT_ACE_ALLOWED, 0, 0xA0000000u), "\\Everyone:R ");
  EXPECT_EQ(grant_entry_text("SALES", "joe", GRANT_ACE_ALLOWED, 0x0A, 0xA0000000u),
            "SALES\\joe:Rci ");
  EXPECT_EQ(grant_entry_text("DOM", "jdoe", GRANT_ACE_DENIED, 0, 0x10000000u), "DOM\\jdoe:N ");
}

TEST(GrantText, SplitForDisplay) {
  auto e = split_grants_text("\\Everyone:R SALES\\Domain Admins:Fci DOM\\x\\y:0x0000001F ");
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].domain, "");
  EXPECT_EQ(e[0].name, "Everyone");
  EXPECT_EQ(e[0].access, "R");
  EXPECT_EQ(e[1].domain, "SALES");
  EXPECT_EQ(e[1].name, "Domain Admins");
  EXPECT_EQ(e[1].access, "Fci");
  EXPECT_EQ(e[2].domain, "DOM");
  EXPECT_EQ(e[2].name, "x\\y");
  EXPECT_EQ(e[2].access, "0x0000001F");
  e = split_grants_text("jdoe:R");
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].domain, "");
  EXPECT_EQ(e[0].name, "jdoe");
  EXPECT_TRUE(split_grants_text("").empty());
}

}  // namespace
