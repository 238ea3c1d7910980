// NetGroup* (global groups) over the account databases.
#include <cstring>

#include "platform/accounts/account_store.h"
#include "platform/netapi/net_account_util.h"

namespace {

constexpr DWORD kGroupAttributes =
    SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

size_t record_size(DWORD level) {
  return level == 0 ? sizeof(GROUP_INFO_0) : level == 1 ? sizeof(GROUP_INFO_1)
                                                        : sizeof(GROUP_INFO_2);
}

void fill_group(void* record, const NtGroupRecord& g, DWORD level, NetBlobWriter& w) {
  switch (level) {
    case 0:
      static_cast<GROUP_INFO_0*>(record)->grpi0_name = w.text(net_wide(g.name));
      break;
    case 1: {
      auto* r = static_cast<GROUP_INFO_1*>(record);
      r->grpi1_name = w.text(net_wide(g.name));
      r->grpi1_comment = w.text(net_wide(g.comment));
      break;
    }
    default: {
      auto* r = static_cast<GROUP_INFO_2*>(record);
      r->grpi2_name = w.text(net_wide(g.name));
      r->grpi2_comment = w.text(net_wide(g.comment));
      r->grpi2_group_id = g.rid;
      r->grpi2_attributes = kGroupAttributes;
      break;
    }
  }
}

NET_API_STATUS find_group(const NtAccountAuthority& db, LPCWSTR name, NtGroupRecord* g) {
  if (name == nullptr || *name == 0) return NERR_GroupNotFound;
  return nt_accounts_get_group(*db.store.store, net_utf8(name), g);
}

NET_API_STATUS find_user(const NtAccountAuthority& db, LPCWSTR name, NtUserRecord* u) {
  if (name == nullptr || *name == 0) return NERR_UserNotFound;
  return nt_accounts_get_user(*db.store.store, net_utf8(name), u);
}

// Opens the database of a call that changes something.
NET_API_STATUS open_for_change(LPCWSTR servername, NtMachineRef* machine,
                               NtAccountAuthority* db) {
  NET_API_STATUS status = net_open_accounts(servername, machine, db);
  if (status != NERR_Success) return status;
  return net_require_admin(*machine);
}

}  // namespace

NET_API_STATUS NetGroupAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err) {
  if (parm_err) *parm_err = PARM_ERROR_NONE;
  if (buf == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  if (level > 2) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  GROUP_INFO_2 in{};
  std::memcpy(&in, buf, record_size(level));
  if (in.grpi2_name == nullptr || !net_valid_account_name(in.grpi2_name, kMaxGroupName)) {
    if (parm_err) *parm_err = GROUP_NAME_PARMNUM;
    return net_status(ERROR_INVALID_PARAMETER);
  }
  if (level >= 1 && !net_text_fits(in.grpi2_comment, kMaxAccountText)) {
    if (parm_err) *parm_err = GROUP_COMMENT_PARMNUM;
    return net_status(ERROR_INVALID_PARAMETER);
  }
  NtGroupRecord g;
  g.name = net_utf8(in.grpi2_name);
  if (level >= 1) g.comment = net_utf8(in.grpi2_comment);
  return net_status(nt_accounts_add_group(*db.store.store, &g));
}

NET_API_STATUS NetGroupDel(LPCWSTR servername, LPCWSTR groupname) {
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtGroupRecord g;
  if ((status = find_group(db, groupname, &g)) != NERR_Success) return net_status(status);
  if (g.rid < kFirstAccountRid) return net_status(ERROR_SPECIAL_ACCOUNT);
  return net_status(nt_accounts_delete_group(*db.store.store, g.rid));
}

NET_API_STATUS NetGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                            DWORD* entriesread, DWORD* totalentries, DWORD_PTR* resume_handle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level > 2) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  std::vector<NtGroupRecord> groups;
  if ((status = nt_accounts_list_groups(*db.store.store, &groups)) != NERR_Success)
    return net_status(status);
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    fill_group(record, groups[i], level, w);
  };
  return net_status(net_enumerate_ptr(groups.size(), record_size(level), fill, prefmaxlen,
                                      resume_handle, bufptr, entriesread, totalentries));
}

NET_API_STATUS NetGroupGetInfo(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                               LPBYTE* bufptr) {
  if (bufptr == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (level > 2) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtGroupRecord g;
  if ((status = find_group(db, groupname, &g)) != NERR_Success) return net_status(status);
  auto fill = [&](void* record, size_t, NetBlobWriter& w) { fill_group(record, g, level, w); };
  return net_status(net_pack(0, 1, record_size(level), fill, bufptr));
}

NET_API_STATUS NetGroupGetUsers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                LPBYTE* bufptr, DWORD prefmaxlen, DWORD* entriesread,
                                DWORD* totalentries, DWORD_PTR* resume_handle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level != 0) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtGroupRecord g;
  if ((status = find_group(db, groupname, &g)) != NERR_Success) return net_status(status);
  std::vector<DWORD> rids;
  if ((status = nt_accounts_group_members(*db.store.store, g.rid, &rids)) != NERR_Success)
    return net_status(status);
  std::vector<std::u16string> names;
  for (DWORD rid : rids) {
    NtUserRecord u;
    if (nt_accounts_get_user_by_rid(*db.store.store, rid, &u) == ERROR_SUCCESS)
      names.push_back(net_wide(u.name));
  }
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    static_cast<GROUP_USERS_INFO_0*>(record)->grui0_name = w.text(names[i]);
  };
  return net_status(net_enumerate_ptr(names.size(), sizeof(GROUP_USERS_INFO_0), fill, prefmaxlen,
                                      resume_handle, bufptr, entriesread, totalentries));
}

NET_API_STATUS NetGroupAddUser(LPCWSTR servername, LPCWSTR groupname, LPCWSTR username) {
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtGroupRecord g;
  NtUserRecord u;
  if ((status = find_group(db, groupname, &g)) != NERR_Success) return net_status(status);
  if ((status = find_user(db, username, &u)) != NERR_Success) return net_status(status);
  return net_status(nt_accounts_add_group_member(*db.store.store, g.rid, u.rid));
}

NET_API_STATUS NetGroupDelUser(LPCWSTR servername, LPCWSTR groupname, LPCWSTR username) {
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = open_for_change(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtGroupRecord g;
  NtUserRecord u;
  if ((status = find_group(db, groupname, &g)) != NERR_Success) return net_status(status);
  if ((status = find_user(db, username, &u)) != NERR_Success) return net_status(status);
  return net_status(nt_accounts_del_group_member(*db.store.store, g.rid, u.rid));
}
