#include "platform/files/drives.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/files/files_test_env.h"
#include "platform/files/net_connection.h"
#include "platform/kernel/error.h"
#include "platform/netapi/share_table.h"
#include "platform/network/machine.h"

namespace {

TEST(Drives, TableAndConnectionsInLetterOrder) {
  FilesTestNetwork net;
  std::string x = net.folder("x");
  net.map('X', x, NtDriveType::removable);
  net.map('M', "\\\\SRV1\\ADMIN$", NtDriveType::remote);
  NETRESOURCEA res = {};
  res.dwType = RESOURCETYPE_DISK;
  res.lpLocalName = const_cast<char*>("F:");
  res.lpRemoteName = const_cast<char*>("\\\\SRV2\\C$");
  ASSERT_EQ(WNetAddConnection2A(&res, nullptr, nullptr, 0), ERROR_SUCCESS);

  std::vector<NtLocalDrive> drives;
  ASSERT_EQ(nt_local_drives(&drives), ERROR_SUCCESS);
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[0].letter, 'C');
  EXPECT_EQ(drives[0].target, net.drive_c("LOCALPC"));
  EXPECT_EQ(drives[1].letter, 'F');
  EXPECT_TRUE(drives[1].connection);
  EXPECT_EQ(drives[1].type, NtDriveType::remote);
  EXPECT_EQ(drives[1].target, "\\\\SRV2\\C$");
  EXPECT_EQ(drives[2].letter, 'M');
  EXPECT_FALSE(drives[2].connection);
  EXPECT_EQ(drives[3].letter, 'X');
  EXPECT_EQ(drives[3].type, NtDriveType::removable);

  NtRootDir root;
  ASSERT_EQ(nt_drive_root('x', &root), ERROR_SUCCESS);
  EXPECT_EQ(root.host, x);
  EXPECT_TRUE(root.drive_root);
  ASSERT_EQ(nt_drive_root('M', &root), ERROR_SUCCESS);
  EXPECT_EQ(root.host, net.drive_c("SRV1") + "/WINNT");
  EXPECT_FALSE(root.drive_root);
  EXPECT_EQ(root.volume, net.drive_c("SRV1"));
  ASSERT_EQ(nt_drive_root('F', &root), ERROR_SUCCESS);
  EXPECT_EQ(root.host, net.drive_c("SRV2"));
  EXPECT_TRUE(root.drive_root);

  // Unmapped letters and text that is no letter.
  EXPECT_EQ(nt_drive_root('Q', &root), ERROR_INVALID_DRIVE);
  EXPECT_EQ(nt_drive_root('1', &root), ERROR_INVALID_DRIVE);
  NtLocalDrive one;
  EXPECT_EQ(nt_local_drive('\0', &one), ERROR_INVALID_DRIVE);
  // A remote drive whose server went offline is there but cannot be reached.
  net.set_online("SRV1", false);
  EXPECT_EQ(nt_local_drive('M', &one), ERROR_SUCCESS);
  EXPECT_EQ(nt_drive_root('M', &root), ERROR_BAD_NETPATH);
}

TEST(Drives, SharePathsOnTheirMachine) {
  FilesTestNetwork net;
  NtMachineRef srv;
  ASSERT_EQ(nt_open_machine("SRV1", &srv), ERROR_SUCCESS);
  mkdir((net.drive_c("SRV1") + "/Data").c_str(), 0755);
  NtRootDir dir;
  ASSERT_EQ(nt_machine_directory(*srv.store, "c:\\DATA", &dir), ERROR_SUCCESS);
  EXPECT_EQ(dir.host, net.drive_c("SRV1") + "/Data");
  EXPECT_FALSE(dir.drive_root);
  ASSERT_EQ(nt_machine_directory(*srv.store, "C:\\", &dir), ERROR_SUCCESS);
  EXPECT_TRUE(dir.drive_root);
  EXPECT_EQ(nt_machine_directory(*srv.store, "C:\\none", &dir), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(nt_machine_directory(*srv.store, "D:\\", &dir), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(nt_machine_directory(*srv.store, "data", &dir), ERROR_PATH_NOT_FOUND);

  EXPECT_EQ(nt_share_root("\\\\SRV1", "C$", &dir), ERROR_SUCCESS);
  EXPECT_EQ(dir.host, net.drive_c("SRV1"));
  EXPECT_EQ(nt_share_root("", "C$", &dir), ERROR_BAD_NETPATH);
  EXPECT_EQ(nt_share_root("SRV1", "", &dir), ERROR_BAD_NET_NAME);
  EXPECT_EQ(nt_share_root("GONE1", "C$", &dir), ERROR_BAD_NETPATH);
}

TEST(Drives, HoldAnswersFromItsFirstLookups) {
  FilesTestNetwork net;
  std::string x = net.folder("x"), y = net.folder("y");
  mkdir((net.drive_c("SRV1") + "/Pub").c_str(), 0755);
  net.share("SRV1", "PUB", "C:\\Pub");
  NtRootDir root;
  {
    NtDriveRootHold hold;
    // A letter unmapped at its first lookup stays so while the hold lives,
    // whatever case it is asked in; a mapped one keeps its first target.
    EXPECT_EQ(nt_drive_root('x', &root), ERROR_INVALID_DRIVE);
    net.map('X', x);
    EXPECT_EQ(nt_drive_root('X', &root), ERROR_INVALID_DRIVE);
    ASSERT_EQ(nt_share_root("\\\\srv1", "pub", &root), ERROR_SUCCESS);
    EXPECT_EQ(root.host, net.drive_c("SRV1") + "/Pub");
    NtMachineRef srv;
    ASSERT_EQ(nt_open_machine("SRV1", &srv, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_share_del(*srv.store, "PUB"), ERROR_SUCCESS);
    root = NtRootDir();
    EXPECT_EQ(nt_share_root("SRV1", "PUB", &root), ERROR_SUCCESS);
    EXPECT_EQ(root.host, net.drive_c("SRV1") + "/Pub");
    {
      // A new hold (one per directory of a walk) looks again.
      NtDriveRootHold inner;
      ASSERT_EQ(nt_drive_root('X', &root), ERROR_SUCCESS);
      EXPECT_EQ(root.host, x);
      EXPECT_EQ(nt_share_root("SRV1", "PUB", &root), ERROR_BAD_NET_NAME);
    }
    // The outer hold goes on with what the inner one found.
    NtMachineRef local;
    ASSERT_EQ(nt_open_machine("", &local, NtMachineAccess::admin), ERROR_SUCCESS);
    ASSERT_EQ(nt_machine_unmap_drive(*local.store, 'X'), ERROR_SUCCESS);
    ASSERT_EQ(nt_drive_root('X', &root), ERROR_SUCCESS);
    EXPECT_EQ(root.host, x);
    // A failed lookup leaves the out value alone.
    root.host = "untouched";
    EXPECT_EQ(nt_drive_root('Q', &root), ERROR_INVALID_DRIVE);
    EXPECT_EQ(root.host, "untouched");
    EXPECT_EQ(nt_drive_root('1', &root), ERROR_INVALID_DRIVE);
  }
  // Without a hold every call reads the database.
  EXPECT_EQ(nt_drive_root('X', &root), ERROR_INVALID_DRIVE);
  net.map('X', y);
  ASSERT_EQ(nt_drive_root('X', &root), ERROR_SUCCESS);
  EXPECT_EQ(root.host, y);
}

TEST(Drives, ConnectionsOfThisProcessAreSeenInsideAHold) {
  FilesTestNetwork net;
  NtRootDir root;
  NtDriveRootHold hold;
  EXPECT_EQ(nt_drive_root('F', &root), ERROR_INVALID_DRIVE);
  NETRESOURCEA res = {};
  res.dwType = RESOURCETYPE_DISK;
  res.lpLocalName = const_cast<char*>("F:");
  res.lpRemoteName = const_cast<char*>("\\\\SRV2\\C$");
  ASSERT_EQ(WNetAddConnection2A(&res, nullptr, nullptr, 0), ERROR_SUCCESS);
  ASSERT_EQ(nt_drive_root('F', &root), ERROR_SUCCESS);
  EXPECT_EQ(root.host, net.drive_c("SRV2"));
  ASSERT_EQ(WNetCancelConnection2A("F:", 0, FALSE), ERROR_SUCCESS);
  EXPECT_EQ(nt_drive_root('F', &root), ERROR_INVALID_DRIVE);
  // A refused connection changes nothing and keeps what the hold knows.
  ASSERT_EQ(nt_drive_root('C', &root), ERROR_SUCCESS);
  res.lpLocalName = const_cast<char*>("C:");
  EXPECT_EQ(WNetAddConnection2A(&res, nullptr, nullptr, 0), ERROR_ALREADY_ASSIGNED);
  NtRootDir again;
  ASSERT_EQ(nt_drive_root('C', &again), ERROR_SUCCESS);
  EXPECT_EQ(again.host, root.host);
}

}  // namespace
