#include "platform/files/path.h"

#include <cstdlib>
#include <cstring>

#include "platform/files/current_directory.h"
#include "platform/files/drives.h"
#include "platform/files/host_names.h"
#include "platform/files/nt_path.h"
#include "platform/kernel/error.h"

namespace {

std::string windows_directory() {
  const char* root = getenv("SYSTEMROOT");
  if (root && *root) return root;
  return "C:\\WINNT";
}

// Copies `text` the Win32 way for the directory calls.
UINT copy_directory(const std::string& text, char* buffer, UINT size) {
  if (!buffer && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

void finish(const NtPathParts& parts, const NtRootDir& root, NtResolvedPath* out) {
  out->host = parts.names.empty() ? root.host : nt_lookup_names(root.host, parts.names);
  if (parts.trailing_separator) out->host += '/';
  out->root = parts.names.empty() && root.drive_root;
  out->given_name = parts.names.empty() ? std::string() : parts.names.back();
}

}  // namespace

DWORD nt_resolve_full_path(const std::string& full, NtResolvedPath* out) {
  NtPathParts parts = nt_split_full_path(full);
  out->full = full;
  switch (parts.kind) {
    case NtPathKind::host: {
      out->host = full;
      out->root = full == "/";
      out->given_name = parts.names.empty() ? std::string() : parts.names.back();
      return ERROR_SUCCESS;
    }
    case NtPathKind::device:
      return ERROR_FILE_NOT_FOUND;
    case NtPathKind::drive: {
      NtRootDir root;
      DWORD err = nt_drive_root(parts.drive, &root);
      if (err == ERROR_INVALID_DRIVE) return ERROR_PATH_NOT_FOUND;
      if (err != ERROR_SUCCESS) return err;
      finish(parts, root, out);
      return ERROR_SUCCESS;
    }
    case NtPathKind::unc: {
      NtRootDir root;
      DWORD err = nt_share_root(parts.server, parts.share, &root);
      if (err != ERROR_SUCCESS) return err;
      finish(parts, root, out);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_PATH_NOT_FOUND;
}

DWORD nt_resolve_path(const char* nt_path, NtResolvedPath* out) {
  if (!nt_path || !*nt_path) return ERROR_PATH_NOT_FOUND;
  std::string full;
  DWORD err = nt_get_full_path(nt_ansi_to_host(nt_path), &full);
  if (err != ERROR_SUCCESS) return err;
  return nt_resolve_full_path(full, out);
}

bool nt_host_path(const char* nt_path, std::string* host) {
  if (!host) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  NtResolvedPath resolved;
  DWORD err = nt_resolve_path(nt_path, &resolved);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return false;
  }
  *host = std::move(resolved.host);
  return true;
}

bool nt_path_has_directory(const char* nt_path) {
  if (!nt_path) return false;
  for (const char* p = nt_path; *p; ++p) {
    if (nt_is_separator(*p) || *p == ':') return true;
  }
  return false;
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
  return copy_directory(windows_directory(), buffer, size);
}

UINT GetSystemDirectoryA(char* buffer, UINT size) {
  return copy_directory(windows_directory() + "\\system32", buffer, size);
}
