#include "platform/security/security_descriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/security/well_known_accounts.h"

namespace {

DWORD get32(const BYTE* p) {
  DWORD v;
  memcpy(&v, p, 4);
  return v;
}

class Descriptor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION));
    dacl_ = nt_acl_make({{ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, nt_sid_everyone()}});
    owner_ = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
    group_ = nt_sid_local_system();
  }
  SECURITY_DESCRIPTOR sd_{};
  std::string dacl_, owner_, group_;
};

TEST_F(Descriptor, SelfRelativeFormPutsDaclOwnerGroupAfterTheHeader) {
  ASSERT_TRUE(SetSecurityDescriptorOwner(&sd_, owner_.data(), FALSE));
  ASSERT_TRUE(SetSecurityDescriptorGroup(&sd_, group_.data(), TRUE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd_, TRUE, reinterpret_cast<PACL>(dacl_.data()), FALSE));
  EXPECT_TRUE(IsValidSecurityDescriptor(&sd_));
  // 20 header + 28 DACL + 16 owner + 12 group
  EXPECT_EQ(GetSecurityDescriptorLength(&sd_), 76u);

  DWORD length = 10;
  BYTE out[128] = {};
  EXPECT_FALSE(MakeSelfRelativeSD(&sd_, out, &length));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 76u);
  ASSERT_TRUE(MakeSelfRelativeSD(&sd_, out, &length));
  EXPECT_EQ(out[0], 1);
  // SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_GROUP_DEFAULTED
  EXPECT_EQ(out[2] | (out[3] << 8), 0x8006);
  EXPECT_EQ(get32(out + 4), 48u);   // owner
  EXPECT_EQ(get32(out + 8), 64u);   // group
  EXPECT_EQ(get32(out + 12), 0u);   // no SACL
  EXPECT_EQ(get32(out + 16), 20u);  // DACL first
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 20, 28), dacl_);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 48, 16), owner_);

  // The Get calls read the self-relative form; the Set calls refuse it.
  PSID owner = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(out, &owner, &defaulted));
  EXPECT_TRUE(EqualSid(owner, owner_.data()));
  EXPECT_FALSE(defaulted);
  PSID group = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorGroup(out, &group, &defaulted));
  EXPECT_TRUE(defaulted);
  EXPECT_FALSE(SetSecurityDescriptorOwner(out, group_.data(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  // Already self-relative.
  EXPECT_FALSE(MakeSelfRelativeSD(out, out, &length));
  EXPECT_EQ(GetLastError(), ERROR_BAD_DESCRIPTOR_FORMAT);
}

TEST_F(Descriptor, AbsoluteFromSelfRelativeReportsEverySizeThenCopies) {
  ASSERT_TRUE(SetSecurityDescriptorOwner(&sd_, owner_.data(), FALSE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd_, TRUE, reinterpret_cast<PACL>(dacl_.data()), FALSE));
  BYTE relative[128];
  DWORD length = sizeof relative;
  ASSERT_TRUE(MakeSelfRelativeSD(&sd_, relative, &length));

  SECURITY_DESCRIPTOR absolute{};
  DWORD abs_size = 0, dacl_size = 0, sacl_size = 0, owner_size = 0, group_size = 0;
  EXPECT_FALSE(MakeAbsoluteSD(relative, &absolute, &abs_size, nullptr, &dacl_size, nullptr,
                              &sacl_size, nullptr, &owner_size, nullptr, &group_size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(abs_size, sizeof(SECURITY_DESCRIPTOR));
  EXPECT_EQ(dacl_size, 28u);
  EXPECT_EQ(sacl_size, 0u);
  EXPECT_EQ(owner_size, 16u);
  EXPECT_EQ(group_size, 0u);

  alignas(4) BYTE dacl[28], owner[16];
  ASSERT_TRUE(MakeAbsoluteSD(relative, &absolute, &abs_size, reinterpret_cast<PACL>(dacl),
                             &dacl_size, nullptr, &sacl_size, owner, &owner_size, nullptr,
                             &group_size));
  BOOL present = FALSE, defaulted = TRUE;
  PACL got = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(&absolute, &present, &got, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(static_cast<void*>(got), static_cast<void*>(dacl));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dacl), 28), dacl_);
  // And back: the same bytes.
  BYTE again[128];
  DWORD again_length = sizeof again;
  ASSERT_TRUE(MakeSelfRelativeSD(&absolute, again, &again_length));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(again), again_length),
            std::string(reinterpret_cast<char*>(relative), length));
  EXPECT_FALSE(MakeAbsoluteSD(&absolute, &absolute, &abs_size, nullptr, &dacl_size, nullptr,
                              &sacl_size, nullptr, &owner_size, nullptr, &group_size));
  EXPECT_EQ(GetLastError(), ERROR_BAD_DESCRIPTOR_FORMAT);
}

TEST_F(Descriptor, NullDaclIsPresentWithoutAListAndAbsentDaclIsNotPresent) {
  BOOL present = TRUE, defaulted = FALSE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(&sd_, &present, &dacl, &defaulted));
  EXPECT_FALSE(present);

  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd_, TRUE, nullptr, FALSE));
  ASSERT_TRUE(GetSecurityDescriptorDacl(&sd_, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_EQ(GetSecurityDescriptorLength(&sd_), 20u);

  NtSecurityDescriptor parsed;
  ASSERT_TRUE(nt_sd_read(&sd_, &parsed));
  EXPECT_TRUE(parsed.dacl_present);
  EXPECT_TRUE(parsed.dacl.empty());
  std::string bytes = nt_sd_build(parsed);
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(get32(reinterpret_cast<const BYTE*>(bytes.data()) + 16), 0u);
  NtSecurityDescriptor back;
  ASSERT_TRUE(nt_sd_parse(bytes, &back));
  EXPECT_TRUE(back.dacl_present);

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(&sd_, &control, &revision));
  EXPECT_EQ(control, SE_DACL_PRESENT);
  EXPECT_EQ(revision, 1u);
  EXPECT_FALSE(InitializeSecurityDescriptor(&sd_, 2));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_REVISION);
}

TEST(DescriptorBytes, ParseChecksEveryOffsetAgainstTheSize) {
  NtSecurityDescriptor sd;
  sd.owner = nt_sid_everyone();
  sd.dacl_present = true;
  sd.dacl = nt_acl_make({{ACCESS_DENIED_ACE_TYPE, 0, 1, nt_sid_everyone()}});
  std::string bytes = nt_sd_build(sd);
  NtSecurityDescriptor out;
  ASSERT_TRUE(nt_sd_parse(bytes, &out));
  EXPECT_EQ(out.owner, sd.owner);
  EXPECT_EQ(out.dacl, sd.dacl);

  EXPECT_FALSE(nt_sd_parse(bytes.substr(0, bytes.size() - 1), &out));  // owner cut
  EXPECT_FALSE(nt_sd_parse(bytes.substr(0, 19), &out));
  std::string far = bytes;
  far[4] = static_cast<char>(0xF0);  // owner offset past the end
  EXPECT_FALSE(nt_sd_parse(far, &out));
  std::string absolute = bytes;
  absolute[3] = 0;  // no SE_SELF_RELATIVE
  EXPECT_FALSE(nt_sd_parse(absolute, &out));

  // Only the parts asked for.
  NtSecurityDescriptor owner_only = nt_sd_select(sd, OWNER_SECURITY_INFORMATION);
  EXPECT_EQ(owner_only.owner, sd.owner);
  EXPECT_FALSE(owner_only.dacl_present);
}

}  // namespace
