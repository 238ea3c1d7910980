// Free space of a volume in the two shapes Win32 offers: the byte counts of
// GetDiskFreeSpaceEx (A in volume.h, W here) and the cluster counts of
// GetDiskFreeSpace.
//
// A volume is the host file system that holds the directory's folder
// (statvfs). The directory may be any existing directory on a drive or
// share, not only a root; null means the current directory. Errors: the
// path errors, ERROR_DIRECTORY for a file.
#pragma once

#include "platform/files/volume.h"
#include "platform/win32_types.h"

BOOL GetDiskFreeSpaceExW(const WCHAR* directory, ULARGE_INTEGER* free_to_caller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* total_free);

// Clusters of the volume. Sectors are 512 bytes (fewer when the file system's
// block is smaller); a cluster is one file system block. When the volume
// holds more than 0xFFFFFFFF clusters, the cluster is doubled until the
// total fits in 32 bits, so that clusters times cluster size never
// overstates the volume (the free counts are then rounded down to whole
// clusters). Null result pointers are left out.
BOOL GetDiskFreeSpaceA(const char* root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector,
                       DWORD* free_clusters, DWORD* total_clusters);
BOOL GetDiskFreeSpaceW(const WCHAR* root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector,
                       DWORD* free_clusters, DWORD* total_clusters);

// The cluster shape of a volume of `total_blocks` blocks of `block_size`
// bytes of which `free_blocks` are available to the caller, as
// GetDiskFreeSpace reports it.
struct NtClusterCounts {
  DWORD sectors_per_cluster = 0;
  DWORD bytes_per_sector = 0;
  DWORD free_clusters = 0;
  DWORD total_clusters = 0;
};
NtClusterCounts nt_cluster_counts(uint64_t block_size, uint64_t total_blocks,
                                  uint64_t free_blocks);
