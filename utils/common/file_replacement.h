// Rewriting a file without risking its contents.
//
// The new contents go to a temporary file in the target's directory. Only
// when all of it is written and on disk does the temporary take the
// target's place, in one rename (MoveFileExA with
// MOVEFILE_REPLACE_EXISTING). Until then, and whenever a step fails, the
// target keeps its old contents, and an unfinished temporary is deleted.
// The temporary takes over the target's owner, permission bits and
// extended attributes (where the NT attributes and security descriptor
// live), as far as the file system allows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

class FileReplacement {
 public:
  // `temp_prefix` starts the temporary's name ("~rz" gives "~rz1a2b.tmp").
  FileReplacement(std::string target, std::string temp_prefix);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Checks that the target may be rewritten (it exists, is no directory,
  // is not read-only and opens for writing) and creates the temporary.
  // FALSE with the Win32 error otherwise; nothing is left behind then.
  bool begin();

  // Adds bytes to the new contents (buffered). FALSE with the Win32 error
  // once a write has failed.
  bool write(const void* data, size_t size);
  bool write(std::string_view text) { return write(text.data(), text.size()); }

  // Writes out the buffer, puts the temporary on disk and closes it. FALSE
  // with the Win32 error when any of that fails.
  bool finish();

  // Puts the finished temporary in the target's place. FALSE with the
  // Win32 error; the target is unchanged then.
  bool commit();

  // Name of the temporary (empty before begin()).
  const std::string& temp_name() const { return temp_; }

 private:
  bool flush_buffer();
  void discard();

  std::string target_;
  std::string prefix_;
  std::string temp_;
  HANDLE handle_ = nullptr;
  std::vector<char> buffer_;
  bool failed_ = false;
  bool finished_ = false;
  bool committed_ = false;
};

// The directory part of an NT path, separator included ("" for a bare name,
// "C:" for a drive-relative name).
std::string nt_directory_prefix(const std::string& path);
