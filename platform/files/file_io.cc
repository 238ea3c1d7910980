#include "platform/files/file_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

// Open handles of this process per file, for the share-mode checks.
struct OpenRecord {
  const NtFile* file;
  DWORD access;
  DWORD share;
};

struct ShareTable {
  std::mutex lock;
  std::map<std::pair<dev_t, ino_t>, std::vector<OpenRecord>> opens;
};

ShareTable& shares() {
  static ShareTable* t = new ShareTable;
  return *t;
}

bool wants(DWORD access, DWORD what) { return (access & what) != 0; }

// True when an open with (access, share) can live beside `other`.
bool compatible(DWORD access, DWORD share, const OpenRecord& other) {
  if (wants(access, GENERIC_READ) && !(other.share & FILE_SHARE_READ)) return false;
  if (wants(access, GENERIC_WRITE) && !(other.share & FILE_SHARE_WRITE)) return false;
  if (wants(access, DELETE) && !(other.share & FILE_SHARE_DELETE)) return false;
  if (wants(other.access, GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
  if (wants(other.access, GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
  if (wants(other.access, DELETE) && !(share & FILE_SHARE_DELETE)) return false;
  return true;
}

// Registers an open unless a handle already open forbids it.
bool register_open(const NtFile* file, dev_t device, ino_t inode, DWORD access, DWORD share) {
  ShareTable& t = shares();
  std::lock_guard<std::mutex> guard(t.lock);
  std::vector<OpenRecord>& list = t.opens[{device, inode}];
  for (const OpenRecord& other : list) {
    if (!compatible(access, share, other)) return false;
  }
  list.push_back(OpenRecord{file, access, share});
  return true;
}

void unregister_open(const NtFile* file, dev_t device, ino_t inode) {
  ShareTable& t = shares();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.opens.find({device, inode});
  if (it == t.opens.end()) return;
  std::vector<OpenRecord>& list = it->second;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].file == file) {
      list.erase(list.begin() + static_cast<long>(i));
      break;
    }
  }
  if (list.empty()) t.opens.erase(it);
}

// True when some open handle of the file lacks FILE_SHARE_DELETE.
bool open_without_share_delete(const struct stat& st) {
  ShareTable& t = shares();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.opens.find({st.st_dev, st.st_ino});
  if (it == t.opens.end()) return false;
  for (const OpenRecord& other : it->second) {
    if (!(other.share & FILE_SHARE_DELETE)) return true;
  }
  return false;
}

// The directory part of a host path ("/" for a name at the root, "." for
// none).
std::string parent_of(const std::string& host) {
  size_t end = host.size();
  while (end > 1 && host[end - 1] == '/') --end;
  size_t slash = host.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return host.substr(0, slash);
}

// The Win32 code of a failed name lookup: a missing file in an existing
// directory is ERROR_FILE_NOT_FOUND, a missing directory on the way
// ERROR_PATH_NOT_FOUND.
DWORD lookup_error(int err, const std::string& host) {
  if (err == ENOENT) {
    struct stat st;
    std::string parent = parent_of(host);
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
  }
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  return win32_error_from_errno(err);
}

DWORD fail(DWORD code) {
  SetLastError(code);
  return code;
}

bool resolve(const char* name, std::string* host) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return nt_host_path(name, host);
}

std::shared_ptr<NtFile> file_of(HANDLE handle) { return nt_lookup_handle_as<NtFile>(handle); }

bool copy_file_contents(const std::string& from, const std::string& to, bool replace) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    fail(lookup_error(errno, from));
    return false;
  }
  struct stat st;
  fstat(in, &st);
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (replace ? 0 : O_EXCL),
                 st.st_mode & 07777);
  if (out < 0) {
    int err = errno;
    close(in);
    fail(err == EEXIST ? ERROR_ALREADY_EXISTS : lookup_error(err, to));
    return false;
  }
  char block[65536];
  bool ok = true;
  for (;;) {
    ssize_t got = read(in, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) ok = false;
      break;
    }
    ssize_t done = 0;
    while (done < got) {
      ssize_t put = write(out, block + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  if (!ok) set_last_error_from_errno();
  close(in);
  if (close(out) != 0 && ok) {
    ok = false;
    set_last_error_from_errno();
  }
  if (!ok) unlink(to.c_str());
  return ok;
}

}  // namespace

NtFile::NtFile(int fd, DWORD access, DWORD share, dev_t device, ino_t inode, std::string host_path)
    : fd_(fd),
      access_(access),
      share_(share),
      device_(device),
      inode_(inode),
      host_path_(std::move(host_path)) {}

NtFile::~NtFile() {
  unregister_open(this, device_, inode_);
  if (fd_ >= 0) close(fd_);
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* /*security*/,
                   DWORD disposition, DWORD flags_and_attributes, HANDLE /*template_file*/) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string host;
  if (!resolve(name, &host)) return INVALID_HANDLE_VALUE;

  const bool read = access & GENERIC_READ;
  const bool write = access & GENERIC_WRITE;
  int mode = O_RDONLY;
  if (write) mode = read ? O_RDWR : O_WRONLY;
  const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS ||
                       disposition == OPEN_ALWAYS;
  if (!read && !write && !creates) mode = O_PATH;
  mode |= O_CLOEXEC;

  bool existed = false;
  int fd = -1;
  if (creates) {
    fd = open(host.c_str(), mode | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
      if (disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      existed = true;
      fd = open(host.c_str(), mode);
    }
  } else {
    existed = true;
    fd = open(host.c_str(), mode);
  }
  if (fd < 0) {
    fail(lookup_error(errno, host));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    set_last_error_from_errno();
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  if (S_ISDIR(st.st_mode) && !(flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<NtFile>(fd, access, share, st.st_dev, st.st_ino, host);
  if (!register_open(file.get(), st.st_dev, st.st_ino, access, share)) {
    file.reset();  // closes the descriptor; it has no record to remove
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  const bool truncate =
      existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  if (truncate && S_ISREG(st.st_mode) &&
      (write ? ftruncate(fd, 0) : ::truncate(host.c_str(), 0)) != 0) {
    set_last_error_from_errno();
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = nt_insert_handle(std::move(file));
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
  std::string host;
  if (!resolve(name, &host)) return FALSE;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) {
    fail(lookup_error(errno, host));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (open_without_share_delete(st)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) {
    fail(lookup_error(errno, host));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesA(const char* name) {
  std::string host;
  if (!resolve(name, &host)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    fail(lookup_error(errno, host));
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL MoveFileExA(const char* existing, const char* target, DWORD flags) {
  std::string from, to;
  if (!resolve(existing, &from)) return FALSE;
  if (!target) {
    // Deletion at the next boot is not offered.
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!resolve(target, &to)) return FALSE;
  struct stat src;
  if (lstat(from.c_str(), &src) != 0) {
    fail(lookup_error(errno, from));
    return FALSE;
  }
  if (open_without_share_delete(src)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  const bool replace = flags & MOVEFILE_REPLACE_EXISTING;
  struct stat dst;
  const bool target_exists = lstat(to.c_str(), &dst) == 0;
  if (target_exists && !(src.st_dev == dst.st_dev && src.st_ino == dst.st_ino)) {
    if (!replace) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(dst.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (open_without_share_delete(dst)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  int rc = replace ? rename(from.c_str(), to.c_str())
                   : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && !replace && errno == EINVAL) {
    // File systems without the no-replace rename: the target was checked above.
    rc = rename(from.c_str(), to.c_str());
  }
  if (rc != 0) {
    int err = errno;
    if (err == EXDEV) {
      if (!(flags & MOVEFILE_COPY_ALLOWED) || !S_ISREG(src.st_mode)) {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
      }
      if (!copy_file_contents(from, to, replace)) return FALSE;
      if (unlink(from.c_str()) != 0) {
        set_last_error_from_errno();
        return FALSE;
      }
    } else if (err == EEXIST) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    } else if (err == EISDIR || err == ENOTEMPTY) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    } else {
      fail(err == ENOENT ? ERROR_PATH_NOT_FOUND : lookup_error(err, to));
      return FALSE;
    }
  }
  if (flags & MOVEFILE_WRITE_THROUGH) {
    int dir = open(parent_of(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
  return TRUE;
}
