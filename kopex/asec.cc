#include "kopex/asec.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "grants/grants.h"
#include "platform/files/file_security.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/nls/codepage.h"
#include "platform/process/process.h"
#include "platform/security/account_lookup.h"
#include "platform/security/acl.h"
#include "platform/security/privilege.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/token.h"

namespace kopex {

namespace {

constexpr DWORD kNoneMapped = 1332;  // ERROR_NONE_MAPPED

// The own descriptor: the token's owner and a NULL DACL.
bool g_initialised = false;
alignas(8) BYTE g_token_owner[256];
alignas(8) BYTE g_own_descriptor[SECURITY_DESCRIPTOR_MIN_LENGTH + 64];

// The last grant string and its ACL.
std::string g_last_grants;
bool g_have_grants = false;
alignas(8) BYTE g_grants_acl[SECURITY_BUFFER_SIZE];
alignas(8) BYTE g_grants_descriptor[SECURITY_DESCRIPTOR_MIN_LENGTH + 64];

void error_line(const char* text) {
  std::fflush(stdout);
  std::fputs(text, stderr);
}

std::u16string wide(const char* text) {
  std::u16string out;
  if (text == nullptr) return out;
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

const WCHAR* server_or_null(const std::u16string& server) {
  return server.empty() ? nullptr : server.c_str();
}

bool enable_privilege(HANDLE token, const char* name, const char* label) {
  char line[160];
  TOKEN_PRIVILEGES privileges = {};
  if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
    std::snprintf(line, sizeof line, "LookupPrivilegeValue() failed, error=%ld\n",
                  static_cast<long>(GetLastError()));
    error_line(line);
  } else {
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr) &&
        GetLastError() == ERROR_SUCCESS) {
      return true;
    }
    std::snprintf(line, sizeof line, "AdjustTokenPrivileges() failed, error=%ld\n",
                  static_cast<long>(GetLastError()));
    error_line(line);
  }
  DWORD error = GetLastError();
  std::snprintf(line, sizeof line, "SetPriv(%s) failed, error=%ld\n", label,
                static_cast<long>(error));
  error_line(line);
  SetLastError(error);
  return false;
}

// Reads the parts of `path` named by `info` into `buffer`.
bool read_security(const char* path, SECURITY_INFORMATION info, BYTE* buffer, DWORD size) {
  std::memset(buffer, 0, size);
  DWORD needed = 0;
  return GetFileSecurityA(path, info, buffer, size, &needed) != FALSE;
}

}  // namespace

bool asec_initialise() {
  if (g_initialised) return true;
  char line[160];
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  if (process == nullptr || process == INVALID_HANDLE_VALUE) {
    std::snprintf(line, sizeof line, "OpenProcess() failed, error=%ld\n",
                  static_cast<long>(GetLastError()));
    error_line(line);
    return false;
  }
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_DEFAULT,
                        &token)) {
    DWORD error = GetLastError();
    std::snprintf(line, sizeof line, "OpenProcessToken() failed, error=%ld\n",
                  static_cast<long>(error));
    error_line(line);
    CloseHandle(process);
    SetLastError(error);
    return false;
  }
  bool ok = true;
  DWORD needed = 0;
  if (!GetTokenInformation(token, TokenOwner, g_token_owner, sizeof g_token_owner, &needed)) {
    DWORD error = GetLastError();
    std::printf("Required bytes: %ld not %ld\n", static_cast<long>(needed), 256L);
    std::snprintf(line, sizeof line, "GetTokenInformation(TOKEN_OWNER) failed, error=%ld\n",
                  static_cast<long>(error));
    error_line(line);
    SetLastError(error);
    ok = false;
  }
  if (ok) {
    InitializeSecurityDescriptor(g_own_descriptor, SECURITY_DESCRIPTOR_REVISION);
    PSID owner = reinterpret_cast<TOKEN_OWNER*>(g_token_owner)->Owner;
    if (!SetSecurityDescriptorOwner(g_own_descriptor, owner, FALSE)) {
      std::snprintf(line, sizeof line, "SetSecurityDescriptorOwner() to ourselves failed, error=%ld\n",
                    static_cast<long>(GetLastError()));
      error_line(line);
      ok = false;
    } else if (!SetSecurityDescriptorDacl(g_own_descriptor, TRUE, nullptr, FALSE)) {
      std::snprintf(line, sizeof line, "SetSecurityDescriptorDacl(NULL) failed, error=%ld\n",
                    static_cast<long>(GetLastError()));
      error_line(line);
      ok = false;
    }
  }
  ok = ok && enable_privilege(token, SE_TAKE_OWNERSHIP_NAME, "SE_TAKE_OWNERSHIP_NAME") &&
       enable_privilege(token, SE_RESTORE_NAME, "SE_RESTORE_NAME");
  DWORD error = GetLastError();
  CloseHandle(token);
  CloseHandle(process);
  g_initialised = ok;
  SetLastError(ok ? ERROR_SUCCESS : error);
  return ok;
}

bool asec_take_ownership(const char* path) {
  if (!asec_initialise()) return false;
  char line[2048];
  if (!SetFileSecurityA(path, OWNER_SECURITY_INFORMATION, g_own_descriptor)) {
    DWORD error = GetLastError();
    std::snprintf(line, sizeof line, "ASEC-ERROR, TakeOwnership(%s) failed, error=%ld\n", path,
                  static_cast<long>(error));
    error_line(line);
    SetLastError(error);
    return false;
  }
  if (!SetFileSecurityA(path, DACL_SECURITY_INFORMATION, g_own_descriptor)) {
    DWORD error = GetLastError();
    std::snprintf(line, sizeof line, "ASEC-ERROR, RemoveDacl(%s) failed, error=%ld\n", path,
                  static_cast<long>(error));
    error_line(line);
    SetLastError(error);
    return false;
  }
  std::printf("ASEC-INFO, took ownership of %s\n", path);
  return true;
}

void asec_read_owner(const char* server, const char* path, char name[24], char domain[24]) {
  std::strcpy(name, "?");
  std::strcpy(domain, "?");
  char line[2048];
  alignas(8) BYTE buffer[512];
  if (!read_security(path, OWNER_SECURITY_INFORMATION, buffer, sizeof buffer)) {
    DWORD error = GetLastError();
    std::snprintf(line, sizeof line, "GetFileSecurity() for '%s' failed, error=%ld\n", path,
                  static_cast<long>(error));
    error_line(line);
    if (error == ERROR_ACCESS_DENIED) std::strcpy(name, "AccessDenied");
  } else if (!IsValidSecurityDescriptor(buffer)) {
    std::snprintf(line, sizeof line, "Security Descriptor is invalid, error=%ld\n",
                  static_cast<long>(GetLastError()));
    error_line(line);
  } else {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(buffer, &owner, &defaulted) || owner == nullptr) {
      DWORD error = owner == nullptr && GetLastError() == 0 ? ERROR_INVALID_SID : GetLastError();
      std::snprintf(line, sizeof line, "GetSecurityDescriptorOwner() failed, error=%ld\n",
                    static_cast<long>(error));
      error_line(line);
      if (error == ERROR_ACCESS_DENIED) std::strcpy(name, "AccessDenied");
    } else {
      char n[24] = "", d[24] = "";
      DWORD n_size = sizeof n, d_size = sizeof d;
      SID_NAME_USE use;
      if (LookupAccountSidA(server && *server ? server : nullptr, owner, n, &n_size, d, &d_size,
                            &use)) {
        std::strcpy(name, n);
        std::strcpy(domain, d);
      } else if (GetLastError() == kNoneMapped) {
        std::strcpy(name, "AccountUnknown");
      } else {
        std::snprintf(line, sizeof line, "LookupAccountSid() failed for %s, error=%ld\n", path,
                      static_cast<long>(GetLastError()));
        error_line(line);
        std::snprintf(line, sizeof line, "Required:%ld,%ld\n", static_cast<long>(n_size),
                      static_cast<long>(d_size));
        error_line(line);
      }
    }
  }
  if (name[0] == '\0') std::strcpy(name, "AccountDeleted");
  if (std::strcmp(name, "?") == 0) std::strcpy(name, "ERROR");
  if (std::strcmp(domain, "?") == 0) std::strcpy(domain, "ERROR");
}

void asec_read_acl(const char* server, const char* path, char* text, int32_t* count) {
  text[0] = '\0';
  *count = 0;
  grants_set_label("ASEC");
  char line[2048];
  alignas(8) BYTE buffer[SECURITY_BUFFER_SIZE];
  if (!read_security(path, DACL_SECURITY_INFORMATION, buffer, sizeof buffer)) {
    std::snprintf(line, sizeof line, "ASEC-ERROR, GetFileSecurity(%s) failed, error=%ld\n", path,
                  static_cast<long>(GetLastError()));
    error_line(line);
    return;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(buffer, &present, &dacl, &defaulted)) {
    std::snprintf(line, sizeof line, "ASEC-ERROR, GetSecurityDescriptorDacl(%s) failed, error=%ld\n",
                  path, static_cast<long>(GetLastError()));
    error_line(line);
    return;
  }
  if (!present || dacl == nullptr) return;
  const std::u16string s = wide(server);
  int aces = 0;
  DWORD error = acl_to_grants(server_or_null(s), dacl, text, ACL_TEXT_MAX, &aces);
  *count = (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) ? aces
                                                                 : static_cast<int32_t>(error);
}

bool asec_set_owner(const char* server, const char* path, const char* account) {
  grants_set_label("ASEC");
  const std::u16string s = wide(server);
  alignas(8) BYTE sid[GRANTS_SID_SIZE];
  if (!name_to_sid(server_or_null(s), account, sid, sizeof sid)) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(kNoneMapped);
    return false;
  }
  alignas(8) BYTE descriptor[SECURITY_DESCRIPTOR_MIN_LENGTH + 64];
  InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION);
  char line[2048];
  if (!SetSecurityDescriptorOwner(descriptor, sid, FALSE)) {
    std::snprintf(line, sizeof line, "SetSecurityDescriptorOwner() to '%s' failed, error=%ld\n",
                  account, static_cast<long>(GetLastError()));
    error_line(line);
    return false;
  }
  if (!SetFileSecurityA(path, OWNER_SECURITY_INFORMATION, descriptor)) {
    DWORD error = GetLastError();
    std::snprintf(line, sizeof line, "SetFileSecurity() for '%s' failed, error=%ld\n", path,
                  static_cast<long>(error));
    error_line(line);
    SetLastError(error);
    return false;
  }
  return true;
}

bool asec_set_permissions(const char* server, const char* path, const char* grants) {
  grants_set_label("ASEC");
  char line[2048];
  if (!g_have_grants || g_last_grants != grants) {
    g_last_grants = grants;
    g_have_grants = true;
    const std::u16string s = wide(server);
    std::memset(g_grants_acl, 0, sizeof g_grants_acl);
    grants_to_acl(server_or_null(s), grants, reinterpret_cast<PACL>(g_grants_acl),
                  sizeof g_grants_acl);
    InitializeSecurityDescriptor(g_grants_descriptor, SECURITY_DESCRIPTOR_REVISION);
    if (!SetSecurityDescriptorDacl(g_grants_descriptor, TRUE,
                                   reinterpret_cast<PACL>(g_grants_acl), FALSE)) {
      DWORD error = GetLastError();
      std::snprintf(line, sizeof line, "ASEC-ERROR, SetSecurityDescriptorDacl(%s) failed, error=%ld\n",
                    path, static_cast<long>(error));
      error_line(line);
      g_have_grants = false;
      SetLastError(error);
      return false;
    }
  }
  if (!SetFileSecurityA(path, DACL_SECURITY_INFORMATION, g_grants_descriptor)) {
    DWORD error = GetLastError();
    std::snprintf(line, sizeof line, "ASEC-ERROR, SetFileSecurity(%s) failed, error=%ld\n", path,
                  static_cast<long>(error));
    error_line(line);
    SetLastError(error);
    return false;
  }
  return true;
}

bool asec_read_descriptor(const char* path, std::vector<uint8_t>* buffer, DWORD* error) {
  buffer->assign(SECURITY_BUFFER_SIZE, 0);
  if (read_security(path,
                    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                        DACL_SECURITY_INFORMATION,
                    buffer->data(), SECURITY_BUFFER_SIZE)) {
    return true;
  }
  *error = GetLastError();
  return false;
}

bool asec_write_descriptor(const char* path, const std::vector<uint8_t>& descriptor,
                           DWORD* error) {
  std::vector<uint8_t> copy = descriptor;
  if (SetFileSecurityA(path,
                       OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                           DACL_SECURITY_INFORMATION,
                       copy.data())) {
    return true;
  }
  *error = GetLastError();
  return false;
}

}  // namespace kopex
