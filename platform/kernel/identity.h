// Who and where the running program is: the computer name and the user name.
//
// The computer name is COMPUTERNAME, else the host's name (its first label);
// either is upper-cased and cut to 15 characters. The user is USERNAME,
// else "Administrator". nt_computer_name and nt_user_name are the one place
// that decides; the network layer will make the network's default machine
// the fallback of the computer name.
#pragma once

#include <string>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;
constexpr DWORD UNLEN = 256;

std::string nt_computer_name();
// The user the calling thread acts as: its impersonated client when it has
// one (nt_impersonate), else USERNAME, else "Administrator".
std::string nt_user_name();
// The user's domain: the impersonated client's, else USERDOMAIN, else the
// computer name (a local account).
std::string nt_user_domain();

// Impersonation: a thread acts with another user's identity (a named pipe
// server with its client's) until it reverts. Per thread; GetUserNameA and
// the access checks read it through nt_user_name and nt_user_domain.
struct NtIdentity {
  std::string user;
  std::string domain;
  std::string machine;  // where the user works (the client's computer)
};
void nt_impersonate(const NtIdentity& identity);
void nt_revert_to_self();
// True and the identity when the calling thread impersonates someone.
bool nt_impersonated_identity(NtIdentity* identity);

// `*size` holds the buffer size in characters. On success the name and a
// terminator are copied and *size becomes the length without terminator; a
// too small buffer fails with ERROR_BUFFER_OVERFLOW and *size becomes the
// size needed, terminator included. Null arguments: ERROR_INVALID_PARAMETER.
BOOL GetComputerNameA(char* buffer, DWORD* size);
BOOL GetComputerNameW(WCHAR* buffer, DWORD* size);

// `*size` holds the buffer size in characters. On success *size becomes the
// length including the terminator; a too small buffer fails with
// ERROR_INSUFFICIENT_BUFFER and *size becomes the size needed.
BOOL GetUserNameA(char* buffer, DWORD* size);
BOOL GetUserNameW(WCHAR* buffer, DWORD* size);
