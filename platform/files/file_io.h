// Files through handles: CreateFileA and the calls on its handles, and
// DeleteFileA. This header also brings the other file calls of the layer:
// attributes and times (file_info.h), copies and moves (file_copy.h).
//
// Names are NT paths, resolved by nt_host_path. Opened files are NtFile
// objects in the handle table; CloseHandle closes them. Share modes are kept
// among the handles of this process: an open that the share mode of another
// open handle of the same file forbids (or whose own share mode forbids the
// access of a handle already open) fails with ERROR_SHARING_VIOLATION, and
// so do DeleteFileA and MoveFileExA on a file open without FILE_SHARE_DELETE.
// Only synchronous I/O is offered: a non-null OVERLAPPED is refused with
// ERROR_INVALID_PARAMETER.
//
// The read-only attribute protects a file as NT does: opening it for
// writing or deleting, overwriting it (CREATE_ALWAYS, TRUNCATE_EXISTING) or
// deleting it fails with ERROR_ACCESS_DENIED. Every open and delete passes
// the access check of file_access.h.
#pragma once

#include <string>
#include <sys/types.h>

#include "platform/files/file_copy.h"
#include "platform/files/file_info.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/win32_types.h"

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD DELETE = 0x00010000u;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

// Lets CreateFileA open a directory (for its attributes and times).
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;


// An open file. Later parts (attributes, security, pipes) reach the
// descriptor and the host path through it.
class NtFile : public KernelObject {
 public:
  NtFile(int fd, DWORD access, DWORD share, dev_t device, ino_t inode, std::string host_path);
  ~NtFile() override;

  int fd() const { return fd_; }
  DWORD access() const { return access_; }
  DWORD share() const { return share_; }
  const std::string& host_path() const { return host_path_; }

 private:
  int fd_;
  DWORD access_;
  DWORD share_;
  dev_t device_;
  ino_t inode_;
  std::string host_path_;
};

// Win32 results: a handle, or INVALID_HANDLE_VALUE with
//   ERROR_FILE_NOT_FOUND (2)   OPEN_EXISTING/TRUNCATE_EXISTING, no such file
//   ERROR_PATH_NOT_FOUND (3)   a directory on the way is missing
//   ERROR_ACCESS_DENIED (5)    no permission; a directory without
//                              FILE_FLAG_BACKUP_SEMANTICS (or to be
//                              overwritten); a read-only file opened for
//                              writing or deleting or to be overwritten; a
//                              hidden or system file overwritten by
//                              CREATE_ALWAYS without those attributes
//   ERROR_FILE_EXISTS (80)     CREATE_NEW on an existing file
//   ERROR_SHARING_VIOLATION (32), ERROR_INVALID_PARAMETER (87).
// On success CREATE_ALWAYS and OPEN_ALWAYS leave ERROR_ALREADY_EXISTS (183)
// when the file was there, else 0. A file made (or overwritten) gets the
// attributes R, H, S, A given in `flags_and_attributes`, and A always, as
// NT gives them. `security` and `template_file` are not read yet.
// A directory opened with FILE_FLAG_BACKUP_SEMANTICS serves GetFileTime,
// SetFileTime (with GENERIC_WRITE) and CloseHandle.
HANDLE CreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags_and_attributes, HANDLE template_file);

// Reads up to `count` bytes; TRUE with *read 0 at the end of the file.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
// Writes all `count` bytes or fails (ERROR_DISK_FULL when the disk is full).
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped);

// Moves the file pointer; the low half of the new position, or
// INVALID_SET_FILE_POINTER with the error (0 on success, since the value is
// also a valid low half). Without `distance_high` the distance is a signed
// 32-bit number and a position past 4 GB fails with ERROR_INVALID_PARAMETER;
// a position before the start fails with ERROR_NEGATIVE_SEEK.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
// Cuts or extends the file at the current position.
BOOL SetEndOfFile(HANDLE file);
// The low half of the size, the high half in *size_high when given;
// INVALID_FILE_SIZE with the error on failure (0 on success).
DWORD GetFileSize(HANDLE file, DWORD* size_high);
// Writes the file through to the disk; needs GENERIC_WRITE.
BOOL FlushFileBuffers(HANDLE file);

// Deletes a file: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED (a directory, or a read-only file),
// ERROR_SHARING_VIOLATION.
BOOL DeleteFileA(const char* name);
