#include "kopex/actions.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "kopex/asec.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "platform/files/current_directory.h"
#include "platform/files/directory.h"
#include "platform/files/fast_copy.h"
#include "platform/files/file_copy.h"
#include "platform/files/file_info.h"
#include "platform/files/file_io.h"
#include "platform/files/find_file.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/nls/codepage.h"

namespace kopex {

namespace {

// A creation refused at its question ends like a cancelled operation.
constexpr DWORD kErrorCancelled = 1223;

Counters& counts() { return g_run.counters; }

std::string strip_backslash(const char* path) {
  std::string p = path;
  if (p.size() > 1 && p.back() == '\\' && p[p.size() - 2] != ':') p.pop_back();
  return p;
}

// The directory that holds `path` (without its trailing backslash), or ""
// when the path has no backslash.
std::string parent_of(const char* path) {
  std::string p = strip_backslash(path);
  size_t last = p.rfind('\\');
  if (last == std::string::npos) return std::string();
  std::string parent = p.substr(0, last);
  if (parent.size() == 2 && parent[1] == ':') parent += '\\';
  return parent;
}

// Runs `operation`; after access denied removes the protections of
// `protected_path` (whatever the answer or outcome) and runs it once more.
template <typename Operation>
bool with_retry(const char* protected_path, Operation operation, DWORD* error) {
  if (operation()) return true;
  *error = GetLastError();
  if (*error != ERROR_ACCESS_DENIED) return false;
  remove_protections(protected_path);
  if (operation()) return true;
  *error = GetLastError();
  return false;
}

}  // namespace

std::string upper_name(const char* name) {
  std::string upper = name;
  CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

bool NameList::add(const char* name) {
  size_t length = std::strlen(name) + 1;
  if (bytes_ + length > BYTES_MAX || names_.size() >= NAMES_MAX) return false;
  bytes_ += length;
  names_.insert(upper_name(name));
  return true;
}

bool NameList::contains(const char* name) const { return names_.count(upper_name(name)) != 0; }

bool ask(Ask kind, const char* question) {
  const int index = static_cast<int>(kind);
  if (g_run.options.yes || g_run.answered_all[index]) return true;
  const bool saved = yes_to_all;
  yes_to_all = false;
  const bool yes = confirm(question);
  if (yes_to_all) g_run.answered_all[index] = true;
  yes_to_all = saved;
  if (!yes && kind != Ask::remove_protection) ++counts().skipped;
  return yes;
}

bool remove_protections(const char* path) {
  char question[OUTPUT_LINE_SIZE + 64];
  std::snprintf(question, sizeof question, "Remove protection from %s ?\n", path);
  if (!ask(Ask::remove_protection, question)) return false;
  DWORD error = ERROR_SUCCESS;
  bool ok = asec_initialise();
  if (!ok) error = GetLastError();
  if (ok && !SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) {
    ok = false;
    error = GetLastError();
  }
  if (ok && !asec_take_ownership(path)) {
    ok = false;
    error = GetLastError();
  }
  if (ok) {
    ++counts().taken;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot remove protections from %s, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool delete_file(const char* path, double size) {
  char question[OUTPUT_LINE_SIZE + 64];
  std::snprintf(question, sizeof question, "Delete %s ?\n", path);
  if (!ask(Ask::delete_file, question)) return false;
  DWORD error = ERROR_SUCCESS;
  if (with_retry(path, [&] { return DeleteFileA(path) != FALSE; }, &error)) {
    std::printf("KOPEX-INFO, delete: %s\n", path);
    ++counts().deleted;
    counts().bytes_deleted += size;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot delete '%s', error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool remove_directory(const char* path) {
  const std::string dir = strip_backslash(path);
  char question[OUTPUT_LINE_SIZE + 64];
  std::snprintf(question, sizeof question, "Remove %s ?\n", dir.c_str());
  if (!ask(Ask::remove_dir, question)) return false;
  DWORD error = ERROR_SUCCESS;
  if (with_retry(dir.c_str(), [&] { return RemoveDirectoryA(dir.c_str()) != FALSE; }, &error)) {
    std::printf("KOPEX-INFO, remove: %s\n", dir.c_str());
    ++counts().dirs_removed;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot remove %s, error=%ld\n", dir.c_str(),
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

namespace {

// Copies through the resolved host paths when given, else through the NT paths.
bool copy_file(const char* source, const char* target, bool fail_if_exists,
               const HostPair* hosts) {
  if (hosts == nullptr) return CopyFileA(source, target, fail_if_exists ? TRUE : FALSE) != FALSE;
  DWORD error = nt_copy_resolved(hosts->source, hosts->target, fail_if_exists, hosts->directory);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

}  // namespace

bool copy_new_file(const char* source, double size, const char* target_dir,
                   const char* target_file, const HostPair* hosts) {
  char question[2 * OUTPUT_LINE_SIZE];
  std::snprintf(question, sizeof question, "Copy %s to %s ?\n", source, target_dir);
  if (!ask(Ask::copy_file, question)) return false;
  const std::string target = std::string(target_dir) + target_file;
  const std::string dir = strip_backslash(target_dir);
  DWORD error = ERROR_SUCCESS;
  if (with_retry(dir.c_str(), [&] { return copy_file(source, target.c_str(), true, hosts); },
                 &error)) {
    std::printf("KOPEX-INFO, copy: %s -> %s\n", source, target_dir);
    ++counts().copied;
    counts().bytes_copied += size;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot copy %s to %s, error=%ld\n", source, target_dir,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool replace_file(const char* source, double source_size, const FILETIME& source_time,
                  const char* target, double target_size, const FILETIME& target_time,
                  const HostPair* hosts) {
  if (!g_run.options.yes && !g_run.answered_all[static_cast<int>(Ask::replace_file)]) {
    char target_name[OUTPUT_LINE_SIZE], source_name[OUTPUT_LINE_SIZE];
    std::snprintf(target_name, sizeof target_name, "%s", target);
    std::snprintf(source_name, sizeof source_name, "%s", source);
    FILETIME t_time = target_time, s_time = source_time;
    double t_size = target_size, s_size = source_size;
    const ArgSpec table[] = {
        {ARG_STRING, 'n', ARG_OPTIONAL, target_name, 0},
        {ARG_DOUBLE, 's', ARG_OPTIONAL, &t_size, 0},
        {ARG_ABSTIME, 't', ARG_OPTIONAL, &t_time, 0},
        {ARG_STRING, 'N', ARG_OPTIONAL, source_name, 0},
        {ARG_DOUBLE, 'S', ARG_OPTIONAL, &s_size, 0},
        {ARG_ABSTIME, 'T', ARG_OPTIONAL, &s_time, 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    char question[OUTPUT_LINE_SIZE + 1];
    expand_format("Replace\n\t~n\n\t~s Bytes\n\t~t\nwith\n\t~N\n\t~S Bytes\n\t~T\n", question,
                  table, OUTPUT_LINE_SIZE);
    if (!ask(Ask::replace_file, question)) return false;
  }
  DWORD error = ERROR_SUCCESS;
  if (with_retry(target, [&] { return copy_file(source, target, false, hosts); }, &error)) {
    std::printf("KOPEX-INFO, replace: %s\n", target);
    ++counts().replaced;
    counts().bytes_copied += source_size;
    counts().bytes_deleted += source_size;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot replace %s, error=%ld\n", target,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool create_directory_tree(const char* path) {
  char full[FULL_PATH_MAX + 1];
  DWORD length = GetFullPathNameA(path, FULL_PATH_MAX, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(FULL_PATH_MAX)) {
    DWORD error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, cannot create %s, error=%ld\n", path,
                 static_cast<long>(error));
    ++counts().errors;
    SetLastError(error);
    return false;
  }
  std::string dir = full;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  size_t last = dir.rfind('\\');
  if (last == std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  std::string parent = dir.substr(0, last);
  if (parent.size() == 2 && parent[1] == ':') parent += '\\';
  if (directory_exists(parent.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (!create_directory_tree(parent.c_str())) return false;
  }
  char question[OUTPUT_LINE_SIZE + 64];
  std::snprintf(question, sizeof question, "Create %s ?\n", path);
  if (!ask(Ask::create_dir, question)) {
    SetLastError(kErrorCancelled);
    return false;
  }
  DWORD error = ERROR_SUCCESS;
  if (with_retry(parent.c_str(), [&] { return CreateDirectoryA(dir.c_str(), nullptr) != FALSE; },
                 &error)) {
    std::printf("KOPEX-INFO, created %s\n", path);
    ++counts().dirs_created;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot create %s, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  SetLastError(error);
  return false;
}

bool set_attributes(const char* path, DWORD new_attributes, DWORD old_attributes) {
  if (std::strchr(path, '\\') == nullptr) return false;
  if (new_attributes == old_attributes) return true;
  DWORD value = new_attributes == 0 ? FILE_ATTRIBUTE_NORMAL : new_attributes;
  auto write = [&] { return SetFileAttributesA(path, value) != FALSE; };
  bool ok = write();
  DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  if (!ok && error == ERROR_ACCESS_DENIED) {
    remove_protections(path);
    ok = write();
    if (!ok) error = GetLastError();
    if (!ok && error == ERROR_ACCESS_DENIED) {
      std::string parent = parent_of(path);
      if (!parent.empty()) remove_protections(parent.c_str());
      ok = write();
      if (!ok) error = GetLastError();
    }
  }
  if (ok) {
    std::printf("KOPEX-INFO, replace attributes: %s\n", path);
    ++counts().attributes;
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, SetAttribs(%s) failed, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool set_file_times(const char* path, const FILETIME* write, const FILETIME* creation,
                    const FILETIME* access) {
  FILETIME utc[3];
  const FILETIME* local[3] = {creation, access, write};
  const FILETIME* given[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    if (local[i] != nullptr && LocalFileTimeToFileTime(local[i], &utc[i])) given[i] = &utc[i];
  }
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
  auto open = [&] {
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    return file != INVALID_HANDLE_VALUE;
  };
  bool ok = with_retry(path, open, &error);
  if (ok) {
    ok = SetFileTime(file, given[0], given[1], given[2]) != FALSE;
    if (!ok) error = GetLastError();
    CloseHandle(file);
  }
  if (ok) return true;
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, SetFileTime(%s) failed, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

namespace {

bool write_security(const char* source, const char* target,
                    const std::vector<uint8_t>& descriptor) {
  DWORD error = ERROR_SUCCESS;
  auto write = [&] {
    DWORD e = ERROR_SUCCESS;
    if (asec_write_descriptor(target, descriptor, &e)) return true;
    SetLastError(e);
    return false;
  };
  if (with_retry(target, write, &error)) {
    std::printf("KOPEX-INFO, replace security: %s\n", target);
    ++counts().protections;
    return true;
  }
  (void)source;
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, SetFileSecurity(%s) failed, error=%ld\n", target,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool read_security(const char* path, std::vector<uint8_t>* descriptor, bool retry) {
  DWORD error = ERROR_SUCCESS;
  auto read = [&] {
    DWORD e = ERROR_SUCCESS;
    if (asec_read_descriptor(path, descriptor, &e)) return true;
    SetLastError(e);
    return false;
  };
  bool ok = retry ? with_retry(path, read, &error) : read();
  if (!ok && !retry) error = GetLastError();
  if (ok) return true;
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, GetFileSecurity(%s) failed, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

}  // namespace

bool copy_security(const char* source, const char* target) {
  asec_initialise();
  std::vector<uint8_t> descriptor;
  if (!read_security(source, &descriptor, true)) return false;
  return write_security(source, target, descriptor);
}

bool compare_security(const char* source, const char* target) {
  asec_initialise();
  std::vector<uint8_t> a, b;
  if (!read_security(source, &a, false)) return false;
  if (!read_security(target, &b, false)) return false;
  if (a == b) return true;
  return write_security(source, target, a);
}

bool set_owner_action(const char* server, const char* path, const char* account) {
  DWORD error = ERROR_SUCCESS;
  if (with_retry(path, [&] { return asec_set_owner(server, path, account); }, &error)) return true;
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot set owner to %s, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool set_permissions_action(const char* server, const char* path, const char* grants) {
  DWORD error = ERROR_SUCCESS;
  if (with_retry(path, [&] { return asec_set_permissions(server, path, grants); }, &error)) {
    return true;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot set owner to %s, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

bool enter_directory(const char* path) {
  DWORD error = ERROR_SUCCESS;
  if (with_retry(path, [&] { return SetCurrentDirectoryA(path) != FALSE; }, &error)) return true;
  std::fflush(stdout);
  std::fprintf(stderr, "KOPEX-ERROR, cannot go to %s, error=%ld\n", path,
               static_cast<long>(error));
  ++counts().errors;
  return false;
}

DWORD directory_exists(const char* path) {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  DWORD error = ERROR_SUCCESS;
  auto read = [&] {
    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES;
  };
  if (!with_retry(path, read, &error)) {
    if (error != ERROR_FILE_NOT_FOUND) {
      std::fflush(stdout);
      std::fprintf(stderr, "KOPEX-ERROR, DirExists(%s) failed, error=%ld\n", path,
                   static_cast<long>(error));
    }
    return INVALID_FILE_ATTRIBUTES;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? attributes : INVALID_FILE_ATTRIBUTES;
}

namespace {

// The tree delete's path, shared by the whole run.
char g_tree_path[CURRENT_PATH_MAX + 1];

void tree_delete_current() {
  if (!enter_directory(g_tree_path)) return;
  std::string pattern = std::string(g_tree_path) + "*.*";
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) {
          continue;
        }
        const size_t length = std::strlen(g_tree_path);
        const size_t name = std::strlen(data.cFileName);
        if (length + name + 1 > CURRENT_PATH_MAX) {
          std::fflush(stdout);
          std::fprintf(stderr, "KOPEX-ERROR, cannot remove %s%s, error=%ld\n", g_tree_path,
                       data.cFileName, static_cast<long>(ERROR_FILENAME_EXCED_RANGE));
          ++counts().errors;
          continue;
        }
        std::memcpy(g_tree_path + length, data.cFileName, name);
        g_tree_path[length + name] = '\\';
        g_tree_path[length + name + 1] = '\0';
        tree_delete_current();
        g_tree_path[length] = '\0';
        enter_directory(g_tree_path);
      } else {
        std::string file = std::string(g_tree_path) + data.cFileName;
        delete_file(file.c_str(), static_cast<double>(data.nFileSizeLow));
      }
    } while (FindNextFileA(search, &data));
    FindClose(search);
  }
  std::string parent = std::string(g_tree_path) + "..";
  if (!enter_directory(parent.c_str())) return;
  remove_directory(g_tree_path);
}

}  // namespace

void tree_delete(const char* path) {
  const size_t length = std::strlen(path);
  if (length > CURRENT_PATH_MAX) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, cannot remove %s, error=%ld\n", path,
                 static_cast<long>(ERROR_FILENAME_EXCED_RANGE));
    ++counts().errors;
    return;
  }
  std::memcpy(g_tree_path, path, length + 1);
  tree_delete_current();
}

void cleanup_target(const char* target_dir, const NameList& names) {
  if (!enter_directory(target_dir)) return;
  std::string pattern = std::string(target_dir) + "*.*";
  WIN32_FIND_DATAA data;
  // Names are all that is compared; the size of a file that goes is read
  // when it goes.
  HANDLE search = nt_find_first_file(pattern.c_str(), &data, NT_FIND_NAMES_ONLY);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (names.contains(data.cFileName)) continue;
    const std::string path = std::string(target_dir) + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) {
        continue;
      }
      if (g_run.options.recurse) tree_delete((path + "\\").c_str());
    } else {
      WIN32_FILE_ATTRIBUTE_DATA info;
      const DWORD size =
          GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) ? info.nFileSizeLow : 0;
      delete_file(path.c_str(), static_cast<double>(size));
    }
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

}  // namespace kopex
