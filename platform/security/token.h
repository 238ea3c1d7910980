// Access tokens: who a process or an impersonating thread is, for the access
// checks of files, registry keys and pipes.
//
// A token holds the user's SID, its groups (with attributes), its
// privileges (with their enabled state), its default owner and primary
// group. The SIDs come from the account databases of the machine the token
// is made on (accounts/account_auth.h, nt_account_token_sids).
//
// The process token stands for the identity of kernel/identity.h without
// impersonation: USERNAME in USERDOMAIN (LocalSystem is SYSTEM in
// "NT AUTHORITY"), made on the local machine at first use and kept for the
// process, so that AdjustTokenPrivileges through one handle is seen through
// every other handle and by the access checks, as in NT. When USERNAME,
// USERDOMAIN, COMPUTERNAME or NT_NETWORK change (tests do), a new process
// token is made at the next use; handles opened before keep the old one.
//
// A thread that impersonates (ImpersonateNamedPipeClient,
// ImpersonateLoggedOnUser) has a thread token: the logged-on user's token,
// or one made for the impersonated identity on the local machine.
// Access checks use the thread token when there is one, else the process
// token (nt_effective_token).
//
// Default owner: BUILTIN\Administrators for members of it (SE_GROUP_OWNER
// on that group), else the user. Primary group: the user's SID.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/handle.h"
#include "platform/kernel/identity.h"
#include "platform/security/access_mask.h"
#include "platform/security/acl.h"
#include "platform/security/group_attributes.h"
#include "platform/security/privilege.h"
#include "platform/kernel/error.h"
#include "platform/security/sid.h"
#include "platform/win32_types.h"

constexpr DWORD TOKEN_ASSIGN_PRIMARY = 0x0001;
constexpr DWORD TOKEN_DUPLICATE = 0x0002;
constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_QUERY_SOURCE = 0x0010;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_ADJUST_GROUPS = 0x0040;
constexpr DWORD TOKEN_ADJUST_DEFAULT = 0x0080;
constexpr DWORD TOKEN_ALL_ACCESS = 0x000F01FF;
constexpr DWORD TOKEN_READ = 0x00020008;
constexpr DWORD TOKEN_WRITE = 0x000200E0;
constexpr DWORD TOKEN_EXECUTE = 0x00020000;

enum TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenGroups,
  TokenPrivileges,
  TokenOwner,
  TokenPrimaryGroup,
  TokenDefaultDacl,
  TokenSource,
  TokenType,
  TokenImpersonationLevel,
  TokenStatistics,
};

enum TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation };
enum SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation,
};

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
};
struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};
using PTOKEN_PRIVILEGES = TOKEN_PRIVILEGES*;
struct TOKEN_OWNER {
  PSID Owner;
};
struct TOKEN_PRIMARY_GROUP {
  PSID PrimaryGroup;
};
struct TOKEN_DEFAULT_DACL {
  PACL DefaultDacl;
};

// ---- The token object.

struct NtTokenPrivilege {
  DWORD value;       // SE_*_PRIVILEGE
  DWORD attributes;  // SE_PRIVILEGE_*
};

class NtToken {
 public:
  NtIdentity identity;   // user, domain, and the client's machine when impersonated
  std::string made_on;   // the machine whose account databases gave the SIDs
  std::string user_sid;  // binary
  std::vector<std::string> groups;
  std::vector<DWORD> group_attributes;
  std::string owner;          // default owner of new objects
  std::string primary_group;  // default primary group
  TOKEN_TYPE type = TokenPrimary;
  SECURITY_IMPERSONATION_LEVEL level = SecurityImpersonation;

  // The privileges are guarded: AdjustTokenPrivileges may run while another
  // thread checks access.
  std::vector<NtTokenPrivilege> privileges() const;
  void set_privileges(std::vector<NtTokenPrivilege> privileges);
  bool privilege_enabled(DWORD value) const;
  bool privilege_held(DWORD value) const;
  // The user or an enabled group (deny-only groups count when `for_deny`).
  bool has_sid(std::string_view sid, bool for_deny = false) const;
  bool is_admin() const;
  // Whether `sid` may be set as an object's owner by this token: its user,
  // or a group with SE_GROUP_OWNER; any SID with SeRestorePrivilege enabled.
  bool may_own(std::string_view sid) const;
  // A copy with its own privilege state.
  std::shared_ptr<NtToken> clone() const;

 private:
  mutable std::mutex mutex_;
  std::vector<NtTokenPrivilege> privileges_;
};

// What a token handle holds: the token and the access the handle has.
class NtTokenHandle : public KernelObject {
 public:
  NtTokenHandle(std::shared_ptr<NtToken> token, DWORD access)
      : token_(std::move(token)), access_(access) {}
  const std::shared_ptr<NtToken>& token() const { return token_; }
  DWORD access() const { return access_; }

 private:
  std::shared_ptr<NtToken> token_;
  DWORD access_;
};

// The calling process's token. Access is what the handle may do
// (TOKEN_QUERY for GetTokenInformation, TOKEN_ADJUST_PRIVILEGES for
// AdjustTokenPrivileges ...); GENERIC_* rights map to TOKEN_READ,
// TOKEN_WRITE, TOKEN_EXECUTE, TOKEN_ALL_ACCESS; MAXIMUM_ALLOWED gives all.
// The process is GetCurrentProcess() or a handle of the calling process;
// another process: ERROR_ACCESS_DENIED.
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
// The thread token of the calling thread (GetCurrentThread());
// ERROR_NO_TOKEN when it does not impersonate. `open_as_self` is accepted
// and has no effect.
BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL open_as_self, HANDLE* token);
// TokenUser, TokenGroups, TokenPrivileges, TokenOwner, TokenPrimaryGroup,
// TokenDefaultDacl, TokenType, TokenImpersonationLevel. The structure comes
// first and the SIDs it points to after it, in `length` bytes; too small
// (or a null buffer): ERROR_INSUFFICIENT_BUFFER and *needed the size. The
// handle needs TOKEN_QUERY (ERROR_ACCESS_DENIED). An impersonation level
// asked of a primary token: ERROR_INVALID_PARAMETER.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS info_class, void* info,
                         DWORD length, DWORD* needed);
// Sets the enabled state of each given privilege (SE_PRIVILEGE_ENABLED in
// its attributes: enabled, else disabled), or disables all with
// `disable_all`. The previous state of those changed goes to `previous`
// (sized in `length`, ERROR_INSUFFICIENT_BUFFER with *needed, nothing
// changed). The call succeeds when the token lacks one of them, with
// ERROR_NOT_ALL_ASSIGNED as the last error; else ERROR_SUCCESS. The
// handle needs TOKEN_ADJUST_PRIVILEGES (and TOKEN_QUERY for `previous`).
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES state, DWORD length,
                           PTOKEN_PRIVILEGES previous, DWORD* needed);
// An impersonation token with its own privilege state (the handle needs
// TOKEN_DUPLICATE).
BOOL DuplicateToken(HANDLE token, SECURITY_IMPERSONATION_LEVEL level, HANDLE* duplicate);
// The calling thread gets an impersonation token of the process token.
BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level);

// ---- For the layer.

// A new token for DOMAIN\USER made on `machine` (empty: the local machine).
// SYSTEM in NT AUTHORITY is LocalSystem. Errors of the account database
// (ERROR_NONE_MAPPED for an unknown account).
DWORD nt_make_token(const std::string& machine, const std::string& domain,
                    const std::string& user, std::shared_ptr<NtToken>* token);
// The process token (see above); never null. An identity that no account
// database knows (USERNAME naming nobody, as tests and scripts leave it)
// gets a token with the NULL SID as its user and BUILTIN\Administrators,
// Everyone, INTERACTIVE and Authenticated Users as its groups: it acts as
// an administrator, like the layer's default user. Real accounts get their
// real groups.
std::shared_ptr<NtToken> nt_process_token();
// The thread token when the calling thread impersonates, else the process
// token.
std::shared_ptr<NtToken> nt_effective_token();
// The token of the calling thread's identity as `machine` sees it (its
// account database), for checks of objects of another machine: the
// effective token itself for the local machine, else a token of the same
// user made there (privileges held but disabled, as a network logon has).
std::shared_ptr<NtToken> nt_effective_token_on(const std::string& machine);
// Makes `token` the calling thread's token (null: none). The identity of
// kernel/identity.h follows.
void nt_set_thread_token(std::shared_ptr<NtToken> token);
// The token behind a handle with the access needed, else null and the
// error (ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED).
std::shared_ptr<NtToken> nt_token_from_handle(HANDLE handle, DWORD needed, DWORD* error);
// Forgets the cached tokens: the next use makes them again from the
// account databases (after group memberships changed).
void nt_token_flush_cache();
