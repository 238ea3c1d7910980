// Security of files and directories: GetFileSecurity, SetFileSecurity and
// the access check every file call makes (file_access.h).
//
// The descriptor of a file is kept self-relative in its extended attribute
// "user.nt.sd". A file without one (or with one that cannot be parsed)
// behaves as owned by BUILTIN\Administrators with a NULL DACL: everyone may
// do everything. Access is checked against the calling thread's token
// (security/token.h, nt_effective_token).
//
// Writing a part of the descriptor needs, as NT has it:
//   OWNER or GROUP   WRITE_OWNER (the owner of an object may not simply give
//                    it away); the new owner must be the caller's user or a
//                    group of its token that may own objects
//                    (BUILTIN\Administrators for administrators), else
//                    ERROR_INVALID_OWNER, unless SeRestorePrivilege is
//                    enabled. SeTakeOwnershipPrivilege enabled grants
//                    WRITE_OWNER whatever the DACL says.
//   DACL             WRITE_DAC (the owner always has it). A descriptor
//                    without a DACL given for DACL_SECURITY_INFORMATION sets
//                    the NULL DACL.
//   SACL             ACCESS_SYSTEM_SECURITY (SeSecurityPrivilege enabled,
//                    else ERROR_PRIVILEGE_NOT_HELD).
// Reading owner, group or DACL needs READ_CONTROL; the SACL needs
// ACCESS_SYSTEM_SECURITY.
#pragma once

#include <string>

#include "platform/security/access_check.h"
#include "platform/security/security_descriptor.h"
#include "platform/win32_types.h"

// The parts named by `requested` as a self-relative descriptor in
// `sd` (`length` bytes); too small: ERROR_INSUFFICIENT_BUFFER and *needed
// the size. A missing file: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND.
BOOL GetFileSecurityA(const char* name, SECURITY_INFORMATION requested, PSECURITY_DESCRIPTOR sd,
                      DWORD length, DWORD* needed);
BOOL GetFileSecurityW(const WCHAR* name, SECURITY_INFORMATION requested,
                      PSECURITY_DESCRIPTOR sd, DWORD length, DWORD* needed);
// Replaces the parts named by `info` with those of `sd` (either form).
BOOL SetFileSecurityA(const char* name, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd);
BOOL SetFileSecurityW(const WCHAR* name, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd);

// ---- For the layer.

// The descriptor a file without one behaves as.
NtSecurityDescriptor nt_file_default_security();
// The stored descriptor of a host file (false: none, or not readable as one).
bool nt_file_stored_security(const std::string& host, NtSecurityDescriptor* sd);
// The stored descriptor or the default one.
NtSecurityDescriptor nt_file_security(const std::string& host);
// Whether the calling thread may have `desired` (file rights; generic ones
// are mapped) on the host file: ERROR_SUCCESS or the error to fail with.
DWORD nt_file_access_check(const std::string& host, ACCESS_MASK desired);
