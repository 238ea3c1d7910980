#include "platform/files/volume.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/current_directory.h"
#include "platform/files/drives.h"
#include "platform/files/file_errors.h"
#include "platform/files/host_names.h"
#include "platform/files/nt_path.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

constexpr const char* kLabelXattr = "user.nt.label";

BOOL fail_bool(DWORD code) {
  SetLastError(code);
  return FALSE;
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

UINT drive_type_number(NtDriveType type) { return static_cast<UINT>(type); }

// The root a volume call names: "X:\" or "\\SRV\SHARE\" (UTF-8), or the
// root of the current directory for null. ERROR_INVALID_NAME for other
// text, ERROR_DIR_NOT_ROOT for a directory below a root.
DWORD volume_root(const char* given, NtRootDir* root) {
  std::string full;
  if (!given) {
    full = nt_path_root(nt_current_directory());
  } else {
    std::string text = nt_ansi_to_host(given);
    if (text.empty() || !nt_is_separator(text.back())) return ERROR_INVALID_NAME;
    DWORD err = nt_get_full_path(text, &full);
    if (err != ERROR_SUCCESS) return err;
  }
  NtPathParts parts = nt_split_full_path(full);
  if (!parts.names.empty()) return ERROR_DIR_NOT_ROOT;
  switch (parts.kind) {
    case NtPathKind::drive: {
      DWORD err = nt_drive_root(parts.drive, root);
      return err == ERROR_INVALID_DRIVE ? ERROR_PATH_NOT_FOUND : err;
    }
    case NtPathKind::unc:
      return nt_share_root(parts.server, parts.share, root);
    case NtPathKind::host:
      root->host = "/";
      root->drive_root = true;
      root->volume = "/";
      return ERROR_SUCCESS;
    case NtPathKind::device:
      break;
  }
  return ERROR_INVALID_NAME;
}

// Copies `text` into a buffer of `size` bytes; false when it does not fit.
bool copy_text(const std::string& text, char* buffer, DWORD size) {
  if (!buffer || size == 0) return true;
  if (text.size() + 1 > size) return false;
  memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

bool label_allowed(const std::string& label) {
  if (nt_path_chars(label) > NT_MAX_VOLUME_LABEL) return false;
  for (unsigned char c : label) {
    if (c < 0x20 || strchr("*?/\\|.,;:+=[]<>\"", c) != nullptr) return false;
  }
  return true;
}

}  // namespace

DWORD GetLogicalDrives() {
  std::vector<NtLocalDrive> drives;
  DWORD err = nt_local_drives(&drives);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return 0;
  }
  DWORD mask = 0;
  for (const NtLocalDrive& d : drives) mask |= 1u << (d.letter - 'A');
  SetLastError(ERROR_SUCCESS);
  return mask;
}

UINT GetDriveTypeA(const char* root) {
  std::string text = root ? nt_ansi_to_host(root) : nt_path_root(nt_current_directory());
  if (text.size() >= 2 && is_letter(text[0]) && text[1] == ':' &&
      (text.size() == 2 || (text.size() == 3 && nt_is_separator(text[2])))) {
    NtLocalDrive drive;
    if (nt_local_drive(text[0], &drive) != ERROR_SUCCESS) return DRIVE_NO_ROOT_DIR;
    return drive_type_number(drive.type);
  }
  std::string full;
  if (nt_get_full_path(text, &full) != ERROR_SUCCESS) return DRIVE_NO_ROOT_DIR;
  NtPathParts parts = nt_split_full_path(full);
  if (!parts.names.empty()) return DRIVE_NO_ROOT_DIR;
  if (parts.kind == NtPathKind::unc) {
    NtRootDir share;
    return nt_share_root(parts.server, parts.share, &share) == ERROR_SUCCESS ? DRIVE_REMOTE
                                                                              : DRIVE_NO_ROOT_DIR;
  }
  if (parts.kind == NtPathKind::host) return DRIVE_FIXED;
  return DRIVE_NO_ROOT_DIR;
}

BOOL GetDiskFreeSpaceExA(const char* directory, ULARGE_INTEGER* free_to_caller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* total_free) {
  std::string host;
  if (directory) {
    if (!nt_host_path(directory, &host)) return FALSE;
  } else {
    NtResolvedPath current;
    DWORD err = nt_resolve_full_path(nt_current_directory(), &current);
    if (err != ERROR_SUCCESS) return fail_bool(err);
    host = current.host;
  }
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return fail_bool(nt_lookup_error(errno, host));
  if (!S_ISDIR(st.st_mode)) return fail_bool(ERROR_DIRECTORY);
  struct statvfs vfs;
  if (statvfs(host.c_str(), &vfs) != 0) return fail_bool(win32_error_from_errno(errno));
  const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  if (free_to_caller) free_to_caller->QuadPart = static_cast<uint64_t>(vfs.f_bavail) * unit;
  if (total) total->QuadPart = static_cast<uint64_t>(vfs.f_blocks) * unit;
  if (total_free) total_free->QuadPart = static_cast<uint64_t>(vfs.f_bfree) * unit;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetVolumeInformationA(const char* root, char* volume_name, DWORD volume_name_size,
                           DWORD* serial_number, DWORD* max_component_length,
                           DWORD* file_system_flags, char* file_system_name,
                           DWORD file_system_name_size) {
  NtRootDir dir;
  DWORD err = volume_root(root, &dir);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  const std::string& volume = dir.volume.empty() ? dir.host : dir.volume;
  struct statvfs vfs;
  if (statvfs(volume.c_str(), &vfs) != 0) return fail_bool(nt_lookup_error(errno, volume));
  std::string label;
  char value[256];
  ssize_t got = getxattr(volume.c_str(), kLabelXattr, value, sizeof value);
  if (got > 0) label = nt_host_to_ansi(std::string(value, static_cast<size_t>(got)));
  if (!copy_text(label, volume_name, volume_name_size) ||
      !copy_text("NTFS", file_system_name, file_system_name_size)) {
    return fail_bool(ERROR_BAD_LENGTH);
  }
  if (serial_number) {
    uint64_t fsid = vfs.f_fsid;
    *serial_number = static_cast<DWORD>(fsid ^ (fsid >> 32));
  }
  if (max_component_length) *max_component_length = 255;
  if (file_system_flags) {
    *file_system_flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SetVolumeLabelA(const char* root, const char* label) {
  NtRootDir dir;
  DWORD err = volume_root(root, &dir);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  const std::string& volume = dir.volume.empty() ? dir.host : dir.volume;
  std::string text = label ? nt_ansi_to_host(label) : std::string();
  if (!label_allowed(text)) return fail_bool(ERROR_INVALID_NAME);
  int rc = text.empty() ? removexattr(volume.c_str(), kLabelXattr)
                        : setxattr(volume.c_str(), kLabelXattr, text.data(), text.size(), 0);
  if (rc != 0 && !(text.empty() && errno == ENODATA)) {
    return fail_bool(errno == ENOTSUP ? ERROR_NOT_SUPPORTED : nt_lookup_error(errno, volume));
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
