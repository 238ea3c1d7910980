#include "platform/files/volume.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstring>
#include <string>

#include "platform/files/files_test_env.h"
#include "platform/files/net_connection.h"
#include "platform/kernel/error.h"

namespace {

TEST(Volumes, LogicalDrivesAndDriveTypes) {
  FilesTestNetwork net;
  EXPECT_EQ(GetLogicalDrives(), 1u << 2);  // C: only
  net.map('A', net.folder("floppy"), NtDriveType::removable);
  net.map('E', net.folder("cd"), NtDriveType::cdrom);
  net.map('Z', "\\\\SRV1\\C$", NtDriveType::remote);
  net.map('Y', "\\\\WS9\\C$", NtDriveType::remote);
  EXPECT_EQ(GetLogicalDrives(), (1u << 0) | (1u << 2) | (1u << 4) | (1u << 24) | (1u << 25));

  EXPECT_EQ(GetDriveTypeA("C:\\"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeA("c:"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeA("A:\\"), DRIVE_REMOVABLE);
  EXPECT_EQ(GetDriveTypeA("E:\\"), DRIVE_CDROM);
  EXPECT_EQ(GetDriveTypeA("Z:\\"), DRIVE_REMOTE);
  EXPECT_EQ(GetDriveTypeA("Y:\\"), DRIVE_REMOTE);  // even while its server is off
  EXPECT_EQ(GetDriveTypeA("Q:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeA("C:\\WINNT\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeA("\\\\SRV1\\C$\\"), DRIVE_REMOTE);
  EXPECT_EQ(GetDriveTypeA("\\\\WS9\\C$\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeA("\\\\SRV1\\NONE\\"), DRIVE_NO_ROOT_DIR);
  ASSERT_TRUE(SetCurrentDirectoryA("E:\\"));
  EXPECT_EQ(GetDriveTypeA(nullptr), DRIVE_CDROM);

  // A user's connection counts as a drive of that user only.
  NETRESOURCEA res = {};
  res.dwType = RESOURCETYPE_DISK;
  res.lpLocalName = const_cast<char*>("K:");
  res.lpRemoteName = const_cast<char*>("\\\\SRV2\\C$");
  ASSERT_EQ(WNetAddConnection2A(&res, nullptr, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(GetDriveTypeA("K:\\"), DRIVE_REMOTE);
  EXPECT_TRUE(GetLogicalDrives() & (1u << 10));
  net.env().set("USERNAME", "someone");
  EXPECT_FALSE(GetLogicalDrives() & (1u << 10));
  EXPECT_EQ(GetDriveTypeA("K:\\"), DRIVE_NO_ROOT_DIR);
}

TEST(Volumes, FreeSpaceAndVolumeInformation) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.map('D', d);
  net.write(d + "/file.txt", "x");

  ULARGE_INTEGER caller, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", &caller, &total, &free));
  struct statvfs vfs;
  ASSERT_EQ(statvfs(d.c_str(), &vfs), 0);
  EXPECT_EQ(total.QuadPart, static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize);
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(caller.QuadPart, free.QuadPart);
  EXPECT_LE(free.QuadPart, total.QuadPart);
  EXPECT_TRUE(GetDiskFreeSpaceExA("\\\\SRV1\\ADMIN$", &caller, nullptr, nullptr));
  EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\file.txt", &caller, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(GetDiskFreeSpaceExA("Q:\\", &caller, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\none\\", &caller, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  char label[40], fs[8];
  DWORD serial = 0, longest = 0, flags = 0;
  ASSERT_TRUE(GetVolumeInformationA("D:\\", label, sizeof label, &serial, &longest, &flags, fs,
                                    sizeof fs));
  EXPECT_STREQ(label, "");
  EXPECT_STREQ(fs, "NTFS");
  EXPECT_EQ(longest, 255u);
  EXPECT_EQ(flags, FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS);
  uint64_t fsid = vfs.f_fsid;
  EXPECT_EQ(serial, static_cast<DWORD>(fsid ^ (fsid >> 32)));

  ASSERT_TRUE(SetVolumeLabelA("D:\\", "DATA DISK"));
  ASSERT_TRUE(GetVolumeInformationA("d:\\", label, sizeof label, nullptr, nullptr, nullptr,
                                    nullptr, 0));
  EXPECT_STREQ(label, "DATA DISK");
  // A buffer too small for the label fails; the label is never cut.
  EXPECT_FALSE(GetVolumeInformationA("D:\\", label, 9, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
  EXPECT_FALSE(GetVolumeInformationA("D:\\", nullptr, 0, nullptr, nullptr, nullptr, fs, 4));
  EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
  // 32 characters at most, and none NT forbids.
  EXPECT_TRUE(SetVolumeLabelA("D:\\", std::string(32, 'L').c_str()));
  EXPECT_FALSE(SetVolumeLabelA("D:\\", std::string(33, 'L').c_str()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_FALSE(SetVolumeLabelA("D:\\", "A.B"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_TRUE(SetVolumeLabelA("D:\\", nullptr));
  EXPECT_TRUE(SetVolumeLabelA("D:\\", ""));  // removing twice is fine
  ASSERT_TRUE(GetVolumeInformationA("D:\\", label, sizeof label, nullptr, nullptr, nullptr,
                                    nullptr, 0));
  EXPECT_STREQ(label, "");

  // A share names the volume of its drive; the label of SRV1's C: shows.
  ASSERT_TRUE(SetVolumeLabelA("\\\\SRV1\\C$\\", "SRV1 SYSTEM"));
  ASSERT_TRUE(GetVolumeInformationA("\\\\SRV1\\ADMIN$\\", label, sizeof label, nullptr,
                                    nullptr, nullptr, nullptr, 0));
  EXPECT_STREQ(label, "SRV1 SYSTEM");

  EXPECT_FALSE(GetVolumeInformationA("D:", label, sizeof label, nullptr, nullptr, nullptr,
                                     nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_FALSE(GetVolumeInformationA("D:\\sub\\", label, sizeof label, nullptr, nullptr,
                                     nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_ROOT);
  EXPECT_FALSE(GetVolumeInformationA("Q:\\", label, sizeof label, nullptr, nullptr, nullptr,
                                     nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(GetVolumeInformationA("\\\\WS9\\C$\\", label, sizeof label, nullptr, nullptr,
                                     nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

}  // namespace
