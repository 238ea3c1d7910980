#include "zeb/account_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/nls/nls_test_env.h"

namespace {

AccountRecord plain_of(const AccountRecord& rec) {
  AccountRecord copy = rec;
  account_scramble(copy.bytes);
  return copy;
}

TEST(AccountRecord, KeystreamFollowsTheSeed) {
  BYTE k[ACCOUNT_RECORD_SIZE];
  account_keystream(0, k);
  // x=0: 0, then 0-1 = 255 (divisible by 3), then 255-2 = 253 -> 253-63.
  EXPECT_EQ(k[0], 0);
  EXPECT_EQ(k[1], 0);
  EXPECT_EQ(k[2], 255);
  EXPECT_EQ(k[3], 190);
  // Seeds ending in 1 add the step number as well.
  account_keystream(1, k);
  EXPECT_EQ(k[0], 1);
  EXPECT_EQ(k[1], 2);
  EXPECT_EQ(k[2], 4);
  EXPECT_EQ(k[3], 6);
  BYTE k11[ACCOUNT_RECORD_SIZE], k12[ACCOUNT_RECORD_SIZE];
  account_keystream(11, k11);
  account_keystream(12, k12);
  EXPECT_NE(memcmp(k11, k12, sizeof k11), 0);
}

TEST(AccountRecord, LayoutAndCheckSum) {
  // Seed 0: the strings begin at offset 2.
  AccountRecord rec = account_record_make(0, "", "", "");
  EXPECT_EQ(rec.bytes[0], 0);
  AccountRecord plain = plain_of(rec);
  for (size_t i = 1; i < ACCOUNT_CHECKSUM_OFFSET; ++i) ASSERT_EQ(plain.bytes[i], 0) << i;
  // Sum of (0 + offset + 2) over offsets 0..59 = 1770 + 120 = 1890.
  EXPECT_EQ(plain.bytes[60], 0x62);
  EXPECT_EQ(plain.bytes[61], 0x07);
  EXPECT_EQ(plain.bytes[62], 0);
  EXPECT_EQ(plain.bytes[63], 0);
  EXPECT_EQ(account_checksum(plain.bytes), 1890u);

  // Seed 7: offset 7 % 4 + 2 = 5.
  rec = account_record_make(7, "DOM", "bob", "pw");
  EXPECT_EQ(rec.bytes[0], 7);
  plain = plain_of(rec);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(plain.bytes + 5), 11),
            std::string("DOM\0bob\0pw\0", 11));
  for (size_t i = 1; i < 5; ++i) EXPECT_EQ(plain.bytes[i], 0);
  // The scrambled bytes do not show the password.
  EXPECT_EQ(memmem(rec.bytes, sizeof rec.bytes, "pw", 2), nullptr);
}

TEST(AccountRecord, EverySeedRoundTrips) {
  NlsEnv env;
  env.pages("1252", "850");
  const std::string domain(15, 'D'), user = "operator15chars", password = "p@ss\xE9word-15-ch";
  for (int seed = 0; seed < 256; ++seed) {
    AccountRecord rec = account_record_make(static_cast<BYTE>(seed), domain.c_str(),
                                            user.c_str(), password.c_str());
    ASSERT_EQ(rec.bytes[0], seed);
    AccountRecord plain = plain_of(rec);
    ASSERT_EQ(plain.bytes[account_area_offset(static_cast<BYTE>(seed))], 'D') << seed;
    AccountFields f;
    ASSERT_TRUE(account_record_read(rec, &f)) << seed;
    EXPECT_EQ(f.domain, domain);
    EXPECT_EQ(f.user, user);
    EXPECT_EQ(f.password, password);
    // Scrambling twice gives the same bytes back.
    AccountRecord twice = plain_of(plain);
    ASSERT_EQ(memcmp(twice.bytes, rec.bytes, sizeof rec.bytes), 0) << seed;
  }
}

TEST(AccountRecord, LongTextsAreCutToFifteen) {
  NlsEnv env;
  env.pages("65001", "65001");
  AccountRecord rec = account_record_make(200, "A-DOMAIN-NAME-LONGER", "a-user-name-much-longer",
                                          "twenty-char-passw0rd");
  AccountFields f;
  ASSERT_TRUE(account_record_read(rec, &f));
  EXPECT_EQ(f.domain, "A-DOMAIN-NAME-L");
  EXPECT_EQ(f.user, "a-user-name-muc");
  EXPECT_EQ(f.password, "twenty-char-pas");
  // A character that does not fit whole is left out.
  rec = account_record_make(3, "", "fourteen-chars\xC3\xA4", "x");
  ASSERT_TRUE(account_record_read(rec, &f));
  EXPECT_EQ(f.user, "fourteen-chars");
  EXPECT_EQ(f.domain, "");
  rec = account_record_make(3, nullptr, nullptr, nullptr);
  ASSERT_TRUE(account_record_read(rec, &f));
  EXPECT_EQ(f.user, "");
}

TEST(AccountRecord, DamagedRecordsAreUnreadable) {
  AccountRecord good = account_record_make(42, "DOM", "bob", "secret");
  AccountFields f;
  f.user = "untouched";
  for (size_t i : {0u, 1u, 10u, 59u, 60u, 63u}) {
    AccountRecord bad = good;
    bad.bytes[i] ^= 0x01;
    EXPECT_FALSE(account_record_read(bad, &f)) << i;
  }
  EXPECT_EQ(f.user, "untouched");
  // A check sum that matches but a field that never ends within 16 bytes.
  AccountRecord plain = plain_of(good);
  memset(plain.bytes + account_area_offset(42), 'x', 20);
  DWORD sum = account_checksum(plain.bytes);
  for (int i = 0; i < 4; ++i) plain.bytes[60 + i] = static_cast<BYTE>(sum >> (8 * i));
  AccountRecord unterminated = plain_of(plain);
  EXPECT_FALSE(account_record_read(unterminated, &f));
}

TEST(AccountRecord, HexadecimalFormRoundTrips) {
  AccountRecord rec = account_record_make(0xAB, "DOM", "bob", "pw");
  std::string hex = account_record_to_hex(rec);
  ASSERT_EQ(hex.size(), 128u);
  EXPECT_EQ(hex.substr(0, 2), "AB");
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  AccountRecord back;
  ASSERT_TRUE(account_record_from_hex(("0x" + hex).c_str(), &back));
  EXPECT_EQ(memcmp(back.bytes, rec.bytes, sizeof rec.bytes), 0);
  std::string lower = hex;
  for (char& c : lower) c = static_cast<char>(tolower(c));
  ASSERT_TRUE(account_record_from_hex(("0x" + lower).c_str(), &back));
  EXPECT_EQ(memcmp(back.bytes, rec.bytes, sizeof rec.bytes), 0);
  EXPECT_FALSE(account_record_from_hex(hex.c_str(), &back));
  EXPECT_FALSE(account_record_from_hex(("0x" + hex.substr(2)).c_str(), &back));
  EXPECT_FALSE(account_record_from_hex(("0x" + hex + "0").c_str(), &back));
  EXPECT_FALSE(account_record_from_hex(("0x" + hex.substr(0, 127) + "G").c_str(), &back));
  EXPECT_FALSE(account_record_from_hex(nullptr, &back));
}

TEST(AccountRecord, IndexNamesAndOptionForms) {
  EXPECT_EQ(account_index_name(1), "001");
  EXPECT_EQ(account_index_name(42), "042");
  EXPECT_EQ(account_index_name(999), "999");
  EXPECT_EQ(account_index_name(0), "");
  EXPECT_EQ(account_index_name(1000), "");
  int index = 0;
  EXPECT_TRUE(account_parse_index("001", &index));
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(account_parse_index("12", &index));
  EXPECT_EQ(index, 12);
  EXPECT_FALSE(account_parse_index("000", &index));
  EXPECT_FALSE(account_parse_index("0001", &index));
  EXPECT_FALSE(account_parse_index("1a", &index));
  EXPECT_FALSE(account_parse_index("", &index));
  EXPECT_EQ(index, 12);

  EXPECT_EQ(account_option_kind(nullptr), AccountOption::list);
  EXPECT_EQ(account_option_kind(""), AccountOption::list);
  EXPECT_EQ(account_option_kind("003"), AccountOption::index);
  EXPECT_EQ(account_option_kind("0x12"), AccountOption::hex);
  EXPECT_EQ(account_option_kind("0"), AccountOption::index);
  EXPECT_EQ(account_option_kind("DOM\\bob"), AccountOption::name);
  EXPECT_EQ(account_option_kind("12b"), AccountOption::name);

  std::string domain, user;
  EXPECT_EQ(account_split_name("DOM\\bob", &domain, &user), AccountNameSplit::ok);
  EXPECT_EQ(domain, "DOM");
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(account_split_name("bob", &domain, &user), AccountNameSplit::ok);
  EXPECT_EQ(domain, "");
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(account_split_name("a\\b\\c", &domain, &user), AccountNameSplit::ok);
  EXPECT_EQ(domain, "a");
  EXPECT_EQ(user, "b\\c");
  std::string part23(23, 'n'), part24(24, 'n');
  EXPECT_EQ(account_split_name((part23 + "\\" + part23).c_str(), &domain, &user),
            AccountNameSplit::ok);
  EXPECT_EQ(account_split_name((part24 + "\\u").c_str(), &domain, &user),
            AccountNameSplit::domain_too_long);
  EXPECT_EQ(account_split_name(("d\\" + part24).c_str(), &domain, &user),
            AccountNameSplit::user_too_long);
  EXPECT_EQ(domain, part23);

  EXPECT_TRUE(account_names_match("Dom", "Bob", "DOM", "bob"));
  EXPECT_FALSE(account_names_match("Dom", "Bob", "", "bob"));
  EXPECT_FALSE(account_names_match("Dom", "Bob", "Dom", "Bobby"));
}

}  // namespace
