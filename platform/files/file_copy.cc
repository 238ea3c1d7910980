#include "platform/files/file_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/attribute_marks.h"
#include "platform/files/file_info.h"
#include "platform/files/file_io.h"
#include "platform/files/open_files.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

// Bytes moved per kernel call (and per progress call).
constexpr size_t kChunk = 8u << 20;

std::atomic<unsigned> g_temp_counter{0};

BOOL fail_bool(DWORD code) {
  SetLastError(code);
  return FALSE;
}

LARGE_INTEGER large(uint64_t v) {
  LARGE_INTEGER l;
  l.QuadPart = static_cast<LONGLONG>(v);
  return l;
}

struct Progress {
  LPPROGRESS_ROUTINE routine = nullptr;
  void* data = nullptr;
  BOOL* cancel = nullptr;
  uint64_t total = 0;

  // False when the copy is to end (cancelled or stopped).
  bool report(uint64_t done, DWORD reason) {
    if (cancel && *cancel) return false;
    if (!routine) return true;
    DWORD answer = routine(large(total), large(done), large(total), large(done), 1, reason,
                           nullptr, nullptr, data);
    if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) return false;
    if (answer == PROGRESS_QUIET) routine = nullptr;
    return !(cancel && *cancel);
  }
};

enum class Mover { copy_range, send, plain };

// Moves all data of `in` to `out`; ERROR_SUCCESS, the write error, or
// ERROR_REQUEST_ABORTED.
DWORD copy_data(int in, int out, Progress* progress) {
  Mover mover = Mover::copy_range;
  uint64_t done = 0;
  if (!progress->report(0, CALLBACK_STREAM_SWITCH)) return ERROR_REQUEST_ABORTED;
  static thread_local char block[65536];
  for (;;) {
    ssize_t moved = -1;
    if (mover == Mover::copy_range) {
      moved = copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                        errno == EOPNOTSUPP || errno == EBADF)) {
        mover = Mover::send;
        continue;
      }
    } else if (mover == Mover::send) {
      moved = sendfile(out, in, nullptr, kChunk);
      if (moved < 0 && (errno == EINVAL || errno == ENOSYS)) {
        mover = Mover::plain;
        continue;
      }
    } else {
      // Plain reads and writes, one chunk between progress reports.
      size_t chunk_done = 0;
      moved = 0;
      while (chunk_done < kChunk) {
        ssize_t got = read(in, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return win32_error_from_errno(errno);
        if (got == 0) break;
        ssize_t put_total = 0;
        while (put_total < got) {
          ssize_t put = write(out, block + put_total, static_cast<size_t>(got - put_total));
          if (put < 0 && errno == EINTR) continue;
          if (put <= 0) return put == 0 ? ERROR_DISK_FULL : win32_error_from_errno(errno);
          put_total += put;
        }
        chunk_done += static_cast<size_t>(got);
      }
      moved = static_cast<ssize_t>(chunk_done);
    }
    if (moved < 0) {
      if (errno == EINTR) continue;
      return win32_error_from_errno(errno);
    }
    if (moved == 0) return ERROR_SUCCESS;
    done += static_cast<uint64_t>(moved);
    if (!progress->report(done, CALLBACK_CHUNK_FINISHED)) return ERROR_REQUEST_ABORTED;
  }
}

// Whether unnamed files can be given a name through /proc (checked once).
bool proc_fd_links() {
  static const bool available = access("/proc/self/fd", X_OK) == 0;
  return available;
}

// The file being written: unnamed (O_TMPFILE) or under a hidden name.
struct TempFile {
  int fd = -1;
  std::string dir;
  std::string name;  // the hidden name; empty for an unnamed file

  ~TempFile() {
    if (fd >= 0) close(fd);
    if (!name.empty()) unlink((dir + "/" + name).c_str());
  }

  DWORD create(const std::string& directory, const std::string& target_name, mode_t mode) {
    dir = directory;
    if (proc_fd_links()) {
      fd = open(dir.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, mode);
      if (fd >= 0) return ERROR_SUCCESS;
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return nt_lookup_error(errno, dir + "/" + target_name);
      }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = ".~copy-" + std::to_string(getpid()) + "-" +
                              std::to_string(g_temp_counter++) + "-" + target_name;
      if (candidate.size() > 255) candidate.resize(255);
      fd = open((dir + "/" + candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd >= 0) {
        name = candidate;
        return ERROR_SUCCESS;
      }
      if (errno != EEXIST) return nt_lookup_error(errno, dir + "/" + target_name);
    }
    return ERROR_ACCESS_DENIED;
  }

  // Gives the file the name `target`: only when nothing is there with
  // `exclusive`, else replacing what is there in one step.
  DWORD publish(const std::string& target, bool exclusive) {
    if (name.empty()) {
      std::string proc = "/proc/self/fd/" + std::to_string(fd);
      if (exclusive) {
        if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          return ERROR_SUCCESS;
        }
        return errno == EEXIST ? ERROR_FILE_EXISTS : nt_lookup_error(errno, target);
      }
      // A hidden name first, then the rename over the target.
      for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = ".~copy-" + std::to_string(getpid()) + "-" +
                                std::to_string(g_temp_counter++);
        if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, (dir + "/" + candidate).c_str(),
                   AT_SYMLINK_FOLLOW) == 0) {
          name = candidate;
          break;
        }
        if (errno != EEXIST) return nt_lookup_error(errno, target);
      }
      if (name.empty()) return ERROR_ACCESS_DENIED;
    }
    std::string from = dir + "/" + name;
    int rc = exclusive ? renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(),
                                   RENAME_NOREPLACE)
                       : rename(from.c_str(), target.c_str());
    if (rc != 0 && exclusive && errno == EINVAL) {
      // No exclusive rename on this file system: a link fails on a name in use.
      rc = link(from.c_str(), target.c_str());
      if (rc == 0) unlink(from.c_str());
    }
    if (rc != 0) return errno == EEXIST ? ERROR_FILE_EXISTS : nt_lookup_error(errno, target);
    name.clear();
    return ERROR_SUCCESS;
  }
};

// Copies the host file `from` to the host path `to`, keeping attributes
// and times. The checks of CopyFileA on
// the target are done by the caller.
DWORD copy_host_file(const std::string& from, const std::string& to, bool exclusive,
                     Progress* progress) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return nt_lookup_error(errno, from);
  struct stat st;
  if (fstat(in, &st) != 0) {
    int e = errno;
    close(in);
    return win32_error_from_errno(e);
  }
  progress->total = static_cast<uint64_t>(st.st_size);
  NtFileInfo info;
  if (nt_file_info_at(in, "", from, &info) != ERROR_SUCCESS) info.creation = 0;
  DWORD stored = nt_stored_attributes_fd(in);
  std::string dir = nt_host_parent(to);
  size_t slash = to.find_last_of('/');
  std::string to_name = slash == std::string::npos ? to : to.substr(slash + 1);
  TempFile temp;
  DWORD err = temp.create(dir, to_name, st.st_mode & 07777);
  if (err == ERROR_SUCCESS) err = copy_data(in, temp.fd, progress);
  close(in);
  if (err != ERROR_SUCCESS) return err;
  // The attribute mark goes with the attribute, not with the source's mode.
  fchmod(temp.fd, nt_mode_with_mark(st.st_mode, stored != 0));
  if (stored != 0) nt_store_attributes_fd(temp.fd, stored);
  if (info.creation != 0) nt_store_creation_time_fd(temp.fd, info.creation);
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  futimens(temp.fd, times);
  return temp.publish(to, exclusive);
}

DWORD copy_file(const char* existing, const char* target, bool fail_if_exists,
                Progress* progress) {
  if (!existing || !target) return ERROR_INVALID_PARAMETER;
  NtResolvedPath from, to;
  DWORD err = nt_resolve_path(existing, &from);
  if (err != ERROR_SUCCESS) return err;
  if ((err = nt_resolve_path(target, &to)) != ERROR_SUCCESS) return err;
  struct stat src;
  if (stat(from.host.c_str(), &src) != 0) return nt_lookup_error(errno, from.host);
  if (S_ISDIR(src.st_mode)) return ERROR_ACCESS_DENIED;
  if ((err = nt_check_file_access(from.host, NtFileOperation::read)) != ERROR_SUCCESS) return err;
  if (nt_open_without_share(src, FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
  struct stat dst;
  const bool target_exists = stat(to.host.c_str(), &dst) == 0;
  if (target_exists) {
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) return ERROR_SHARING_VIOLATION;
    if (fail_if_exists) return ERROR_FILE_EXISTS;
    if (S_ISDIR(dst.st_mode) || nt_is_read_only(to.host)) return ERROR_ACCESS_DENIED;
    if ((err = nt_check_file_access(to.host, NtFileOperation::write)) != ERROR_SUCCESS) return err;
    if (nt_open_without_share(dst, FILE_SHARE_WRITE)) return ERROR_SHARING_VIOLATION;
  } else {
    if (errno != ENOENT) return nt_lookup_error(errno, to.host);
    std::string parent = nt_host_parent(to.host);
    struct stat pst;
    if (stat(parent.c_str(), &pst) != 0 || !S_ISDIR(pst.st_mode)) return ERROR_PATH_NOT_FOUND;
    if ((err = nt_check_file_access(parent, NtFileOperation::create_child)) != ERROR_SUCCESS) {
      return err;
    }
  }
  return copy_host_file(from.host, to.host, fail_if_exists, progress);
}

}  // namespace

BOOL CopyFileA(const char* existing, const char* target, BOOL fail_if_exists) {
  Progress progress;
  DWORD err = copy_file(existing, target, fail_if_exists != FALSE, &progress);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CopyFileExA(const char* existing, const char* target, LPPROGRESS_ROUTINE routine,
                 void* data, BOOL* cancel, DWORD flags) {
  Progress progress;
  progress.routine = routine;
  progress.data = data;
  progress.cancel = cancel;
  DWORD err = copy_file(existing, target, (flags & COPY_FILE_FAIL_IF_EXISTS) != 0, &progress);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileExA(const char* existing, const char* target, DWORD flags) {
  if (!existing) return fail_bool(ERROR_INVALID_PARAMETER);
  NtResolvedPath from_path, to_path;
  DWORD err = nt_resolve_path(existing, &from_path);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  // Deletion at the next boot is not offered.
  if (!target) return fail_bool(ERROR_INVALID_PARAMETER);
  if ((err = nt_resolve_path(target, &to_path)) != ERROR_SUCCESS) return fail_bool(err);
  const std::string& from = from_path.host;
  std::string to = to_path.host;
  struct stat src;
  if (lstat(from.c_str(), &src) != 0) return fail_bool(nt_lookup_error(errno, from));
  if ((err = nt_check_file_access(from, NtFileOperation::remove)) != ERROR_SUCCESS) {
    return fail_bool(err);
  }
  if (nt_open_without_share_delete(src)) return fail_bool(ERROR_SHARING_VIOLATION);
  const bool replace = flags & MOVEFILE_REPLACE_EXISTING;
  struct stat dst;
  const bool target_exists = lstat(to.c_str(), &dst) == 0;
  if (target_exists && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino) {
    // The same file: at most a change of case.
    to = nt_host_parent(to) + "/" + to_path.given_name;
    if (to == from) {
      SetLastError(ERROR_SUCCESS);
      return TRUE;
    }
  } else if (target_exists) {
    if (!replace) return fail_bool(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(dst.st_mode) || nt_is_read_only(to)) return fail_bool(ERROR_ACCESS_DENIED);
    if ((err = nt_check_file_access(to, NtFileOperation::remove)) != ERROR_SUCCESS) {
      return fail_bool(err);
    }
    if (nt_open_without_share_delete(dst)) return fail_bool(ERROR_SHARING_VIOLATION);
  }
  int rc = replace ? rename(from.c_str(), to.c_str())
                   : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && !replace && errno == EINVAL) {
    // File systems without the no-replace rename: the target was checked above.
    rc = rename(from.c_str(), to.c_str());
  }
  if (rc != 0) {
    int e = errno;
    if (e == EXDEV) {
      if (!(flags & MOVEFILE_COPY_ALLOWED) || !S_ISREG(src.st_mode)) {
        return fail_bool(ERROR_NOT_SAME_DEVICE);
      }
      Progress progress;
      if ((err = copy_host_file(from, to, !replace, &progress)) != ERROR_SUCCESS) {
        return fail_bool(err == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : err);
      }
      if (unlink(from.c_str()) != 0) return fail_bool(win32_error_from_errno(errno));
    } else if (e == EEXIST) {
      return fail_bool(ERROR_ALREADY_EXISTS);
    } else if (e == EISDIR || e == ENOTEMPTY) {
      return fail_bool(ERROR_ACCESS_DENIED);
    } else {
      return fail_bool(e == ENOENT ? ERROR_PATH_NOT_FOUND : nt_lookup_error(e, to));
    }
  }
  if (flags & MOVEFILE_WRITE_THROUGH) {
    int dir = open(nt_host_parent(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileA(const char* existing, const char* target) {
  return MoveFileExA(existing, target, MOVEFILE_COPY_ALLOWED);
}
