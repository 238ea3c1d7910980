#include "platform/registry/reg_security.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/security/security_test_env.h"

namespace {

constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\ZEB Service";

class KeySecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    joe_ = net_.add_user("LOCALPC", "joe", "pw");
    ann_ = net_.add_user("LOCALPC", "ann", "pw");
    admins_ = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  }

  // The result of opening `path` below HKEY_LOCAL_MACHINE (or `root`).
  LONG open(const char* path, REGSAM access, HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(root, path, 0, access, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc;
  }
  LONG create(const char* path, HKEY root = HKEY_LOCAL_MACHINE,
              SECURITY_ATTRIBUTES* security = nullptr) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, security, &key,
                              &disposition);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc;
  }
  // Gives a key a DACL of the given ACEs (as the current user).
  LONG set_dacl(const char* path, const std::vector<NtAce>& aces) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC, &key);
    if (rc != ERROR_SUCCESS) return rc;
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    std::string acl = nt_acl_make(aces);
    SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
    rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    RegCloseKey(key);
    return rc;
  }

  SecurityTestNetwork net_;
  std::string joe_, ann_, admins_;
};

TEST_F(KeySecurity, KeysWithoutDescriptorLetEveryoneReadAndAdministratorsWrite) {
  net_.act_as("joe", "LOCALPC");
  EXPECT_EQ(open("SOFTWARE", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(open("SOFTWARE", KEY_WRITE), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(create("SOFTWARE\\Joe"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(open("SOFTWARE\\Joe", KEY_READ), ERROR_FILE_NOT_FOUND);

  // Asking for what is allowed gives a handle that reads but cannot write.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, MAXIMUM_ALLOWED, &key),
            ERROR_SUCCESS);
  DWORD subkeys = 0;
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  const BYTE one[] = {1};
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_BINARY, one, 1), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  // The predefined key itself is read-only for joe too.
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_BINARY, one, 1), ERROR_ACCESS_DENIED);

  // The user's own profile is the user's.
  EXPECT_EQ(create("Software\\Joe", HKEY_CURRENT_USER), ERROR_SUCCESS);

  net_.act_as("Administrator", "LOCALPC");
  EXPECT_EQ(create("SOFTWARE\\Admin"), ERROR_SUCCESS);
  EXPECT_EQ(open("SOFTWARE", KEY_ALL_ACCESS), ERROR_SUCCESS);
}

TEST_F(KeySecurity, UserWithReadRightsOnlyIsRefusedWriteAccess) {
  ASSERT_EQ(create(kServiceKey), ERROR_SUCCESS);
  ASSERT_EQ(set_dacl(kServiceKey, {{ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS,
                                    admins_},
                                   {ACCESS_ALLOWED_ACE_TYPE, 0, KEY_READ, joe_}}),
            ERROR_SUCCESS);

  net_.act_as("joe", "LOCALPC");
  EXPECT_EQ(open(kServiceKey, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(open(kServiceKey, KEY_WRITE), ERROR_ACCESS_DENIED);
  EXPECT_EQ(open(kServiceKey, KEY_QUERY_VALUE | KEY_SET_VALUE), ERROR_ACCESS_DENIED);
  net_.act_as("ann", "LOCALPC");  // Everyone is not in this DACL
  EXPECT_EQ(open(kServiceKey, KEY_READ), ERROR_ACCESS_DENIED);

  // A server thread impersonating its client is checked as the client.
  net_.act_as("Administrator", "LOCALPC");
  EXPECT_EQ(open(kServiceKey, KEY_WRITE), ERROR_SUCCESS);
  nt_impersonate(NtIdentity{"joe", "LOCALPC", "WS9"});
  EXPECT_EQ(open(kServiceKey, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(open(kServiceKey, KEY_WRITE), ERROR_ACCESS_DENIED);
  nt_revert_to_self();
  EXPECT_EQ(open(kServiceKey, KEY_WRITE), ERROR_SUCCESS);

  // Deleting needs DELETE on the key itself.
  net_.act_as("joe", "LOCALPC");
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", 0, KEY_READ,
                          &parent),
            ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, "ZEB Service"), ERROR_ACCESS_DENIED);
  RegCloseKey(parent);
  EXPECT_EQ(open(kServiceKey, KEY_READ), ERROR_SUCCESS);
}

TEST_F(KeySecurity, NewKeysInheritTheContainerInheritAces) {
  ASSERT_EQ(create("SOFTWARE\\A"), ERROR_SUCCESS);
  ASSERT_EQ(set_dacl("SOFTWARE\\A",
                     {{ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, admins_},
                      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, joe_},
                      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE,
                       KEY_READ, ann_},
                      {ACCESS_ALLOWED_ACE_TYPE, 0, KEY_READ, nt_sid_everyone()}}),
            ERROR_SUCCESS);
  ASSERT_EQ(create("SOFTWARE\\A\\B\\C"), ERROR_SUCCESS);  // B and C made at once

  net_.act_as("joe", "LOCALPC");
  EXPECT_EQ(open("SOFTWARE\\A\\B\\C", KEY_WRITE), ERROR_SUCCESS);
  EXPECT_EQ(create("SOFTWARE\\A\\B\\C\\D"), ERROR_SUCCESS);
  net_.act_as("ann", "LOCALPC");
  EXPECT_EQ(open("SOFTWARE\\A\\B", KEY_READ), ERROR_SUCCESS);         // one level only
  EXPECT_EQ(open("SOFTWARE\\A\\B\\C", KEY_READ), ERROR_ACCESS_DENIED);  // Everyone's did not pass

  // A descriptor given at creation is taken as it is.
  net_.act_as("Administrator", "LOCALPC");
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  std::string acl = nt_acl_make({{ACCESS_ALLOWED_ACE_TYPE, 0, KEY_ALL_ACCESS, ann_}});
  SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  ASSERT_EQ(create("SOFTWARE\\A\\Given", HKEY_LOCAL_MACHINE, &sa), ERROR_SUCCESS);
  net_.act_as("joe", "LOCALPC");
  EXPECT_EQ(open("SOFTWARE\\A\\Given", KEY_READ), ERROR_ACCESS_DENIED);
  net_.act_as("ann", "LOCALPC");
  EXPECT_EQ(open("SOFTWARE\\A\\Given", KEY_WRITE), ERROR_SUCCESS);
}

TEST_F(KeySecurity, GetAndSetKeySecurityNeedTheirRights) {
  ASSERT_EQ(create("SOFTWARE\\S"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\S", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD size = 8;
  alignas(8) BYTE buffer[256];
  EXPECT_EQ(RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              buffer, &size),
            ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(size, 20u);
  ASSERT_EQ(RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              buffer, &size),
            ERROR_SUCCESS);
  NtSecurityDescriptor sd;
  ASSERT_TRUE(nt_sd_parse(std::string(reinterpret_cast<char*>(buffer), size), &sd));
  EXPECT_EQ(sd.owner, admins_);
  std::vector<NtAce> aces;
  ASSERT_TRUE(nt_acl_parse(sd.dacl, &aces));
  ASSERT_EQ(aces.size(), 3u);
  EXPECT_EQ(aces[2].sid, nt_sid_everyone());
  EXPECT_EQ(aces[2].mask, KEY_READ);

  // A read handle cannot change the DACL.
  SECURITY_DESCRIPTOR change;
  InitializeSecurityDescriptor(&change, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&change, TRUE, nullptr, FALSE);
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &change), ERROR_ACCESS_DENIED);
  RegCloseKey(key);

  // An owner that is not the caller's: refused.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\S", 0, WRITE_OWNER, &key), ERROR_SUCCESS);
  std::string everyone = nt_sid_everyone();
  SetSecurityDescriptorOwner(&change, everyone.data(), FALSE);
  EXPECT_EQ(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, &change), ERROR_INVALID_OWNER);
  RegCloseKey(key);
}

TEST_F(KeySecurity, RemoteKeysAreCheckedAgainstTheRemoteMachinesAccounts) {
  // A domain user who administers SRV2 but not the local machine.
  std::string carl = net_.add_user("SRV1", "carl", "pw");
  net_.add_to_admins("SRV2", carl);
  net_.act_as("carl", "SALES");
  EXPECT_EQ(create("SOFTWARE\\Carl"), ERROR_ACCESS_DENIED);
  HKEY remote = nullptr;
  ASSERT_EQ(RegConnectRegistryA("\\\\SRV2", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  EXPECT_EQ(create("SOFTWARE\\Carl", remote), ERROR_SUCCESS);
  RegCloseKey(remote);

  // A local administrator is a stranger to SRV2: read only.
  net_.add_to_admins("LOCALPC", joe_);
  net_.act_as("joe", "LOCALPC");
  EXPECT_EQ(create("SOFTWARE\\Joe"), ERROR_SUCCESS);
  ASSERT_EQ(RegConnectRegistryA("\\\\SRV2", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  EXPECT_EQ(open("SOFTWARE\\Carl", KEY_READ, remote), ERROR_SUCCESS);
  EXPECT_EQ(open("SOFTWARE\\Carl", KEY_WRITE, remote), ERROR_ACCESS_DENIED);
  RegCloseKey(remote);
}

}  // namespace
