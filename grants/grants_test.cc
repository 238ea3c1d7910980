#include "grants/grants.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"
#include "platform/security/machine_sid.h"
#include "platform/security/well_known_accounts.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class GrantsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    grants_set_label("USEC");
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local), ERROR_SUCCESS);
    ASSERT_EQ(nt_machine_sid(*local.store, &machine_sid_), ERROR_SUCCESS);
  }
  void TearDown() override { grants_set_label("USEC"); }

  // grants_to_acl on the local machine, keeping the error lines.
  int build(const char* text, DWORD size = GRANTS_ACL_SIZE) {
    CaptureStderr();
    int added = grants_to_acl(nullptr, text, acl(), size);
    err_ = GetCapturedStderr();
    return added;
  }

  std::string back(PACL list, int* aces, DWORD* result = nullptr) {
    std::string text;
    CaptureStderr();
    DWORD r = acl_to_grants(nullptr, list, &text, aces);
    err_ = GetCapturedStderr();
    if (result) *result = r;
    return text;
  }

  PACL acl() { return reinterpret_cast<PACL>(buffer_); }

  // The bytes of the index-th ACE.
  std::string ace_bytes(int index) {
    void* ace = nullptr;
    if (!GetAce(acl(), index, &ace)) return "";
    WORD size;
    std::memcpy(&size, static_cast<BYTE*>(ace) + 2, 2);
    return std::string(static_cast<const char*>(ace), size);
  }

  static std::string expected_ace(BYTE type, BYTE flags, DWORD mask, const std::string& sid) {
    std::string ace(8, '\0');
    WORD size = static_cast<WORD>(8 + sid.size());
    ace[0] = static_cast<char>(type);
    ace[1] = static_cast<char>(flags);
    std::memcpy(&ace[2], &size, 2);
    std::memcpy(&ace[4], &mask, 4);
    return ace + sid;
  }

  std::string guest_sid() const { return nt_sid_append(machine_sid_, 501); }

  TempNetwork net_{"LOCALPC"};
  std::string machine_sid_;
  alignas(4) BYTE buffer_[GRANTS_ACL_SIZE];
  std::string err_;
};

TEST_F(GrantsTest, EntriesBecomeByteExactAcesInOrder) {
  ASSERT_EQ(build("Everyone:R  BUILTIN\\Administrators:F LOCALPC\\Guest:Nci Guest:0x001F01FFo "
                  "Everyone:W Everyone:X"),
            6);
  EXPECT_EQ(err_, "");
  ACL header;
  std::memcpy(&header, buffer_, sizeof header);
  EXPECT_EQ(header.AclRevision, 2);
  EXPECT_EQ(header.AclSize, 6 * 40 + 8);
  EXPECT_EQ(header.AceCount, 6);
  std::string everyone = nt_sid_everyone();
  EXPECT_EQ(ace_bytes(0), expected_ace(0, 0, 0xA0000000u, everyone));
  EXPECT_EQ(ace_bytes(1), expected_ace(0, 0, 0x10000000u, nt_sid_builtin_alias(544)));
  EXPECT_EQ(ace_bytes(2), expected_ace(1, 0x0A, 0x10000000u, guest_sid()));
  EXPECT_EQ(ace_bytes(3), expected_ace(0, 0x01, 0x001F01FFu, guest_sid()));
  EXPECT_EQ(ace_bytes(4), expected_ace(0, 0, 0xE0010000u, everyone));
  EXPECT_EQ(ace_bytes(5), expected_ace(0, 0, 0x20000000u, everyone));

  int aces = -1;
  DWORD result = 1;
  std::string text = back(acl(), &aces, &result);
  EXPECT_EQ(result, ERROR_SUCCESS);
  EXPECT_EQ(aces, 6);
  EXPECT_EQ(text,
            "\\Everyone:R BUILTIN\\Administrators:F LOCALPC\\Guest:Nci LOCALPC\\Guest:Fo "
            "\\Everyone:0xE0010000 \\Everyone:X ");
  EXPECT_EQ(err_, "");

  // The text read back builds the same list again, but for the mask
  // 0x001F01FF, which came back as F and is now generic all; W came back as
  // its mask and stays.
  ACL_SIZE_INFORMATION info{};
  ASSERT_TRUE(GetAclInformation(acl(), &info, sizeof info, AclSizeInformation));
  std::string first(reinterpret_cast<char*>(buffer_), info.AclBytesInUse);
  ASSERT_EQ(build(text.c_str()), 6);
  EXPECT_EQ(ace_bytes(3), expected_ace(0, 0x01, 0x10000000u, guest_sid()));
  std::string again(reinterpret_cast<char*>(buffer_), info.AclBytesInUse);
  size_t mask_at = 8 + 20 + 24 + 36 + 4;
  EXPECT_EQ(again.substr(0, mask_at), first.substr(0, mask_at));
  EXPECT_EQ(again.substr(mask_at + 4), first.substr(mask_at + 4));
  EXPECT_EQ(back(acl(), &aces), text);
}

TEST_F(GrantsTest, DeniedEntriesKeepTheirPlaceAndDuplicatesStay) {
  ASSERT_EQ(build("Guest:R Guest:N Guest:R"), 3);
  EXPECT_EQ(ace_bytes(0)[0], 0);
  EXPECT_EQ(ace_bytes(1)[0], 1);
  EXPECT_EQ(ace_bytes(2)[0], 0);
  int aces = 0;
  EXPECT_EQ(back(acl(), &aces), "LOCALPC\\Guest:R LOCALPC\\Guest:N LOCALPC\\Guest:R ");
}

TEST_F(GrantsTest, BadEntriesAreReportedAndLeftOut) {
  EXPECT_EQ(build("jdoe:Q nobody:R Everyone:0x00000000 Guest"), 0);
  EXPECT_EQ(err_,
            "USEC-ERROR, invalid access type for jdoe, ACE ignored\n"
            "USEC-ERROR, LookupAccountName(nobody) failed, error=1332\n"
            "USEC-ERROR, cannot map username nobody, ACE ignored\n"
            "USEC-ERROR, invalid access type for Everyone, ACE ignored\n"
            "USEC-ERROR, invalid access type for Guest, ACE ignored\n");
  ACL header;
  std::memcpy(&header, buffer_, sizeof header);
  EXPECT_EQ(header.AceCount, 0);
  EXPECT_EQ(header.AclSize, 4 * 40 + 8);

  // A name of another domain than the one the lookup reports.
  EXPECT_EQ(build("OTHER\\Guest:R Everyone:R"), 1);
  EXPECT_EQ(err_,
            "USEC-ERROR, LookupAccountName(OTHER\\Guest) failed\n"
            "USEC-ERROR, target domain 'OTHER' != resulting domain 'LOCALPC'\n"
            "USEC-ERROR, cannot map username OTHER\\Guest, ACE ignored\n");
  // The domain compares without regard to case.
  EXPECT_EQ(build("localpc\\guest:R"), 1);
  EXPECT_EQ(err_, "");

  // The other label, as the file tool uses it.
  grants_set_label("ASEC");
  EXPECT_EQ(build("jdoe:"), 0);
  EXPECT_EQ(err_, "ASEC-ERROR, invalid access type for jdoe, ACE ignored\n");
}

TEST_F(GrantsTest, NameParts) {
  alignas(4) BYTE sid[GRANTS_SID_SIZE];
  CaptureStderr();
  EXPECT_TRUE(name_to_sid(nullptr, "Everyone", sid, sizeof sid));
  EXPECT_TRUE(name_to_sid(nullptr, "\\Everyone", sid, sizeof sid));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sid), 12), nt_sid_everyone());
  EXPECT_EQ(GetCapturedStderr(), "");

  // Parts longer than 23 characters name no account; they are not cut
  // into a name that might exist.
  std::string long_account = "Guest" + std::string(19, 'x');  // 24
  std::string long_domain = std::string(24, 'D') + "\\Guest";
  CaptureStderr();
  EXPECT_FALSE(name_to_sid(nullptr, long_account.c_str(), sid, sizeof sid));
  EXPECT_FALSE(name_to_sid(nullptr, long_domain.c_str(), sid, sizeof sid));
  EXPECT_FALSE(name_to_sid(nullptr, "LOCALPC\\", sid, sizeof sid));
  EXPECT_FALSE(name_to_sid(nullptr, "", sid, sizeof sid));
  EXPECT_EQ(GetCapturedStderr(),
            "USEC-ERROR, LookupAccountName(" + long_account + ") failed, error=1332\n" +
                "USEC-ERROR, LookupAccountName(" + long_domain + ") failed, error=1332\n" +
                "USEC-ERROR, LookupAccountName(LOCALPC\\) failed, error=1332\n"
                "USEC-ERROR, LookupAccountName() failed, error=1332\n");

  // A server that cannot be reached.
  CaptureStderr();
  EXPECT_FALSE(name_to_sid(u"\\\\NOSUCH", "Everyone", sid, sizeof sid));
  EXPECT_EQ(GetCapturedStderr(), "USEC-ERROR, LookupAccountName(Everyone) failed, error=1722\n");
}

TEST_F(GrantsTest, SidsThatCannotBeNamed) {
  // An ACL holding a SID no account maps to, one of a machine that is not
  // there, and a known one.
  std::string unknown = nt_sid_append(machine_sid_, 4242);
  ASSERT_TRUE(InitializeAcl(acl(), 200, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl(), ACL_REVISION, 0xA0000000u, unknown.data()));
  ASSERT_TRUE(AddAccessDeniedAce(acl(), ACL_REVISION, 0x1u, nt_sid_everyone().data()));
  int aces = 0;
  std::string text = back(acl(), &aces);
  EXPECT_EQ(aces, 2);
  EXPECT_EQ(text, "\\AccountUnknown:R \\Everyone:N ");
  EXPECT_EQ(err_,
            "USEC-ERROR, SID unknown\n"
            "USEC-ERROR, cannot resolve SID for ACE[0]\n");

  std::string domain, name;
  CaptureStderr();
  EXPECT_FALSE(sid_to_name(u"\\\\NOSUCH", nt_sid_everyone().data(), &domain, &name));
  std::string lines = GetCapturedStderr();
  EXPECT_EQ(name, "ERROR");
  EXPECT_EQ(domain, "");
  EXPECT_EQ(lines.rfind("USEC-ERROR, LookupAccountSid() failed, error=1722\n"
                        "USEC-ERROR, Required:",
                        0),
            0u)
      << lines;

  CaptureStderr();
  EXPECT_TRUE(sid_to_name(nullptr, nt_sid_builtin_alias(544).data(), &domain, &name));
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(domain, "BUILTIN");
  EXPECT_EQ(name, "Administrators");
}

TEST_F(GrantsTest, AbsentAndDamagedLists) {
  int aces = -1;
  DWORD result = 1;
  EXPECT_EQ(back(nullptr, &aces, &result), "");
  EXPECT_EQ(aces, 0);
  EXPECT_EQ(result, ERROR_SUCCESS);

  // An ACE count past the ACEs present: the failure is the result, never
  // taken for a number of ACEs.
  ASSERT_EQ(build("Everyone:R Guest:F"), 2);
  WORD count = 3;
  std::memcpy(buffer_ + 4, &count, 2);
  std::string text = back(acl(), &aces, &result);
  EXPECT_EQ(result, ERROR_INVALID_ACL);
  EXPECT_EQ(text, "");
  EXPECT_EQ(aces, 0);
}

TEST_F(GrantsTest, FixedBuffersAreNeverOverrun) {
  // 120 entries want 4,808 bytes; the list gets the 4,096 of the buffer and
  // the entries past what fits are reported.
  std::string many;
  for (int i = 0; i < 120; ++i) many += "Guest:R ";
  int added = build(many.c_str());
  int fit = (GRANTS_ACL_SIZE - 8) / static_cast<int>(8 + guest_sid().size());
  EXPECT_EQ(added, fit);
  ACL header;
  std::memcpy(&header, buffer_, sizeof header);
  EXPECT_EQ(header.AclSize, GRANTS_ACL_SIZE);
  std::string refused = "USEC-ERROR, AddAccessAllowedAce() failed, ACE ignored, error=1344\n";
  std::string expected;
  for (int i = fit; i < 120; ++i) expected += refused;
  EXPECT_EQ(err_, expected);

  // A buffer smaller than an empty list.
  EXPECT_EQ(build("Everyone:R", 4), 0);
  EXPECT_EQ(err_, "USEC-ERROR, InitializeAcl() failed, error=122\n");

  // A text buffer holds whole entries only.
  ASSERT_EQ(build("Everyone:R Everyone:F Everyone:X"), 3);
  char text[30];
  std::memset(text, '#', sizeof text);
  int aces = 0;
  CaptureStderr();
  EXPECT_EQ(acl_to_grants(nullptr, acl(), text, 26, &aces), ERROR_MORE_DATA);
  GetCapturedStderr();
  EXPECT_STREQ(text, "\\Everyone:R \\Everyone:F ");
  EXPECT_EQ(text[26], '#');
  EXPECT_EQ(aces, 3);
  CaptureStderr();
  EXPECT_EQ(acl_to_grants(nullptr, acl(), text, 13, &aces), ERROR_MORE_DATA);
  EXPECT_STREQ(text, "\\Everyone:R ");
  EXPECT_EQ(acl_to_grants(nullptr, acl(), text, 12, &aces), ERROR_MORE_DATA);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(acl_to_grants(nullptr, acl(), text, 30, &aces), ERROR_MORE_DATA);
  GetCapturedStderr();
  char exact[37];
  CaptureStderr();
  EXPECT_EQ(acl_to_grants(nullptr, acl(), exact, sizeof exact, &aces), ERROR_SUCCESS);
  GetCapturedStderr();
  EXPECT_STREQ(exact, "\\Everyone:R \\Everyone:F \\Everyone:X ");
}

}  // namespace
