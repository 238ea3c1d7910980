#include "platform/files/file_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/file_info.h"
#include "platform/files/open_files.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/pipes/named_pipe.h"

namespace {

std::shared_ptr<NtFile> file_of(HANDLE handle) { return nt_lookup_handle_as<NtFile>(handle); }

HANDLE fail_handle(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

constexpr DWORD kHiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

NtFile::NtFile(int fd, DWORD access, DWORD share, dev_t device, ino_t inode, std::string host_path)
    : fd_(fd),
      access_(access),
      share_(share),
      device_(device),
      inode_(inode),
      host_path_(std::move(host_path)) {}

NtFile::~NtFile() {
  nt_unregister_open(this, device_, inode_);
  if (fd_ >= 0) close(fd_);
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags_and_attributes, HANDLE /*template_file*/) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
    return fail_handle(ERROR_INVALID_PARAMETER);
  }
  if (!name) return fail_handle(ERROR_INVALID_PARAMETER);
  // Pipe names go to the named pipe client.
  if (nt_is_pipe_path(name)) return nt_open_pipe_client(name, access, flags_and_attributes);
  NtResolvedPath path;
  DWORD err = nt_resolve_path(name, &path);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  const std::string& host = path.host;

  const bool read = access & GENERIC_READ;
  const bool write = access & GENERIC_WRITE;
  int mode = O_RDONLY;
  if (write) mode = read ? O_RDWR : O_WRONLY;
  const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS ||
                       disposition == OPEN_ALWAYS;
  const bool overwrites = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (!read && !write && !creates) mode = O_PATH;
  mode |= O_CLOEXEC;

  bool existed = false;
  bool made = false;
  int fd = -1;
  // Twice at most: a file made by someone else between the look and the
  // open is opened as an existing one.
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    struct stat st;
    if (stat(host.c_str(), &st) == 0) {
      existed = true;
      if (disposition == CREATE_NEW) return fail_handle(ERROR_FILE_EXISTS);
      if (S_ISDIR(st.st_mode)) {
        if (!(flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS) || overwrites) {
          return fail_handle(ERROR_ACCESS_DENIED);
        }
        if ((err = nt_check_file_access(host, write ? NtFileOperation::write_attributes
                                                    : NtFileOperation::read_attributes)) !=
            ERROR_SUCCESS) {
          return fail_handle(err);
        }
        fd = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      } else {
        DWORD stored = nt_stored_attributes(host);
        const bool modifies = write || (access & DELETE) || overwrites;
        if (modifies && (stored & FILE_ATTRIBUTE_READONLY)) {
          return fail_handle(ERROR_ACCESS_DENIED);
        }
        if (disposition == CREATE_ALWAYS &&
            (stored & kHiddenOrSystem & ~flags_and_attributes) != 0) {
          return fail_handle(ERROR_ACCESS_DENIED);
        }
        if ((err = nt_check_file_access(host, modifies ? NtFileOperation::write
                                                       : NtFileOperation::read)) !=
            ERROR_SUCCESS) {
          return fail_handle(err);
        }
        fd = open(host.c_str(), mode);
      }
      if (fd < 0) return fail_handle(nt_lookup_error(errno, host));
    } else {
      if (errno != ENOENT || !creates) return fail_handle(nt_lookup_error(errno, host));
      if ((err = nt_check_file_access(nt_host_parent(host), NtFileOperation::create_child)) !=
          ERROR_SUCCESS) {
        return fail_handle(err);
      }
      fd = open(host.c_str(), mode | O_CREAT | O_EXCL, 0666);
      if (fd < 0 && errno != EEXIST) return fail_handle(nt_lookup_error(errno, host));
      made = fd >= 0;
    }
  }
  if (fd < 0) return fail_handle(ERROR_SHARING_VIOLATION);

  struct stat st;
  if (fstat(fd, &st) != 0) {
    int e = errno;
    close(fd);
    return fail_handle(win32_error_from_errno(e));
  }
  auto file = std::make_shared<NtFile>(fd, access, share, st.st_dev, st.st_ino, host);
  if (!nt_register_open(file.get(), st.st_dev, st.st_ino, access, share)) {
    file.reset();  // closes the descriptor; it has no record to remove
    if (made) unlink(host.c_str());
    return fail_handle(ERROR_SHARING_VIOLATION);
  }
  // Share mode 0 also keeps other processes out (open_files.h).
  if (S_ISREG(st.st_mode) && !(mode & O_PATH) &&
      !nt_lock_open_across_processes(fd, access, share)) {
    file.reset();
    if (made) unlink(host.c_str());
    return fail_handle(ERROR_SHARING_VIOLATION);
  }
  const bool truncate = existed && overwrites && S_ISREG(st.st_mode);
  if (truncate && (write ? ftruncate(fd, 0) : ::truncate(host.c_str(), 0)) != 0) {
    return fail_handle(win32_error_from_errno(errno));
  }
  if (made || (existed && disposition == CREATE_ALWAYS && S_ISREG(st.st_mode))) {
    // NT gives a new or overwritten file the attributes asked for, and A.
    DWORD wanted = (flags_and_attributes & NT_STORED_ATTRIBUTES) | FILE_ATTRIBUTE_ARCHIVE;
    if (mode & O_PATH) {
      nt_store_attributes(host, wanted);
    } else {
      nt_store_attributes_fd(fd, wanted);
    }
  }
  // bInheritHandle makes the handle pass to children (CreateProcessA).
  HANDLE handle = nt_insert_handle(std::move(file), nt_handle_flags_for(security));
  if (!handle) return INVALID_HANDLE_VALUE;
  const bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD count, DWORD* read_count, OVERLAPPED* overlapped) {
  if (overlapped || !read_count) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *read_count = 0;
  // Pipes and standard streams read as their kind does.
  if (auto io = nt_io_object(handle)) return io->nt_read(buffer, count, read_count);
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return FALSE;
  if (!(file->access() & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!buffer && count > 0) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  DWORD done = 0;
  while (done < count) {
    ssize_t got = read(file->fd(), static_cast<char*>(buffer) + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *read_count = done;
      set_last_error_from_errno();
      return FALSE;
    }
    if (got == 0) break;
    done += static_cast<DWORD>(got);
  }
  *read_count = done;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped) {
  if (overlapped || !written) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = 0;
  if (auto io = nt_io_object(handle)) return io->nt_write(buffer, count, written);
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return FALSE;
  if (!(file->access() & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!buffer && count > 0) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  DWORD done = 0;
  while (done < count) {
    ssize_t put = write(file->fd(), static_cast<const char*>(buffer) + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *written = done;
      if (put == 0) errno = ENOSPC;
      set_last_error_from_errno();
      return FALSE;
    }
    done += static_cast<DWORD>(put);
  }
  *written = done;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distance_high, DWORD method) {
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int whence;
  switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  int64_t move = distance;
  if (distance_high) {
    move =
        static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distance_high)) << 32) |
                             static_cast<uint32_t>(distance));
  }
  off_t base = 0;
  if (whence == SEEK_CUR) {
    base = lseek(file->fd(), 0, SEEK_CUR);
  } else if (whence == SEEK_END) {
    struct stat st;
    base = fstat(file->fd(), &st) == 0 ? st.st_size : -1;
  }
  if (base < 0) {
    set_last_error_from_errno();
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target = static_cast<int64_t>(base) + move;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (!distance_high && target > static_cast<int64_t>(0xFFFFFFFEll)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(file->fd(), static_cast<off_t>(target), SEEK_SET) < 0) {
    set_last_error_from_errno();
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high) *distance_high = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<uint64_t>(target) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE handle) {
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return FALSE;
  if (!(file->access() & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t here = lseek(file->fd(), 0, SEEK_CUR);
  if (here < 0 || ftruncate(file->fd(), here) != 0) {
    set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* size_high) {
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(file->fd(), &st) != 0) {
    set_last_error_from_errno();
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size_high) *size_high = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL FlushFileBuffers(HANDLE handle) {
  std::shared_ptr<NtFile> file = file_of(handle);
  if (!file) return FALSE;
  if (!(file->access() & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fsync(file->fd()) != 0) {
    set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileA(const char* name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  NtResolvedPath path;
  DWORD err = nt_resolve_path(name, &path);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  const std::string& host = path.host;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) {
    nt_fail(nt_lookup_error(errno, host));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) || (nt_stored_attributes(host) & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if ((err = nt_check_file_access(host, NtFileOperation::remove)) != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  if (nt_open_without_share_delete(st)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) {
    nt_fail(nt_lookup_error(errno, host));
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
