// Logging users on, impersonating them and starting processes as them.
//
// LogonUser checks the password in the account databases
// (accounts/account_auth.h) and gives a primary token of the user made on
// the local machine. The logon type's well-known group replaces
// INTERACTIVE in the token: BATCH (S-1-5-3) for a batch logon, SERVICE
// (S-1-5-6) for a service logon, NETWORK (S-1-5-2) for a network logon.
//
// A process started with CreateProcessAsUser is that user the way this
// system knows users: its environment says USERNAME and USERDOMAIN of the
// token's user (kernel/identity.h), so its process token is the user's.
#pragma once

#include "platform/pipes/named_pipe.h"  // RevertToSelf
#include "platform/process/process.h"
#include "platform/security/token.h"
#include "platform/win32_types.h"

constexpr DWORD LOGON32_LOGON_INTERACTIVE = 2;
constexpr DWORD LOGON32_LOGON_NETWORK = 3;
constexpr DWORD LOGON32_LOGON_BATCH = 4;
constexpr DWORD LOGON32_LOGON_SERVICE = 5;
constexpr DWORD LOGON32_PROVIDER_DEFAULT = 0;
constexpr DWORD LOGON32_PROVIDER_WINNT35 = 1;
constexpr DWORD LOGON32_PROVIDER_WINNT40 = 2;

// `domain` null or "." is the local machine's accounts, then its domain's.
// Errors: ERROR_LOGON_FAILURE (1326) for an unknown user or a wrong
// password, ERROR_ACCOUNT_DISABLED (1331), ERROR_ACCOUNT_EXPIRED (1793),
// ERROR_ACCOUNT_LOCKED_OUT (1909); ERROR_INVALID_PARAMETER for null user,
// password or result, an unknown logon type or provider.
BOOL LogonUserA(const char* user, const char* domain, const char* password, DWORD logon_type,
                DWORD provider, HANDLE* token);
BOOL LogonUserW(const WCHAR* user, const WCHAR* domain, const WCHAR* password, DWORD logon_type,
                DWORD provider, HANDLE* token);

// The calling thread acts as the token's user until RevertToSelf. A
// primary token needs TOKEN_QUERY and TOKEN_DUPLICATE on its handle (the
// thread gets a copy of it), an impersonation token TOKEN_QUERY and
// TOKEN_IMPERSONATE (the thread uses it as it is).
BOOL ImpersonateLoggedOnUser(HANDLE token);
// RevertToSelf (pipes/named_pipe.h) ends the impersonation of either kind:
// the thread token is dropped at the next check once the identity is gone.

// CreateProcessA with the token's user: the environment block given (ANSI,
// or UTF-16 with CREATE_UNICODE_ENVIRONMENT), or the current environment
// when none is given, with USERNAME and USERDOMAIN set to the token's user
// and domain. Every other argument and creation flag passes unchanged. The
// token handle needs TOKEN_QUERY, TOKEN_DUPLICATE and TOKEN_ASSIGN_PRIMARY
// (ERROR_ACCESS_DENIED).
BOOL CreateProcessAsUserA(HANDLE token, const char* application_name, char* command_line,
                          SECURITY_ATTRIBUTES* process_attributes,
                          SECURITY_ATTRIBUTES* thread_attributes, BOOL inherit_handles,
                          DWORD creation_flags, void* environment, const char* current_directory,
                          STARTUPINFOA* startup_info, PROCESS_INFORMATION* process_information);

// ---- For the layer.

// The environment block for a process of `user` in `domain`: `environment`
// (null: the current environment) in the encoding `unicode` says, with
// USERNAME and USERDOMAIN replaced. Entries keep their order; the two
// names are appended at the end.
std::string nt_environment_for_user(const void* environment, bool unicode,
                                    const std::string& user, const std::string& domain);
