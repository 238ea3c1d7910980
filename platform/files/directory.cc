#include "platform/files/directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/file_info.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"

namespace {

BOOL fail_bool(DWORD code) {
  SetLastError(code);
  return FALSE;
}

std::string without_trailing_slash(std::string host) {
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

}  // namespace

BOOL CreateDirectoryA(const char* path, SECURITY_ATTRIBUTES* /*security*/) {
  if (!path) return fail_bool(ERROR_PATH_NOT_FOUND);
  NtResolvedPath resolved;
  DWORD err = nt_resolve_path(path, &resolved);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  if (resolved.root) return fail_bool(ERROR_ALREADY_EXISTS);
  std::string host = without_trailing_slash(resolved.host);
  if ((err = nt_check_file_access(nt_host_parent(host), NtFileOperation::create_child)) !=
      ERROR_SUCCESS) {
    return fail_bool(err);
  }
  if (mkdir(host.c_str(), 0777) != 0) {
    if (errno == EEXIST) return fail_bool(ERROR_ALREADY_EXISTS);
    return fail_bool(errno == ENOENT ? ERROR_PATH_NOT_FOUND : nt_lookup_error(errno, host));
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL RemoveDirectoryA(const char* path) {
  if (!path) return fail_bool(ERROR_PATH_NOT_FOUND);
  NtResolvedPath resolved;
  DWORD err = nt_resolve_path(path, &resolved);
  if (err != ERROR_SUCCESS) return fail_bool(err);
  std::string host = without_trailing_slash(resolved.host);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return fail_bool(nt_lookup_error(errno, host));
  if (!S_ISDIR(st.st_mode)) return fail_bool(ERROR_DIRECTORY);
  if (resolved.root) return fail_bool(ERROR_ACCESS_DENIED);
  if (nt_is_read_only(host)) return fail_bool(ERROR_ACCESS_DENIED);
  if ((err = nt_check_file_access(host, NtFileOperation::remove)) != ERROR_SUCCESS) {
    return fail_bool(err);
  }
  struct stat here;
  if (stat(".", &here) == 0 && here.st_dev == st.st_dev && here.st_ino == st.st_ino) {
    return fail_bool(ERROR_SHARING_VIOLATION);  // in use as the current directory
  }
  if (rmdir(host.c_str()) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST) return fail_bool(ERROR_DIR_NOT_EMPTY);
    if (errno == EBUSY) return fail_bool(ERROR_SHARING_VIOLATION);
    return fail_bool(nt_lookup_error(errno, host));
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
