#include "platform/network/machine.h"

#include <gtest/gtest.h>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/network/network_test_env.h"

namespace {

TEST(MachineRole, ServerTypeBits) {
  EXPECT_EQ(nt_machine_server_type(NtMachineRole::workstation), 0x1003u);
  EXPECT_EQ(nt_machine_server_type(NtMachineRole::server), 0x9003u);
  EXPECT_EQ(nt_machine_server_type(NtMachineRole::pdc), 0x900Bu);
  EXPECT_EQ(nt_machine_server_type(NtMachineRole::bdc), 0x9013u);

  NtMachineRole role = NtMachineRole::workstation;
  EXPECT_TRUE(nt_machine_role_parse("PDC", &role));
  EXPECT_EQ(role, NtMachineRole::pdc);
  EXPECT_TRUE(nt_machine_role_parse("Server", &role));
  EXPECT_EQ(role, NtMachineRole::server);
  EXPECT_FALSE(nt_machine_role_parse("pd", &role));
  EXPECT_FALSE(nt_machine_role_parse("", &role));
  EXPECT_EQ(role, NtMachineRole::server);

  NtDriveType type = NtDriveType::fixed;
  EXPECT_TRUE(nt_drive_type_parse("CDROM", &type));
  EXPECT_EQ(static_cast<int>(type), 5);
  EXPECT_FALSE(nt_drive_type_parse("cd", &type));
}

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NtMachineInfo info;
    info.name = "SRV";
    info.lan_group = "DOM";
    info.role = NtMachineRole::bdc;
    info.comment = "first";
    ASSERT_EQ(nt_network_create(net_.root(), info), ERROR_SUCCESS);
    NtMachineRef ref;
    ASSERT_EQ(nt_open_machine("SRV", &ref), ERROR_SUCCESS);
    store_ = ref.store;
  }

  TempNetwork net_{"SRV"};
  std::shared_ptr<MachineStore> store_;
};

TEST_F(MachineTest, PropertiesRoundTrip) {
  NtMachineInfo info;
  ASSERT_EQ(nt_machine_get_info(*store_, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.role, NtMachineRole::bdc);
  EXPECT_EQ(info.comment, "first");
  ASSERT_EQ(nt_machine_set_comment(*store_, "second, with \"quotes\""), ERROR_SUCCESS);
  ASSERT_EQ(nt_machine_set_online(*store_, false), ERROR_SUCCESS);
  bool online = true;
  ASSERT_EQ(nt_machine_is_online(*store_, &online), ERROR_SUCCESS);
  EXPECT_FALSE(online);
  ASSERT_EQ(nt_machine_get_info(*store_, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.comment, "second, with \"quotes\"");
  EXPECT_FALSE(info.online);
  EXPECT_EQ(info.lan_group, "DOM");

  // Another connection (as another process would have) sees the change.
  DWORD err;
  auto other = MachineStore::open_file(store_->path(), false, &err);
  ASSERT_TRUE(other) << err;
  ASSERT_EQ(nt_machine_get_info(*other, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.comment, "second, with \"quotes\"");
}

TEST_F(MachineTest, DrivesDefaultMapRemapUnmap) {
  std::vector<NtDrive> drives;
  ASSERT_EQ(nt_machine_get_drives(*store_, &drives), ERROR_SUCCESS);
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].letter, 'C');
  EXPECT_EQ(drives[0].type, NtDriveType::fixed);
  EXPECT_EQ(drives[0].host_dir, "drives/C");
  EXPECT_EQ(nt_machine_drive_host_path(*store_, drives[0]), store_->directory() + "/drives/C");

  NtDrive d;
  d.letter = 'x';
  d.type = NtDriveType::cdrom;
  d.host_dir = "/srv/media";
  ASSERT_EQ(nt_machine_map_drive(*store_, d), ERROR_SUCCESS);
  d.letter = 'D';
  d.type = NtDriveType::removable;
  d.host_dir = "/mnt/floppy";
  ASSERT_EQ(nt_machine_map_drive(*store_, d), ERROR_SUCCESS);
  d.type = NtDriveType::remote;
  d.host_dir = "/mnt/share";
  ASSERT_EQ(nt_machine_map_drive(*store_, d), ERROR_SUCCESS);  // remaps D:

  ASSERT_EQ(nt_machine_get_drives(*store_, &drives), ERROR_SUCCESS);
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[1].letter, 'D');
  EXPECT_EQ(drives[1].type, NtDriveType::remote);
  EXPECT_EQ(drives[1].host_dir, "/mnt/share");
  EXPECT_EQ(drives[2].letter, 'X');
  EXPECT_EQ(nt_machine_drive_host_path(*store_, drives[2]), "/srv/media");

  NtDrive got;
  ASSERT_EQ(nt_machine_get_drive(*store_, 'x', &got), ERROR_SUCCESS);
  EXPECT_EQ(got.type, NtDriveType::cdrom);
  EXPECT_EQ(nt_machine_get_drive(*store_, 'Q', &got), ERROR_INVALID_DRIVE);
  EXPECT_EQ(nt_machine_get_drive(*store_, '1', &got), ERROR_INVALID_DRIVE);

  d.letter = '[';
  EXPECT_EQ(nt_machine_map_drive(*store_, d), ERROR_INVALID_PARAMETER);
  d.letter = 'E';
  d.host_dir = "";
  EXPECT_EQ(nt_machine_map_drive(*store_, d), ERROR_INVALID_PARAMETER);

  EXPECT_EQ(nt_machine_unmap_drive(*store_, 'd'), ERROR_SUCCESS);
  EXPECT_EQ(nt_machine_unmap_drive(*store_, 'D'), ERROR_INVALID_DRIVE);
  ASSERT_EQ(nt_machine_get_drives(*store_, &drives), ERROR_SUCCESS);
  EXPECT_EQ(drives.size(), 2u);
}

}  // namespace
