#include "platform/files/file_security.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>

#include "platform/files/current_directory.h"
#include "platform/files/file_errors.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"
#include "platform/security/token.h"
#include "platform/security/well_known_accounts.h"

namespace {

constexpr const char* kSecurityAttribute = "user.nt.sd";
constexpr size_t kFirstRead = 1024;

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// The attribute's bytes; false when there is none (or it cannot be read).
bool read_attribute(const std::string& host, std::string* bytes) {
  char buffer[kFirstRead];
  ssize_t got = getxattr(host.c_str(), kSecurityAttribute, buffer, sizeof buffer);
  if (got >= 0) {
    bytes->assign(buffer, static_cast<size_t>(got));
    return true;
  }
  if (errno != ERANGE) return false;
  // A large descriptor: ask its size, then read it whole.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ssize_t size = getxattr(host.c_str(), kSecurityAttribute, nullptr, 0);
    if (size < 0) return false;
    bytes->assign(static_cast<size_t>(size), '\0');
    got = getxattr(host.c_str(), kSecurityAttribute, bytes->data(), bytes->size());
    if (got >= 0) {
      bytes->resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  return false;
}

DWORD check_exists(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return nt_lookup_error(errno, host);
  return ERROR_SUCCESS;
}

DWORD get_security(const std::string& host, SECURITY_INFORMATION requested,
                   PSECURITY_DESCRIPTOR sd, DWORD length, DWORD* needed) {
  if (needed == nullptr || (sd == nullptr && length != 0)) return ERROR_INVALID_PARAMETER;
  DWORD err = check_exists(host);
  if (err != ERROR_SUCCESS) return err;
  ACCESS_MASK desired = 0;
  if (requested & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                   DACL_SECURITY_INFORMATION)) {
    desired |= READ_CONTROL;
  }
  if (requested & SACL_SECURITY_INFORMATION) desired |= ACCESS_SYSTEM_SECURITY;
  if ((err = nt_file_access_check(host, desired)) != ERROR_SUCCESS) return err;
  std::string bytes = nt_sd_build(nt_sd_select(nt_file_security(host), requested));
  return nt_sd_put(bytes, sd, length, needed);
}

DWORD set_security(const std::string& host, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
  NtSecurityDescriptor given;
  if (sd == nullptr) return ERROR_INVALID_PARAMETER;
  if (!nt_sd_read(sd, &given)) return ERROR_INVALID_SECURITY_DESCR;
  DWORD err = check_exists(host);
  if (err != ERROR_SUCCESS) return err;
  ACCESS_MASK desired = 0;
  if (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) desired |= WRITE_OWNER;
  if (info & DACL_SECURITY_INFORMATION) desired |= WRITE_DAC;
  if (info & SACL_SECURITY_INFORMATION) desired |= ACCESS_SYSTEM_SECURITY;
  if ((err = nt_file_access_check(host, desired)) != ERROR_SUCCESS) return err;

  std::shared_ptr<NtToken> token = nt_effective_token();
  NtSecurityDescriptor now = nt_file_security(host);
  if (info & OWNER_SECURITY_INFORMATION) {
    if (given.owner.empty()) return ERROR_INVALID_OWNER;
    if (!token->may_own(given.owner)) return ERROR_INVALID_OWNER;
    now.owner = given.owner;
    now.control = static_cast<WORD>(now.control & ~SE_OWNER_DEFAULTED);
  }
  if (info & GROUP_SECURITY_INFORMATION) {
    now.group = given.group;
    now.control = static_cast<WORD>(now.control & ~SE_GROUP_DEFAULTED);
  }
  if (info & DACL_SECURITY_INFORMATION) {
    now.dacl_present = true;  // no DACL given: the NULL DACL
    now.dacl = given.dacl_present ? given.dacl : std::string();
    now.control = static_cast<WORD>(now.control & ~SE_DACL_DEFAULTED);
  }
  if (info & SACL_SECURITY_INFORMATION) {
    now.sacl_present = given.sacl_present;
    now.sacl = given.sacl;
  }
  std::string bytes = nt_sd_build(now);
  if (setxattr(host.c_str(), kSecurityAttribute, bytes.data(), bytes.size(), 0) != 0) {
    return win32_error_from_errno(errno);
  }
  return ERROR_SUCCESS;
}

template <typename F>
BOOL finish(DWORD err, const NtResolvedPath& path, F f) {
  if (err == ERROR_SUCCESS) err = f(path.host);
  if (err != ERROR_SUCCESS) return fail(err);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

template <typename F>
BOOL with_path(const char* name, F f) {
  if (name == nullptr) return fail(ERROR_INVALID_PARAMETER);
  NtResolvedPath path;
  return finish(nt_resolve_path(name, &path), path, f);
}

// Wide names go through UTF-8, so no character is lost to the ANSI page.
template <typename F>
BOOL with_wide_path(const WCHAR* name, F f) {
  if (name == nullptr) return fail(ERROR_INVALID_PARAMETER);
  std::string full;
  NtResolvedPath path;
  DWORD err = nt_get_full_path(nt_wtf8_from_utf16(std::u16string_view(name)), &full);
  if (err == ERROR_SUCCESS) err = nt_resolve_full_path(full, &path);
  return finish(err, path, f);
}

}  // namespace

NtSecurityDescriptor nt_file_default_security() {
  NtSecurityDescriptor sd;
  sd.owner = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  sd.dacl_present = true;  // the NULL DACL
  return sd;
}

bool nt_file_stored_security(const std::string& host, NtSecurityDescriptor* sd) {
  std::string bytes;
  if (!read_attribute(host, &bytes)) return false;
  return nt_sd_parse(bytes, sd);
}

NtSecurityDescriptor nt_file_security(const std::string& host) {
  NtSecurityDescriptor sd;
  if (!nt_file_stored_security(host, &sd)) sd = nt_file_default_security();
  return sd;
}

DWORD nt_file_access_check(const std::string& host, ACCESS_MASK desired) {
  NtSecurityDescriptor sd;
  if (!nt_file_stored_security(host, &sd)) {
    // No descriptor: everything but the system's audit list is granted.
    if (desired & ACCESS_SYSTEM_SECURITY) {
      if (!nt_effective_token()->privilege_enabled(SE_SECURITY_PRIVILEGE)) {
        return ERROR_PRIVILEGE_NOT_HELD;
      }
    }
    return ERROR_SUCCESS;
  }
  ACCESS_MASK granted;
  return nt_access_check_token(sd, *nt_effective_token(), desired, nt_file_generic_mapping(), 0,
                               &granted);
}

BOOL GetFileSecurityA(const char* name, SECURITY_INFORMATION requested, PSECURITY_DESCRIPTOR sd,
                      DWORD length, DWORD* needed) {
  return with_path(name, [&](const std::string& host) {
    return get_security(host, requested, sd, length, needed);
  });
}

BOOL GetFileSecurityW(const WCHAR* name, SECURITY_INFORMATION requested,
                      PSECURITY_DESCRIPTOR sd, DWORD length, DWORD* needed) {
  return with_wide_path(name, [&](const std::string& host) {
    return get_security(host, requested, sd, length, needed);
  });
}

BOOL SetFileSecurityA(const char* name, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
  return with_path(name, [&](const std::string& host) { return set_security(host, info, sd); });
}

BOOL SetFileSecurityW(const WCHAR* name, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
  return with_wide_path(name,
                        [&](const std::string& host) { return set_security(host, info, sd); });
}
