#include "platform/security/logon.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>

#include "platform/accounts/account_auth.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/nls/codepage.h"
#include "platform/security/account_lookup.h"

extern char** environ;

namespace {

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

std::string sid_of(DWORD rid) { return nt_sid_make(SECURITY_NT_AUTHORITY, {rid}); }

// The group a logon type puts in place of INTERACTIVE.
std::string logon_group(DWORD logon_type) {
  switch (logon_type) {
    case LOGON32_LOGON_BATCH:
      return sid_of(SECURITY_BATCH_RID);
    case LOGON32_LOGON_SERVICE:
      return sid_of(SECURITY_SERVICE_RID);
    case LOGON32_LOGON_NETWORK:
      return sid_of(SECURITY_NETWORK_RID);
    default:
      return sid_of(SECURITY_INTERACTIVE_RID);
  }
}

BOOL logon(const std::string& user, std::string domain, const std::string& password,
           DWORD logon_type, DWORD provider, HANDLE* result) {
  if (result == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  if (logon_type < LOGON32_LOGON_INTERACTIVE || logon_type > LOGON32_LOGON_SERVICE ||
      provider > LOGON32_PROVIDER_WINNT40 || user.empty()) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (domain == ".") domain.clear();
  DWORD err = nt_account_check_password(domain, user, password);
  if (err != ERROR_SUCCESS) return fail(err);

  // The account as the local machine knows it: its SID gives the names in
  // their own case and the domain when none was given.
  NtMachineRef machine;
  if ((err = nt_open_machine(std::string_view(), &machine)) != ERROR_SUCCESS) return fail(err);
  NtAccount account;
  std::u16string name = nt_ansi_to_wide(domain.empty() ? user : domain + "\\" + user);
  std::string canonical_user = user, canonical_domain = domain;
  if (nt_lookup_account_name(machine, name, &account) == ERROR_SUCCESS) {
    canonical_user = nt_wide_to_ansi(account.name);
    canonical_domain = nt_wide_to_ansi(account.domain);
  }
  std::shared_ptr<NtToken> token;
  if ((err = nt_make_token(machine.name, canonical_domain, canonical_user, &token)) !=
      ERROR_SUCCESS) {
    return fail(err == ERROR_NONE_MAPPED ? ERROR_LOGON_FAILURE : err);
  }
  std::string interactive = sid_of(SECURITY_INTERACTIVE_RID);
  std::string replacement = logon_group(logon_type);
  bool placed = false;
  for (std::string& g : token->groups) {
    if (g == interactive) {
      g = replacement;
      placed = true;
    }
  }
  if (!placed) {
    token->groups.push_back(replacement);
    token->group_attributes.push_back(SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT |
                                      SE_GROUP_ENABLED);
  }
  HANDLE h = nt_insert_handle(std::make_shared<NtTokenHandle>(token, TOKEN_ALL_ACCESS));
  if (h == nullptr) return FALSE;
  *result = h;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

bool is_user_variable(std::string_view entry) {
  size_t eq = entry.find('=', 1);  // "=C:=..." entries keep their leading '='
  std::string_view name = entry.substr(0, eq);
  auto same = [&](const char* v) {
    return name.size() == strlen(v) && strncasecmp(name.data(), v, name.size()) == 0;
  };
  return same("USERNAME") || same("USERDOMAIN");
}

}  // namespace

std::string nt_environment_for_user(const void* environment, bool unicode,
                                    const std::string& user, const std::string& domain) {
  std::string out;
  auto append_ansi = [&](std::string_view entry) {
    if (unicode) {
      std::u16string wide = nt_ansi_to_wide(entry);
      out.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
      out.append(2, '\0');
    } else {
      out.append(entry);
      out.push_back('\0');
    }
  };
  if (environment == nullptr) {
    for (char** e = environ; e && *e; ++e) {
      if (!is_user_variable(*e)) append_ansi(*e);
    }
  } else if (unicode) {
    const WCHAR* p = static_cast<const WCHAR*>(environment);
    while (*p) {
      std::u16string_view entry(p);
      if (!is_user_variable(nt_wide_to_ansi(entry))) {
        out.append(reinterpret_cast<const char*>(entry.data()), entry.size() * 2);
        out.append(2, '\0');
      }
      p += entry.size() + 1;
    }
  } else {
    const char* p = static_cast<const char*>(environment);
    while (*p) {
      std::string_view entry(p);
      if (!is_user_variable(entry)) {
        out.append(entry);
        out.push_back('\0');
      }
      p += entry.size() + 1;
    }
  }
  append_ansi("USERNAME=" + user);
  append_ansi("USERDOMAIN=" + domain);
  out.append(unicode ? 2 : 1, '\0');
  return out;
}

BOOL LogonUserA(const char* user, const char* domain, const char* password, DWORD logon_type,
                DWORD provider, HANDLE* token) {
  if (user == nullptr || password == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return logon(user, domain ? domain : "", password, logon_type, provider, token);
}

BOOL LogonUserW(const WCHAR* user, const WCHAR* domain, const WCHAR* password, DWORD logon_type,
                DWORD provider, HANDLE* token) {
  if (user == nullptr || password == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return logon(nt_wide_to_ansi(user), domain ? nt_wide_to_ansi(domain) : std::string(),
               nt_wide_to_ansi(password), logon_type, provider, token);
}

BOOL ImpersonateLoggedOnUser(HANDLE handle) {
  auto object = nt_lookup_handle_as<NtTokenHandle>(handle);
  if (!object) return fail(ERROR_INVALID_HANDLE);
  const std::shared_ptr<NtToken>& token = object->token();
  DWORD needed = TOKEN_QUERY | (token->type == TokenPrimary ? TOKEN_DUPLICATE : TOKEN_IMPERSONATE);
  if ((object->access() & needed) != needed) return fail(ERROR_ACCESS_DENIED);
  if (token->type == TokenPrimary) {
    std::shared_ptr<NtToken> copy = token->clone();
    copy->type = TokenImpersonation;
    nt_set_thread_token(std::move(copy));
  } else {
    nt_set_thread_token(token);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CreateProcessAsUserA(HANDLE handle, const char* application_name, char* command_line,
                          SECURITY_ATTRIBUTES* process_attributes,
                          SECURITY_ATTRIBUTES* thread_attributes, BOOL inherit_handles,
                          DWORD creation_flags, void* environment, const char* current_directory,
                          STARTUPINFOA* startup_info, PROCESS_INFORMATION* process_information) {
  DWORD err;
  std::shared_ptr<NtToken> token =
      nt_token_from_handle(handle, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &err);
  if (!token) return fail(err);
  std::string block =
      nt_environment_for_user(environment, (creation_flags & CREATE_UNICODE_ENVIRONMENT) != 0,
                              token->identity.user, token->identity.domain);
  return CreateProcessA(application_name, command_line, process_attributes, thread_attributes,
                        inherit_handles, creation_flags, block.data(), current_directory,
                        startup_info, process_information);
}
