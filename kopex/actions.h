// The file-system actions every kopex command is made of. Each action that
// changes something asks first (unless answered for all), retries once after
// removing the object's protections when access is denied, and reports its
// outcome with one line and one counter of the run.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "kopex/run_state.h"
#include "platform/files/fast_copy.h"
#include "platform/win32_types.h"

namespace kopex {

// Asks `question` unless /y or the kind's answer for all is set; "A" sets
// that answer for all. A "no" counts one skipped action except at the
// protection question.
bool ask(Ask kind, const char* question);

bool remove_protections(const char* path);
bool delete_file(const char* path, double size);
bool remove_directory(const char* path);
// Host paths of a source file and its target when the walk has resolved
// their directories: the copy then goes straight to them.
struct HostPair {
  std::string source, target;
  NtCopyDirectory* directory = nullptr;  // shared by the files of one directory
};

// `target_dir` ends with a backslash.
bool copy_new_file(const char* source, double size, const char* target_dir,
                   const char* target_file, const HostPair* hosts = nullptr);
// Times are local FILETIMEs, shown in the question.
bool replace_file(const char* source, double source_size, const FILETIME& source_time,
                  const char* target, double target_size, const FILETIME& target_time,
                  const HostPair* hosts = nullptr);
bool create_directory_tree(const char* path);
bool set_attributes(const char* path, DWORD new_attributes, DWORD old_attributes);
// Null times are left as they are; the others are local times.
bool set_file_times(const char* path, const FILETIME* write, const FILETIME* creation,
                    const FILETIME* access);
bool copy_security(const char* source, const char* target);
bool compare_security(const char* source, const char* target);
bool set_owner_action(const char* server, const char* path, const char* account);
bool set_permissions_action(const char* server, const char* path, const char* grants);
bool enter_directory(const char* path);
// The attributes of a directory, or INVALID_FILE_ATTRIBUTES when there is
// none of that name (a file of that name is no directory).
DWORD directory_exists(const char* path);
// Deletes a directory with all its contents; `path` ends with a backslash.
void tree_delete(const char* path);

// Upper-cased names of one source directory, for the cleanup of its target.
class NameList {
 public:
  // Room of the list: bytes of names with their terminators, and names.
  static constexpr size_t BYTES_MAX = 655360;
  static constexpr size_t NAMES_MAX = 20480;
  // False when the name does not fit any more.
  bool add(const char* name);
  bool contains(const char* name) const;

 private:
  std::unordered_set<std::string> names_;
  size_t bytes_ = 0;
};

// Deletes what the target directory holds beyond the source's names (with
// /S also extra directories with their contents).
void cleanup_target(const char* target_dir, const NameList& names);

// Upper-case form of a name for comparisons without regard to case.
std::string upper_name(const char* name);

}  // namespace kopex
