#include "platform/netapi/share_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/netapi/netapi.h"
#include "platform/netapi/netapi_test_network.h"

namespace {

class ShareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(nt_open_machine("SRV1", &srv1_), ERROR_SUCCESS);
    ASSERT_EQ(mkdir((net_.drive_c("SRV1") + "/Data").c_str(), 0777), 0);
  }

  NtShareInfo share(const std::string& name, const std::string& path,
                    const std::string& remark = "") {
    NtShareInfo s;
    s.name = name;
    s.path = path;
    s.remark = remark;
    return s;
  }

  // "NAME type path remark" of each share of SRV1 at level 2, joined by '|'.
  std::string listing(const WCHAR* server = u"\\\\SRV1") {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    NET_API_STATUS status =
        NetShareEnum(server, 2, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    if (status != NERR_Success) return "error " + std::to_string(status);
    std::string out;
    const auto* s = reinterpret_cast<const SHARE_INFO_2*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
      if (i) out += "|";
      char type[16];
      snprintf(type, sizeof type, "%X", s[i].shi2_type);
      out += utf8(s[i].shi2_netname) + " " + type + " " + utf8(s[i].shi2_path) + " " +
             utf8(s[i].shi2_remark);
      EXPECT_EQ(s[i].shi2_passwd, nullptr);
      EXPECT_EQ(s[i].shi2_current_uses, 0u);
    }
    EXPECT_EQ(total, read);
    NetApiBufferFree(buffer);
    return out;
  }

  TestNetwork net_;
  NtMachineRef srv1_;
};

TEST_F(ShareTest, EveryMachineHasItsAdministrativeShares) {
  EXPECT_EQ(listing(),
            "ADMIN$ 80000000 C:\\WINNT Remote Admin|"
            "C$ 80000000 C:\\ Default share|"
            "IPC$ 80000003  Remote IPC");
  // One per fixed drive: D: is fixed, E: removable.
  ASSERT_EQ(nt_machine_map_drive(*srv1_.store, NtDrive{'D', NtDriveType::fixed, "/tmp"}),
            ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_map_drive(*srv1_.store, NtDrive{'E', NtDriveType::removable, "/tmp"}),
            ERROR_SUCCESS);
  EXPECT_EQ(listing(),
            "ADMIN$ 80000000 C:\\WINNT Remote Admin|"
            "C$ 80000000 C:\\ Default share|"
            "D$ 80000000 D:\\ Default share|"
            "IPC$ 80000003  Remote IPC");
  EXPECT_TRUE(nt_share_is_administrative(*srv1_.store, "d$"));
  EXPECT_FALSE(nt_share_is_administrative(*srv1_.store, "E$"));
  // They cannot be added again, changed or removed.
  EXPECT_EQ(nt_share_add(*srv1_.store, share("ipc$", "C:\\Data")), NERR_DuplicateShare);
  EXPECT_EQ(nt_share_add(*srv1_.store, share("C$", "C:\\Data")), NERR_DuplicateShare);
  EXPECT_EQ(nt_share_del(*srv1_.store, "ADMIN$"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(nt_share_set(*srv1_.store, share("C$", "")), ERROR_ACCESS_DENIED);
}

TEST_F(ShareTest, AddedSharesListGetChangeAndGo) {
  ASSERT_EQ(nt_share_add(*srv1_.store, share("Public", "c:\\DATA", "For all")), NERR_Success);
  EXPECT_EQ(listing(),
            "ADMIN$ 80000000 C:\\WINNT Remote Admin|"
            "C$ 80000000 C:\\ Default share|"
            "IPC$ 80000003  Remote IPC|"
            "Public 0 c:\\DATA For all");
  // Names ignore case.
  EXPECT_EQ(nt_share_add(*srv1_.store, share("PUBLIC", "C:\\Data")), NERR_DuplicateShare);
  NtShareInfo got;
  ASSERT_EQ(nt_share_get(*srv1_.store, "public", &got), NERR_Success);
  EXPECT_EQ(got.name, "Public");
  EXPECT_EQ(got.max_uses, SHI_USES_UNLIMITED);

  // Through the network calls, at every level.
  LPBYTE buffer = nullptr;
  ASSERT_EQ(NetShareGetInfo(u"SRV1", u"PUBLIC", 1, &buffer), NERR_Success);
  EXPECT_EQ(utf8(reinterpret_cast<SHARE_INFO_1*>(buffer)->shi1_remark), "For all");
  NetApiBufferFree(buffer);
  ASSERT_EQ(NetShareGetInfo(u"SRV1", u"Public", 0, &buffer), NERR_Success);
  EXPECT_EQ(utf8(reinterpret_cast<SHARE_INFO_0*>(buffer)->shi0_netname), "Public");
  NetApiBufferFree(buffer);
  EXPECT_EQ(NetShareGetInfo(u"SRV1", u"Nope", 2, &buffer), NERR_NetNameNotFound);
  EXPECT_EQ(NetShareGetInfo(u"SRV1", u"Public", 503, &buffer), ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetShareGetInfo(u"SRV1", nullptr, 0, &buffer), ERROR_INVALID_PARAMETER);

  got.remark = "Changed";
  got.max_uses = 10;
  ASSERT_EQ(nt_share_set(*srv1_.store, got), NERR_Success);
  ASSERT_EQ(nt_share_get(*srv1_.store, "PUBLIC", &got), NERR_Success);
  EXPECT_EQ(got.remark, "Changed");
  EXPECT_EQ(got.max_uses, 10u);
  EXPECT_EQ(got.path, "c:\\DATA");
  EXPECT_EQ(nt_share_set(*srv1_.store, share("Other", "")), NERR_NetNameNotFound);

  EXPECT_EQ(nt_share_del(*srv1_.store, "PUBLIC"), NERR_Success);
  EXPECT_EQ(nt_share_del(*srv1_.store, "PUBLIC"), NERR_NetNameNotFound);
  EXPECT_EQ(nt_share_get(*srv1_.store, "Public", &got), NERR_NetNameNotFound);

  // Another machine's table is its own.
  ASSERT_EQ(nt_share_add(*srv1_.store, share("Only1", "C:\\Data")), NERR_Success);
  EXPECT_EQ(listing(u"\\\\SRV2").find("Only1"), std::string::npos);
}

TEST_F(ShareTest, AddChecksNamesLimitsAndDirectories) {
  auto add = [&](const NtShareInfo& s) { return nt_share_add(*srv1_.store, s); };
  EXPECT_EQ(add(share("", "C:\\Data")), ERROR_INVALID_PARAMETER);
  for (const char* bad : {"a/b", "a\\b", "a:b", "a*", "a?", "a=b", "a,b", "a;b", "a+b", "[a]",
                          "a|b", "<a>", "a\"b", "a\tb"}) {
    EXPECT_EQ(add(share(bad, "C:\\Data")), ERROR_INVALID_PARAMETER) << bad;
  }
  // 80 characters is the longest name, 256 the longest remark.
  EXPECT_EQ(add(share(std::string(81, 'N'), "C:\\Data")), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(add(share(std::string(80, 'N'), "C:\\Data")), NERR_Success);
  EXPECT_EQ(add(share("R1", "C:\\Data", std::string(257, 'r'))), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(add(share("R2", "C:\\Data", std::string(256, 'r'))), NERR_Success);
  NtShareInfo too_long = share("R2", "", std::string(257, 'r'));
  EXPECT_EQ(nt_share_set(*srv1_.store, too_long), ERROR_INVALID_PARAMETER);
  // Hidden names with a dollar are fine when they are not administrative.
  EXPECT_EQ(add(share("Data$", "C:\\Data")), NERR_Success);

  // Paths: a drive path of a mapped drive, to a directory that exists.
  EXPECT_EQ(add(share("P1", "Data")), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(add(share("P2", "\\\\SRV2\\x")), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(add(share("P3", "C:\\Missing")), NERR_UnknownDevDir);
  EXPECT_EQ(add(share("P4", "Q:\\")), NERR_UnknownDevDir);
  EXPECT_EQ(add(share("P5", "C:\\Data\\..\\..")), NERR_UnknownDevDir);
  EXPECT_EQ(add(share("P6", "C:/winnt/SYSTEM32")), NERR_Success);
  NtShareInfo printer = share("P7", "C:\\Data");
  printer.type = STYPE_PRINTQ;
  EXPECT_EQ(add(printer), ERROR_INVALID_PARAMETER);
  // A file is not a directory.
  FILE* f = fopen((net_.drive_c("SRV1") + "/Data/file.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_EQ(add(share("P8", "C:\\Data\\file.txt")), NERR_UnknownDevDir);

  // Paths end below 260 characters.
  std::string a(200, 'a'), b(55, 'b');
  ASSERT_EQ(mkdir((net_.drive_c("SRV1") + "/" + a).c_str(), 0777), 0);
  ASSERT_EQ(mkdir((net_.drive_c("SRV1") + "/" + a + "/" + b).c_str(), 0777), 0);
  ASSERT_EQ(mkdir((net_.drive_c("SRV1") + "/" + a + "/" + b + "c").c_str(), 0777), 0);
  std::string longest = "C:\\" + a + "\\" + b;
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(add(share("L1", longest)), NERR_Success);
  EXPECT_EQ(add(share("L2", longest + "c")), ERROR_INVALID_PARAMETER);
}

TEST_F(ShareTest, EnumerationSlicesAndRemoteErrors) {
  for (const char* name : {"S1", "S2", "S3"})
    ASSERT_EQ(nt_share_add(*srv1_.store, share(name, "C:\\Data")), NERR_Success);
  // Six shares; a level 0 record takes 8 bytes and its name: 40 bytes hold two.
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0, resume = 0;
  std::string seen;
  NET_API_STATUS status;
  int calls = 0;
  do {
    status = NetShareEnum(u"\\\\SRV1", 0, &buffer, 40, &read, &total, &resume);
    ASSERT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA);
    for (DWORD i = 0; i < read; ++i)
      seen += utf8(reinterpret_cast<SHARE_INFO_0*>(buffer)[i].shi0_netname) + " ";
    NetApiBufferFree(buffer);
    ++calls;
  } while (status == ERROR_MORE_DATA && calls < 10);
  EXPECT_EQ(seen, "ADMIN$ C$ IPC$ S1 S2 S3 ");
  EXPECT_EQ(calls, 3);

  EXPECT_EQ(NetShareEnum(u"\\\\WS9", 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            ERROR_BAD_NETPATH);
  EXPECT_EQ(NetShareEnum(u"\\\\NOSUCH", 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                         nullptr),
            ERROR_BAD_NETPATH);
  EXPECT_EQ(NetShareGetInfo(u"\\\\WS9", u"C$", 0, &buffer), ERROR_BAD_NETPATH);
  EXPECT_EQ(NetShareEnum(nullptr, 3, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetShareEnum(nullptr, 0, &buffer, MAX_PREFERRED_LENGTH, nullptr, &total, nullptr),
            ERROR_INVALID_PARAMETER);
  // The local machine needs no name.
  ASSERT_EQ(NetShareEnum(nullptr, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
            NERR_Success);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(reinterpret_cast<SHARE_INFO_1*>(buffer)[2].shi1_type, STYPE_IPC | STYPE_SPECIAL);
  NetApiBufferFree(buffer);
}

}  // namespace
