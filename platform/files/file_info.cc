#include "platform/files/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files/attribute_marks.h"
#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/file_io.h"
#include "platform/files/path.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"

namespace {

constexpr uint64_t kTicks = FILETIME_TICKS_PER_SECOND;

uint64_t parse_filetime(const char* text, ssize_t length) {
  uint64_t value = 0;
  if (length <= 0 || length > 20) return 0;
  for (ssize_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  return value;
}

uint64_t filetime_of(const struct statx_timestamp& t) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(t.tv_sec);
  ts.tv_nsec = static_cast<long>(t.tv_nsec);
  return nt_filetime_of(ts);
}

// The extended attribute calls relative to a directory descriptor
// (Linux 6.13 and later); -1 with ENOSYS where the kernel lacks them, and
// then the path-based calls serve.
#ifndef SYS_listxattrat
#define SYS_listxattrat 465
#endif
#ifndef SYS_getxattrat
#define SYS_getxattrat 464
#endif

struct XattrArgs {
  uint64_t value;
  uint32_t size;
  uint32_t flags;
};

std::atomic<bool> g_at_calls{true};

// Which of the layer's extended attributes a file has, from its name list
// (`length` as listxattr returned it). False when there is nothing to read:
// no list, or no extended attributes there. A list too long for the buffer
// asks for both.
bool stored_names(const char* names, ssize_t length, bool* has_attrib, bool* has_ctime) {
  if (length < 0) {
    if (errno != ERANGE) return false;
    *has_attrib = *has_ctime = true;
    return true;
  }
  for (ssize_t pos = 0; pos < length;) {
    const char* entry = names + pos;
    size_t n = strnlen(entry, static_cast<size_t>(length - pos));
    if (strcmp(entry, NT_ATTRIB_XATTR) == 0) *has_attrib = true;
    if (strcmp(entry, NT_CTIME_XATTR) == 0) *has_ctime = true;
    pos += static_cast<ssize_t>(n) + 1;
  }
  return true;
}

ssize_t list_at(int dirfd, const char* name, const std::string& host, char* list, size_t size) {
  if (dirfd != AT_FDCWD && g_at_calls.load(std::memory_order_relaxed)) {
    long rc = syscall(SYS_listxattrat, dirfd, name, *name ? 0 : AT_EMPTY_PATH, list, size);
    if (rc >= 0 || errno != ENOSYS) return rc;
    g_at_calls.store(false, std::memory_order_relaxed);
  }
  return listxattr(host.c_str(), list, size);
}

ssize_t get_at(int dirfd, const char* name, const std::string& host, const char* attribute,
               char* value, size_t size) {
  if (dirfd != AT_FDCWD && g_at_calls.load(std::memory_order_relaxed)) {
    XattrArgs args{reinterpret_cast<uintptr_t>(value), static_cast<uint32_t>(size), 0};
    long rc = syscall(SYS_getxattrat, dirfd, name, *name ? 0 : AT_EMPTY_PATH, attribute, &args,
                      sizeof args);
    if (rc >= 0 || errno != ENOSYS) return rc;
    g_at_calls.store(false, std::memory_order_relaxed);
  }
  return getxattr(host.c_str(), attribute, value, size);
}

// Reads "user.nt.attrib" and "user.nt.ctime" of a file (`name` in `dirfd`,
// or the host path). One list call tells which of them are there, so a
// file without any costs one call. Without `creation` the attributes alone
// are read, with one call.
void read_nt_xattrs(int dirfd, const char* name, const std::string& host, DWORD* attributes,
                    uint64_t* creation) {
  *attributes = 0;
  if (creation == nullptr) {
    // The attributes alone: one read, whatever else the file carries.
    char value[32];
    ssize_t got = get_at(dirfd, name, host, NT_ATTRIB_XATTR, value, sizeof value);
    if (got > 0) *attributes = nt_parse_attribute_letters(value, static_cast<size_t>(got));
    return;
  }
  *creation = 0;
  char names[512];
  ssize_t length = list_at(dirfd, name, host, names, sizeof names);
  bool has_attrib = false, has_ctime = false;
  if (!stored_names(names, length, &has_attrib, &has_ctime)) return;
  char value[32];
  if (has_attrib) {
    ssize_t got = get_at(dirfd, name, host, NT_ATTRIB_XATTR, value, sizeof value);
    if (got > 0) *attributes = nt_parse_attribute_letters(value, static_cast<size_t>(got));
  }
  if (has_ctime) {
    ssize_t got = get_at(dirfd, name, host, NT_CTIME_XATTR, value, sizeof value);
    if (got > 0) *creation = parse_filetime(value, got);
  }
}

BOOL fail_bool(DWORD code) {
  SetLastError(code);
  return FALSE;
}

std::shared_ptr<NtFile> file_of(HANDLE handle) { return nt_lookup_handle_as<NtFile>(handle); }

bool xattrs_unsupported(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

}  // namespace

std::string nt_attribute_letters(DWORD attributes) {
  std::string letters;
  if (attributes & FILE_ATTRIBUTE_READONLY) letters += 'R';
  if (attributes & FILE_ATTRIBUTE_HIDDEN) letters += 'H';
  if (attributes & FILE_ATTRIBUTE_SYSTEM) letters += 'S';
  if (attributes & FILE_ATTRIBUTE_ARCHIVE) letters += 'A';
  return letters;
}

DWORD nt_parse_attribute_letters(const char* text, size_t length) {
  DWORD attributes = 0;
  for (size_t i = 0; i < length; ++i) {
    switch (text[i]) {
      case 'R': case 'r': attributes |= FILE_ATTRIBUTE_READONLY; break;
      case 'H': case 'h': attributes |= FILE_ATTRIBUTE_HIDDEN; break;
      case 'S': case 's': attributes |= FILE_ATTRIBUTE_SYSTEM; break;
      case 'A': case 'a': attributes |= FILE_ATTRIBUTE_ARCHIVE; break;
      default: break;
    }
  }
  return attributes;
}

uint64_t nt_filetime_of(const struct timespec& ts) {
  int64_t seconds = static_cast<int64_t>(ts.tv_sec) + FILETIME_UNIX_EPOCH_SECONDS;
  if (seconds < 0) return 0;
  return static_cast<uint64_t>(seconds) * kTicks + static_cast<uint64_t>(ts.tv_nsec) / 100;
}

struct timespec nt_timespec_of(uint64_t filetime) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(filetime / kTicks) -
                                  FILETIME_UNIX_EPOCH_SECONDS);
  ts.tv_nsec = static_cast<long>(filetime % kTicks) * 100;
  return ts;
}

DWORD nt_stored_attributes(const std::string& host) {
  char value[32];
  ssize_t got = getxattr(host.c_str(), NT_ATTRIB_XATTR, value, sizeof value);
  return got > 0 ? nt_parse_attribute_letters(value, static_cast<size_t>(got)) : 0;
}

DWORD nt_stored_attributes_fd(int fd) {
  char value[32];
  ssize_t got = fgetxattr(fd, NT_ATTRIB_XATTR, value, sizeof value);
  return got > 0 ? nt_parse_attribute_letters(value, static_cast<size_t>(got)) : 0;
}

// The mark (attribute_marks.h) goes on before the attribute is written and
// comes off after it is removed, so a file that carries the attribute
// always carries the mark, whatever step fails or is cut short.
DWORD nt_store_attributes(const std::string& host, DWORD attributes) {
  std::string letters = nt_attribute_letters(attributes);
  if (letters.empty()) {
    if (removexattr(host.c_str(), NT_ATTRIB_XATTR) == 0 || errno == ENODATA ||
        xattrs_unsupported(errno)) {
      nt_set_attribute_mark(host, false);  // a mark left behind costs one read, no more
      return ERROR_SUCCESS;
    }
    return nt_lookup_error(errno, host);
  }
  DWORD err = nt_set_attribute_mark(host, true);
  if (err != ERROR_SUCCESS) return err;
  if (setxattr(host.c_str(), NT_ATTRIB_XATTR, letters.data(), letters.size(), 0) == 0) {
    return ERROR_SUCCESS;
  }
  return xattrs_unsupported(errno) ? ERROR_NOT_SUPPORTED : nt_lookup_error(errno, host);
}

DWORD nt_store_attributes_fd(int fd, DWORD attributes) {
  std::string letters = nt_attribute_letters(attributes);
  if (letters.empty()) {
    if (fremovexattr(fd, NT_ATTRIB_XATTR) == 0 || errno == ENODATA ||
        xattrs_unsupported(errno)) {
      nt_set_attribute_mark_fd(fd, false);
      return ERROR_SUCCESS;
    }
    return win32_error_from_errno(errno);
  }
  DWORD err = nt_set_attribute_mark_fd(fd, true);
  if (err != ERROR_SUCCESS) return err;
  if (fsetxattr(fd, NT_ATTRIB_XATTR, letters.data(), letters.size(), 0) == 0) {
    return ERROR_SUCCESS;
  }
  return xattrs_unsupported(errno) ? ERROR_NOT_SUPPORTED : win32_error_from_errno(errno);
}

void nt_stored_info_fd(int fd, DWORD* attributes, uint64_t* creation) {
  *attributes = 0;
  *creation = 0;
  char names[512];
  ssize_t length = flistxattr(fd, names, sizeof names);
  bool has_attrib = false, has_ctime = false;
  if (!stored_names(names, length, &has_attrib, &has_ctime)) return;
  if (has_attrib) *attributes = nt_stored_attributes_fd(fd);
  if (has_ctime) *creation = nt_stored_creation_time_fd(fd);
}

uint64_t nt_stored_creation_time_fd(int fd) {
  char value[32];
  ssize_t got = fgetxattr(fd, NT_CTIME_XATTR, value, sizeof value);
  return got > 0 ? parse_filetime(value, got) : 0;
}

DWORD nt_store_creation_time_fd(int fd, uint64_t filetime) {
  char text[32];
  int length = snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(filetime));
  if (fsetxattr(fd, NT_CTIME_XATTR, text, static_cast<size_t>(length), 0) == 0) {
    return ERROR_SUCCESS;
  }
  return xattrs_unsupported(errno) ? ERROR_NOT_SUPPORTED : win32_error_from_errno(errno);
}

bool nt_is_read_only(const std::string& host) {
  return (nt_stored_attributes(host) & FILE_ATTRIBUTE_READONLY) != 0;
}

DWORD nt_file_info_at(int dirfd, const char* name, const std::string& host, NtFileInfo* info,
                      DWORD leave_out) {
  const bool with_creation = (leave_out & NT_INFO_NO_CREATION) == 0;
  // Only the fields used below: type, mode (the attribute mark), size and the times.
  const unsigned mask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_ATIME |
                        (with_creation ? STATX_BTIME | STATX_CTIME : 0u);
  struct statx sx;
  const int empty = *name ? 0 : AT_EMPTY_PATH;
  if (statx(dirfd, name, empty, mask, &sx) != 0) {
    int err = errno;
    // A link whose target is gone is shown as itself.
    if (err != ENOENT || statx(dirfd, name, empty | AT_SYMLINK_NOFOLLOW, mask, &sx) != 0) {
      return nt_lookup_error(err, host);
    }
  }
  DWORD stored = 0;
  uint64_t creation = 0;
  const bool attributes_known_absent =
      nt_mode_without_attributes(sx.stx_mode, (leave_out & NT_INFO_TRUST_MARK) != 0);
  if (with_creation || ((leave_out & NT_INFO_NO_ATTRIBUTES) == 0 && !attributes_known_absent)) {
    read_nt_xattrs(dirfd, name, host, &stored, with_creation ? &creation : nullptr);
    if (leave_out & NT_INFO_NO_ATTRIBUTES) stored = 0;
  }
  const bool directory = S_ISDIR(sx.stx_mode);
  info->attributes = stored | (directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
  if (info->attributes == 0) info->attributes = FILE_ATTRIBUTE_NORMAL;
  info->size = directory ? 0 : sx.stx_size;
  info->last_write = filetime_of(sx.stx_mtime);
  info->last_access = filetime_of(sx.stx_atime);
  if (creation == 0 && with_creation) {
    creation = (sx.stx_mask & STATX_BTIME) ? filetime_of(sx.stx_btime) : filetime_of(sx.stx_ctime);
  }
  info->creation = creation;
  return ERROR_SUCCESS;
}

DWORD nt_file_info(const std::string& host, NtFileInfo* info) {
  return nt_file_info_at(AT_FDCWD, host.c_str(), host, info);
}

DWORD GetFileAttributesA(const char* name) {
  NtResolvedPath path;
  DWORD err = nt_resolve_path(name, &path);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return INVALID_FILE_ATTRIBUTES;
  }
  if ((err = nt_check_file_access(path.host, NtFileOperation::read_attributes)) != ERROR_SUCCESS) {
    SetLastError(err);
    return INVALID_FILE_ATTRIBUTES;
  }
  NtFileInfo info;
  if ((err = nt_file_info(path.host, &info)) != ERROR_SUCCESS) {
    SetLastError(err);
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.attributes;
}

BOOL SetFileAttributesA(const char* name, DWORD attributes) {
  NtResolvedPath path;
  DWORD err = nt_resolve_path(name, &path);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  struct stat st;
  if (stat(path.host.c_str(), &st) != 0) return fail_bool(nt_lookup_error(errno, path.host));
  if ((err = nt_check_file_access(path.host, NtFileOperation::write_attributes)) !=
      ERROR_SUCCESS) {
    return fail_bool(err);
  }
  if ((err = nt_store_attributes(path.host, attributes & NT_STORED_ATTRIBUTES)) != ERROR_SUCCESS) {
    return fail_bool(err);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetFileAttributesExA(const char* name, GET_FILEEX_INFO_LEVELS level, void* out) {
  if (level != GetFileExInfoStandard || !out) return fail_bool(ERROR_INVALID_PARAMETER);
  NtResolvedPath path;
  DWORD err = nt_resolve_path(name, &path);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  if ((err = nt_check_file_access(path.host, NtFileOperation::read_attributes)) != ERROR_SUCCESS) {
    return fail_bool(err);
  }
  NtFileInfo info;
  if ((err = nt_file_info(path.host, &info)) != ERROR_SUCCESS) return fail_bool(err);
  auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(out);
  data->dwFileAttributes = info.attributes;
  data->ftCreationTime = u64_to_filetime(info.creation);
  data->ftLastAccessTime = u64_to_filetime(info.last_access);
  data->ftLastWriteTime = u64_to_filetime(info.last_write);
  data->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(info.size & 0xFFFFFFFFu);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* last_access, FILETIME* last_write) {
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return FALSE;
  NtFileInfo info;
  DWORD err = nt_file_info_at(file->fd(), "", file->host_path(), &info);
  if (err != ERROR_SUCCESS) {
    // O_PATH descriptors and the like: by the path.
    if ((err = nt_file_info(file->host_path(), &info)) != ERROR_SUCCESS) return fail_bool(err);
  }
  if (creation) *creation = u64_to_filetime(info.creation);
  if (last_access) *last_access = u64_to_filetime(info.last_access);
  if (last_write) *last_write = u64_to_filetime(info.last_write);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME* creation, const FILETIME* last_access,
                 const FILETIME* last_write) {
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return FALSE;
  if (!(file->access() & GENERIC_WRITE)) return fail_bool(ERROR_ACCESS_DENIED);
  auto given = [](const FILETIME* t) {
    if (!t) return false;
    uint64_t v = filetime_to_u64(*t);
    return v != 0 && v != 0xFFFFFFFFFFFFFFFFull;
  };
  if (given(creation)) {
    DWORD err = nt_store_creation_time_fd(file->fd(), filetime_to_u64(*creation));
    if (err != ERROR_SUCCESS) return fail_bool(err);
  }
  if (given(last_access) || given(last_write)) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = times[0];
    if (given(last_access)) times[0] = nt_timespec_of(filetime_to_u64(*last_access));
    if (given(last_write)) times[1] = nt_timespec_of(filetime_to_u64(*last_write));
    if (futimens(file->fd(), times) != 0) return fail_bool(win32_error_from_errno(errno));
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
