#include "platform/security/acl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/security/well_known_accounts.h"

namespace {

std::string hex(const void* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const BYTE* b = static_cast<const BYTE*>(data);
  for (size_t i = 0; i < size; ++i) {
    if (i) out += ' ';
    out += digits[b[i] >> 4];
    out += digits[b[i] & 15];
  }
  return out;
}

PSID psid(std::string& sid) { return sid.data(); }

TEST(Acl, EmptyAclAndAceBytesAreLaidOutAsNtDoes) {
  alignas(4) BYTE buffer[88] = {};
  PACL acl = reinterpret_cast<PACL>(buffer);
  ASSERT_TRUE(InitializeAcl(acl, 40 * 2 + 8, ACL_REVISION));
  EXPECT_EQ(hex(buffer, 8), "02 00 58 00 00 00 00 00");

  std::string everyone = nt_sid_everyone();
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 0xA0000000, psid(everyone)));
  EXPECT_EQ(hex(buffer, 8), "02 00 58 00 01 00 00 00");
  EXPECT_EQ(hex(buffer + 8, 20), "00 00 14 00 00 00 00 a0 01 01 00 00 00 00 00 01 00 00 00 00");

  std::string admins = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  ASSERT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, GENERIC_ALL, psid(admins)));
  EXPECT_EQ(hex(buffer + 28, 24),
            "01 00 18 00 00 00 00 10 01 02 00 00 00 00 00 05 20 00 00 00 20 02 00 00");

  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
  EXPECT_EQ(size.AceCount, 2u);
  EXPECT_EQ(size.AclBytesInUse, 52u);
  EXPECT_EQ(size.AclBytesFree, 36u);
  ACL_REVISION_INFORMATION revision{};
  ASSERT_TRUE(GetAclInformation(acl, &revision, sizeof revision, AclRevisionInformation));
  EXPECT_EQ(revision.AclRevision, 2u);
  EXPECT_FALSE(GetAclInformation(acl, &size, sizeof size - 1, AclSizeInformation));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  // Inheritance flags go into the header's second byte.
  alignas(4) BYTE small[28] = {};
  PACL flagged = reinterpret_cast<PACL>(small);
  ASSERT_TRUE(InitializeAcl(flagged, sizeof small, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAceEx(flagged, ACL_REVISION,
                                    CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, 0xA0000000,
                                    psid(everyone)));
  EXPECT_EQ(hex(small + 8, 4), "00 0a 14 00");
}

TEST(Acl, RefusesWhatNtRefuses) {
  alignas(4) BYTE buffer[64] = {};
  PACL acl = reinterpret_cast<PACL>(buffer);
  std::string everyone = nt_sid_everyone();

  EXPECT_FALSE(InitializeAcl(acl, 7, ACL_REVISION));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(InitializeAcl(acl, 64, 1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(InitializeAcl(acl, 70000, ACL_REVISION));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // 8 + 20 fits in 28, a second ACE does not.
  ASSERT_TRUE(InitializeAcl(acl, 28, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 1, psid(everyone)));
  EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, 2, psid(everyone)));
  EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
  EXPECT_EQ(reinterpret_cast<ACL*>(buffer)->AceCount, 1);

  ASSERT_TRUE(InitializeAcl(acl, 64, ACL_REVISION));
  std::string bad = everyone;
  bad[0] = 2;  // revision 2 is no SID
  EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, 1, psid(bad)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0x40, 1, psid(everyone)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_FALSE(AddAccessAllowedAce(acl, 9, 1, psid(everyone)));
  EXPECT_EQ(GetLastError(), ERROR_REVISION_MISMATCH);

  void* ace = nullptr;
  EXPECT_FALSE(GetAce(acl, 0, &ace));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(DeleteAce(acl, 0));

  // A count that claims more ACEs than the ACL holds.
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 1, psid(everyone)));
  EXPECT_TRUE(IsValidAcl(acl));
  buffer[4] = 2;
  EXPECT_FALSE(IsValidAcl(acl));
  EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, 1, psid(everyone)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
  EXPECT_FALSE(IsValidAcl(nullptr));
}

TEST(Acl, AddAceInsertsAndDeleteAceClosesTheGap) {
  alignas(4) BYTE buffer[256] = {};
  PACL acl = reinterpret_cast<PACL>(buffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
  std::string everyone = nt_sid_everyone();
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 1, psid(everyone)));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 3, psid(everyone)));

  // A list of one ACE built by hand, put between the two.
  std::string system = nt_sid_local_system();
  std::string one = nt_acl_make({{ACCESS_DENIED_ACE_TYPE, OBJECT_INHERIT_ACE, 2, system}});
  ASSERT_TRUE(AddAce(acl, ACL_REVISION, 1, one.data() + 8, static_cast<DWORD>(one.size() - 8)));
  // MAXDWORD appends.
  ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, one.data() + 8,
                     static_cast<DWORD>(one.size() - 8)));

  std::vector<NtAce> aces;
  ASSERT_TRUE(nt_acl_parse(nt_acl_bytes(acl), &aces));
  ASSERT_EQ(aces.size(), 4u);
  EXPECT_EQ(aces[0].mask, 1u);
  EXPECT_EQ(aces[1].mask, 2u);
  EXPECT_EQ(aces[1].type, ACCESS_DENIED_ACE_TYPE);
  EXPECT_EQ(aces[1].flags, OBJECT_INHERIT_ACE);
  EXPECT_EQ(aces[1].sid, system);
  EXPECT_EQ(aces[2].mask, 3u);
  EXPECT_EQ(aces[3].mask, 2u);

  // A list that is not made of whole ACEs.
  EXPECT_FALSE(AddAce(acl, ACL_REVISION, 0, one.data() + 8, 6));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  ASSERT_TRUE(DeleteAce(acl, 1));
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(acl, 1, &ace));
  ACCESS_ALLOWED_ACE read;
  memcpy(&read, ace, sizeof read);
  EXPECT_EQ(read.Mask, 3u);
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
  EXPECT_EQ(size.AceCount, 3u);
  EXPECT_EQ(size.AclBytesInUse, 8u + 20 + 20 + 20);
}

TEST(Acl, BytesRoundTripAndMalformedBytesAreRefused) {
  std::vector<NtAce> in = {
      {ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS)},
      {ACCESS_DENIED_ACE_TYPE, CONTAINER_INHERIT_ACE, GENERIC_ALL, nt_sid_everyone()},
  };
  std::string bytes = nt_acl_make(in);
  EXPECT_EQ(bytes.size(), 8u + 24 + 20);
  std::vector<NtAce> out;
  ASSERT_TRUE(nt_acl_parse(bytes, &out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].mask, 0x1F01FFu);
  EXPECT_EQ(out[1].flags, CONTAINER_INHERIT_ACE);
  EXPECT_EQ(out[1].sid, nt_sid_everyone());

  EXPECT_FALSE(nt_acl_parse(bytes.substr(0, bytes.size() - 4), &out));  // AclSize beyond
  std::string cut = bytes;
  cut[8 + 2] = 0x7F;  // first ACE claims more than the ACL
  EXPECT_FALSE(nt_acl_parse(cut, &out));
  EXPECT_TRUE(nt_acl_parse(nt_acl_make({}), &out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
