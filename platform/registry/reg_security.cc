#include "platform/registry/reg_security.h"

#include <vector>

#include "platform/kernel/error.h"
#include "platform/security/access_check.h"
#include "platform/security/well_known_accounts.h"

namespace {

constexpr REGSAM kKeyAll = KEY_ALL_ACCESS;

// The machine a store belongs to: the name of its folder.
std::string machine_of(const MachineStore& store) {
  std::string dir = store.directory();
  size_t slash = dir.find_last_of('/');
  return slash == std::string::npos ? dir : dir.substr(slash + 1);
}

// The user SID of the profile a key lies in (below HKEY_USERS), or empty.
std::string profile_sid(MachineStore& store, int64_t id) {
  std::string below_root;
  for (int depth = 0; depth < 512 && id != 0; ++depth) {
    StoreQuery q(store, "SELECT parent, name FROM reg_keys WHERE id=?");
    q.bind(1, id);
    if (!q.step()) return std::string();
    int64_t parent = q.column_int64(0);
    if (parent == 0) {
      if (id != kRegRootUsers) return std::string();
      std::string sid;
      return nt_sid_from_text(below_root, &sid) ? sid : std::string();
    }
    below_root = q.column_text(1);
    id = parent;
  }
  return std::string();
}

// The default descriptor; with `user` (a profile's SID) that user's ACE too.
NtSecurityDescriptor default_security(const std::string& user) {
  NtSecurityDescriptor sd;
  sd.owner = nt_sid_builtin_alias(DOMAIN_ALIAS_RID_ADMINS);
  sd.group = nt_sid_local_system();
  sd.dacl_present = true;
  std::vector<NtAce> aces = {
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, kKeyAll, sd.owner},
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, kKeyAll, nt_sid_local_system()},
      {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, KEY_READ, nt_sid_everyone()},
  };
  if (!user.empty()) aces.push_back({ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, kKeyAll, user});
  sd.dacl = nt_acl_make(aces);
  return sd;
}

// The key's own descriptor (false: none or unreadable).
bool own_security(MachineStore& store, int64_t id, NtSecurityDescriptor* sd, DWORD* err) {
  StoreQuery q(store, "SELECT security FROM reg_keys WHERE id=?");
  q.bind(1, id);
  if (!q.step()) {
    *err = q.error() != ERROR_SUCCESS ? q.error() : ERROR_KEY_DELETED;
    return false;
  }
  *err = ERROR_SUCCESS;
  if (q.column_is_null(0)) return false;
  std::string_view bytes = q.column_blob(0);
  return !bytes.empty() && nt_sd_parse(bytes, sd);
}

int64_t parent_of(MachineStore& store, int64_t id) {
  StoreQuery q(store, "SELECT parent FROM reg_keys WHERE id=?");
  q.bind(1, id);
  return q.step() ? q.column_int64(0) : 0;
}

// What a new key gets below a parent with the explicit descriptor `parent`.
NtSecurityDescriptor inherited(const NtSecurityDescriptor& parent, const NtToken& token) {
  NtSecurityDescriptor sd;
  sd.owner = token.owner;
  sd.group = token.primary_group;
  sd.dacl_present = true;
  std::vector<NtAce> aces, out;
  if (parent.dacl_present && !parent.dacl.empty() && nt_acl_parse(parent.dacl, &aces)) {
    for (NtAce ace : aces) {
      if (!(ace.flags & CONTAINER_INHERIT_ACE)) continue;
      if (ace.flags & NO_PROPAGATE_INHERIT_ACE) {
        ace.flags = 0;
      } else {
        ace.flags = static_cast<BYTE>(ace.flags & ~INHERIT_ONLY_ACE);
      }
      out.push_back(ace);
    }
  } else if (parent.dacl_present && parent.dacl.empty()) {
    sd.dacl.clear();  // a NULL DACL passes on as a NULL DACL
    return sd;
  }
  if (out.empty()) {
    out = {{ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, kKeyAll, token.owner},
           {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, kKeyAll, nt_sid_local_system()}};
  }
  sd.dacl = nt_acl_make(out);
  return sd;
}

DWORD store_security(MachineStore& store, int64_t id, const NtSecurityDescriptor& sd) {
  return reg_set_security(store, id, nt_sd_build(sd));
}

}  // namespace

std::shared_ptr<NtToken> reg_caller_token(const RegOpenKey& open) {
  if (!open.remote || !open.store) return nt_effective_token();
  return nt_effective_token_on(machine_of(*open.store));
}

DWORD reg_effective_security(MachineStore& store, int64_t id, NtSecurityDescriptor* sd) {
  DWORD err;
  if (own_security(store, id, sd, &err)) return ERROR_SUCCESS;
  if (err != ERROR_SUCCESS) return err;
  *sd = default_security(profile_sid(store, id));
  return ERROR_SUCCESS;
}

DWORD reg_check_access(MachineStore& store, int64_t id, const NtToken& token, REGSAM desired,
                       REGSAM* granted) {
  NtSecurityDescriptor sd;
  DWORD err;
  bool own = own_security(store, id, &sd, &err);
  if (err != ERROR_SUCCESS) return err;
  // Without a descriptor of its own the key has the default one. Where the
  // key lies (a user's profile adds that user) is looked up only when the
  // common part does not already give what is asked.
  if (!own) sd = default_security(std::string());
  ACCESS_MASK mask = 0;
  err = nt_access_check_token(sd, token, desired, nt_key_generic_mapping(), 0, &mask);
  bool want_all = (desired & MAXIMUM_ALLOWED) != 0 && (mask & kKeyAll) != kKeyAll;
  if (!own && (err != ERROR_SUCCESS || want_all)) {
    std::string user = profile_sid(store, id);
    if (!user.empty()) {
      sd = default_security(user);
      err = nt_access_check_token(sd, token, desired, nt_key_generic_mapping(), 0, &mask);
    }
  }
  if (err == ERROR_PRIVILEGE_NOT_HELD) err = ERROR_ACCESS_DENIED;
  if (err == ERROR_SUCCESS) *granted = mask;
  return err;
}

DWORD reg_deepest_existing(MachineStore& store, int64_t start, std::u16string_view path,
                           int64_t* id) {
  *id = start;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    int64_t found;
    DWORD err = reg_find_path(store, start, path.substr(0, end), &found);
    if (err == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (err != ERROR_SUCCESS) return err;
    *id = found;
    pos = end + 1;
  }
  return ERROR_SUCCESS;
}

DWORD reg_secure_new_keys(MachineStore& store, int64_t ancestor, int64_t id, const NtToken& token,
                          const void* given) {
  std::vector<int64_t> chain;
  for (int64_t k = id; k != 0 && k != ancestor && chain.size() < 512; k = parent_of(store, k)) {
    chain.push_back(k);
  }
  NtSecurityDescriptor parent;
  DWORD err;
  bool explicit_parent = own_security(store, ancestor, &parent, &err);
  for (size_t i = chain.size(); i-- > 0;) {
    int64_t key = chain[i];
    NtSecurityDescriptor sd;
    if (i == 0 && given != nullptr) {
      if (!nt_sd_read(const_cast<void*>(given), &sd)) return ERROR_INVALID_SECURITY_DESCR;
      if (sd.owner.empty()) sd.owner = token.owner;
      if (sd.group.empty()) sd.group = token.primary_group;
    } else if (explicit_parent) {
      sd = inherited(parent, token);
    } else {
      continue;  // below a key without a descriptor: the default
    }
    if ((err = store_security(store, key, sd)) != ERROR_SUCCESS) return err;
    parent = sd;
    explicit_parent = true;
  }
  return ERROR_SUCCESS;
}

LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                       DWORD* size) {
  if (size == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  RegOpenKey open;
  DWORD err = reg_resolve(key, &open);
  if (err != ERROR_SUCCESS) return reg_result(err);
  REGSAM needed = 0;
  if (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
              DACL_SECURITY_INFORMATION)) {
    needed |= READ_CONTROL;
  }
  if (info & SACL_SECURITY_INFORMATION) needed |= ACCESS_SYSTEM_SECURITY;
  if (!open.admin && (open.access & needed) != needed) return reg_result(ERROR_ACCESS_DENIED);
  NtSecurityDescriptor current;
  {
    auto lock = open.store->lock();
    StoreReadTransaction snapshot(*open.store);
    if ((err = reg_effective_security(*open.store, open.id, &current)) != ERROR_SUCCESS) {
      return reg_result(err);
    }
  }
  std::string bytes = nt_sd_build(nt_sd_select(current, info));
  return reg_result(nt_sd_put(bytes, sd, *size, size));
}

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
  NtSecurityDescriptor given;
  if (sd == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  if (!nt_sd_read(sd, &given)) return reg_result(ERROR_INVALID_SECURITY_DESCR);
  RegOpenKey open;
  DWORD err = reg_resolve(key, &open);
  if (err != ERROR_SUCCESS) return reg_result(err);
  REGSAM needed = 0;
  if (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
  if (info & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
  if (info & SACL_SECURITY_INFORMATION) needed |= ACCESS_SYSTEM_SECURITY;
  if (!open.admin && (open.access & needed) != needed) return reg_result(ERROR_ACCESS_DENIED);
  std::shared_ptr<NtToken> token = reg_caller_token(open);
  if ((info & OWNER_SECURITY_INFORMATION) && !open.admin && !token->may_own(given.owner)) {
    return reg_result(ERROR_INVALID_OWNER);
  }
  auto lock = open.store->lock();
  StoreTransaction tx(*open.store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return reg_result(err);
  NtSecurityDescriptor now;
  if ((err = reg_effective_security(*open.store, open.id, &now)) != ERROR_SUCCESS) {
    return reg_result(err);
  }
  if (info & OWNER_SECURITY_INFORMATION) {
    if (given.owner.empty()) return reg_result(ERROR_INVALID_OWNER);
    now.owner = given.owner;
  }
  if (info & GROUP_SECURITY_INFORMATION) now.group = given.group;
  if (info & DACL_SECURITY_INFORMATION) {
    now.dacl_present = true;
    now.dacl = given.dacl_present ? given.dacl : std::string();
  }
  if (info & SACL_SECURITY_INFORMATION) {
    now.sacl_present = given.sacl_present;
    now.sacl = given.sacl;
  }
  if ((err = store_security(*open.store, open.id, now)) != ERROR_SUCCESS) return reg_result(err);
  return reg_result(tx.commit());
}
