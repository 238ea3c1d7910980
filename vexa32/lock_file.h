// The lock file: held open without sharing for the whole logon session, so
// a second logon of the user (on any machine reaching the same file) sees it
// in use.
#pragma once

#include <string>

#include "platform/win32_types.h"

enum class LockResult {
  held,               // open and held
  logged_on,          // open elsewhere: the user is logged on already
  failed,             // another failure; c_error() tells it
};

class LockFile {
 public:
  LockFile() = default;
  ~LockFile() { close(); }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Sets the file's attributes to normal, then opens it for reading and
  // writing, creating it if needed, with sharing denied to everybody else.
  LockResult open(const std::string& path);
  void close();
  // Closes the file, sets its attributes to normal and deletes it (only a
  // file this object held open).
  void close_and_delete();

  bool is_open() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }
  // The C library's error number for the last failed open: sharing and
  // access refusals are EACCES, missing files or folders ENOENT.
  int c_error() const { return c_error_; }

 private:
  HANDLE handle_ = nullptr;
  std::string path_;
  int c_error_ = 0;
};

// The C library's error number for a Win32 error of a file open.
int c_error_for(DWORD win32_error);
