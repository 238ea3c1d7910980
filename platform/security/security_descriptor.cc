#include "platform/security/security_descriptor.h"

#include <cstring>

namespace {

constexpr size_t kRelativeHeader = sizeof(SECURITY_DESCRIPTOR_RELATIVE);

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}
BOOL ok() {
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

size_t align4(size_t n) { return (n + 3) & ~size_t{3}; }

WORD control_of(PSECURITY_DESCRIPTOR sd) {
  WORD control;
  memcpy(&control, static_cast<const BYTE*>(sd) + 2, 2);
  return control;
}
bool self_relative(PSECURITY_DESCRIPTOR sd) { return (control_of(sd) & SE_SELF_RELATIVE) != 0; }

// The four parts of a descriptor of either form, as pointers (null: absent).
struct Parts {
  BYTE* owner = nullptr;
  BYTE* group = nullptr;
  BYTE* sacl = nullptr;
  BYTE* dacl = nullptr;
};

Parts parts_of(PSECURITY_DESCRIPTOR sd) {
  Parts p;
  BYTE* base = static_cast<BYTE*>(sd);
  if (self_relative(sd)) {
    SECURITY_DESCRIPTOR_RELATIVE r;
    memcpy(&r, base, sizeof r);
    if (r.Owner) p.owner = base + r.Owner;
    if (r.Group) p.group = base + r.Group;
    if (r.Sacl) p.sacl = base + r.Sacl;
    if (r.Dacl) p.dacl = base + r.Dacl;
  } else {
    SECURITY_DESCRIPTOR a;
    memcpy(&a, base, sizeof a);
    p.owner = static_cast<BYTE*>(a.Owner);
    p.group = static_cast<BYTE*>(a.Group);
    p.sacl = reinterpret_cast<BYTE*>(a.Sacl);
    p.dacl = reinterpret_cast<BYTE*>(a.Dacl);
  }
  return p;
}

WORD acl_size(const BYTE* acl) {
  WORD size;
  memcpy(&size, acl + 2, 2);
  return size;
}

bool check_header(PSECURITY_DESCRIPTOR sd) {
  return sd != nullptr && static_cast<const BYTE*>(sd)[0] == SECURITY_DESCRIPTOR_REVISION;
}

// Writes a pointer field of an absolute descriptor.
template <typename T>
BOOL set_field(PSECURITY_DESCRIPTOR sd, T SECURITY_DESCRIPTOR::*field, T value, WORD flag,
               BOOL flag_on, WORD extra_clear = 0, WORD extra_set = 0) {
  if (!check_header(sd)) return fail(ERROR_UNKNOWN_REVISION);
  if (self_relative(sd)) return fail(ERROR_INVALID_SECURITY_DESCR);
  SECURITY_DESCRIPTOR a;
  memcpy(&a, sd, sizeof a);
  a.*field = value;
  a.Control = static_cast<WORD>((a.Control & ~(flag | extra_clear)) | (flag_on ? flag : 0) |
                                extra_set);
  memcpy(sd, &a, sizeof a);
  return ok();
}

}  // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
  if (sd == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION);
  SECURITY_DESCRIPTOR a{};
  a.Revision = SECURITY_DESCRIPTOR_REVISION;
  memcpy(sd, &a, sizeof a);
  return ok();
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd) {
  if (!check_header(sd)) return FALSE;
  Parts p = parts_of(sd);
  if (p.owner && !IsValidSid(p.owner)) return FALSE;
  if (p.group && !IsValidSid(p.group)) return FALSE;
  WORD control = control_of(sd);
  if ((control & SE_DACL_PRESENT) && p.dacl && !IsValidAcl(reinterpret_cast<PACL>(p.dacl))) {
    return FALSE;
  }
  if ((control & SE_SACL_PRESENT) && p.sacl && !IsValidAcl(reinterpret_cast<PACL>(p.sacl))) {
    return FALSE;
  }
  return TRUE;
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd) {
  if (!check_header(sd)) return 0;
  Parts p = parts_of(sd);
  WORD control = control_of(sd);
  size_t length = kRelativeHeader;
  if (p.owner) length += align4(GetLengthSid(p.owner));
  if (p.group) length += align4(GetLengthSid(p.group));
  if ((control & SE_DACL_PRESENT) && p.dacl) length += align4(acl_size(p.dacl));
  if ((control & SE_SACL_PRESENT) && p.sacl) length += align4(acl_size(p.sacl));
  return static_cast<DWORD>(length);
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, PSECURITY_DESCRIPTOR_CONTROL control,
                                  DWORD* revision) {
  if (sd == nullptr || control == nullptr || revision == nullptr) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  *revision = static_cast<const BYTE*>(sd)[0];
  if (!check_header(sd)) return fail(ERROR_UNKNOWN_REVISION);
  *control = control_of(sd);
  return ok();
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, BOOL* defaulted) {
  if (owner == nullptr || defaulted == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!check_header(sd)) return fail(ERROR_UNKNOWN_REVISION);
  *owner = parts_of(sd).owner;
  *defaulted = (control_of(sd) & SE_OWNER_DEFAULTED) ? TRUE : FALSE;
  return ok();
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID owner, BOOL defaulted) {
  return set_field(sd, &SECURITY_DESCRIPTOR::Owner, owner, SE_OWNER_DEFAULTED, defaulted);
}

BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, BOOL* defaulted) {
  if (group == nullptr || defaulted == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!check_header(sd)) return fail(ERROR_UNKNOWN_REVISION);
  *group = parts_of(sd).group;
  *defaulted = (control_of(sd) & SE_GROUP_DEFAULTED) ? TRUE : FALSE;
  return ok();
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID group, BOOL defaulted) {
  return set_field(sd, &SECURITY_DESCRIPTOR::Group, group, SE_GROUP_DEFAULTED, defaulted);
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* dacl,
                               BOOL* defaulted) {
  if (present == nullptr || dacl == nullptr || defaulted == nullptr) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (!check_header(sd)) return fail(ERROR_UNKNOWN_REVISION);
  WORD control = control_of(sd);
  *present = (control & SE_DACL_PRESENT) ? TRUE : FALSE;
  if (*present) {
    *dacl = reinterpret_cast<PACL>(parts_of(sd).dacl);
    *defaulted = (control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
  }
  return ok();
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl, BOOL defaulted) {
  if (!present) {
    return set_field(sd, &SECURITY_DESCRIPTOR::Dacl, static_cast<PACL>(nullptr), SE_DACL_PRESENT,
                     FALSE, SE_DACL_DEFAULTED);
  }
  return set_field(sd, &SECURITY_DESCRIPTOR::Dacl, dacl, SE_DACL_PRESENT, TRUE,
                   SE_DACL_DEFAULTED, defaulted ? SE_DACL_DEFAULTED : 0);
}

BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* sacl,
                               BOOL* defaulted) {
  if (present == nullptr || sacl == nullptr || defaulted == nullptr) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (!check_header(sd)) return fail(ERROR_UNKNOWN_REVISION);
  WORD control = control_of(sd);
  *present = (control & SE_SACL_PRESENT) ? TRUE : FALSE;
  if (*present) {
    *sacl = reinterpret_cast<PACL>(parts_of(sd).sacl);
    *defaulted = (control & SE_SACL_DEFAULTED) ? TRUE : FALSE;
  }
  return ok();
}

BOOL SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL sacl, BOOL defaulted) {
  if (!present) {
    return set_field(sd, &SECURITY_DESCRIPTOR::Sacl, static_cast<PACL>(nullptr), SE_SACL_PRESENT,
                     FALSE, SE_SACL_DEFAULTED);
  }
  return set_field(sd, &SECURITY_DESCRIPTOR::Sacl, sacl, SE_SACL_PRESENT, TRUE,
                   SE_SACL_DEFAULTED, defaulted ? SE_SACL_DEFAULTED : 0);
}

BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR relative,
                        DWORD* length) {
  if (length == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!check_header(absolute)) return fail(ERROR_UNKNOWN_REVISION);
  if (self_relative(absolute)) return fail(ERROR_BAD_DESCRIPTOR_FORMAT);
  NtSecurityDescriptor sd;
  if (!nt_sd_read(absolute, &sd)) return fail(ERROR_INVALID_SECURITY_DESCR);
  std::string bytes = nt_sd_build(sd);
  if (relative == nullptr || bytes.size() > *length) {
    *length = static_cast<DWORD>(bytes.size());
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(relative, bytes.data(), bytes.size());
  *length = static_cast<DWORD>(bytes.size());
  return ok();
}

BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR relative, PSECURITY_DESCRIPTOR absolute,
                    DWORD* absolute_size, PACL dacl, DWORD* dacl_size, PACL sacl,
                    DWORD* sacl_size, PSID owner, DWORD* owner_size, PSID group,
                    DWORD* group_size) {
  if (!absolute_size || !dacl_size || !sacl_size || !owner_size || !group_size) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (!check_header(relative)) return fail(ERROR_UNKNOWN_REVISION);
  if (!self_relative(relative)) return fail(ERROR_BAD_DESCRIPTOR_FORMAT);
  NtSecurityDescriptor sd;
  if (!nt_sd_read(relative, &sd)) return fail(ERROR_INVALID_SECURITY_DESCR);
  DWORD need_abs = sizeof(SECURITY_DESCRIPTOR);
  DWORD need_dacl = static_cast<DWORD>(sd.dacl.size());
  DWORD need_sacl = static_cast<DWORD>(sd.sacl.size());
  DWORD need_owner = static_cast<DWORD>(sd.owner.size());
  DWORD need_group = static_cast<DWORD>(sd.group.size());
  bool small = (*absolute_size < need_abs || absolute == nullptr) ||
               (*dacl_size < need_dacl || (need_dacl && dacl == nullptr)) ||
               (*sacl_size < need_sacl || (need_sacl && sacl == nullptr)) ||
               (*owner_size < need_owner || (need_owner && owner == nullptr)) ||
               (*group_size < need_group || (need_group && group == nullptr));
  *absolute_size = need_abs;
  *dacl_size = need_dacl;
  *sacl_size = need_sacl;
  *owner_size = need_owner;
  *group_size = need_group;
  if (small) return fail(ERROR_INSUFFICIENT_BUFFER);
  SECURITY_DESCRIPTOR a{};
  a.Revision = SECURITY_DESCRIPTOR_REVISION;
  a.Control = static_cast<WORD>(sd.control & ~SE_SELF_RELATIVE);
  if (need_owner) {
    memcpy(owner, sd.owner.data(), need_owner);
    a.Owner = owner;
  }
  if (need_group) {
    memcpy(group, sd.group.data(), need_group);
    a.Group = group;
  }
  if (need_dacl) {
    memcpy(dacl, sd.dacl.data(), need_dacl);
    a.Dacl = dacl;
  }
  if (need_sacl) {
    memcpy(sacl, sd.sacl.data(), need_sacl);
    a.Sacl = sacl;
  }
  memcpy(absolute, &a, sizeof a);
  return ok();
}

// ---- bytes

bool nt_sd_parse(std::string_view bytes, NtSecurityDescriptor* sd) {
  if (bytes.size() < kRelativeHeader) return false;
  SECURITY_DESCRIPTOR_RELATIVE r;
  memcpy(&r, bytes.data(), sizeof r);
  if (r.Revision != SECURITY_DESCRIPTOR_REVISION || !(r.Control & SE_SELF_RELATIVE)) return false;
  NtSecurityDescriptor out;
  out.control = static_cast<WORD>(r.Control & ~SE_SELF_RELATIVE);
  auto sid_at = [&](DWORD offset, std::string* sid) {
    if (offset == 0) return true;
    if (offset < kRelativeHeader || offset >= bytes.size()) return false;
    size_t length = nt_sid_length(bytes.substr(offset));
    if (length == 0) return false;
    *sid = std::string(bytes.substr(offset, length));
    return true;
  };
  auto acl_at = [&](DWORD offset, std::string* acl) {
    if (offset == 0) return true;
    if (offset < kRelativeHeader || offset >= bytes.size()) return false;
    std::string_view rest = bytes.substr(offset);
    if (!nt_acl_valid(rest)) return false;
    WORD size;
    memcpy(&size, rest.data() + 2, 2);
    *acl = std::string(rest.substr(0, size));
    return true;
  };
  if (!sid_at(r.Owner, &out.owner) || !sid_at(r.Group, &out.group)) return false;
  out.dacl_present = (r.Control & SE_DACL_PRESENT) != 0;
  out.sacl_present = (r.Control & SE_SACL_PRESENT) != 0;
  if (out.dacl_present && !acl_at(r.Dacl, &out.dacl)) return false;
  if (out.sacl_present && !acl_at(r.Sacl, &out.sacl)) return false;
  *sd = std::move(out);
  return true;
}

bool nt_sd_read(PSECURITY_DESCRIPTOR sd, NtSecurityDescriptor* out) {
  if (!IsValidSecurityDescriptor(sd)) return false;
  Parts p = parts_of(sd);
  WORD control = control_of(sd);
  NtSecurityDescriptor r;
  r.control = static_cast<WORD>(control & ~SE_SELF_RELATIVE);
  if (p.owner) r.owner = std::string(reinterpret_cast<const char*>(p.owner), GetLengthSid(p.owner));
  if (p.group) r.group = std::string(reinterpret_cast<const char*>(p.group), GetLengthSid(p.group));
  r.dacl_present = (control & SE_DACL_PRESENT) != 0;
  r.sacl_present = (control & SE_SACL_PRESENT) != 0;
  if (r.dacl_present && p.dacl) r.dacl = nt_acl_bytes(p.dacl);
  if (r.sacl_present && p.sacl) r.sacl = nt_acl_bytes(p.sacl);
  *out = std::move(r);
  return true;
}

std::string nt_sd_build(const NtSecurityDescriptor& sd) {
  SECURITY_DESCRIPTOR_RELATIVE r{};
  r.Revision = SECURITY_DESCRIPTOR_REVISION;
  WORD control = static_cast<WORD>(sd.control & ~(SE_DACL_PRESENT | SE_SACL_PRESENT));
  if (sd.dacl_present) control |= SE_DACL_PRESENT;
  if (sd.sacl_present) control |= SE_SACL_PRESENT;
  r.Control = static_cast<WORD>(control | SE_SELF_RELATIVE);
  std::string body;
  auto place = [&](const std::string& part, DWORD* offset) {
    if (part.empty()) return;
    *offset = static_cast<DWORD>(kRelativeHeader + body.size());
    body += part;
    body.append(align4(part.size()) - part.size(), '\0');
  };
  if (sd.sacl_present) place(sd.sacl, &r.Sacl);
  if (sd.dacl_present) place(sd.dacl, &r.Dacl);
  place(sd.owner, &r.Owner);
  place(sd.group, &r.Group);
  std::string out(kRelativeHeader, '\0');
  memcpy(out.data(), &r, sizeof r);
  return out + body;
}

NtSecurityDescriptor nt_sd_select(const NtSecurityDescriptor& sd, SECURITY_INFORMATION info) {
  NtSecurityDescriptor out;
  if (info & OWNER_SECURITY_INFORMATION) {
    out.owner = sd.owner;
    out.control |= sd.control & SE_OWNER_DEFAULTED;
  }
  if (info & GROUP_SECURITY_INFORMATION) {
    out.group = sd.group;
    out.control |= sd.control & SE_GROUP_DEFAULTED;
  }
  if (info & DACL_SECURITY_INFORMATION) {
    out.dacl_present = sd.dacl_present;
    out.dacl = sd.dacl;
    out.control |= sd.control & SE_DACL_DEFAULTED;
  }
  if (info & SACL_SECURITY_INFORMATION) {
    out.sacl_present = sd.sacl_present;
    out.sacl = sd.sacl;
    out.control |= sd.control & SE_SACL_DEFAULTED;
  }
  return out;
}

DWORD nt_sd_put(std::string_view bytes, PSECURITY_DESCRIPTOR buffer, DWORD length,
                DWORD* needed) {
  if (needed) *needed = static_cast<DWORD>(bytes.size());
  if (buffer == nullptr || length < bytes.size()) return ERROR_INSUFFICIENT_BUFFER;
  memcpy(buffer, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}
