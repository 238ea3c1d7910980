// Drives and volumes: GetLogicalDrives, GetDriveTypeA, GetDiskFreeSpaceExA,
// GetVolumeInformationA and SetVolumeLabelA.
//
// The drives are those of the local machine's drive table and the current
// user's network connections (drives.h). A volume is the host file system
// that holds the drive's folder: its sizes come from statvfs, its serial
// number from the file system id; its file system is reported as "NTFS".
// The volume label is kept in the extended attribute "user.nt.label" of the
// drive's (or share's) root folder.
#pragma once

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;

// File system flags reported by GetVolumeInformationA.
constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x2;
constexpr DWORD FILE_UNICODE_ON_DISK = 0x4;
constexpr DWORD FILE_PERSISTENT_ACLS = 0x8;

// Longest volume label, in characters.
constexpr DWORD NT_MAX_VOLUME_LABEL = 32;

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};

// Bit 0 for A: up to bit 25 for Z:, one for every drive the user sees; 0
// with the error when the machine's store cannot be read.
DWORD GetLogicalDrives();

// The type of the drive whose root is given: "C:\", "C:" or "c:\" (null:
// the drive of the current directory), or "\\SRV\SHARE\" (remote when the
// share can be reached). A remote drive is DRIVE_REMOTE even while its
// server is offline. DRIVE_NO_ROOT_DIR for an unmapped letter, a share
// that cannot be reached, or text that names no root (such as "C:\dir").
UINT GetDriveTypeA(const char* root);

// Space on the volume that holds `directory` (any existing directory; null:
// the current directory). Null result pointers are left out. Errors: the
// path errors, ERROR_DIRECTORY for a file.
BOOL GetDiskFreeSpaceExA(const char* directory, ULARGE_INTEGER* free_to_caller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* total_free);

// Label, serial, longest name (255), flags and file system name ("NTFS") of
// the volume whose root is given ("C:\" or "\\SRV\SHARE\", the trailing
// backslash required; null: the root of the current directory). Null
// pointers and zero sizes are left out. Errors: ERROR_INVALID_NAME for text
// that is no root path, ERROR_DIR_NOT_ROOT for a directory below the root,
// the path errors (an unmapped letter: ERROR_PATH_NOT_FOUND),
// ERROR_BAD_LENGTH when a buffer is too small for its text.
BOOL GetVolumeInformationA(const char* root, char* volume_name, DWORD volume_name_size,
                           DWORD* serial_number, DWORD* max_component_length,
                           DWORD* file_system_flags, char* file_system_name,
                           DWORD file_system_name_size);

// Sets (or with null or "" removes) the label of the volume at `root`.
// ERROR_INVALID_NAME for a label of more than 32 characters or with a
// character NT forbids in labels (* ? / \ | . , ; : + = [ ] < > ").
BOOL SetVolumeLabelA(const char* root, const char* label);
