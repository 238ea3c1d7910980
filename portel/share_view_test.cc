// The share view, the records written back and the share descriptors, on a
// network of two domains (platform/accounts/accounts_test_network.h).
#include "portel/share_view.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "lib/format.h"
#include "platform/accounts/accounts_test_network.h"
#include "platform/security/acl.h"
#include "portel/share_security.h"

namespace {

TEST(ShareFilter, LevelsTypesAndDollarNames) {
  // 1 and 2 see plain disk shares only; administrative shares carry the
  // special bit and are not disk shares in this sense.
  EXPECT_TRUE(share_is_seen(SHOW_DISK_SHARES, STYPE_DISKTREE, u"DATA"));
  EXPECT_TRUE(share_is_seen(SHOW_DISK_SHARES, STYPE_DISKTREE, u"HIDDEN$"));
  EXPECT_FALSE(share_is_seen(SHOW_DISK_SHARES, STYPE_DISKTREE | STYPE_SPECIAL, u"C$"));
  EXPECT_FALSE(share_is_seen(SHOW_DISK_SHARES, STYPE_IPC | STYPE_SPECIAL, u"IPC$"));
  EXPECT_FALSE(share_is_seen(SHOW_DISK_SHARES, STYPE_PRINTQ, u"LASER"));
  EXPECT_TRUE(share_is_seen(SHOW_VISIBLE_DISK_SHARES, STYPE_DISKTREE, u"DATA"));
  EXPECT_FALSE(share_is_seen(SHOW_VISIBLE_DISK_SHARES, STYPE_DISKTREE, u"HIDDEN$"));
  EXPECT_TRUE(share_is_seen(SHOW_VISIBLE_DISK_SHARES, STYPE_DISKTREE, u"A$B"));
  EXPECT_FALSE(share_is_seen(SHOW_VISIBLE_DISK_SHARES, STYPE_DEVICE, u"COM1"));
  // 0, and any level that is neither 1 nor 2, sees every share.
  EXPECT_TRUE(share_is_seen(SHOW_ALL_SHARES, STYPE_IPC | STYPE_SPECIAL, u"IPC$"));
  EXPECT_TRUE(share_is_seen(-1, STYPE_PRINTQ, u"LASER$"));
  EXPECT_TRUE(share_is_seen(3, STYPE_DISKTREE | STYPE_SPECIAL, u"ADMIN$"));

  EXPECT_EQ(server_without_backslashes(u"\\\\SRV1"), u"SRV1");
  EXPECT_EQ(server_without_backslashes(u"SRV1"), u"SRV1");
  EXPECT_EQ(server_without_backslashes(u"\\\\"), u"");
}

class ShareViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir = nt_network_machine_dir(net_.root(), "SRV2") + "/drives/C/Data";
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
  }

  void add_data_share(PSECURITY_DESCRIPTOR sd, DWORD max_uses) {
    SHARE_INFO_502 s{};
    s.shi502_netname = const_cast<LPWSTR>(u"Data");
    s.shi502_type = STYPE_DISKTREE;
    s.shi502_remark = const_cast<LPWSTR>(u"Team data");
    s.shi502_max_uses = max_uses;
    s.shi502_path = const_cast<LPWSTR>(u"C:\\Data");
    s.shi502_security_descriptor = sd;
    DWORD parm = 0;
    ASSERT_EQ(NetShareAdd(u"\\\\SRV2", 502, reinterpret_cast<LPBYTE>(&s), &parm), NERR_Success);
  }

  static std::string expand(const char* format, const ArgSpec* table) {
    char out[OUTPUT_LINE_SIZE];
    expand_format(format, out, table, OUTPUT_LINE_SIZE - 1);
    return out;
  }

  AccountsNetwork net_;
};

TEST_F(ShareViewTest, DescriptorRoundTripAndPlaceholders) {
  ShareDescriptor descriptor;
  ASSERT_TRUE(build_share_descriptor(u"\\\\SRV2", "Everyone:R BUILTIN\\Administrators:Fci",
                                     &descriptor));
  EXPECT_EQ(descriptor.aces, 2);
  add_data_share(&descriptor.sd, 7);

  ShareView view;
  ASSERT_TRUE(view.read(u"SALES", u"\\\\SRV2", u"DATA"));
  EXPECT_EQ(view.name(), u"Data");  // the stored case, not the asked one
  EXPECT_EQ(view.aces(), 2);
  EXPECT_EQ(view.grants(), "\\Everyone:R BUILTIN\\Administrators:Fci ");
  EXPECT_EQ(expand("~S|~N|~c|~p|~M|~C|~T|~F|~D", view.table()),
            "SRV2|Data|Team data|C:\\Data|7|0|2|\\\\SRV2\\Data|SALES");
  EXPECT_EQ(expand("[~g]", view.table()), "[\\Everyone:R BUILTIN\\Administrators:Fci ]");

  // A share of the administrative kind has no descriptor: no grants.
  ShareView admin;
  ASSERT_TRUE(admin.read(u"SALES", u"\\\\SRV2", u"C$"));
  EXPECT_EQ(admin.grants(), "");
  EXPECT_EQ(admin.aces(), 0);
  EXPECT_EQ(admin.type(), STYPE_DISKTREE | STYPE_SPECIAL);
  EXPECT_EQ(expand("~M ~T", admin.table()), "(1) 0");

  // A missing share is reported with its name and the system's code.
  ShareView missing;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(missing.read(u"SALES", u"\\\\SRV2", u"Nothing"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "PORTEL-ERROR, NetShareGetInfo(Nothing) failed, error=2310\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(missing.read(u"SALES", u"\\\\WS9", u"Data"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "PORTEL-ERROR, NetShareGetInfo(Data) failed, error=53\n");
}

TEST_F(ShareViewTest, DescriptorsWithoutAndWithBadGrants) {
  // No grants: a present, null access list (everyone has full access).
  ShareDescriptor open;
  ASSERT_TRUE(build_share_descriptor(u"\\\\SRV2", "", &open));
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(&open.sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_EQ(open.aces, 0);
  ShareDescriptor open_null;
  EXPECT_TRUE(build_share_descriptor(u"\\\\SRV2", nullptr, &open_null));

  // Nothing that converts: the caller is told, after the per-entry lines.
  ShareDescriptor bad;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(build_share_descriptor(u"\\\\SRV2", "nobody:R Everyone:Q", &bad));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("USEC-ERROR, cannot map username nobody, ACE ignored\n"), std::string::npos)
      << err;
  EXPECT_NE(err.find("USEC-ERROR, invalid access type for Everyone, ACE ignored\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.substr(err.size() - 43), "PORTEL-ERROR, cannot convert grants to ACL\n") << err;

  // One good entry among bad ones is enough; the bad one is left out.
  ShareDescriptor partial;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(build_share_descriptor(u"\\\\SRV2", "nobody:R Everyone:N", &partial));
  testing::internal::GetCapturedStderr();
  std::string text;
  int aces = -1;
  ASSERT_TRUE(share_grants(u"\\\\SRV2", &partial.sd, &text, &aces));
  EXPECT_EQ(text, "\\Everyone:N ");
  EXPECT_EQ(aces, 1);
  ASSERT_TRUE(share_grants(u"\\\\SRV2", nullptr, &text, &aces));
  EXPECT_EQ(text, "");
  EXPECT_EQ(aces, 0);
  ASSERT_TRUE(share_grants(u"\\\\SRV2", &open.sd, &text, &aces));
  EXPECT_EQ(text, "");
}

TEST_F(ShareViewTest, RecordsForAddAndSet) {
  ShareSettings settings;
  settings.remark = u"New remark";
  settings.path = u"C:\\Data";
  ShareRecord add = record_for_add(u"Data", settings, nullptr);
  EXPECT_EQ(add.max_uses, SHI_USES_UNLIMITED);  // /M left at -1
  EXPECT_EQ(add.type, STYPE_DISKTREE);
  settings.max_uses = -7;
  EXPECT_EQ(record_for_add(u"Data", settings, nullptr).max_uses, SHI_USES_UNLIMITED);
  settings.max_uses = 0;
  EXPECT_EQ(record_for_add(u"Data", settings, nullptr).max_uses, 0u);
  SHARE_INFO_502 info = add.info();
  EXPECT_EQ(std::u16string(info.shi502_netname), u"Data");
  EXPECT_EQ(std::u16string(info.shi502_remark), u"New remark");
  EXPECT_EQ(info.shi502_passwd, nullptr);

  ShareDescriptor descriptor;
  ASSERT_TRUE(build_share_descriptor(u"\\\\SRV2", "Everyone:R", &descriptor));
  add_data_share(&descriptor.sd, 9);
  ShareView view;
  ASSERT_TRUE(view.read(u"SALES", u"\\\\SRV2", u"Data"));

  // Nothing given: everything stays, the current descriptor included.
  ShareSettings none;
  ShareRecord keep = record_for_set(view, none, nullptr);
  EXPECT_EQ(keep.name, u"Data");
  EXPECT_EQ(keep.remark, u"Team data");
  EXPECT_EQ(keep.path, u"C:\\Data");
  EXPECT_EQ(keep.max_uses, 9u);
  EXPECT_EQ(keep.sd, view.info().shi502_security_descriptor);
  // /M0 keeps the maximum, /M5 sets it; a given empty remark clears it.
  ShareSettings change;
  change.max_uses = 0;
  change.remark_given = true;
  EXPECT_EQ(record_for_set(view, change, nullptr).max_uses, 9u);
  EXPECT_EQ(record_for_set(view, change, nullptr).remark, u"");
  change.max_uses = 5;
  change.net_name = u"Other";
  ShareRecord changed = record_for_set(view, change, &descriptor.sd);
  EXPECT_EQ(changed.max_uses, 5u);
  EXPECT_EQ(changed.name, u"Other");
  EXPECT_EQ(changed.sd, &descriptor.sd);
}

}  // namespace
