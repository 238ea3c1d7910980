// NetLocalGroup* over the account databases.
#include <cstring>

#include "platform/accounts/account_store.h"
#include "platform/netapi/net_account_util.h"
#include "platform/network/wtf8.h"
#include "platform/security/account_lookup.h"

namespace {

size_t record_size(DWORD level) {
  return level == 0 ? sizeof(LOCALGROUP_INFO_0) : sizeof(LOCALGROUP_INFO_1);
}

void fill_alias(void* record, const NtAliasRecord& a, DWORD level, NetBlobWriter& w) {
  if (level == 0) {
    static_cast<LOCALGROUP_INFO_0*>(record)->lgrpi0_name = w.text(net_wide(a.name));
    return;
  }
  auto* r = static_cast<LOCALGROUP_INFO_1*>(record);
  r->lgrpi1_name = w.text(net_wide(a.name));
  r->lgrpi1_comment = w.text(net_wide(a.comment));
}

NET_API_STATUS find_alias(const NtAccountAuthority& db, LPCWSTR name, NtAliasRecord* a) {
  if (name == nullptr || *name == 0) return ERROR_NO_SUCH_ALIAS;
  return nt_accounts_get_alias(*db.store.store, net_utf8(name), a);
}

NET_API_STATUS open_for_change(LPCWSTR servername, NtMachineRef* machine,
                               NtAccountAuthority* db) {
  NET_API_STATUS status = net_open_accounts(servername, machine, db);
  if (status != NERR_Success) return status;
  return net_require_admin(*machine);
}

// A member as NetLocalGroupGetMembers shows it.
struct MemberView {
  std::string sid;
  SID_NAME_USE use = SidTypeUnknown;
  std::u16string name;    // level 1
  std::u16string domain;  // with the name: level 2 and 3
};

MemberView view_of(const NtMachineRef& machine, const std::string& sid) {
  MemberView v;
  v.sid = sid;
  NtAccount account;
  if (nt_lookup_account_sid(machine, sid, &account) == ERROR_SUCCESS) {
    v.use = account.use;
    v.name = account.name;
    v.domain = account.domain;
  } else {
    v.use = SidTypeUnknown;
    v.name = net_wide(nt_sid_to_text(sid));
  }
  return v;
}

std::u16string domain_and_name(const MemberView& v) {
  return v.domain.empty() ? v.name : v.domain + u"\\" + v.name;
}

// The SIDs of the members a call names (level 0: SIDs; 3: names looked up on
// the machine). Everything is checked before anything changes.
NET_API_STATUS member_sids(const NtMachineRef& machine, DWORD level, const BYTE* buf,
                           DWORD count, std::vector<std::string>* sids) {
  for (DWORD i = 0; i < count; ++i) {
    std::string sid;
    if (level == 0) {
      const auto* r = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_0*>(buf) + i;
      if (r->lgrmi0_sid == nullptr || !IsValidSid(r->lgrmi0_sid)) return ERROR_INVALID_PARAMETER;
      sid.assign(static_cast<const char*>(r->lgrmi0_sid), GetLengthSid(r->lgrmi0_sid));
    } else {
      const auto* r = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf) + i;
      if (r->lgrmi3_domainandname == nullptr) return ERROR_INVALID_PARAMETER;
      NtAccount account;
      DWORD err = nt_lookup_account_name(machine, r->lgrmi3_domainandname, &account);
      if (err == ERROR_NONE_MAPPED) return ERROR_NO_SUCH_MEMBER;
      if (err != ERROR_SUCCESS) return err;
      sid = account.sid;
    }
    sids->push_back(sid);
  }
  return NERR_Success;
}

// Each member must map to an account that may belong to a local group.
NET_API_STATUS check_members(const NtMachineRef& machine, const std::vector<std::string>& sids) {
  for (const std::string& sid : sids) {
    NtAccount account;
    DWORD err = nt_lookup_account_sid(machine, sid, &account);
    if (err == ERROR_NONE_MAPPED) return ERROR_NO_SUCH_MEMBER;
    if (err != ERROR_SUCCESS) return err;
    if (account.use == SidTypeAlias || account.use == SidTypeDomain) return ERROR_INVALID_MEMBER;
  }
  return NERR_Success;
}

NET_API_STATUS change_members(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE buf,
                              DWORD totalentries, bool add) {
  if (level != 0 && level != 3) return ERROR_INVALID_LEVEL;
  if (buf == nullptr && totalentries != 0) return ERROR_INVALID_PARAMETER;
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return status;
  NtAliasRecord a;
  if ((status = find_alias(db, groupname, &a)) != NERR_Success) return status;
  std::vector<std::string> sids;
  if ((status = member_sids(machine, level, buf, totalentries, &sids)) != NERR_Success)
    return status;
  MachineStore& store = *db.store.store;
  std::vector<std::string> current;
  if ((status = nt_accounts_alias_members(store, a.rid, &current)) != NERR_Success) return status;
  auto is_member = [&](const std::string& sid) {
    for (const std::string& c : current)
      if (c == sid) return true;
    return false;
  };
  if (add) {
    if ((status = check_members(machine, sids)) != NERR_Success) return status;
    for (const std::string& sid : sids)
      if (is_member(sid)) return ERROR_MEMBER_IN_ALIAS;
  } else {
    for (const std::string& sid : sids)
      if (!is_member(sid)) return ERROR_MEMBER_NOT_IN_ALIAS;
  }
  for (const std::string& sid : sids) {
    status = add ? nt_accounts_add_alias_member(store, a.rid, sid)
                 : nt_accounts_del_alias_member(store, a.rid, sid);
    // The same member named twice in one call counts once.
    if (status == ERROR_MEMBER_IN_ALIAS || status == ERROR_MEMBER_NOT_IN_ALIAS) continue;
    if (status != NERR_Success) return status;
  }
  return NERR_Success;
}

}  // namespace

NET_API_STATUS NetLocalGroupAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err) {
  if (parm_err) *parm_err = PARM_ERROR_NONE;
  if (buf == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  if (level > 1) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  LOCALGROUP_INFO_1 in{};
  std::memcpy(&in, buf, record_size(level));
  if (in.lgrpi1_name == nullptr || !net_valid_account_name(in.lgrpi1_name, kMaxGroupName)) {
    if (parm_err) *parm_err = LOCALGROUP_NAME_PARMNUM;
    return net_status(ERROR_INVALID_PARAMETER);
  }
  if (level == 1 && !net_text_fits(in.lgrpi1_comment, kMaxAccountText)) {
    if (parm_err) *parm_err = LOCALGROUP_COMMENT_PARMNUM;
    return net_status(ERROR_INVALID_PARAMETER);
  }
  NtAliasRecord a;
  a.name = net_utf8(in.lgrpi1_name);
  if (level == 1) a.comment = net_utf8(in.lgrpi1_comment);
  return net_status(nt_accounts_add_alias(*db.store.store, &a));
}

NET_API_STATUS NetLocalGroupDel(LPCWSTR servername, LPCWSTR groupname) {
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtAliasRecord a;
  if ((status = find_alias(db, groupname, &a)) != NERR_Success) return net_status(status);
  if (a.builtin) return net_status(ERROR_SPECIAL_ACCOUNT);
  return net_status(nt_accounts_delete_alias(*db.store.store, a.rid));
}

NET_API_STATUS NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                 DWORD prefmaxlen, DWORD* entriesread, DWORD* totalentries,
                                 DWORD_PTR* resume_handle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level > 1) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  std::vector<NtAliasRecord> aliases;
  if ((status = nt_accounts_list_aliases(*db.store.store, &aliases)) != NERR_Success)
    return net_status(status);
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    fill_alias(record, aliases[i], level, w);
  };
  return net_status(net_enumerate_ptr(aliases.size(), record_size(level), fill, prefmaxlen,
                                      resume_handle, bufptr, entriesread, totalentries));
}

NET_API_STATUS NetLocalGroupGetInfo(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                    LPBYTE* bufptr) {
  if (bufptr == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (level > 1) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtAliasRecord a;
  if ((status = find_alias(db, groupname, &a)) != NERR_Success) return net_status(status);
  auto fill = [&](void* record, size_t, NetBlobWriter& w) { fill_alias(record, a, level, w); };
  return net_status(net_pack(0, 1, record_size(level), fill, bufptr));
}

NET_API_STATUS NetLocalGroupGetMembers(LPCWSTR servername, LPCWSTR localgroupname, DWORD level,
                                       LPBYTE* bufptr, DWORD prefmaxlen, DWORD* entriesread,
                                       DWORD* totalentries, DWORD_PTR* resumehandle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level > 3) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtAliasRecord a;
  if ((status = find_alias(db, localgroupname, &a)) != NERR_Success) return net_status(status);
  std::vector<std::string> sids;
  if ((status = nt_accounts_alias_members(*db.store.store, a.rid, &sids)) != NERR_Success)
    return net_status(status);
  std::vector<MemberView> members;
  for (const std::string& sid : sids) members.push_back(view_of(machine, sid));
  size_t size = level == 0   ? sizeof(LOCALGROUP_MEMBERS_INFO_0)
                : level == 1 ? sizeof(LOCALGROUP_MEMBERS_INFO_1)
                : level == 2 ? sizeof(LOCALGROUP_MEMBERS_INFO_2)
                             : sizeof(LOCALGROUP_MEMBERS_INFO_3);
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    const MemberView& m = members[i];
    switch (level) {
      case 0:
        static_cast<LOCALGROUP_MEMBERS_INFO_0*>(record)->lgrmi0_sid = w.bytes(m.sid);
        break;
      case 1: {
        auto* r = static_cast<LOCALGROUP_MEMBERS_INFO_1*>(record);
        r->lgrmi1_sid = w.bytes(m.sid);
        r->lgrmi1_sidusage = m.use;
        r->lgrmi1_name = w.text(m.name);
        break;
      }
      case 2: {
        auto* r = static_cast<LOCALGROUP_MEMBERS_INFO_2*>(record);
        r->lgrmi2_sid = w.bytes(m.sid);
        r->lgrmi2_sidusage = m.use;
        r->lgrmi2_domainandname = w.text(domain_and_name(m));
        break;
      }
      default:
        static_cast<LOCALGROUP_MEMBERS_INFO_3*>(record)->lgrmi3_domainandname =
            w.text(domain_and_name(m));
        break;
    }
  };
  return net_status(net_enumerate_ptr(members.size(), size, fill, prefmaxlen, resumehandle,
                                      bufptr, entriesread, totalentries));
}

NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                       LPBYTE buf, DWORD totalentries) {
  return net_status(change_members(servername, groupname, level, buf, totalentries, true));
}

NET_API_STATUS NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                       LPBYTE buf, DWORD totalentries) {
  return net_status(change_members(servername, groupname, level, buf, totalentries, false));
}
