#include "vexa32/lock_file.h"

#include <cerrno>

#include "platform/files/file_info.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"

int c_error_for(DWORD win32_error) {
  switch (win32_error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case 33:  // ERROR_LOCK_VIOLATION
      return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EINVAL;
  }
}

LockResult LockFile::open(const std::string& path) {
  close();
  path_ = path;
  c_error_ = 0;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    c_error_ = c_error_for(GetLastError());
    return c_error_ == EACCES ? LockResult::logged_on : LockResult::failed;
  }
  handle_ = h;
  return LockResult::held;
}

void LockFile::close() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
}

void LockFile::close_and_delete() {
  // Only a lock this agent held is removed; another one's stays.
  const bool held = handle_ != nullptr;
  close();
  if (!held || path_.empty()) return;
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path_.c_str());
}
