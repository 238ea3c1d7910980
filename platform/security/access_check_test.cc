#include "platform/security/access_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/security/security_test_env.h"
#include "platform/security/well_known_accounts.h"

namespace {

const std::string kJoe = nt_sid_make(SECURITY_NT_AUTHORITY, {21, 1, 2, 3, 1001});
const std::string kAnn = nt_sid_make(SECURITY_NT_AUTHORITY, {21, 1, 2, 3, 1002});

std::string descriptor(const std::vector<NtAce>& aces, const std::string& owner = std::string(),
                       bool dacl = true) {
  NtSecurityDescriptor sd;
  sd.owner = owner;
  sd.dacl_present = dacl;
  sd.dacl = nt_acl_make(aces);
  return nt_sd_build(sd);
}

DWORD check(const std::string& sd, ACCESS_MASK desired, ACCESS_MASK* granted,
            const std::vector<std::string>& sids = {kJoe, nt_sid_everyone()}) {
  *granted = 0xDEAD;
  return nt_access_check(sd, sids, desired, nt_file_generic_mapping(), granted);
}

TEST(AccessCheck, DeniesInOrderAndGrantsWhatTheAllowedAcesCover) {
  ACCESS_MASK granted;
  // Deny before allow wins, allow before deny of the same bits too.
  std::string deny_first = descriptor({{ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_DATA, kJoe},
                                       {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kJoe}});
  EXPECT_EQ(check(deny_first, FILE_WRITE_DATA, &granted), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(deny_first, FILE_READ_DATA, &granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, FILE_READ_DATA);
  std::string allow_first = descriptor({{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kJoe},
                                        {ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_DATA, kJoe}});
  EXPECT_EQ(check(allow_first, FILE_WRITE_DATA, &granted), ERROR_SUCCESS);

  // A deny of someone else's SID, rights gathered from two ACEs.
  std::string two = descriptor({{ACCESS_DENIED_ACE_TYPE, 0, FILE_ALL_ACCESS, kAnn},
                                {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_READ_DATA, kJoe},
                                {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_WRITE_DATA, nt_sid_everyone()}});
  EXPECT_EQ(check(two, FILE_READ_DATA | FILE_WRITE_DATA, &granted), ERROR_SUCCESS);
  EXPECT_EQ(check(two, FILE_READ_DATA | DELETE, &granted), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(two, FILE_READ_DATA, &granted, {kAnn}), ERROR_ACCESS_DENIED);

  // An inherit-only ACE applies to children, not to the object.
  std::string inherit_only =
      descriptor({{ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE,
                   FILE_ALL_ACCESS, kJoe}});
  EXPECT_EQ(check(inherit_only, FILE_READ_DATA, &granted), ERROR_ACCESS_DENIED);
}

TEST(AccessCheck, NullDaclGrantsAllEmptyDaclNothingOwnerKeepsItsTwoRights) {
  ACCESS_MASK granted;
  EXPECT_EQ(check(descriptor({}, "", /*dacl=*/false), FILE_ALL_ACCESS, &granted), ERROR_SUCCESS);
  NtSecurityDescriptor null_dacl;
  null_dacl.dacl_present = true;  // present, no list
  EXPECT_EQ(check(nt_sd_build(null_dacl), MAXIMUM_ALLOWED, &granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, FILE_ALL_ACCESS);
  EXPECT_EQ(check(std::string(), DELETE | WRITE_OWNER, &granted), ERROR_SUCCESS);

  std::string empty = descriptor({});
  EXPECT_EQ(check(empty, FILE_READ_DATA, &granted), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(empty, MAXIMUM_ALLOWED, &granted), ERROR_ACCESS_DENIED);

  // The owner reads and changes the DACL whatever it says, nothing more.
  std::string owned = descriptor({{ACCESS_DENIED_ACE_TYPE, 0, FILE_ALL_ACCESS, kJoe}}, kJoe);
  EXPECT_EQ(check(owned, READ_CONTROL | WRITE_DAC, &granted), ERROR_SUCCESS);
  EXPECT_EQ(check(owned, WRITE_OWNER, &granted), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(owned, MAXIMUM_ALLOWED, &granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, READ_CONTROL | WRITE_DAC);

  EXPECT_EQ(check("junk", FILE_READ_DATA, &granted), ERROR_INVALID_SECURITY_DESCR);
}

TEST(AccessCheck, GenericRightsMapThroughTheObjectsMapping) {
  ACCESS_MASK granted;
  // The grant letter R of the file tool: generic read and execute.
  std::string read = descriptor({{ACCESS_ALLOWED_ACE_TYPE, 0, 0xA0000000, kJoe}});
  EXPECT_EQ(check(read, GENERIC_READ, &granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, FILE_GENERIC_READ);
  EXPECT_EQ(check(read, MAXIMUM_ALLOWED, &granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
  EXPECT_EQ(granted, 0x1200A9u);
  EXPECT_EQ(check(read, FILE_WRITE_DATA, &granted), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(read, GENERIC_WRITE, &granted), ERROR_ACCESS_DENIED);

  // The same ACE on a registry key: KEY_READ.
  EXPECT_EQ(nt_access_check(read, {kJoe}, MAXIMUM_ALLOWED, nt_key_generic_mapping(), &granted),
            ERROR_SUCCESS);
  EXPECT_EQ(granted, 0x20019u);
  EXPECT_EQ(nt_access_check(read, {kJoe}, 0x20006, nt_key_generic_mapping(), &granted),
            ERROR_ACCESS_DENIED);

  // A denied generic-all blocks every specific right.
  std::string none = descriptor({{ACCESS_DENIED_ACE_TYPE, 0, GENERIC_ALL, kJoe},
                                 {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, kJoe}});
  EXPECT_EQ(check(none, SYNCHRONIZE, &granted), ERROR_ACCESS_DENIED);

  ACCESS_MASK mask = GENERIC_WRITE | DELETE;
  MapGenericMask(&mask, &nt_file_generic_mapping());
  EXPECT_EQ(mask, FILE_GENERIC_WRITE | DELETE);
}

TEST(AccessCheck, MaximumAllowedStopsAtDeniedBits) {
  ACCESS_MASK granted;
  std::string sd = descriptor({{ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_DATA, kJoe},
                               {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_READ_DATA | FILE_WRITE_DATA, kJoe},
                               {ACCESS_ALLOWED_ACE_TYPE, 0, DELETE, nt_sid_everyone()}});
  EXPECT_EQ(check(sd, MAXIMUM_ALLOWED, &granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, FILE_READ_DATA | DELETE);
  EXPECT_EQ(check(sd, MAXIMUM_ALLOWED | FILE_WRITE_DATA, &granted), ERROR_ACCESS_DENIED);
}

class TokenCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    token_.user_sid = kJoe;
    token_.groups = {nt_sid_everyone(), nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS)};
    token_.group_attributes = {SE_GROUP_ENABLED, SE_GROUP_ENABLED | SE_GROUP_OWNER};
    token_.set_privileges({{SE_TAKE_OWNERSHIP_PRIVILEGE, 0},
                           {SE_SECURITY_PRIVILEGE, 0},
                           {SE_BACKUP_PRIVILEGE, 0},
                           {SE_RESTORE_PRIVILEGE, 0}});
  }
  void enable(DWORD value) {
    std::vector<NtTokenPrivilege> p = token_.privileges();
    for (NtTokenPrivilege& e : p) {
      if (e.value == value) e.attributes |= SE_PRIVILEGE_ENABLED;
    }
    token_.set_privileges(p);
  }
  DWORD check(const NtSecurityDescriptor& sd, ACCESS_MASK desired, DWORD options = 0) {
    granted_ = 0;
    return nt_access_check_token(sd, token_, desired, nt_file_generic_mapping(), options,
                                 &granted_);
  }
  NtToken token_;
  ACCESS_MASK granted_ = 0;
};

TEST_F(TokenCheck, PrivilegesGrantOnlyWhenEnabled) {
  NtSecurityDescriptor sd;
  sd.owner = kAnn;
  sd.dacl_present = true;
  sd.dacl = nt_acl_make({});  // nobody
  EXPECT_EQ(check(sd, WRITE_OWNER), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(sd, ACCESS_SYSTEM_SECURITY), ERROR_PRIVILEGE_NOT_HELD);
  EXPECT_EQ(check(sd, FILE_READ_DATA, NT_ACCESS_BACKUP_SEMANTICS), ERROR_ACCESS_DENIED);

  enable(SE_TAKE_OWNERSHIP_PRIVILEGE);
  EXPECT_EQ(check(sd, WRITE_OWNER), ERROR_SUCCESS);
  EXPECT_EQ(check(sd, WRITE_OWNER | WRITE_DAC), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(sd, MAXIMUM_ALLOWED), ERROR_SUCCESS);
  EXPECT_EQ(granted_, WRITE_OWNER);

  enable(SE_SECURITY_PRIVILEGE);
  EXPECT_EQ(check(sd, ACCESS_SYSTEM_SECURITY), ERROR_SUCCESS);

  // Backup and restore count only with backup semantics.
  enable(SE_BACKUP_PRIVILEGE);
  enable(SE_RESTORE_PRIVILEGE);
  EXPECT_EQ(check(sd, FILE_READ_DATA), ERROR_ACCESS_DENIED);
  EXPECT_EQ(check(sd, FILE_READ_DATA | FILE_WRITE_DATA | DELETE, NT_ACCESS_BACKUP_SEMANTICS),
            ERROR_SUCCESS);

  // A deny-only group matches deny ACEs, never allow ones.
  token_.group_attributes[1] = SE_GROUP_USE_FOR_DENY_ONLY;
  std::string admins = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  sd.dacl = nt_acl_make({{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_READ_DATA, admins}});
  EXPECT_EQ(check(sd, FILE_READ_DATA), ERROR_ACCESS_DENIED);
  sd.dacl = nt_acl_make({{ACCESS_DENIED_ACE_TYPE, 0, FILE_READ_DATA, admins},
                         {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_READ_DATA, kJoe}});
  EXPECT_EQ(check(sd, FILE_READ_DATA), ERROR_ACCESS_DENIED);
}

TEST(AccessCheckCall, NeedsAnImpersonationTokenAndMappedRights) {
  SecurityTestNetwork net;
  HANDLE primary = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &primary));

  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  std::string owner = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  std::string group = nt_sid_local_system();
  std::string dacl = nt_acl_make({{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_READ_DATA, owner}});
  ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, owner.data(), FALSE));
  ASSERT_TRUE(SetSecurityDescriptorGroup(&sd, group.data(), FALSE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(dacl.data()), FALSE));

  GENERIC_MAPPING mapping = nt_file_generic_mapping();
  alignas(8) BYTE set_buffer[64];
  PPRIVILEGE_SET privileges = reinterpret_cast<PPRIVILEGE_SET>(set_buffer);
  DWORD set_length = sizeof set_buffer;
  DWORD granted = 0;
  BOOL status = TRUE;
  EXPECT_FALSE(AccessCheck(&sd, primary, FILE_READ_DATA, &mapping, privileges, &set_length,
                           &granted, &status));
  EXPECT_EQ(GetLastError(), ERROR_NO_IMPERSONATION_TOKEN);

  HANDLE impersonation = nullptr;
  ASSERT_TRUE(DuplicateToken(primary, SecurityImpersonation, &impersonation));
  EXPECT_FALSE(AccessCheck(&sd, impersonation, GENERIC_READ, &mapping, privileges, &set_length,
                           &granted, &status));
  EXPECT_EQ(GetLastError(), ERROR_GENERIC_NOT_MAPPED);

  // The local Administrator is in Administrators: read granted, write not.
  ASSERT_TRUE(AccessCheck(&sd, impersonation, FILE_READ_DATA, &mapping, privileges, &set_length,
                          &granted, &status));
  EXPECT_TRUE(status);
  EXPECT_EQ(granted, FILE_READ_DATA);
  ASSERT_TRUE(AccessCheck(&sd, impersonation, FILE_WRITE_DATA, &mapping, privileges,
                          &set_length, &granted, &status));
  EXPECT_FALSE(status);
  EXPECT_EQ(granted, 0u);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // A descriptor without a group is refused.
  ASSERT_TRUE(SetSecurityDescriptorGroup(&sd, nullptr, FALSE));
  EXPECT_FALSE(AccessCheck(&sd, impersonation, FILE_READ_DATA, &mapping, privileges,
                           &set_length, &granted, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  CloseHandle(impersonation);
  CloseHandle(primary);
}

}  // namespace
