// File attributes and times.
//
// The attributes R, H, S and A live in the extended attribute
// "user.nt.attrib" of the host file, as the letters of those set ("RA");
// no attribute (or none set) means FILE_ATTRIBUTE_NORMAL. D comes from the
// file system; C is never set. Where the host file system keeps no
// extended attributes, every file is NORMAL and setting R, H, S or A fails
// with ERROR_NOT_SUPPORTED.
//
// Times are UTC FILETIMEs, with the host's nanoseconds cut to NT's 100 ns:
//   last write   the host's modification time
//   last access  the host's access time
//   creation     the extended attribute "user.nt.ctime" (decimal FILETIME)
//                when it was set (SetFileTime, CopyFileA); else the host's
//                birth time where the file system records one, else its
//                change time
#pragma once

#include <string>
#include <sys/stat.h>

#include "platform/win32_types.h"

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_COMPRESSED = 0x800;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// The attributes kept in "user.nt.attrib".
constexpr DWORD NT_STORED_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

constexpr const char* NT_ATTRIB_XATTR = "user.nt.attrib";
constexpr const char* NT_CTIME_XATTR = "user.nt.ctime";

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
};

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0, GetFileExMaxInfoLevel = 1 };

// The attributes (R H S A, D, or NORMAL), or INVALID_FILE_ATTRIBUTES with
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND or the path errors.
DWORD GetFileAttributesA(const char* name);

// Sets R, H, S and A (other bits are ignored; NORMAL or 0 clears them all).
// Allowed on read-only files (that is how R is cleared).
BOOL SetFileAttributesA(const char* name, DWORD attributes);

// Attributes, times and size at level GetFileExInfoStandard (any other
// level: ERROR_INVALID_PARAMETER).
BOOL GetFileAttributesExA(const char* name, GET_FILEEX_INFO_LEVELS level, void* info);

// Times of an open file or directory; null pointers are left out. Setting
// needs a handle opened with GENERIC_WRITE (ERROR_ACCESS_DENIED otherwise);
// a time of all ones (0xFFFFFFFF both halves) or 0 leaves that time.
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access, FILETIME* last_write);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                 const FILETIME* last_write);

// What the calls above report of one host file.
struct NtFileInfo {
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  uint64_t creation = 0;  // UTC FILETIMEs
  uint64_t last_access = 0;
  uint64_t last_write = 0;
  uint64_t size = 0;  // 0 for directories
};

// What nt_file_info_at leaves out, for walks of large trees that do not
// show creation times: NT_INFO_NO_CREATION reads no "user.nt.ctime" and
// gives a creation time of 0; the attributes then cost one read of
// "user.nt.attrib" (not a listing of the file's extended attributes).
// NT_INFO_NO_ATTRIBUTES gives FILE_ATTRIBUTE_DIRECTORY or _NORMAL only (no
// R, H, S, A); with NT_INFO_NO_CREATION too, no extended attribute is read.
constexpr DWORD NT_INFO_ALL = 0;
constexpr DWORD NT_INFO_NO_CREATION = 0x1;
constexpr DWORD NT_INFO_NO_ATTRIBUTES = 0x2;
// NT_INFO_TRUST_MARK (not a leave-out, but taken with them): the caller's
// network trusts the attribute mark (attribute_marks.h), so a regular file
// without it has no R, H, S, A and, with NT_INFO_NO_CREATION, costs the
// statx alone.
constexpr DWORD NT_INFO_TRUST_MARK = 0x4;

// The information of `name` in the directory `dirfd` (or of the path `name`
// with AT_FDCWD), following symbolic links. `host` is the file's host path,
// for reading its extended attributes. ERROR_SUCCESS or the lookup error.
DWORD nt_file_info_at(int dirfd, const char* name, const std::string& host, NtFileInfo* info,
                      DWORD leave_out = NT_INFO_ALL);
// The same for a host path.
DWORD nt_file_info(const std::string& host, NtFileInfo* info);

// R H S A of a host file from its extended attribute (0 when none), read
// whatever the file's attribute mark says.
DWORD nt_stored_attributes(const std::string& host);
DWORD nt_stored_attributes_fd(int fd);
// Writes R H S A (others ignored); 0 removes the extended attribute. The
// attribute mark of a regular file (attribute_marks.h) follows: set before
// the attribute is written (a file whose mode cannot be changed fails with
// that error and keeps its attributes), cleared after it is removed.
DWORD nt_store_attributes(const std::string& host, DWORD attributes);
DWORD nt_store_attributes_fd(int fd, DWORD attributes);
// R H S A and the kept creation time (0 when none) of an open file: one
// listing of its extended attributes, then a read of each that is there
// (a file that carries neither costs the listing alone).
void nt_stored_info_fd(int fd, DWORD* attributes, uint64_t* creation);
// The creation time kept for a file (0 when none is kept).
uint64_t nt_stored_creation_time_fd(int fd);
DWORD nt_store_creation_time_fd(int fd, uint64_t filetime);

// True when the host file carries the read-only attribute.
bool nt_is_read_only(const std::string& host);

// Letters of attributes for "user.nt.attrib", and back.
std::string nt_attribute_letters(DWORD attributes);
DWORD nt_parse_attribute_letters(const char* text, size_t length);

// UTC FILETIME of a host time stamp, and back.
uint64_t nt_filetime_of(const struct timespec& ts);
struct timespec nt_timespec_of(uint64_t filetime);
