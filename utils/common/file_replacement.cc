#include "utils/common/file_replacement.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr DWORD kMaxWrite = 1u << 30;
constexpr int kNameTries = 256;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Copies the user extended attributes of one open file to another.
void copy_user_xattrs(int from, int to) {
  ssize_t length = flistxattr(from, nullptr, 0);
  if (length <= 0) return;
  std::vector<char> names(static_cast<size_t>(length));
  length = flistxattr(from, names.data(), names.size());
  if (length <= 0) return;
  std::vector<char> value;
  for (size_t at = 0; at < static_cast<size_t>(length);) {
    std::string name(names.data() + at);
    at += name.size() + 1;
    if (name.rfind("user.", 0) != 0) continue;
    ssize_t size = fgetxattr(from, name.c_str(), nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<size_t>(size) + 1);
    size = fgetxattr(from, name.c_str(), value.data(), value.size());
    if (size < 0) continue;
    fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(size), 0);
  }
}

// Gives the file behind `to` the owner, permission bits and extended
// attributes of the file behind `from`. Each part is kept where the file
// system and the process's rights allow it, and silently left otherwise.
void copy_file_identity(HANDLE from, HANDLE to) {
  std::shared_ptr<NtFile> source = nt_lookup_handle_as<NtFile>(from);
  std::shared_ptr<NtFile> target = nt_lookup_handle_as<NtFile>(to);
  if (!source || !target) return;
  struct stat st;
  if (fstat(source->fd(), &st) != 0) return;
  // The owner first: changing it clears set-id bits that fchmod then restores.
  if (fchown(target->fd(), st.st_uid, st.st_gid) != 0) {
    // Not the owner's to give: the temporary keeps this process's owner.
  }
  fchmod(target->fd(), st.st_mode & 07777);
  copy_user_xattrs(source->fd(), target->fd());
}

}  // namespace

std::string nt_directory_prefix(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return path.substr(0, slash + 1);
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

FileReplacement::FileReplacement(std::string target, std::string temp_prefix)
    : target_(std::move(target)), prefix_(std::move(temp_prefix)) {}

FileReplacement::~FileReplacement() {
  if (!committed_) discard();
}

void FileReplacement::discard() {
  DWORD error = GetLastError();
  if (handle_) {
    CloseHandle(handle_);
    handle_ = nullptr;
  }
  if (!temp_.empty()) {
    DeleteFileA(temp_.c_str());
    temp_.clear();
  }
  SetLastError(error);
}

bool FileReplacement::begin() {
  if (handle_ || !temp_.empty()) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
  }
  DWORD attributes = GetFileAttributesA(target_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // The target itself must be writable, as it would be for an in-place
  // rewrite; opening it for writing (without truncating) proves that.
  HANDLE probe = CreateFileA(target_.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;

  const std::string directory = nt_directory_prefix(target_);
  const unsigned seed = static_cast<unsigned>(getpid());
  HANDLE created = INVALID_HANDLE_VALUE;
  std::string name;
  for (int i = 0; i < kNameTries; ++i) {
    char tail[32];
    snprintf(tail, sizeof tail, "%04x.tmp", (seed + static_cast<unsigned>(i)) & 0xFFFFu);
    name = directory + prefix_ + tail;
    created = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    CloseHandle(probe);
    SetLastError(error);
    return false;
  }
  handle_ = created;
  temp_ = name;
  copy_file_identity(probe, handle_);
  CloseHandle(probe);
  buffer_.reserve(kBufferSize);
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool FileReplacement::flush_buffer() {
  const char* at = buffer_.data();
  size_t left = buffer_.size();
  while (left > 0) {
    DWORD chunk = left < kMaxWrite ? static_cast<DWORD>(left) : kMaxWrite;
    DWORD written = 0;
    if (!WriteFile(handle_, at, chunk, &written, nullptr)) {
      failed_ = true;
      return false;
    }
    at += written;
    left -= written;
  }
  buffer_.clear();
  return true;
}

bool FileReplacement::write(const void* data, size_t size) {
  if (!handle_ || finished_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (failed_) {
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    size_t room = kBufferSize - buffer_.size();
    size_t take = size < room ? size : room;
    buffer_.insert(buffer_.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    if (buffer_.size() == kBufferSize && !flush_buffer()) return false;
  }
  return true;
}

bool FileReplacement::finish() {
  if (!handle_ || finished_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (failed_) {
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  if (!flush_buffer() || !FlushFileBuffers(handle_)) {
    failed_ = true;
    return false;
  }
  HANDLE handle = handle_;
  handle_ = nullptr;
  if (!CloseHandle(handle)) {
    failed_ = true;
    return false;
  }
  finished_ = true;
  return true;
}

bool FileReplacement::commit() {
  if (!finished_ || committed_ || temp_.empty()) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
  }
  if (!MoveFileExA(temp_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  committed_ = true;
  return true;
}
