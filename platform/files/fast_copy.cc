#include "platform/files/fast_copy.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/files/attribute_marks.h"
#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/file_io.h"
#include "platform/files/file_info.h"
#include "platform/files/open_files.h"
#include "platform/kernel/error.h"

namespace {

constexpr size_t kChunk = 1 << 30;
std::atomic<unsigned> g_counter{0};

// Moves the data of `in` to `out`, up to its end or, once `size` bytes (the
// size the source had when it was looked at) have moved, without asking
// for its end again: a small file takes one call.
DWORD move_data(int in, int out, uint64_t size) {
  enum { range, send, plain } mover = range;
  static thread_local char block[65536];
  uint64_t total = 0;
  if (size == 0) {
    // Nothing was there; a file written meanwhile is copied all the same.
    size = UINT64_MAX;
  }
  for (;;) {
    ssize_t moved;
    if (mover == range) {
      moved = copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                        errno == EOPNOTSUPP || errno == EBADF)) {
        mover = send;
        continue;
      }
    } else if (mover == send) {
      moved = sendfile(out, in, nullptr, kChunk);
      if (moved < 0 && (errno == EINVAL || errno == ENOSYS)) {
        mover = plain;
        continue;
      }
    } else {
      moved = read(in, block, sizeof block);
      if (moved > 0) {
        ssize_t put_total = 0;
        while (put_total < moved) {
          ssize_t put = write(out, block + put_total, static_cast<size_t>(moved - put_total));
          if (put < 0 && errno == EINTR) continue;
          if (put <= 0) return put == 0 ? ERROR_DISK_FULL : win32_error_from_errno(errno);
          put_total += put;
        }
      }
    }
    if (moved < 0) {
      if (errno == EINTR) continue;
      return win32_error_from_errno(errno);
    }
    if (moved == 0) return ERROR_SUCCESS;
    total += static_cast<uint64_t>(moved);
    if (total >= size) return ERROR_SUCCESS;
  }
}

// The stat fields a copy uses, and the birth time, from one statx.
struct SourceStat {
  struct stat st = {};
  uint64_t birth = 0;  // FILETIME of the birth (else change) time
};

int stat_source(const std::string& path, SourceStat* out) {
  struct statx sx;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return -1;
  struct stat& st = out->st;
  st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  st.st_ino = sx.stx_ino;
  st.st_mode = sx.stx_mode;
  st.st_nlink = sx.stx_nlink;
  st.st_uid = sx.stx_uid;
  st.st_gid = sx.stx_gid;
  st.st_size = static_cast<off_t>(sx.stx_size);
  st.st_atim.tv_sec = sx.stx_atime.tv_sec;
  st.st_atim.tv_nsec = sx.stx_atime.tv_nsec;
  st.st_mtim.tv_sec = sx.stx_mtime.tv_sec;
  st.st_mtim.tv_nsec = sx.stx_mtime.tv_nsec;
  const struct statx_timestamp& b = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(b.tv_sec);
  ts.tv_nsec = static_cast<long>(b.tv_nsec);
  out->birth = nt_filetime_of(ts);
  return 0;
}

// The file being written: unnamed where the file system allows, else under
// a hidden name that is removed when the copy does not complete.
struct Pending {
  int fd = -1;
  std::string dir, hidden;

  ~Pending() {
    if (fd >= 0) close(fd);
    if (!hidden.empty()) unlink((dir + "/" + hidden).c_str());
  }

  std::string next_name() {
    return ".~copy-" + std::to_string(getpid()) + "-" + std::to_string(g_counter++);
  }

  DWORD create(const std::string& directory, const std::string& target, mode_t mode) {
    dir = directory;
    fd = open(dir.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, mode);
    if (fd >= 0) return ERROR_SUCCESS;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return nt_lookup_error(errno, target);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = next_name();
      fd = open((dir + "/" + candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd >= 0) {
        hidden = candidate;
        return ERROR_SUCCESS;
      }
      if (errno != EEXIST) return nt_lookup_error(errno, target);
    }
    return ERROR_ACCESS_DENIED;
  }

  DWORD publish(const std::string& target, bool exclusive) {
    if (hidden.empty()) {
      char proc[64];
      std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
      if (exclusive) {
        if (linkat(AT_FDCWD, proc, AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          return ERROR_SUCCESS;
        }
        return errno == EEXIST ? ERROR_FILE_EXISTS : nt_lookup_error(errno, target);
      }
      for (int attempt = 0; attempt < 100 && hidden.empty(); ++attempt) {
        std::string candidate = next_name();
        if (linkat(AT_FDCWD, proc, AT_FDCWD, (dir + "/" + candidate).c_str(),
                   AT_SYMLINK_FOLLOW) == 0) {
          hidden = candidate;
        } else if (errno != EEXIST) {
          return nt_lookup_error(errno, target);
        }
      }
      if (hidden.empty()) return ERROR_ACCESS_DENIED;
    }
    const std::string from = dir + "/" + hidden;
    int rc = exclusive ? renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(),
                                   RENAME_NOREPLACE)
                       : rename(from.c_str(), target.c_str());
    if (rc != 0 && exclusive && errno == EINVAL) {
      rc = link(from.c_str(), target.c_str());
      if (rc == 0) unlink(from.c_str());
    }
    if (rc != 0) return errno == EEXIST ? ERROR_FILE_EXISTS : nt_lookup_error(errno, target);
    hidden.clear();
    return ERROR_SUCCESS;
  }
};

DWORD copy_checked(const std::string& from, const std::string& to, bool fail_if_exists,
                   NtCopyDirectory* directory) {
  SourceStat looked;
  if (stat_source(from, &looked) != 0) return nt_lookup_error(errno, from);
  const struct stat& src = looked.st;
  if (S_ISDIR(src.st_mode)) return ERROR_ACCESS_DENIED;
  DWORD err = nt_check_file_access(from, NtFileOperation::read);
  if (err != ERROR_SUCCESS) return err;
  if (nt_open_without_share(src, FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
  const std::string parent = nt_host_parent(to);
  struct stat dst;
  if (stat(to.c_str(), &dst) == 0) {
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) return ERROR_SHARING_VIOLATION;
    if (fail_if_exists) return ERROR_FILE_EXISTS;
    if (S_ISDIR(dst.st_mode) || nt_is_read_only(to)) return ERROR_ACCESS_DENIED;
    if ((err = nt_check_file_access(to, NtFileOperation::write)) != ERROR_SUCCESS) return err;
    if (nt_open_without_share(dst, FILE_SHARE_WRITE)) return ERROR_SHARING_VIOLATION;
  } else {
    if (errno != ENOENT) return nt_lookup_error(errno, to);
    if (directory == nullptr || !directory->checked) {
      struct stat pst;
      if (stat(parent.c_str(), &pst) != 0 || !S_ISDIR(pst.st_mode)) return ERROR_PATH_NOT_FOUND;
      if ((err = nt_check_file_access(parent, NtFileOperation::create_child)) != ERROR_SUCCESS) {
        return err;
      }
      if (directory != nullptr) directory->checked = true;
    }
  }

  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return nt_lookup_error(errno, from);
  DWORD stored = 0;
  uint64_t creation = 0;
  nt_stored_info_fd(in, &stored, &creation);
  if (creation == 0) creation = looked.birth;
  Pending pending;
  err = pending.create(parent, to, src.st_mode & 07777);
  if (err == ERROR_SUCCESS) err = move_data(in, pending.fd, static_cast<uint64_t>(src.st_size));
  close(in);
  if (err != ERROR_SUCCESS) return err;
  // The attribute mark goes with the attribute, not with the source's mode.
  fchmod(pending.fd, nt_mode_with_mark(src.st_mode, stored != 0));
  if (stored != 0) nt_store_attributes_fd(pending.fd, stored);
  if (creation != 0) nt_store_creation_time_fd(pending.fd, creation);
  struct timespec times[2] = {src.st_atim, src.st_mtim};
  futimens(pending.fd, times);
  return pending.publish(to, fail_if_exists);
}

}  // namespace

DWORD nt_copy_resolved(const std::string& from, const std::string& to, bool fail_if_exists,
                       NtCopyDirectory* directory) {
  return copy_checked(from, to, fail_if_exists, directory);
}
