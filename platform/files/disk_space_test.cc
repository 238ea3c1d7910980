#include "platform/files/disk_space.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include "platform/files/files_test_env.h"
#include "platform/kernel/error.h"

TEST(DiskSpace, ClusterShapeOfLargeAndSmallVolumes) {
  // 4 KB blocks: 8 sectors of 512 bytes per cluster, counts as they are.
  NtClusterCounts c = nt_cluster_counts(4096, 1000, 250);
  EXPECT_EQ(c.bytes_per_sector, 512u);
  EXPECT_EQ(c.sectors_per_cluster, 8u);
  EXPECT_EQ(c.total_clusters, 1000u);
  EXPECT_EQ(c.free_clusters, 250u);

  // Exactly 2^32 - 1 blocks still fit; one more doubles the cluster.
  c = nt_cluster_counts(4096, 0xFFFFFFFFull, 7);
  EXPECT_EQ(c.sectors_per_cluster, 8u);
  EXPECT_EQ(c.total_clusters, 0xFFFFFFFFu);
  c = nt_cluster_counts(4096, 0x100000000ull, 0x100000000ull);
  EXPECT_EQ(c.sectors_per_cluster, 16u);
  EXPECT_EQ(c.total_clusters, 0x80000000u);
  EXPECT_EQ(c.free_clusters, 0x80000000u);
  // Never more bytes than the volume has: clusters round down.
  c = nt_cluster_counts(4096, 0x300000001ull, 5);
  EXPECT_EQ(c.sectors_per_cluster, 32u);
  EXPECT_EQ(c.total_clusters, 0xC0000000u);
  EXPECT_EQ(c.free_clusters, 1u);
  EXPECT_LE(uint64_t{c.total_clusters} * c.sectors_per_cluster * c.bytes_per_sector,
            0x300000001ull * 4096);

  // Blocks smaller than a sector make the sector; no block size is taken as 512.
  c = nt_cluster_counts(256, 10, 10);
  EXPECT_EQ(c.bytes_per_sector, 256u);
  EXPECT_EQ(c.sectors_per_cluster, 1u);
  c = nt_cluster_counts(0, 10, 3);
  EXPECT_EQ(c.bytes_per_sector, 512u);
  EXPECT_EQ(c.sectors_per_cluster, 1u);
  EXPECT_EQ(c.free_clusters, 3u);
}

TEST(DiskSpace, WideAndClusterFormsAgreeWithTheVolume) {
  FilesTestNetwork net;
  std::string d = net.folder("d");
  net.map('D', d);
  net.write(d + "/file.txt", "x");
  struct statvfs vfs;
  ASSERT_EQ(statvfs(d.c_str(), &vfs), 0);

  ULARGE_INTEGER caller, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"D:\\", &caller, &total, &free));
  EXPECT_EQ(total.QuadPart, static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize);
  EXPECT_LE(caller.QuadPart, free.QuadPart);
  ULARGE_INTEGER narrow;
  ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", nullptr, &narrow, nullptr));
  EXPECT_EQ(narrow.QuadPart, total.QuadPart);
  EXPECT_TRUE(GetDiskFreeSpaceExW(u"\\\\SRV1\\ADMIN$\\", &caller, nullptr, nullptr));

  DWORD spc = 0, bps = 0, free_clusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA("D:\\", &spc, &bps, &free_clusters, &clusters));
  EXPECT_GT(spc, 0u);
  EXPECT_GT(bps, 0u);
  EXPECT_LE(free_clusters, clusters);
  EXPECT_LE(uint64_t{clusters} * spc * bps, total.QuadPart);
  EXPECT_GT(uint64_t{clusters} * spc * bps * 2, total.QuadPart);
  DWORD wide_clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceW(u"D:\\", nullptr, nullptr, nullptr, &wide_clusters));
  EXPECT_EQ(wide_clusters, clusters);

  // Errors as the byte form reports them.
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"D:\\file.txt", &caller, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(GetDiskFreeSpaceA("Q:\\", &spc, &bps, &free_clusters, &clusters));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(GetDiskFreeSpaceW(u"D:\\none\\", &spc, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"", &caller, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // Null: the volume of the current directory.
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));
  DWORD current_clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA(nullptr, nullptr, nullptr, nullptr, &current_clusters));
  EXPECT_EQ(current_clusters, clusters);
  ULARGE_INTEGER current_total;
  ASSERT_TRUE(GetDiskFreeSpaceExW(nullptr, nullptr, &current_total, nullptr));
  EXPECT_EQ(current_total.QuadPart, total.QuadPart);
}
