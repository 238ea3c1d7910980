// NetUser* over the account databases.
#include <algorithm>
#include <cstring>

#include "platform/accounts/account_password.h"
#include "platform/accounts/account_store.h"
#include "platform/kernel/clock.h"
#include "platform/netapi/net_account_util.h"
#include "platform/network/wtf8.h"
#include "platform/security/account_lookup.h"
#include "platform/security/well_known_accounts.h"

namespace {

// A user as the calls hand it out, with what the records compute.
struct UserView {
  NtUserRecord rec;
  DWORD priv = USER_PRIV_USER;
  DWORD password_age = 0;
};

// The privilege level NT reports: administrators and guests by their
// local groups, everyone else a user.
DWORD user_priv(MachineStore& store, const std::string& domain_sid, const NtUserRecord& u) {
  std::vector<std::string> sids = {nt_sid_append(domain_sid, u.rid)};
  std::vector<DWORD> groups;
  if (nt_accounts_user_groups(store, u.rid, &groups) == ERROR_SUCCESS)
    for (DWORD g : groups) sids.push_back(nt_sid_append(domain_sid, g));
  std::vector<NtAliasRecord> aliases;
  if (nt_accounts_aliases_of(store, sids, &aliases) != ERROR_SUCCESS) return USER_PRIV_USER;
  bool guest = false;
  for (const NtAliasRecord& a : aliases) {
    if (!a.builtin) continue;
    if (a.rid == DOMAIN_ALIAS_RID_ADMINS) return USER_PRIV_ADMIN;
    if (a.rid == DOMAIN_ALIAS_RID_GUESTS) guest = true;
  }
  return guest ? USER_PRIV_GUEST : USER_PRIV_USER;
}

UserView view_of(const NtAccountAuthority& db, const NtUserRecord& rec, DWORD level) {
  UserView v;
  v.rec = rec;
  int64_t age = nt_unix_now() - rec.password_set;
  v.password_age = age < 0 ? 0 : age > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<DWORD>(age);
  if (level == 1 || level == 2 || level == 3) v.priv = user_priv(*db.store.store, db.sid, rec);
  return v;
}

bool known_level(DWORD level) {
  return level == 0 || level == 1 || level == 2 || level == 3 || level == 10 || level == 20;
}

size_t record_size(DWORD level) {
  switch (level) {
    case 0: return sizeof(USER_INFO_0);
    case 1: return sizeof(USER_INFO_1);
    case 2: return sizeof(USER_INFO_2);
    case 3: return sizeof(USER_INFO_3);
    case 10: return sizeof(USER_INFO_10);
    default: return sizeof(USER_INFO_20);
  }
}

// Fields common to levels 2 and 3, in their shared layout.
template <typename Info>
void fill_2(Info* r, const UserView& v, NetBlobWriter& w) {
  const NtUserRecord& u = v.rec;
  r->usri3_name = w.text(net_wide(u.name));
  r->usri3_password = nullptr;
  r->usri3_password_age = v.password_age;
  r->usri3_priv = v.priv;
  r->usri3_home_dir = w.text(net_wide(u.home_dir));
  r->usri3_comment = w.text(net_wide(u.comment));
  r->usri3_flags = u.flags;
  r->usri3_script_path = w.text(net_wide(u.script_path));
  r->usri3_auth_flags = u.auth_flags;
  r->usri3_full_name = w.text(net_wide(u.full_name));
  r->usri3_usr_comment = w.text(net_wide(u.usr_comment));
  r->usri3_parms = w.text(net_wide(u.parms));
  r->usri3_workstations = w.text(net_wide(u.workstations));
  r->usri3_last_logon = u.last_logon;
  r->usri3_last_logoff = u.last_logoff;
  r->usri3_acct_expires = u.acct_expires;
  r->usri3_max_storage = u.max_storage;
  r->usri3_units_per_week = u.units_per_week;
  r->usri3_logon_hours = w.bytes(u.logon_hours);
  r->usri3_bad_pw_count = u.bad_pw_count;
  r->usri3_num_logons = u.num_logons;
  r->usri3_logon_server = w.text(net_wide(u.logon_server));
  r->usri3_country_code = u.country_code;
  r->usri3_code_page = u.code_page;
}

void fill_user(void* record, const UserView& v, DWORD level, NetBlobWriter& w) {
  const NtUserRecord& u = v.rec;
  switch (level) {
    case 0: {
      static_cast<USER_INFO_0*>(record)->usri0_name = w.text(net_wide(u.name));
      break;
    }
    case 1: {
      auto* r = static_cast<USER_INFO_1*>(record);
      r->usri1_name = w.text(net_wide(u.name));
      r->usri1_password = nullptr;
      r->usri1_password_age = v.password_age;
      r->usri1_priv = v.priv;
      r->usri1_home_dir = w.text(net_wide(u.home_dir));
      r->usri1_comment = w.text(net_wide(u.comment));
      r->usri1_flags = u.flags;
      r->usri1_script_path = w.text(net_wide(u.script_path));
      break;
    }
    case 2: {
      // USER_INFO_2 is the first part of USER_INFO_3.
      USER_INFO_3 full{};
      fill_2(&full, v, w);
      std::memcpy(record, &full, sizeof(USER_INFO_2));
      break;
    }
    case 3: {
      auto* r = static_cast<USER_INFO_3*>(record);
      fill_2(r, v, w);
      r->usri3_user_id = u.rid;
      r->usri3_primary_group_id = u.primary_group_id;
      r->usri3_profile = w.text(net_wide(u.profile));
      r->usri3_home_dir_drive = w.text(net_wide(u.home_dir_drive));
      r->usri3_password_expired = u.password_expired;
      break;
    }
    case 10: {
      auto* r = static_cast<USER_INFO_10*>(record);
      r->usri10_name = w.text(net_wide(u.name));
      r->usri10_comment = w.text(net_wide(u.comment));
      r->usri10_usr_comment = w.text(net_wide(u.usr_comment));
      r->usri10_full_name = w.text(net_wide(u.full_name));
      break;
    }
    default: {
      auto* r = static_cast<USER_INFO_20*>(record);
      r->usri20_name = w.text(net_wide(u.name));
      r->usri20_full_name = w.text(net_wide(u.full_name));
      r->usri20_comment = w.text(net_wide(u.comment));
      r->usri20_flags = u.flags;
      r->usri20_user_id = u.rid;
      break;
    }
  }
}

NET_API_STATUS fail(NET_API_STATUS status, DWORD* parm_err, DWORD parm) {
  if (parm_err) *parm_err = parm;
  return status;
}

// A text field: null keeps the current value when `keep`, else empties it.
bool take_text(LPCWSTR text, std::string* field, bool keep) {
  if (!net_text_fits(text, kMaxAccountText)) return false;
  if (text != nullptr) *field = net_utf8(text);
  else if (!keep) field->clear();
  return true;
}

NET_API_STATUS check_password(MachineStore& store, LPCWSTR password) {
  size_t length = 0;
  if (password) length = std::char_traits<char16_t>::length(password);
  if (length > kMaxPassword) return NERR_PasswordTooShort;
  DWORD minimum = 0;
  DWORD err = nt_accounts_min_password_length(store, &minimum);
  if (err != ERROR_SUCCESS) return err;
  return length < minimum ? NERR_PasswordTooShort : NERR_Success;
}

NET_API_STATUS take_flags(DWORD flags, NtUserRecord* rec, DWORD* parm_err) {
  if ((flags & ~UF_SETTABLE_BITS) != 0) return fail(ERROR_INVALID_PARAMETER, parm_err, USER_FLAGS_PARMNUM);
  DWORD type = flags & UF_ACCOUNT_TYPE_MASK;
  if (type == 0) {
    flags |= UF_NORMAL_ACCOUNT;
  } else if ((type & (type - 1)) != 0) {
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_FLAGS_PARMNUM);
  }
  rec->flags = flags;
  return NERR_Success;
}

// Applies a level 1, 2 or 3 record to `rec` (`adding`: a new account, whose
// absent fields are empty). The name and what NT keeps itself (age, logon
// counts and times, RID) are not taken.
NET_API_STATUS apply_record(const NtAccountAuthority& db, DWORD level, const BYTE* buf,
                            bool adding, NtUserRecord* rec, bool* password_given,
                            std::u16string* password, DWORD* parm_err) {
  // Levels 1 to 3 begin alike; USER_INFO_3 views them all.
  USER_INFO_3 in{};
  size_t size = level == 1 ? sizeof(USER_INFO_1) : level == 2 ? sizeof(USER_INFO_2)
                                                              : sizeof(USER_INFO_3);
  std::memcpy(&in, buf, size);
  if (level == 1) {
    // USER_INFO_1 has no fields past the script path.
    USER_INFO_3 rest{};
    std::memcpy(&rest, &in, sizeof(USER_INFO_1));
    in = rest;
  }
  bool keep = !adding;
  *password_given = in.usri3_password != nullptr || adding;
  if (in.usri3_password != nullptr) *password = in.usri3_password;
  if (*password_given) {
    NET_API_STATUS status = check_password(*db.store.store, in.usri3_password);
    if (status != NERR_Success) return fail(status, parm_err, USER_PASSWORD_PARMNUM);
  }
  if (in.usri3_priv > USER_PRIV_ADMIN || (adding && in.usri3_priv != USER_PRIV_USER))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_PRIV_PARMNUM);
  if (!take_text(in.usri3_home_dir, &rec->home_dir, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_HOME_DIR_PARMNUM);
  if (!take_text(in.usri3_comment, &rec->comment, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_COMMENT_PARMNUM);
  NET_API_STATUS status = take_flags(in.usri3_flags, rec, parm_err);
  if (status != NERR_Success) return status;
  if (!take_text(in.usri3_script_path, &rec->script_path, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_SCRIPT_PATH_PARMNUM);
  if (level == 1) return NERR_Success;

  rec->auth_flags = in.usri3_auth_flags;
  if (!take_text(in.usri3_full_name, &rec->full_name, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_FULL_NAME_PARMNUM);
  if (!take_text(in.usri3_usr_comment, &rec->usr_comment, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_USR_COMMENT_PARMNUM);
  if (!take_text(in.usri3_parms, &rec->parms, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_PARMS_PARMNUM);
  if (!take_text(in.usri3_workstations, &rec->workstations, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_WORKSTATIONS_PARMNUM);
  // 0 is "never" too, as TIMEQ_FOREVER; it reads back as TIMEQ_FOREVER.
  rec->acct_expires = in.usri3_acct_expires == 0 ? TIMEQ_FOREVER : in.usri3_acct_expires;
  rec->max_storage = in.usri3_max_storage;
  if (in.usri3_units_per_week > 10080)
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_UNITS_PER_WEEK_PARMNUM);
  if (in.usri3_logon_hours != nullptr) {
    // Hours given without their unit count are the usual hours a week.
    rec->units_per_week = in.usri3_units_per_week ? in.usri3_units_per_week : UNITS_PER_WEEK;
    rec->logon_hours.assign(reinterpret_cast<const char*>(in.usri3_logon_hours),
                            (rec->units_per_week + 7) / 8);
  } else if (adding) {
    rec->units_per_week = UNITS_PER_WEEK;
    rec->logon_hours = std::string(21, '\xff');
  }
  rec->country_code = in.usri3_country_code;
  rec->code_page = in.usri3_code_page;
  if (level == 2) return NERR_Success;

  NtGroupRecord primary;
  if (nt_accounts_get_group_by_rid(*db.store.store, in.usri3_primary_group_id, &primary) !=
      ERROR_SUCCESS)
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_PRIMARY_GROUP_PARMNUM);
  rec->primary_group_id = in.usri3_primary_group_id;
  if (!take_text(in.usri3_profile, &rec->profile, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_PROFILE_PARMNUM);
  if (!take_text(in.usri3_home_dir_drive, &rec->home_dir_drive, keep))
    return fail(ERROR_INVALID_PARAMETER, parm_err, USER_HOME_DIR_DRIVE_PARMNUM);
  rec->password_expired = in.usri3_password_expired ? 1 : 0;
  return NERR_Success;
}

void set_password(NtUserRecord* rec, std::u16string_view password) {
  rec->password_hash = nt_password_hash(nt_wtf8_from_utf16(password));
  rec->password_set = nt_unix_now();
}

// The user a call names, in the server's database.
NET_API_STATUS find_user(const NtAccountAuthority& db, LPCWSTR username, NtUserRecord* rec) {
  if (username == nullptr || *username == 0) return NERR_UserNotFound;
  return nt_accounts_get_user(*db.store.store, net_utf8(username), rec);
}

}  // namespace

NET_API_STATUS NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err) {
  if (parm_err) *parm_err = PARM_ERROR_NONE;
  if (buf == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  if (level != 1 && level != 2 && level != 3) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  if ((status = net_require_admin(machine)) != NERR_Success) return net_status(status);
  LPCWSTR name = reinterpret_cast<USER_INFO_1*>(buf)->usri1_name;
  if (name == nullptr || !net_valid_account_name(name, kMaxUserName))
    return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, USER_NAME_PARMNUM));
  NtUserRecord rec;
  rec.name = net_utf8(name);
  rec.home_dir.clear();
  bool password_given = false;
  std::u16string password;
  status = apply_record(db, level, buf, true, &rec, &password_given, &password, parm_err);
  if (status != NERR_Success) return net_status(status);
  set_password(&rec, password);
  if (level < 3) rec.primary_group_id = DOMAIN_GROUP_RID_USERS;
  rec.priv = USER_PRIV_USER;
  return net_status(nt_accounts_add_user(*db.store.store, &rec));
}

NET_API_STATUS NetUserDel(LPCWSTR servername, LPCWSTR username) {
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  if ((status = net_require_admin(machine)) != NERR_Success) return net_status(status);
  NtUserRecord rec;
  if ((status = find_user(db, username, &rec)) != NERR_Success) return net_status(status);
  if (rec.rid < kFirstAccountRid) return net_status(ERROR_SPECIAL_ACCOUNT);
  return net_status(nt_accounts_delete_user(*db.store.store, rec.rid));
}

NET_API_STATUS NetUserGetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                              LPBYTE* bufptr) {
  if (bufptr == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  if (!known_level(level)) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtUserRecord rec;
  if ((status = find_user(db, username, &rec)) != NERR_Success) return net_status(status);
  UserView v = view_of(db, rec, level);
  auto fill = [&](void* record, size_t, NetBlobWriter& w) { fill_user(record, v, level, w); };
  return net_status(net_pack(0, 1, record_size(level), fill, bufptr));
}

NET_API_STATUS NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level, LPBYTE buf,
                              DWORD* parm_err) {
  if (parm_err) *parm_err = PARM_ERROR_NONE;
  if (buf == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  if (level != 0 && level != 1 && level != 2 && level != 3 && level != 1003 && level != 1008)
    return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  if ((status = net_require_admin(machine)) != NERR_Success) return net_status(status);
  NtUserRecord rec;
  if ((status = find_user(db, username, &rec)) != NERR_Success) return net_status(status);
  MachineStore& store = *db.store.store;
  switch (level) {
    case 0: {
      LPCWSTR name = reinterpret_cast<USER_INFO_0*>(buf)->usri0_name;
      if (name == nullptr || !net_valid_account_name(name, kMaxUserName))
        return net_status(fail(ERROR_INVALID_PARAMETER, parm_err, USER_NAME_PARMNUM));
      rec.name = net_utf8(name);
      break;
    }
    case 1003: {
      LPCWSTR password = reinterpret_cast<USER_INFO_1003*>(buf)->usri1003_password;
      if ((status = check_password(store, password)) != NERR_Success)
        return net_status(fail(status, parm_err, USER_PASSWORD_PARMNUM));
      set_password(&rec, password ? password : u"");
      break;
    }
    case 1008: {
      DWORD flags = reinterpret_cast<USER_INFO_1008*>(buf)->usri1008_flags;
      if ((status = take_flags(flags, &rec, parm_err)) != NERR_Success) return net_status(status);
      break;
    }
    default: {
      bool password_given = false;
      std::u16string password;
      status = apply_record(db, level, buf, false, &rec, &password_given, &password, parm_err);
      if (status != NERR_Success) return net_status(status);
      if (password_given) set_password(&rec, password);
      break;
    }
  }
  // The built-in Administrator cannot be disabled (nobody could log on).
  if (rec.rid == DOMAIN_USER_RID_ADMIN && (rec.flags & UF_ACCOUNTDISABLE))
    return net_status(fail(ERROR_SPECIAL_ACCOUNT, parm_err, USER_FLAGS_PARMNUM));
  return net_status(nt_accounts_update_user(store, rec));
}

NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE* bufptr,
                           DWORD prefmaxlen, DWORD* entriesread, DWORD* totalentries,
                           DWORD* resume_handle) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (!known_level(level)) return net_status(ERROR_INVALID_LEVEL);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  std::vector<NtUserRecord> all;
  if ((status = nt_accounts_list_users(*db.store.store, &all)) != NERR_Success)
    return net_status(status);
  DWORD wanted = 0;
  if (filter & FILTER_TEMP_DUPLICATE_ACCOUNT) wanted |= UF_TEMP_DUPLICATE_ACCOUNT;
  if (filter & FILTER_NORMAL_ACCOUNT) wanted |= UF_NORMAL_ACCOUNT;
  if (filter & FILTER_INTERDOMAIN_TRUST_ACCOUNT) wanted |= UF_INTERDOMAIN_TRUST_ACCOUNT;
  if (filter & FILTER_WORKSTATION_TRUST_ACCOUNT) wanted |= UF_WORKSTATION_TRUST_ACCOUNT;
  if (filter & FILTER_SERVER_TRUST_ACCOUNT) wanted |= UF_SERVER_TRUST_ACCOUNT;
  std::vector<UserView> users;
  for (const NtUserRecord& u : all)
    if (filter == 0 || (u.flags & wanted) != 0) users.push_back(view_of(db, u, level));
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    fill_user(record, users[i], level, w);
  };
  return net_status(net_enumerate(users.size(), record_size(level), fill, prefmaxlen,
                                  resume_handle, bufptr, entriesread, totalentries));
}

NET_API_STATUS NetUserGetGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                LPBYTE* bufptr, DWORD prefmaxlen, DWORD* entriesread,
                                DWORD* totalentries) {
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
  NtUserRecord rec;
  if ((status = find_user(db, username, &rec)) != NERR_Success) return net_status(status);
  std::vector<DWORD> rids;
  if ((status = nt_accounts_user_groups(*db.store.store, rec.rid, &rids)) != NERR_Success)
    return net_status(status);
  std::vector<std::u16string> names;
  for (DWORD rid : rids) {
    NtGroupRecord g;
    if (nt_accounts_get_group_by_rid(*db.store.store, rid, &g) == ERROR_SUCCESS)
      names.push_back(net_wide(g.name));
  }
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    static_cast<GROUP_USERS_INFO_0*>(record)->grui0_name = w.text(names[i]);
  };
  return net_status(net_enumerate(names.size(), sizeof(GROUP_USERS_INFO_0), fill, prefmaxlen,
                                  nullptr, bufptr, entriesread, totalentries));
}

NET_API_STATUS NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                     DWORD flags, LPBYTE* bufptr, DWORD prefmaxlen,
                                     DWORD* entriesread, DWORD* totalentries) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr ||
      username == nullptr)
    return net_status(ERROR_INVALID_PARAMETER);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level != 0) return net_status(ERROR_INVALID_LEVEL);
  if ((flags & ~LG_INCLUDE_INDIRECT) != 0) return net_status(ERROR_INVALID_PARAMETER);
  NtMachineRef machine;
  NtAccountAuthority db;
  NET_API_STATUS status = net_open_accounts(servername, &machine, &db);
  if (status != NERR_Success) return net_status(status);
  NtAccount account;
  status = nt_lookup_account_name(machine, std::u16string_view(username), &account);
  if (status == ERROR_NONE_MAPPED || (status == NERR_Success && account.use != SidTypeUser))
    return net_status(NERR_UserNotFound);
  if (status != NERR_Success) return net_status(status);
  std::vector<std::string> probe = {account.sid};
  if (flags & LG_INCLUDE_INDIRECT) {
    // The user's global groups, in the database that holds the user.
    std::string user_domain = nt_sid_prefix(account.sid);
    NtAccountAuthority home;
    bool found = false;
    if (user_domain == db.sid) {
      home = db;
      found = true;
    } else if (nt_account_member_domain(machine, &home) == ERROR_SUCCESS &&
               home.sid == user_domain) {
      found = true;
    }
    if (found) {
      DWORD rid = nt_sid_sub_authority(account.sid, static_cast<BYTE>(nt_sid_count(account.sid) - 1));
      std::vector<DWORD> groups;
      if (nt_accounts_user_groups(*home.store.store, rid, &groups) == ERROR_SUCCESS)
        for (DWORD g : groups) probe.push_back(nt_sid_append(home.sid, g));
    }
  }
  std::vector<NtAliasRecord> aliases;
  if ((status = nt_accounts_aliases_of(*db.store.store, probe, &aliases)) != NERR_Success)
    return net_status(status);
  auto fill = [&](void* record, size_t i, NetBlobWriter& w) {
    static_cast<LOCALGROUP_USERS_INFO_0*>(record)->lgrui0_name = w.text(net_wide(aliases[i].name));
  };
  return net_status(net_enumerate(aliases.size(), sizeof(LOCALGROUP_USERS_INFO_0), fill,
                                  prefmaxlen, nullptr, bufptr, entriesread, totalentries));
}
