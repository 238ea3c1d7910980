#include "platform/security/sid.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel/error.h"
#include "platform/kernel/local_memory.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(Sid, BinaryLayoutIsByteExact) {
  // S-1-5-32-544: revision, count, big-endian authority, little-endian subs.
  EXPECT_EQ(nt_sid_make(SECURITY_NT_AUTHORITY, {32, 544}),
            bytes({1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0}));
  // An authority above 32 bits keeps all six bytes in order.
  std::string wide = nt_sid_make(0x123456789ABCull, {0xDEADBEEF});
  EXPECT_EQ(wide, bytes({1, 1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xEF, 0xBE, 0xAD, 0xDE}));
  EXPECT_EQ(nt_sid_authority(wide), 0x123456789ABCull);
  EXPECT_EQ(nt_sid_sub_authority(wide, 0), 0xDEADBEEFu);
  EXPECT_EQ(GetSidLengthRequired(0), 8u);
  EXPECT_EQ(GetSidLengthRequired(15), SECURITY_MAX_SID_SIZE);
}

TEST(Sid, TextRoundTrips) {
  const char* texts[] = {"S-1-1-0", "S-1-5-18", "S-1-5-32-544", "S-1-5",
                         "S-1-5-21-1-2-3-500", "S-1-5-21-4294967295-0-7-1000",
                         "S-1-0x123456789ABC-1"};
  for (const char* text : texts) {
    std::string sid;
    ASSERT_TRUE(nt_sid_from_text(text, &sid)) << text;
    EXPECT_EQ(nt_sid_to_text(sid), text);
  }
  // Fifteen sub-authorities are the most a SID holds.
  std::string sid;
  EXPECT_TRUE(nt_sid_from_text("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", &sid));
  EXPECT_EQ(sid.size(), 68u);
  EXPECT_FALSE(nt_sid_from_text("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", &sid));
  // Lower-case s and a hexadecimal authority are read, and written as NT does.
  ASSERT_TRUE(nt_sid_from_text("s-1-0x5-18", &sid));
  EXPECT_EQ(nt_sid_to_text(sid), "S-1-5-18");
}

TEST(Sid, MalformedTextIsRefused) {
  std::string sid = "untouched";
  for (const char* text : {"", "S", "S-1", "S-1-", "S-2-5-18", "S-1-5-", "S-1-5--18",
                           "S-1-5-18-", "S-1-5-4294967296", "S-1-281474976710656", "S-1-x",
                           "S-1-5-+1", "X-1-5-18", "S-1-5-1 ", "ZZ"}) {
    EXPECT_FALSE(nt_sid_from_text(text, &sid)) << text;
  }
  EXPECT_EQ(sid, "untouched");
  // The largest values still fit.
  EXPECT_TRUE(nt_sid_from_text("S-1-281474976710655-4294967295", &sid));
  EXPECT_EQ(nt_sid_authority(sid), 0xFFFFFFFFFFFFull);
}

TEST(Sid, AbbreviationsNameWellKnownSids) {
  std::string sid;
  ASSERT_TRUE(nt_sid_from_text("BA", &sid));
  EXPECT_EQ(nt_sid_to_text(sid), "S-1-5-32-544");
  ASSERT_TRUE(nt_sid_from_text("wd", &sid));
  EXPECT_EQ(nt_sid_to_text(sid), "S-1-1-0");
  ASSERT_TRUE(nt_sid_from_text("SY", &sid));
  EXPECT_EQ(nt_sid_to_text(sid), "S-1-5-18");
  ASSERT_TRUE(nt_sid_from_text("BO", &sid));
  EXPECT_EQ(nt_sid_to_text(sid), "S-1-5-32-551");
}

TEST(Sid, Win32CallsCheckValidity) {
  std::string good = nt_sid_make(SECURITY_NT_AUTHORITY, {32, 545});
  EXPECT_TRUE(IsValidSid(good.data()));
  EXPECT_EQ(GetLengthSid(good.data()), 16u);

  std::string bad_revision = good;
  bad_revision[0] = 2;
  std::string too_many = good;
  too_many[1] = 16;
  for (std::string* bad : {&bad_revision, &too_many}) {
    SetLastError(0);
    EXPECT_FALSE(IsValidSid(bad->data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
    EXPECT_EQ(GetLengthSid(bad->data()), 0u);
  }
  EXPECT_FALSE(IsValidSid(nullptr));

  std::string same = good, other = nt_sid_make(SECURITY_NT_AUTHORITY, {32, 546});
  EXPECT_TRUE(EqualSid(good.data(), same.data()));
  EXPECT_FALSE(EqualSid(good.data(), other.data()));
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_FALSE(EqualSid(good.data(), bad_revision.data()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  // A longer SID with the same start is another SID.
  std::string longer = nt_sid_append(good, 7);
  EXPECT_FALSE(EqualSid(good.data(), longer.data()));
}

TEST(Sid, CopyAndBuildInPlace) {
  std::string source = nt_sid_make(SECURITY_NT_AUTHORITY, {21, 1, 2, 3, 500});
  char buffer[SECURITY_MAX_SID_SIZE + 4];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(CopySid(static_cast<DWORD>(source.size() - 1), buffer, source.data()));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[0], 'x');  // left alone
  ASSERT_TRUE(CopySid(static_cast<DWORD>(source.size()), buffer, source.data()));
  EXPECT_EQ(std::string(buffer, source.size()), source);
  EXPECT_EQ(buffer[source.size()], 'x');  // nothing past the SID

  SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
  alignas(4) char place[16];
  ASSERT_TRUE(InitializeSid(place, &nt, 2));
  *GetSidSubAuthority(place, 0) = 32;
  *GetSidSubAuthority(place, 1) = 544;
  EXPECT_EQ(*GetSidSubAuthorityCount(place), 2);
  EXPECT_EQ(GetSidIdentifierAuthority(place)->Value[5], 5);
  EXPECT_EQ(nt_sid_to_text(std::string(place, 16)), "S-1-5-32-544");
  EXPECT_FALSE(InitializeSid(place, &nt, 16));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  PSID allocated = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 551, 0, 0, 0, 0, 0, 0, &allocated));
  EXPECT_EQ(nt_sid_to_text(std::string(static_cast<char*>(allocated), GetLengthSid(allocated))),
            "S-1-5-32-551");
  EXPECT_EQ(FreeSid(allocated), nullptr);
  EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &allocated));
}

TEST(Sid, StringConversionsAllocateLocally) {
  PSID sid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-10-20-30-501", &sid));
  char* text = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidA(sid, &text));
  EXPECT_STREQ(text, "S-1-5-21-10-20-30-501");
  LocalFree(text);
  WCHAR* wide = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(sid, &wide));
  EXPECT_EQ(std::u16string(wide), u"S-1-5-21-10-20-30-501");
  LocalFree(wide);
  LocalFree(sid);

  ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-3-0", &sid));
  EXPECT_EQ(GetLengthSid(sid), 12u);
  LocalFree(sid);

  sid = nullptr;
  EXPECT_FALSE(ConvertStringSidToSidA("S-1-5-abc", &sid));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  EXPECT_EQ(sid, nullptr);
  EXPECT_FALSE(ConvertStringSidToSidW(u"S-1-5-\u0661", &sid));  // a non-ASCII digit
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  EXPECT_FALSE(ConvertStringSidToSidA(nullptr, &sid));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  std::string bad = "\x02\x01";
  EXPECT_FALSE(ConvertSidToStringSidA(bad.data(), &text));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
}

TEST(Sid, PrefixAndAppendWorkOnTheLastSubAuthority) {
  std::string domain = nt_sid_make(SECURITY_NT_AUTHORITY, {21, 7, 8, 9});
  std::string account = nt_sid_append(domain, 500);
  EXPECT_EQ(nt_sid_to_text(account), "S-1-5-21-7-8-9-500");
  EXPECT_EQ(nt_sid_prefix(account), domain);
  EXPECT_EQ(nt_sid_prefix(nt_sid_make(SECURITY_WORLD_SID_AUTHORITY, {})), "");
  // A full SID takes no more.
  std::string full = nt_sid_make(5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  EXPECT_EQ(nt_sid_append(full, 1), "");
  // Lengths: a truncated SID is none.
  EXPECT_EQ(nt_sid_length(account), account.size());
  EXPECT_EQ(nt_sid_length(account.substr(0, account.size() - 1)), 0u);
  EXPECT_EQ(nt_sid_length(account + "trailing"), account.size());
}

}  // namespace
