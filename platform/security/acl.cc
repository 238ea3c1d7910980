#include "platform/security/acl.h"

#include <cstring>

namespace {

WORD get16(const BYTE* p) {
  WORD v;
  memcpy(&v, p, 2);
  return v;
}
void put16(BYTE* p, WORD v) { memcpy(p, &v, 2); }
DWORD get32(const BYTE* p) {
  DWORD v;
  memcpy(&v, p, 4);
  return v;
}
void put32(BYTE* p, DWORD v) { memcpy(p, &v, 4); }

constexpr size_t kAclHeader = 8;
constexpr size_t kAceFixed = 8;  // header and mask; the SID follows

bool known_type(BYTE type) { return type <= SYSTEM_ALARM_ACE_TYPE; }

// Checks one ACE of `size` bytes available; its length in *length.
bool ace_valid(const BYTE* ace, size_t available, size_t* length) {
  if (available < sizeof(ACE_HEADER)) return false;
  WORD size = get16(ace + 2);
  if (size < sizeof(ACE_HEADER) || size > available || (size & 3) != 0) return false;
  if (known_type(ace[0])) {
    if (size < kAceFixed) return false;
    size_t sid = nt_sid_length(std::string_view(reinterpret_cast<const char*>(ace) + kAceFixed,
                                                size - kAceFixed));
    if (sid == 0) return false;
  }
  *length = size;
  return true;
}

// Validates the ACL's header and ACEs; the end of the last ACE in *used.
bool acl_valid(const BYTE* acl, size_t* used) {
  if (acl == nullptr) return false;
  if (acl[0] < MIN_ACL_REVISION || acl[0] > MAX_ACL_REVISION) return false;
  WORD size = get16(acl + 2);
  if (size < kAclHeader || (size & 3) != 0) return false;
  WORD count = get16(acl + 4);
  size_t offset = kAclHeader;
  for (WORD i = 0; i < count; ++i) {
    size_t length;
    if (!ace_valid(acl + offset, size - offset, &length)) return false;
    offset += length;
  }
  if (used) *used = offset;
  return true;
}

// Offset of the index-th ACE of a valid ACL (index == count: the end).
size_t ace_offset(const BYTE* acl, DWORD index) {
  size_t offset = kAclHeader;
  for (DWORD i = 0; i < index; ++i) offset += get16(acl + offset + 2);
  return offset;
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// Inserts `length` bytes of ACEs (`count` of them) at ACE position `start`.
BOOL insert_aces(PACL acl, DWORD revision, DWORD start, const BYTE* list, size_t length,
                 WORD count) {
  BYTE* bytes = reinterpret_cast<BYTE*>(acl);
  size_t used;
  if (!acl_valid(bytes, &used)) return fail(ERROR_INVALID_ACL);
  if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION) {
    return fail(ERROR_REVISION_MISMATCH);
  }
  WORD size = get16(bytes + 2);
  WORD have = get16(bytes + 4);
  if (used + length > size || static_cast<size_t>(have) + count > 0xFFFF) {
    return fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
  }
  if (start > have) start = have;
  size_t at = ace_offset(bytes, start);
  memmove(bytes + at + length, bytes + at, used - at);
  memcpy(bytes + at, list, length);
  put16(bytes + 4, static_cast<WORD>(have + count));
  if (revision > bytes[0]) bytes[0] = static_cast<BYTE>(revision);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL add_simple_ace(PACL acl, DWORD revision, BYTE type, DWORD flags, ACCESS_MASK mask,
                    PSID sid) {
  if (!acl_valid(reinterpret_cast<const BYTE*>(acl), nullptr)) return fail(ERROR_INVALID_ACL);
  if (!IsValidSid(sid)) return fail(ERROR_INVALID_SID);
  if (flags & ~static_cast<DWORD>(VALID_INHERIT_FLAGS | SUCCESSFUL_ACCESS_ACE_FLAG |
                                  FAILED_ACCESS_ACE_FLAG)) {
    return fail(ERROR_INVALID_FLAGS);
  }
  DWORD sid_length = GetLengthSid(sid);
  BYTE ace[kAceFixed + SECURITY_MAX_SID_SIZE];
  ace[0] = type;
  ace[1] = static_cast<BYTE>(flags);
  put16(ace + 2, static_cast<WORD>(kAceFixed + sid_length));
  put32(ace + 4, mask);
  memcpy(ace + kAceFixed, sid, sid_length);
  return insert_aces(acl, revision, MAXDWORD, ace, kAceFixed + sid_length, 1);
}

}  // namespace

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
  if (acl == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (length < kAclHeader) return fail(ERROR_INSUFFICIENT_BUFFER);
  if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION || length > 0xFFFF) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  BYTE* bytes = reinterpret_cast<BYTE*>(acl);
  memset(bytes, 0, kAclHeader);
  bytes[0] = static_cast<BYTE>(revision);
  put16(bytes + 2, static_cast<WORD>(length & ~3u));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL IsValidAcl(PACL acl) { return acl_valid(reinterpret_cast<const BYTE*>(acl), nullptr); }

BOOL GetAclInformation(PACL acl, void* info, DWORD length, ACL_INFORMATION_CLASS info_class) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(acl);
  size_t used;
  if (info == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!acl_valid(bytes, &used)) return fail(ERROR_INVALID_ACL);
  switch (info_class) {
    case AclRevisionInformation: {
      if (length < sizeof(ACL_REVISION_INFORMATION)) return fail(ERROR_INSUFFICIENT_BUFFER);
      ACL_REVISION_INFORMATION r{bytes[0]};
      memcpy(info, &r, sizeof r);
      break;
    }
    case AclSizeInformation: {
      if (length < sizeof(ACL_SIZE_INFORMATION)) return fail(ERROR_INSUFFICIENT_BUFFER);
      ACL_SIZE_INFORMATION s{get16(bytes + 4), static_cast<DWORD>(used),
                             static_cast<DWORD>(get16(bytes + 2) - used)};
      memcpy(info, &s, sizeof s);
      break;
    }
    default:
      return fail(ERROR_INVALID_PARAMETER);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid) {
  return add_simple_ace(acl, revision, ACCESS_ALLOWED_ACE_TYPE, 0, mask, sid);
}

BOOL AddAccessDeniedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid) {
  return add_simple_ace(acl, revision, ACCESS_DENIED_ACE_TYPE, 0, mask, sid);
}

BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, ACCESS_MASK mask, PSID sid) {
  if (flags & ~static_cast<DWORD>(VALID_INHERIT_FLAGS)) return fail(ERROR_INVALID_FLAGS);
  return add_simple_ace(acl, revision, ACCESS_ALLOWED_ACE_TYPE, flags, mask, sid);
}

BOOL AddAccessDeniedAceEx(PACL acl, DWORD revision, DWORD flags, ACCESS_MASK mask, PSID sid) {
  if (flags & ~static_cast<DWORD>(VALID_INHERIT_FLAGS)) return fail(ERROR_INVALID_FLAGS);
  return add_simple_ace(acl, revision, ACCESS_DENIED_ACE_TYPE, flags, mask, sid);
}

BOOL AddAuditAccessAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid, BOOL success,
                       BOOL failure) {
  DWORD flags = (success ? SUCCESSFUL_ACCESS_ACE_FLAG : 0) | (failure ? FAILED_ACCESS_ACE_FLAG : 0);
  return add_simple_ace(acl, revision, SYSTEM_AUDIT_ACE_TYPE, flags, mask, sid);
}

BOOL AddAce(PACL acl, DWORD revision, DWORD start, void* list, DWORD length) {
  if (list == nullptr && length != 0) return fail(ERROR_INVALID_PARAMETER);
  const BYTE* bytes = static_cast<const BYTE*>(list);
  size_t offset = 0;
  DWORD count = 0;
  while (offset < length) {
    size_t ace_length;
    if (!ace_valid(bytes + offset, length - offset, &ace_length)) {
      return fail(ERROR_INVALID_PARAMETER);
    }
    offset += ace_length;
    ++count;
  }
  if (count > 0xFFFF) return fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
  return insert_aces(acl, revision, start, bytes, length, static_cast<WORD>(count));
}

BOOL GetAce(PACL acl, DWORD index, void** ace) {
  BYTE* bytes = reinterpret_cast<BYTE*>(acl);
  if (ace == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!acl_valid(bytes, nullptr)) return fail(ERROR_INVALID_ACL);
  if (index >= get16(bytes + 4)) return fail(ERROR_INVALID_PARAMETER);
  *ace = bytes + ace_offset(bytes, index);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL DeleteAce(PACL acl, DWORD index) {
  BYTE* bytes = reinterpret_cast<BYTE*>(acl);
  size_t used;
  if (!acl_valid(bytes, &used)) return fail(ERROR_INVALID_ACL);
  WORD count = get16(bytes + 4);
  if (index >= count) return fail(ERROR_INVALID_PARAMETER);
  size_t at = ace_offset(bytes, index);
  size_t length = get16(bytes + at + 2);
  memmove(bytes + at, bytes + at + length, used - at - length);
  memset(bytes + used - length, 0, length);
  put16(bytes + 4, static_cast<WORD>(count - 1));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// ---- bytes

std::string nt_acl_bytes(const void* acl) {
  const BYTE* bytes = static_cast<const BYTE*>(acl);
  if (!acl_valid(bytes, nullptr)) return std::string();
  return std::string(reinterpret_cast<const char*>(bytes), get16(bytes + 2));
}

std::string nt_acl_make(const std::vector<NtAce>& aces) {
  std::string out(kAclHeader, '\0');
  for (const NtAce& ace : aces) {
    size_t sid_length = nt_sid_length(ace.sid);
    std::string entry(kAceFixed, '\0');
    BYTE* e = reinterpret_cast<BYTE*>(entry.data());
    e[0] = ace.type;
    e[1] = ace.flags;
    put16(e + 2, static_cast<WORD>(kAceFixed + sid_length));
    put32(e + 4, ace.mask);
    entry.append(ace.sid, 0, sid_length);
    if (out.size() + entry.size() > 0xFFFC) break;  // an ACL holds at most 64 KB
    out += entry;
  }
  BYTE* h = reinterpret_cast<BYTE*>(out.data());
  h[0] = ACL_REVISION;
  put16(h + 2, static_cast<WORD>(out.size()));
  // Count what fitted.
  size_t offset = kAclHeader;
  WORD count = 0;
  while (offset < out.size()) {
    offset += get16(h + offset + 2);
    ++count;
  }
  put16(h + 4, count);
  return out;
}

bool nt_acl_valid(std::string_view bytes) {
  if (bytes.size() < kAclHeader) return false;
  const BYTE* b = reinterpret_cast<const BYTE*>(bytes.data());
  if (get16(b + 2) > bytes.size()) return false;
  return acl_valid(b, nullptr);
}

bool nt_acl_parse(std::string_view bytes, std::vector<NtAce>* aces) {
  if (!nt_acl_valid(bytes)) return false;
  const BYTE* b = reinterpret_cast<const BYTE*>(bytes.data());
  aces->clear();
  WORD count = get16(b + 4);
  size_t offset = kAclHeader;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* a = b + offset;
    WORD size = get16(a + 2);
    NtAce ace;
    ace.type = a[0];
    ace.flags = a[1];
    if (known_type(a[0])) {
      ace.mask = get32(a + 4);
      std::string_view sid(reinterpret_cast<const char*>(a) + kAceFixed, size - kAceFixed);
      ace.sid = std::string(sid.substr(0, nt_sid_length(sid)));
    }
    aces->push_back(std::move(ace));
    offset += size;
  }
  return true;
}
