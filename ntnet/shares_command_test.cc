#include "ntnet/shares_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/netapi/netapi_test_network.h"
#include "platform/netapi/share_table.h"
#include "ntnet/command_test_run.h"

namespace {

CommandRun share(const std::vector<std::string>& args) {
  return run_command(ntnet_share_command, args);
}

TEST(NtnetShare, AddListDelete) {
  TestNetwork net;
  ASSERT_EQ(mkdir((net.drive_c("SRV1") + "/Data").c_str(), 0777), 0);
  CommandRun r = share({"add", "\\\\srv1", "Public", "C:\\Data", "--comment", "For all"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Added share Public on SRV1 (C:\\Data)\n");
  r = share({"list", "SRV1"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "NAME          TYPE      PATH                      COMMENT\n"
            "ADMIN$        80000000  C:\\WINNT                  Remote Admin\n"
            "C$            80000000  C:\\                       Default share\n"
            "IPC$          80000003                            Remote IPC\n"
            "Public        00000000  C:\\Data                   For all\n");
  // The network calls see it.
  LPBYTE buffer = nullptr;
  ASSERT_EQ(NetShareGetInfo(u"SRV1", u"public", 2, &buffer), NERR_Success);
  EXPECT_EQ(utf8(reinterpret_cast<SHARE_INFO_2*>(buffer)->shi2_path), "C:\\Data");
  NetApiBufferFree(buffer);

  // Offline machines are administered too.
  r = share({"add", "WS9", "Root", "C:\\"});
  EXPECT_EQ(r.code, 0) << r.err;
  r = share({"del", "SRV1", "PUBLIC"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Deleted share PUBLIC on SRV1\n");
  EXPECT_EQ(share({"list", "SRV1"}).out.find("Public"), std::string::npos);
}

TEST(NtnetShare, FailuresAndBadCommandLines) {
  TestNetwork net;
  CommandRun r = share({"add", "SRV1", "X", "C:\\Missing"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: C:\\Missing is not a directory of SRV1\n");
  r = share({"add", "SRV1", "C$", "C:\\"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: SRV1 has a share C$ already\n");
  EXPECT_EQ(share({"add", "SRV1", "a*b", "C:\\"}).code, 2);
  EXPECT_EQ(share({"add", "SRV1", "Rel", "WINNT"}).code, 2);
  r = share({"del", "SRV1", "Nope"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: SRV1 has no share Nope\n");
  r = share({"del", "SRV1", "ipc$"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: ipc$ is an administrative share and cannot be deleted\n");
  r = share({"list", "NOSUCH"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ntnet: no machine NOSUCH in the network\n");
  EXPECT_EQ(share({"list"}).code, 2);
  EXPECT_EQ(share({"add", "SRV1", "X"}).code, 2);
  EXPECT_EQ(share({"add", "SRV1", "X", "C:\\", "--bogus", "1"}).code, 2);
  EXPECT_EQ(share({"move", "SRV1"}).code, 2);
  EXPECT_EQ(share({}).code, 2);
  r = share({"list", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("ntnet share add MACHINE NAME PATH"), std::string::npos);
}

}  // namespace
