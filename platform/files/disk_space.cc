#include "platform/files/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <string>

#include "platform/files/current_directory.h"
#include "platform/files/file_errors.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"

namespace {

constexpr uint64_t kSectorBytes = 512;
constexpr uint64_t kMaxClusters = 0xFFFFFFFFull;

BOOL fail_bool(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// The host folder of an NT directory given as UTF-8 (empty: the current
// directory); ERROR_SUCCESS or the error.
DWORD host_directory(const std::string* utf8, std::string* host) {
  std::string full;
  DWORD err = nt_get_full_path(utf8 ? *utf8 : nt_current_directory(), &full);
  if (err != ERROR_SUCCESS) return err;
  NtResolvedPath resolved;
  err = nt_resolve_full_path(full, &resolved);
  if (err != ERROR_SUCCESS) return err;
  *host = resolved.host;
  return ERROR_SUCCESS;
}

// statvfs of an existing host directory.
DWORD volume_of(const std::string& host, struct statvfs* vfs) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return nt_lookup_error(errno, host);
  if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
  if (statvfs(host.c_str(), vfs) != 0) return win32_error_from_errno(errno);
  return ERROR_SUCCESS;
}

uint64_t block_size(const struct statvfs& vfs) { return vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize; }

DWORD wide_directory(const WCHAR* directory, std::string* host) {
  if (!directory) return host_directory(nullptr, host);
  std::string utf8 = nt_wtf8_from_utf16(std::u16string_view(directory));
  if (utf8.empty()) return ERROR_PATH_NOT_FOUND;
  return host_directory(&utf8, host);
}

BOOL clusters_of(const std::string& host, DWORD* sectors_per_cluster, DWORD* bytes_per_sector,
                 DWORD* free_clusters, DWORD* total_clusters) {
  struct statvfs vfs;
  DWORD err = volume_of(host, &vfs);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  NtClusterCounts counts = nt_cluster_counts(block_size(vfs), vfs.f_blocks, vfs.f_bavail);
  if (sectors_per_cluster) *sectors_per_cluster = counts.sectors_per_cluster;
  if (bytes_per_sector) *bytes_per_sector = counts.bytes_per_sector;
  if (free_clusters) *free_clusters = counts.free_clusters;
  if (total_clusters) *total_clusters = counts.total_clusters;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

NtClusterCounts nt_cluster_counts(uint64_t block_size, uint64_t total_blocks,
                                  uint64_t free_blocks) {
  NtClusterCounts counts;
  if (block_size == 0) block_size = kSectorBytes;
  uint64_t sector = block_size < kSectorBytes ? block_size : kSectorBytes;
  uint64_t sectors = block_size / sector;  // per block
  // Whole blocks per cluster, doubled until the total fits in 32 bits.
  uint64_t blocks_per_cluster = 1;
  while (total_blocks / blocks_per_cluster > kMaxClusters) blocks_per_cluster *= 2;
  uint64_t spc = sectors * blocks_per_cluster;
  counts.sectors_per_cluster = spc > kMaxClusters ? static_cast<DWORD>(kMaxClusters)
                                                  : static_cast<DWORD>(spc);
  counts.bytes_per_sector = static_cast<DWORD>(sector);
  counts.total_clusters = static_cast<DWORD>(total_blocks / blocks_per_cluster);
  uint64_t free_clusters = free_blocks / blocks_per_cluster;
  counts.free_clusters = free_clusters > counts.total_clusters
                             ? counts.total_clusters
                             : static_cast<DWORD>(free_clusters);
  return counts;
}

BOOL GetDiskFreeSpaceExW(const WCHAR* directory, ULARGE_INTEGER* free_to_caller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* total_free) {
  std::string host;
  DWORD err = wide_directory(directory, &host);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  struct statvfs vfs;
  err = volume_of(host, &vfs);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  const uint64_t unit = block_size(vfs);
  if (free_to_caller) free_to_caller->QuadPart = static_cast<uint64_t>(vfs.f_bavail) * unit;
  if (total) total->QuadPart = static_cast<uint64_t>(vfs.f_blocks) * unit;
  if (total_free) total_free->QuadPart = static_cast<uint64_t>(vfs.f_bfree) * unit;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetDiskFreeSpaceA(const char* root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector,
                       DWORD* free_clusters, DWORD* total_clusters) {
  std::string host;
  if (root) {
    if (!nt_host_path(root, &host)) return FALSE;
  } else {
    DWORD err = host_directory(nullptr, &host);
    if (err != ERROR_SUCCESS) return fail_bool(err);
  }
  return clusters_of(host, sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters);
}

BOOL GetDiskFreeSpaceW(const WCHAR* root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector,
                       DWORD* free_clusters, DWORD* total_clusters) {
  std::string host;
  DWORD err = wide_directory(root, &host);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  return clusters_of(host, sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters);
}
