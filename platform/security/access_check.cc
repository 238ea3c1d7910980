#include "platform/security/access_check.h"

#include <cstring>

namespace {

// The check over any source of SIDs and privileges.
template <typename HasSid, typename Privilege>
DWORD check(const NtSecurityDescriptor& sd, HasSid has_sid, Privilege privilege,
            ACCESS_MASK desired, const GENERIC_MAPPING& mapping, DWORD options,
            ACCESS_MASK* granted, std::vector<DWORD>* used) {
  *granted = 0;
  desired = nt_map_generic(desired, mapping);
  bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
  desired &= ~MAXIMUM_ALLOWED;
  const ACCESS_MASK all = mapping.GenericAll | STANDARD_RIGHTS_ALL;

  ACCESS_MASK pre = 0;  // granted before the DACL is read
  auto use = [&](DWORD value) {
    if (used) used->push_back(value);
  };
  if (desired & ACCESS_SYSTEM_SECURITY) {
    if (!privilege(SE_SECURITY_PRIVILEGE)) return ERROR_PRIVILEGE_NOT_HELD;
    pre |= ACCESS_SYSTEM_SECURITY;
    use(SE_SECURITY_PRIVILEGE);
  }
  if (((desired & WRITE_OWNER) || maximum) && privilege(SE_TAKE_OWNERSHIP_PRIVILEGE)) {
    pre |= WRITE_OWNER;
    use(SE_TAKE_OWNERSHIP_PRIVILEGE);
  }
  if (options & NT_ACCESS_BACKUP_SEMANTICS) {
    if (privilege(SE_BACKUP_PRIVILEGE)) {
      pre |= (mapping.GenericRead | READ_CONTROL | SYNCHRONIZE) & ~WRITE_DAC;
      use(SE_BACKUP_PRIVILEGE);
    }
    if (privilege(SE_RESTORE_PRIVILEGE)) {
      pre |= mapping.GenericWrite | WRITE_DAC | WRITE_OWNER | DELETE | SYNCHRONIZE;
      use(SE_RESTORE_PRIVILEGE);
    }
  }
  if (!sd.owner.empty() && has_sid(sd.owner, false)) pre |= READ_CONTROL | WRITE_DAC;

  if (!sd.dacl_present || sd.dacl.empty()) {
    *granted = maximum ? (all | desired | pre) : (desired | pre);
    *granted &= ~(ACCESS_SYSTEM_SECURITY & ~pre);
    return ERROR_SUCCESS;
  }
  std::vector<NtAce> aces;
  if (!nt_acl_parse(sd.dacl, &aces)) return ERROR_INVALID_ACL;

  if (maximum) {
    ACCESS_MASK allowed = pre;
    ACCESS_MASK denied = 0;
    for (const NtAce& ace : aces) {
      if (ace.flags & INHERIT_ONLY_ACE) continue;
      ACCESS_MASK mask = nt_map_generic(ace.mask, mapping);
      if (ace.type == ACCESS_ALLOWED_ACE_TYPE && has_sid(ace.sid, false)) {
        allowed |= mask & ~denied;
      } else if (ace.type == ACCESS_DENIED_ACE_TYPE && has_sid(ace.sid, true)) {
        denied |= mask & ~allowed;
      }
    }
    if ((desired & ~allowed) != 0 || allowed == 0) return ERROR_ACCESS_DENIED;
    *granted = allowed;
    return ERROR_SUCCESS;
  }

  ACCESS_MASK remaining = desired & ~pre;
  for (const NtAce& ace : aces) {
    if (remaining == 0) break;
    if (ace.flags & INHERIT_ONLY_ACE) continue;
    ACCESS_MASK mask = nt_map_generic(ace.mask, mapping);
    if (ace.type == ACCESS_ALLOWED_ACE_TYPE && has_sid(ace.sid, false)) {
      remaining &= ~mask;
    } else if (ace.type == ACCESS_DENIED_ACE_TYPE && (mask & remaining) &&
               has_sid(ace.sid, true)) {
      return ERROR_ACCESS_DENIED;
    }
  }
  if (remaining != 0) return ERROR_ACCESS_DENIED;
  *granted = desired;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD nt_access_check_token(const NtSecurityDescriptor& sd, const NtToken& token,
                            ACCESS_MASK desired, const GENERIC_MAPPING& mapping, DWORD options,
                            ACCESS_MASK* granted) {
  return check(
      sd, [&](std::string_view sid, bool deny) { return token.has_sid(sid, deny); },
      [&](DWORD value) { return token.privilege_enabled(value); }, desired, mapping, options,
      granted, nullptr);
}

DWORD nt_access_check(std::string_view sd_bytes, const std::vector<std::string>& token_sids,
                      ACCESS_MASK desired, const GENERIC_MAPPING& mapping, ACCESS_MASK* granted) {
  if (granted == nullptr) return ERROR_INVALID_PARAMETER;
  NtSecurityDescriptor sd;
  if (!sd_bytes.empty() && !nt_sd_parse(sd_bytes, &sd)) return ERROR_INVALID_SECURITY_DESCR;
  auto has_sid = [&](std::string_view sid, bool) {
    for (const std::string& s : token_sids) {
      if (!s.empty() && s == sid) return true;
    }
    return false;
  };
  return check(sd, has_sid, [](DWORD) { return false; }, desired, mapping, 0, granted, nullptr);
}

BOOL AccessCheck(PSECURITY_DESCRIPTOR sd, HANDLE token_handle, DWORD desired,
                 PGENERIC_MAPPING mapping, PPRIVILEGE_SET privileges, DWORD* privileges_length,
                 DWORD* granted, BOOL* status) {
  auto fail = [](DWORD code) {
    SetLastError(code);
    return FALSE;
  };
  if (mapping == nullptr || privileges_length == nullptr || granted == nullptr ||
      status == nullptr) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  DWORD err;
  std::shared_ptr<NtToken> token = nt_token_from_handle(token_handle, TOKEN_QUERY, &err);
  if (!token) return fail(err);
  if (token->type != TokenImpersonation) return fail(ERROR_NO_IMPERSONATION_TOKEN);
  if (desired & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL)) {
    return fail(ERROR_GENERIC_NOT_MAPPED);
  }
  NtSecurityDescriptor parsed;
  if (!nt_sd_read(sd, &parsed) || parsed.owner.empty() || parsed.group.empty()) {
    return fail(ERROR_INVALID_SECURITY_DESCR);
  }
  std::vector<DWORD> used;
  ACCESS_MASK result = 0;
  err = check(
      parsed, [&](std::string_view sid, bool deny) { return token->has_sid(sid, deny); },
      [&](DWORD value) { return token->privilege_enabled(value); }, desired, *mapping, 0, &result,
      &used);
  if (err == ERROR_INVALID_ACL) return fail(ERROR_INVALID_SECURITY_DESCR);
  DWORD size = static_cast<DWORD>(offsetof(PRIVILEGE_SET, Privilege) +
                                  std::max<size_t>(used.size(), 1) * sizeof(LUID_AND_ATTRIBUTES));
  if (privileges == nullptr || *privileges_length < size) {
    *privileges_length = size;
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  DWORD count = err == ERROR_SUCCESS ? static_cast<DWORD>(used.size()) : 0;
  memset(privileges, 0, size);
  memcpy(privileges, &count, sizeof count);
  for (DWORD i = 0; i < count; ++i) {
    LUID_AND_ATTRIBUTES e{{used[i], 0}, SE_PRIVILEGE_USED_FOR_ACCESS};
    memcpy(reinterpret_cast<BYTE*>(privileges) + offsetof(PRIVILEGE_SET, Privilege) +
               i * sizeof e,
           &e, sizeof e);
  }
  *granted = err == ERROR_SUCCESS ? result : 0;
  *status = err == ERROR_SUCCESS ? TRUE : FALSE;
  SetLastError(err);
  return TRUE;
}
