#include "platform/kernel/identity.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/nls/codepage.h"

namespace {

// Upper-cases with the system's case mapping and cuts to `max` characters.
std::string upper_cut(const std::string& name, size_t max) {
  std::u16string wide = nt_ansi_to_wide(name);
  for (char16_t& c : wide) c = nt_wide_upper(c);
  std::string upper = nt_wide_to_ansi(wide);
  return upper.substr(0, nt_ansi_prefix_bytes(upper, max));
}

template <typename Char>
bool check_arguments(const Char* buffer, const DWORD* size) {
  if (!size || (!buffer && *size != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

template <typename Char>
void copy_out(const std::basic_string<Char>& name, Char* buffer) {
  memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Char));
}

}  // namespace

std::string nt_computer_name() {
  const char* env = getenv("COMPUTERNAME");
  std::string name;
  if (env && *env) {
    name = env;
  } else {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) name = host;
    name = name.substr(0, name.find('.'));
    if (name.empty()) name = "LOCALHOST";
  }
  return upper_cut(name, MAX_COMPUTERNAME_LENGTH);
}

namespace {

struct ThreadIdentity {
  bool active = false;
  NtIdentity identity;
};

ThreadIdentity& thread_identity() {
  thread_local ThreadIdentity t;
  return t;
}

}  // namespace

void nt_impersonate(const NtIdentity& identity) {
  ThreadIdentity& t = thread_identity();
  t.identity = identity;
  t.active = true;
}

void nt_revert_to_self() {
  ThreadIdentity& t = thread_identity();
  t.active = false;
  t.identity = NtIdentity{};
}

bool nt_impersonated_identity(NtIdentity* identity) {
  const ThreadIdentity& t = thread_identity();
  if (!t.active) return false;
  if (identity) *identity = t.identity;
  return true;
}

std::string nt_user_name() {
  const ThreadIdentity& t = thread_identity();
  if (t.active) return t.identity.user;
  const char* env = getenv("USERNAME");
  if (env && *env) return env;
  return "Administrator";
}

std::string nt_user_domain() {
  const ThreadIdentity& t = thread_identity();
  if (t.active) return t.identity.domain;
  const char* env = getenv("USERDOMAIN");
  if (env && *env) return env;
  return nt_local_machine_name();
}

BOOL GetComputerNameA(char* buffer, DWORD* size) {
  if (!check_arguments(buffer, size)) return FALSE;
  std::string name = nt_local_machine_name();
  if (name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  copy_out(name, buffer);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

BOOL GetComputerNameW(WCHAR* buffer, DWORD* size) {
  if (!check_arguments(buffer, size)) return FALSE;
  std::u16string name = nt_ansi_to_wide(nt_local_machine_name());
  if (name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  copy_out(name, buffer);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

BOOL GetUserNameA(char* buffer, DWORD* size) {
  if (!check_arguments(buffer, size)) return FALSE;
  std::string name = nt_user_name();
  if (name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  copy_out(name, buffer);
  *size = static_cast<DWORD>(name.size() + 1);
  return TRUE;
}

BOOL GetUserNameW(WCHAR* buffer, DWORD* size) {
  if (!check_arguments(buffer, size)) return FALSE;
  std::u16string name = nt_ansi_to_wide(nt_user_name());
  if (name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  copy_out(name, buffer);
  *size = static_cast<DWORD>(name.size() + 1);
  return TRUE;
}
