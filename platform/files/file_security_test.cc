#include "platform/files/file_security.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/files/directory.h"
#include "platform/files/file_io.h"
#include "platform/files/find_file.h"
#include "platform/security/security_test_env.h"

namespace {

class FileSecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    joe_ = net_.add_user("LOCALPC", "joe", "pw");
    c_ = net_.drive_c("LOCALPC");
    mkdir((c_ + "/data").c_str(), 0755);
    std::ofstream(c_ + "/data/f.txt") << "hello";
  }
  void TearDown() override {
    set_privilege(SE_TAKE_OWNERSHIP_NAME, false);
    set_privilege(SE_RESTORE_NAME, false);
  }

  // Sets the parts of `info` from an owner and a list of ACEs (null owner:
  // none; `dacl` false: no DACL, which sets the NULL DACL).
  BOOL set(const char* path, SECURITY_INFORMATION info, std::string owner,
           const std::vector<NtAce>& aces, bool dacl = true) {
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    acl_ = nt_acl_make(aces);
    owner_ = owner;
    if (!owner_.empty()) SetSecurityDescriptorOwner(&sd, owner_.data(), FALSE);
    if (dacl) SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl_.data()), FALSE);
    return SetFileSecurityA(path, info, &sd);
  }

  bool can_open(const char* path, DWORD access) {
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }

  NtSecurityDescriptor get(const char* path, SECURITY_INFORMATION info) {
    alignas(8) BYTE buffer[512];
    DWORD needed = 0;
    NtSecurityDescriptor sd;
    if (GetFileSecurityA(path, info, buffer, sizeof buffer, &needed)) {
      nt_sd_parse(std::string(reinterpret_cast<char*>(buffer), needed), &sd);
    }
    return sd;
  }

  SecurityTestNetwork net_;
  std::string joe_, c_, acl_, owner_;
  const std::string admins_ = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
};

TEST_F(FileSecurity, AFileWithoutADescriptorIsAdministratorsWithANullDacl) {
  alignas(8) BYTE buffer[128];
  DWORD needed = 0;
  EXPECT_FALSE(GetFileSecurityA("C:\\data\\f.txt", OWNER_SECURITY_INFORMATION |
                                                       DACL_SECURITY_INFORMATION,
                                buffer, 10, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, 20u + 16u);
  ASSERT_TRUE(GetFileSecurityA("C:\\data\\f.txt",
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer,
                               sizeof buffer, &needed));
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorOwner(buffer, &owner, &defaulted));
  EXPECT_TRUE(EqualSid(owner, const_cast<char*>(admins_.data())));
  ASSERT_TRUE(GetSecurityDescriptorDacl(buffer, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);

  EXPECT_FALSE(GetFileSecurityA("C:\\data\\missing.txt", OWNER_SECURITY_INFORMATION, buffer,
                                sizeof buffer, &needed));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // Wide names keep characters the ANSI page lacks.
  net_.env().pages("1252", "850");
  std::ofstream(c_ + "/data/\xce\xa9.txt") << "omega";
  ASSERT_TRUE(SetFileSecurityW(u"C:\\data\\\u03a9.TXT", DACL_SECURITY_INFORMATION, buffer));
  EXPECT_TRUE(GetFileSecurityW(u"C:\\data\\\u03a9.txt", DACL_SECURITY_INFORMATION, buffer,
                               sizeof buffer, &needed));
  EXPECT_FALSE(GetFileSecurityW(u"C:\\data\\\u03a8.txt", DACL_SECURITY_INFORMATION, buffer,
                                sizeof buffer, &needed));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  net_.env().pages("65001", "65001");

  // Everyone may do anything, the read-only attribute still protects.
  net_.act_as("joe", "LOCALPC");
  EXPECT_TRUE(can_open("C:\\data\\f.txt", GENERIC_READ | GENERIC_WRITE));
  ASSERT_TRUE(SetFileAttributesA("C:\\data\\f.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(can_open("C:\\data\\f.txt", GENERIC_WRITE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesA("C:\\data\\f.txt", FILE_ATTRIBUTE_NORMAL));
}

TEST_F(FileSecurity, AccessRefusedUntilOwnershipIsTaken) {
  const char* f = "C:\\data\\f.txt";
  // Giving the file away needs SeRestorePrivilege.
  EXPECT_FALSE(set(f, OWNER_SECURITY_INFORMATION, joe_, {}));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_OWNER);
  ASSERT_EQ(set_privilege(SE_RESTORE_NAME, true), ERROR_SUCCESS);
  ASSERT_TRUE(set(f, OWNER_SECURITY_INFORMATION, joe_, {}));
  ASSERT_EQ(set_privilege(SE_RESTORE_NAME, false), ERROR_SUCCESS);
  ASSERT_TRUE(set(f, DACL_SECURITY_INFORMATION, "",
                  {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, joe_}}));
  EXPECT_FALSE(can_open(f, GENERIC_READ));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // Now joe owns it and only joe is let in.
  EXPECT_FALSE(can_open(f, GENERIC_READ));
  alignas(8) BYTE buffer[256];
  DWORD needed;
  EXPECT_FALSE(GetFileSecurityA(f, DACL_SECURITY_INFORMATION, buffer, sizeof buffer, &needed));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(set(f, OWNER_SECURITY_INFORMATION, admins_, {}));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // Take ownership: only ourselves or Administrators may become owner.
  ASSERT_EQ(set_privilege(SE_TAKE_OWNERSHIP_NAME, true), ERROR_SUCCESS);
  EXPECT_FALSE(set(f, OWNER_SECURITY_INFORMATION, nt_sid_everyone(), {}));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_OWNER);
  ASSERT_TRUE(set(f, OWNER_SECURITY_INFORMATION, admins_, {}));
  EXPECT_FALSE(can_open(f, GENERIC_READ));  // the DACL is still joe's
  // The owner may always rewrite the DACL: a NULL DACL opens the file.
  ASSERT_TRUE(set(f, DACL_SECURITY_INFORMATION, "", {}, /*dacl=*/false));
  EXPECT_TRUE(can_open(f, GENERIC_READ | GENERIC_WRITE));
  NtSecurityDescriptor now = get(f, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  EXPECT_EQ(now.owner, admins_);
  EXPECT_TRUE(now.dacl_present);
  EXPECT_TRUE(now.dacl.empty());

  // joe got nothing from this: an empty DACL shuts everyone out but the owner.
  ASSERT_TRUE(set(f, DACL_SECURITY_INFORMATION, "", {}));
  EXPECT_FALSE(can_open(f, GENERIC_READ));
  EXPECT_TRUE(get(f, DACL_SECURITY_INFORMATION).dacl_present);
}

TEST_F(FileSecurity, DirectoryRightsGovernListingCreatingAndDeletingChildren) {
  const ACCESS_MASK list_only = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                                READ_CONTROL | SYNCHRONIZE;
  ASSERT_TRUE(set("C:\\data", DACL_SECURITY_INFORMATION, "",
                  {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, admins_},
                   {ACCESS_ALLOWED_ACE_TYPE, 0, list_only, joe_}}));
  ASSERT_TRUE(set("C:\\data\\f.txt", DACL_SECURITY_INFORMATION, "",
                  {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_GENERIC_READ, joe_},
                   {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, admins_}}));

  net_.act_as("joe", "LOCALPC");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("C:\\data\\*", &found);
  EXPECT_NE(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  EXPECT_TRUE(can_open("C:\\data\\f.txt", GENERIC_READ));
  EXPECT_FALSE(can_open("C:\\data\\f.txt", GENERIC_WRITE));
  HANDLE h = CreateFileA("C:\\data\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CreateDirectoryA("C:\\data\\sub", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileA("C:\\data\\f.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // The directory's right to delete children is enough to delete one.
  net_.act_as("Administrator", "LOCALPC");
  ASSERT_TRUE(set("C:\\data", DACL_SECURITY_INFORMATION, "",
                  {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, admins_},
                   {ACCESS_ALLOWED_ACE_TYPE, 0, list_only | FILE_DELETE_CHILD, joe_}}));
  net_.act_as("joe", "LOCALPC");
  EXPECT_TRUE(DeleteFileA("C:\\data\\f.txt")) << GetLastError();

  // Without the right to list, nothing is listed.
  net_.act_as("Administrator", "LOCALPC");
  ASSERT_TRUE(set("C:\\data", DACL_SECURITY_INFORMATION, "",
                  {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, admins_}}));
  net_.act_as("joe", "LOCALPC");
  search = FindFirstFileA("C:\\data\\*", &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Nor may joe change who may.
  EXPECT_FALSE(set("C:\\data", DACL_SECURITY_INFORMATION, "", {}, false));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

}  // namespace
