#include "platform/security/token.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/accounts/account_auth.h"
#include "platform/kernel/error.h"
#include "platform/network/network.h"
#include "platform/process/process.h"
#include "platform/security/well_known_accounts.h"
#include "platform/sync/thread.h"

// ---- NtToken

std::vector<NtTokenPrivilege> NtToken::privileges() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return privileges_;
}

void NtToken::set_privileges(std::vector<NtTokenPrivilege> privileges) {
  std::lock_guard<std::mutex> guard(mutex_);
  privileges_ = std::move(privileges);
}

bool NtToken::privilege_enabled(DWORD value) const {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const NtTokenPrivilege& p : privileges_) {
    if (p.value == value) return (p.attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  return false;
}

bool NtToken::privilege_held(DWORD value) const {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const NtTokenPrivilege& p : privileges_) {
    if (p.value == value) return true;
  }
  return false;
}

bool NtToken::has_sid(std::string_view sid, bool for_deny) const {
  if (sid.empty()) return false;
  if (sid == user_sid) return true;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (groups[i] != sid) continue;
    DWORD a = group_attributes[i];
    if (a & SE_GROUP_ENABLED) return true;
    if (for_deny && (a & SE_GROUP_USE_FOR_DENY_ONLY)) return true;
  }
  return false;
}

bool NtToken::is_admin() const {
  return has_sid(nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS));
}

bool NtToken::may_own(std::string_view sid) const {
  if (sid.empty()) return false;
  if (sid == user_sid) return true;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (groups[i] == sid && (group_attributes[i] & SE_GROUP_OWNER)) return true;
  }
  return privilege_enabled(SE_RESTORE_PRIVILEGE);
}

std::shared_ptr<NtToken> NtToken::clone() const {
  auto copy = std::make_shared<NtToken>();
  copy->identity = identity;
  copy->made_on = made_on;
  copy->user_sid = user_sid;
  copy->groups = groups;
  copy->group_attributes = group_attributes;
  copy->owner = owner;
  copy->primary_group = primary_group;
  copy->type = type;
  copy->level = level;
  copy->set_privileges(privileges());
  return copy;
}

namespace {

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}
BOOL ok() {
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

std::string env(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}

// The privileges a token gets by who it is.
std::vector<NtTokenPrivilege> privileges_for(const NtToken& token) {
  std::vector<NtTokenPrivilege> out;
  constexpr DWORD kOn = SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT;
  if (token.user_sid == nt_sid_local_system()) {
    for (DWORD v = SE_MIN_WELL_KNOWN_PRIVILEGE; v <= SE_MAX_WELL_KNOWN_PRIVILEGE; ++v) {
      bool on = v == SE_TCB_PRIVILEGE || v == SE_CREATE_PAGEFILE_PRIVILEGE ||
                v == SE_LOCK_MEMORY_PRIVILEGE || v == SE_INC_BASE_PRIORITY_PRIVILEGE ||
                v == SE_CREATE_PERMANENT_PRIVILEGE || v == SE_AUDIT_PRIVILEGE ||
                v == SE_CHANGE_NOTIFY_PRIVILEGE || v == SE_DEBUG_PRIVILEGE ||
                v == SE_PROF_SINGLE_PROCESS_PRIVILEGE;
      out.push_back({v, on ? kOn : 0});
    }
    return out;
  }
  out.push_back({SE_CHANGE_NOTIFY_PRIVILEGE, kOn});
  if (token.is_admin()) {
    for (DWORD v : {SE_SECURITY_PRIVILEGE, SE_BACKUP_PRIVILEGE, SE_RESTORE_PRIVILEGE,
                    SE_SYSTEMTIME_PRIVILEGE, SE_SHUTDOWN_PRIVILEGE, SE_REMOTE_SHUTDOWN_PRIVILEGE,
                    SE_TAKE_OWNERSHIP_PRIVILEGE, SE_DEBUG_PRIVILEGE,
                    SE_SYSTEM_ENVIRONMENT_PRIVILEGE, SE_SYSTEM_PROFILE_PRIVILEGE,
                    SE_PROF_SINGLE_PROCESS_PRIVILEGE, SE_INC_BASE_PRIORITY_PRIVILEGE,
                    SE_LOAD_DRIVER_PRIVILEGE, SE_CREATE_PAGEFILE_PRIVILEGE,
                    SE_INCREASE_QUOTA_PRIVILEGE}) {
      out.push_back({v, 0});
    }
  } else {
    out.push_back({SE_SHUTDOWN_PRIVILEGE, 0});
  }
  return out;
}

// Fills in attributes, owner, primary group and privileges.
void finish_token(NtToken* token) {
  std::string admins = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  token->group_attributes.clear();
  for (const std::string& g : token->groups) {
    DWORD a = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    if (g == admins) a |= SE_GROUP_OWNER;
    token->group_attributes.push_back(a);
  }
  token->owner = token->is_admin() ? admins : token->user_sid;
  token->primary_group = token->user_sid;
  token->set_privileges(privileges_for(*token));
}

// A token for an identity no account database knows. Such an identity only
// arises from USERNAME naming nobody (a test's or a script's default user):
// it acts as an administrator of the machine, as the layer's default user
// does, with the NULL SID as its user.
std::shared_ptr<NtToken> unknown_identity_token(const NtIdentity& identity) {
  auto token = std::make_shared<NtToken>();
  token->identity = identity;
  token->user_sid = nt_sid_make(SECURITY_NULL_SID_AUTHORITY, {0});
  token->groups = {nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS), nt_sid_everyone(),
                   nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_INTERACTIVE_RID}),
                   nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_AUTHENTICATED_USER_RID})};
  finish_token(token.get());
  return token;
}

struct Cache {
  std::mutex mutex;
  std::string process_key;
  std::shared_ptr<NtToken> process;
  std::map<std::string, std::shared_ptr<NtToken>> others;  // impersonated and remote
};
Cache& cache() {
  static Cache* c = new Cache();
  return *c;
}

// What a cached token depends on besides the identity.
std::string environment_key() { return env("NT_NETWORK") + '\n' + env("COMPUTERNAME") + '\n'; }

// A token that another machine gives a caller it has no account for: the
// world's groups and NETWORK, nothing more.
std::shared_ptr<NtToken> stranger_token(const NtIdentity& identity) {
  auto token = std::make_shared<NtToken>();
  token->identity = identity;
  token->user_sid = nt_sid_make(SECURITY_NULL_SID_AUTHORITY, {0});
  token->groups = {nt_sid_everyone(), nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_NETWORK_RID})};
  finish_token(token.get());
  return token;
}

std::shared_ptr<NtToken> make_or_fallback(const std::string& machine, const NtIdentity& identity,
                                          TOKEN_TYPE type) {
  std::shared_ptr<NtToken> token;
  if (nt_make_token(machine, identity.domain, identity.user, &token) != ERROR_SUCCESS) {
    // Known here but not there: a stranger to the other machine. Known
    // nowhere: the default user.
    std::shared_ptr<NtToken> here;
    if (!machine.empty() && machine != nt_local_machine_name() &&
        nt_make_token(std::string(), identity.domain, identity.user, &here) == ERROR_SUCCESS) {
      token = stranger_token(identity);
    } else {
      token = unknown_identity_token(identity);
    }
  }
  if (!identity.machine.empty()) token->identity.machine = identity.machine;
  if (token->made_on.empty()) token->made_on = machine.empty() ? nt_local_machine_name() : machine;
  token->type = type;
  return token;
}

// A cached token of an identity on a machine.
std::shared_ptr<NtToken> cached_token(const std::string& machine, const NtIdentity& identity,
                                      bool network_logon) {
  std::string key = environment_key() + machine + '\n' + identity.domain + '\n' + identity.user +
                    (network_logon ? "\nnet" : "\nlocal");
  Cache& c = cache();
  {
    std::lock_guard<std::mutex> guard(c.mutex);
    auto it = c.others.find(key);
    if (it != c.others.end()) return it->second;
  }
  auto token = make_or_fallback(machine, identity, TokenImpersonation);
  if (network_logon) {
    std::vector<NtTokenPrivilege> privileges = token->privileges();
    for (NtTokenPrivilege& p : privileges) p.attributes = 0;
    token->set_privileges(std::move(privileges));
  }
  std::lock_guard<std::mutex> guard(c.mutex);
  if (c.others.size() > 256) c.others.clear();
  return c.others.emplace(key, token).first->second;
}

struct ThreadToken {
  std::shared_ptr<NtToken> token;
};
ThreadToken& thread_token() {
  thread_local ThreadToken t;
  return t;
}

bool same_identity(const NtIdentity& a, const NtIdentity& b) {
  return a.user == b.user && a.domain == b.domain;
}

DWORD map_token_access(DWORD access) {
  DWORD out = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                         MAXIMUM_ALLOWED);
  if (access & GENERIC_READ) out |= TOKEN_READ;
  if (access & GENERIC_WRITE) out |= TOKEN_WRITE;
  if (access & GENERIC_EXECUTE) out |= TOKEN_EXECUTE;
  if (access & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= TOKEN_ALL_ACCESS;
  return out;
}

BOOL hand_out(std::shared_ptr<NtToken> token, DWORD access, HANDLE* result) {
  HANDLE h = nt_insert_handle(std::make_shared<NtTokenHandle>(std::move(token),
                                                              map_token_access(access)));
  if (h == nullptr) return FALSE;
  *result = h;
  return ok();
}

// Lays out a structure followed by SIDs: `head` bytes of structure, then
// each SID at a multiple of four.
struct Layout {
  size_t head;
  std::vector<size_t> offsets;
  size_t total;
};
Layout lay_out(size_t head, const std::vector<const std::string*>& sids) {
  Layout l{head, {}, (head + 7) & ~size_t{7}};
  for (const std::string* s : sids) {
    l.offsets.push_back(l.total);
    l.total += (s->size() + 3) & ~size_t{3};
  }
  return l;
}

}  // namespace

DWORD nt_make_token(const std::string& machine, const std::string& domain,
                    const std::string& user, std::shared_ptr<NtToken>* token) {
  if (token == nullptr || user.empty()) return ERROR_INVALID_PARAMETER;
  std::string where = machine.empty() ? nt_local_machine_name() : machine;
  auto t = std::make_shared<NtToken>();
  DWORD err = nt_account_token_sids(where, domain, user, &t->user_sid, &t->groups);
  if (err != ERROR_SUCCESS) return err;
  t->identity.user = user;
  t->identity.domain = domain;
  t->identity.machine = where;
  t->made_on = where;
  finish_token(t.get());
  *token = std::move(t);
  return ERROR_SUCCESS;
}

std::shared_ptr<NtToken> nt_process_token() {
  std::string user = env("USERNAME");
  std::string domain = env("USERDOMAIN");
  std::string key = environment_key() + domain + '\n' + user;
  Cache& c = cache();
  {
    std::lock_guard<std::mutex> guard(c.mutex);
    if (c.process && c.process_key == key) return c.process;
  }
  NtIdentity identity;
  identity.user = user.empty() ? "Administrator" : user;
  identity.domain = domain.empty() ? nt_local_machine_name() : domain;
  auto token = make_or_fallback(std::string(), identity, TokenPrimary);
  std::lock_guard<std::mutex> guard(c.mutex);
  if (!c.process || c.process_key != key) {
    c.process = token;
    c.process_key = key;
  }
  return c.process;
}

std::shared_ptr<NtToken> nt_effective_token() {
  NtIdentity identity;
  ThreadToken& t = thread_token();
  if (!nt_impersonated_identity(&identity)) {
    t.token.reset();
    return nt_process_token();
  }
  if (t.token && same_identity(t.token->identity, identity)) return t.token;
  return cached_token(std::string(), identity, false);
}

std::shared_ptr<NtToken> nt_effective_token_on(const std::string& machine) {
  std::shared_ptr<NtToken> local = nt_effective_token();
  std::string upper = machine;
  for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  if (upper.empty() || upper == local->made_on) return local;
  NtIdentity identity = local->identity;
  identity.machine.clear();
  return cached_token(upper, identity, true);
}

void nt_set_thread_token(std::shared_ptr<NtToken> token) {
  ThreadToken& t = thread_token();
  if (!token) {
    t.token.reset();
    nt_revert_to_self();
    return;
  }
  NtIdentity identity = token->identity;
  t.token = std::move(token);
  nt_impersonate(identity);
}

std::shared_ptr<NtToken> nt_token_from_handle(HANDLE handle, DWORD needed, DWORD* error) {
  auto object = nt_lookup_handle_as<NtTokenHandle>(handle);
  if (!object) {
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if ((object->access() & needed) != needed) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return object->token();
}

void nt_token_flush_cache() {
  Cache& c = cache();
  std::lock_guard<std::mutex> guard(c.mutex);
  c.process.reset();
  c.process_key.clear();
  c.others.clear();
}

// ---- Win32 calls

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  if (token == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *token = nullptr;
  if (process != GetCurrentProcess()) {
    DWORD id = GetProcessId(process);
    if (id == 0) return FALSE;  // the last error is the lookup's
    if (id != GetCurrentProcessId()) return fail(ERROR_ACCESS_DENIED);
  }
  return hand_out(nt_process_token(), access, token);
}

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL /*open_as_self*/, HANDLE* token) {
  if (token == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *token = nullptr;
  if (thread != GetCurrentThread()) {
    DWORD id = GetThreadId(thread);
    if (id == 0) return FALSE;
    if (id != GetCurrentThreadId()) return fail(ERROR_ACCESS_DENIED);
  }
  if (!nt_impersonated_identity(nullptr)) return fail(ERROR_NO_TOKEN);
  return hand_out(nt_effective_token(), access, token);
}

BOOL GetTokenInformation(HANDLE handle, TOKEN_INFORMATION_CLASS info_class, void* info,
                         DWORD length, DWORD* needed) {
  if (needed == nullptr) return fail(ERROR_INVALID_PARAMETER);
  DWORD err;
  std::shared_ptr<NtToken> token = nt_token_from_handle(handle, TOKEN_QUERY, &err);
  if (!token) return fail(err);
  std::string out;
  auto put_struct = [&](const void* data, size_t size) { memcpy(out.data(), data, size); };
  switch (info_class) {
    case TokenUser:
    case TokenOwner:
    case TokenPrimaryGroup: {
      const std::string& sid = info_class == TokenUser    ? token->user_sid
                               : info_class == TokenOwner ? token->owner
                                                          : token->primary_group;
      size_t head = info_class == TokenUser ? sizeof(TOKEN_USER) : sizeof(PSID);
      Layout l = lay_out(head, {&sid});
      out.assign(l.total, '\0');
      memcpy(out.data() + l.offsets[0], sid.data(), sid.size());
      break;
    }
    case TokenGroups: {
      std::vector<const std::string*> sids;
      for (const std::string& g : token->groups) sids.push_back(&g);
      Layout l = lay_out(offsetof(TOKEN_GROUPS, Groups) + sids.size() * sizeof(SID_AND_ATTRIBUTES),
                         sids);
      out.assign(l.total, '\0');
      for (size_t i = 0; i < sids.size(); ++i) {
        memcpy(out.data() + l.offsets[i], sids[i]->data(), sids[i]->size());
      }
      break;
    }
    case TokenPrivileges: {
      std::vector<NtTokenPrivilege> privileges = token->privileges();
      out.assign(offsetof(TOKEN_PRIVILEGES, Privileges) +
                     privileges.size() * sizeof(LUID_AND_ATTRIBUTES),
                 '\0');
      break;
    }
    case TokenDefaultDacl: {
      std::vector<NtAce> aces = {{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, token->owner},
                                 {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, nt_sid_local_system()}};
      std::string acl = nt_acl_make(aces);
      out.assign(sizeof(TOKEN_DEFAULT_DACL) + acl.size(), '\0');
      memcpy(out.data() + sizeof(TOKEN_DEFAULT_DACL), acl.data(), acl.size());
      break;
    }
    case TokenType:
      out.assign(sizeof(DWORD), '\0');
      break;
    case TokenImpersonationLevel:
      if (token->type != TokenImpersonation) return fail(ERROR_INVALID_PARAMETER);
      out.assign(sizeof(DWORD), '\0');
      break;
    default:
      return fail(ERROR_INVALID_PARAMETER);
  }
  *needed = static_cast<DWORD>(out.size());
  if (info == nullptr || length < out.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
  // Now that the buffer's address is known, fill in the pointers.
  BYTE* base = static_cast<BYTE*>(info);
  switch (info_class) {
    case TokenUser: {
      TOKEN_USER u{{base + sizeof(TOKEN_USER), 0}};
      put_struct(&u, sizeof u);
      break;
    }
    case TokenOwner:
    case TokenPrimaryGroup: {
      PSID p = base + ((sizeof(PSID) + 7) & ~size_t{7});
      put_struct(&p, sizeof p);
      break;
    }
    case TokenGroups: {
      std::vector<const std::string*> sids;
      for (const std::string& g : token->groups) sids.push_back(&g);
      Layout l = lay_out(offsetof(TOKEN_GROUPS, Groups) + sids.size() * sizeof(SID_AND_ATTRIBUTES),
                         sids);
      DWORD count = static_cast<DWORD>(sids.size());
      memcpy(out.data(), &count, sizeof count);
      for (size_t i = 0; i < sids.size(); ++i) {
        SID_AND_ATTRIBUTES e{base + l.offsets[i], token->group_attributes[i]};
        memcpy(out.data() + offsetof(TOKEN_GROUPS, Groups) + i * sizeof e, &e, sizeof e);
      }
      break;
    }
    case TokenPrivileges: {
      std::vector<NtTokenPrivilege> privileges = token->privileges();
      DWORD count = static_cast<DWORD>(privileges.size());
      memcpy(out.data(), &count, sizeof count);
      for (size_t i = 0; i < privileges.size(); ++i) {
        LUID_AND_ATTRIBUTES e{{privileges[i].value, 0}, privileges[i].attributes};
        memcpy(out.data() + offsetof(TOKEN_PRIVILEGES, Privileges) + i * sizeof e, &e, sizeof e);
      }
      break;
    }
    case TokenDefaultDacl: {
      TOKEN_DEFAULT_DACL d{reinterpret_cast<PACL>(base + sizeof(TOKEN_DEFAULT_DACL))};
      put_struct(&d, sizeof d);
      break;
    }
    case TokenType: {
      DWORD t = token->type;
      put_struct(&t, sizeof t);
      break;
    }
    case TokenImpersonationLevel: {
      DWORD level = token->level;
      put_struct(&level, sizeof level);
      break;
    }
    default:
      break;
  }
  memcpy(info, out.data(), out.size());
  return ok();
}

BOOL AdjustTokenPrivileges(HANDLE handle, BOOL disable_all, PTOKEN_PRIVILEGES state, DWORD length,
                           PTOKEN_PRIVILEGES previous, DWORD* needed) {
  DWORD err;
  DWORD access = TOKEN_ADJUST_PRIVILEGES | (previous ? TOKEN_QUERY : 0);
  std::shared_ptr<NtToken> token = nt_token_from_handle(handle, access, &err);
  if (!token) return fail(err);
  if (!disable_all && state == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (previous != nullptr && needed == nullptr) return fail(ERROR_INVALID_PARAMETER);

  std::vector<NtTokenPrivilege> privileges = token->privileges();
  std::vector<NtTokenPrivilege> changed;
  bool missing = false;
  auto set = [&](NtTokenPrivilege& p, bool enable) {
    bool on = (p.attributes & SE_PRIVILEGE_ENABLED) != 0;
    if (on == enable) return;
    changed.push_back(p);
    p.attributes = enable ? (p.attributes | SE_PRIVILEGE_ENABLED)
                          : (p.attributes & ~SE_PRIVILEGE_ENABLED);
  };
  if (disable_all) {
    for (NtTokenPrivilege& p : privileges) set(p, false);
  } else {
    DWORD count;
    memcpy(&count, state, sizeof count);
    for (DWORD i = 0; i < count; ++i) {
      LUID_AND_ATTRIBUTES e;
      memcpy(&e, reinterpret_cast<BYTE*>(state) + offsetof(TOKEN_PRIVILEGES, Privileges) +
                     i * sizeof e,
             sizeof e);
      NtTokenPrivilege* found = nullptr;
      if (e.Luid.HighPart == 0) {
        for (NtTokenPrivilege& p : privileges) {
          if (p.value == e.Luid.LowPart) found = &p;
        }
      }
      if (found == nullptr) {
        missing = true;
        continue;
      }
      set(*found, (e.Attributes & SE_PRIVILEGE_ENABLED) != 0);
    }
  }
  if (previous != nullptr) {
    DWORD size = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                    changed.size() * sizeof(LUID_AND_ATTRIBUTES));
    *needed = size;
    if (length < size) return fail(ERROR_INSUFFICIENT_BUFFER);
    DWORD count = static_cast<DWORD>(changed.size());
    memcpy(previous, &count, sizeof count);
    for (size_t i = 0; i < changed.size(); ++i) {
      LUID_AND_ATTRIBUTES e{{changed[i].value, 0}, changed[i].attributes};
      memcpy(reinterpret_cast<BYTE*>(previous) + offsetof(TOKEN_PRIVILEGES, Privileges) +
                 i * sizeof e,
             &e, sizeof e);
    }
  }
  token->set_privileges(std::move(privileges));
  SetLastError(missing ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
  return TRUE;
}

BOOL DuplicateToken(HANDLE handle, SECURITY_IMPERSONATION_LEVEL level, HANDLE* duplicate) {
  if (duplicate == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (level < SecurityAnonymous || level > SecurityDelegation) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  DWORD err;
  std::shared_ptr<NtToken> token = nt_token_from_handle(handle, TOKEN_DUPLICATE, &err);
  if (!token) return fail(err);
  std::shared_ptr<NtToken> copy = token->clone();
  copy->type = TokenImpersonation;
  copy->level = level;
  return hand_out(std::move(copy), TOKEN_ALL_ACCESS, duplicate);
}

BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level) {
  if (level < SecurityAnonymous || level > SecurityDelegation) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  std::shared_ptr<NtToken> copy = nt_process_token()->clone();
  copy->type = TokenImpersonation;
  copy->level = level;
  nt_set_thread_token(std::move(copy));
  return ok();
}
