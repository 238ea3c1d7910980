// The account database of one machine, kept in its store.
//
// Tables of the subsystem "accounts" (version 1):
//   acct_meta(id=1, next_rid, min_password_length, domain_seeded)
//   acct_users(rid, name, name_key, password_hash, password_set, priv, home_dir,
//              comment, flags, script_path, auth_flags, full_name, usr_comment,
//              parms, workstations, last_logon, last_logoff, acct_expires,
//              max_storage, units_per_week, logon_hours, bad_pw_count,
//              num_logons, logon_server, country_code, code_page,
//              primary_group_id, profile, home_dir_drive, password_expired)
//   acct_groups(rid, name, name_key, comment)              global groups
//   acct_group_members(group_rid, user_rid)
//   acct_aliases(rid, builtin, name, name_key, comment)    local groups
//   acct_alias_members(alias_rid, member_sid)              member SIDs, binary
// name_key is the upper-cased name; users, global groups and local groups
// share one name space. Relative ids of new accounts come from next_rid
// (1000 upward, never reused). Local groups of the BUILTIN domain have
// builtin=1 and their well-known RIDs (544 ...), the machine's own ones
// builtin=0 and RIDs of the machine's domain. Account SIDs are the store's
// machine SID (machine_sid.h) with the RID appended.
//
// The tables are made and seeded on first use according to the machine's
// role (see nt_accounts_prepare). Text is UTF-8; times are seconds since
// 1970 (UTC). The calls here do no access checks: that is the network
// calls' business.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/network/machine_store.h"
#include "platform/win32_types.h"

// Flags of a user account (usri_flags) and the values of its fields.
constexpr DWORD UF_SCRIPT = 0x0001;
constexpr DWORD UF_ACCOUNTDISABLE = 0x0002;
constexpr DWORD UF_HOMEDIR_REQUIRED = 0x0008;
constexpr DWORD UF_LOCKOUT = 0x0010;
constexpr DWORD UF_PASSWD_NOTREQD = 0x0020;
constexpr DWORD UF_PASSWD_CANT_CHANGE = 0x0040;
constexpr DWORD UF_TEMP_DUPLICATE_ACCOUNT = 0x0100;
constexpr DWORD UF_NORMAL_ACCOUNT = 0x0200;
constexpr DWORD UF_INTERDOMAIN_TRUST_ACCOUNT = 0x0800;
constexpr DWORD UF_WORKSTATION_TRUST_ACCOUNT = 0x1000;
constexpr DWORD UF_SERVER_TRUST_ACCOUNT = 0x2000;
constexpr DWORD UF_DONT_EXPIRE_PASSWD = 0x10000;
constexpr DWORD UF_MNS_LOGON_ACCOUNT = 0x20000;
constexpr DWORD UF_MACHINE_ACCOUNT_MASK =
    UF_INTERDOMAIN_TRUST_ACCOUNT | UF_WORKSTATION_TRUST_ACCOUNT | UF_SERVER_TRUST_ACCOUNT;
constexpr DWORD UF_ACCOUNT_TYPE_MASK =
    UF_TEMP_DUPLICATE_ACCOUNT | UF_NORMAL_ACCOUNT | UF_MACHINE_ACCOUNT_MASK;
constexpr DWORD UF_SETTABLE_BITS = UF_SCRIPT | UF_ACCOUNTDISABLE | UF_HOMEDIR_REQUIRED |
                                   UF_LOCKOUT | UF_PASSWD_NOTREQD | UF_PASSWD_CANT_CHANGE |
                                   UF_ACCOUNT_TYPE_MASK | UF_DONT_EXPIRE_PASSWD |
                                   UF_MNS_LOGON_ACCOUNT;

constexpr DWORD USER_PRIV_GUEST = 0;
constexpr DWORD USER_PRIV_USER = 1;
constexpr DWORD USER_PRIV_ADMIN = 2;

constexpr DWORD TIMEQ_FOREVER = 0xFFFFFFFFu;
constexpr DWORD USER_MAXSTORAGE_UNLIMITED = 0xFFFFFFFFu;
constexpr DWORD UNITS_PER_WEEK = 168;  // SAM_HOURS_PER_WEEK

constexpr DWORD DOMAIN_GROUP_RID_ADMINS = 512;
constexpr DWORD DOMAIN_GROUP_RID_USERS = 513;
constexpr DWORD DOMAIN_GROUP_RID_GUESTS = 514;

// The first RID handed to a new account.
constexpr DWORD kFirstAccountRid = 1000;
// Limits of names and texts, in characters.
constexpr size_t kMaxUserName = 20;    // LM20_UNLEN
constexpr size_t kMaxGroupName = 256;  // GNLEN
constexpr size_t kMaxAccountText = 256;
constexpr size_t kMaxPassword = 256;  // PWLEN

struct NtUserRecord {
  DWORD rid = 0;
  std::string name;
  std::string password_hash;  // account_password.h
  int64_t password_set = 0;   // when the password was last set
  DWORD priv = USER_PRIV_USER;
  std::string home_dir;
  std::string comment;
  DWORD flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
  std::string script_path;
  DWORD auth_flags = 0;
  std::string full_name;
  std::string usr_comment;
  std::string parms;
  std::string workstations;
  DWORD last_logon = 0;
  DWORD last_logoff = 0;
  DWORD acct_expires = TIMEQ_FOREVER;
  DWORD max_storage = USER_MAXSTORAGE_UNLIMITED;
  DWORD units_per_week = UNITS_PER_WEEK;
  std::string logon_hours = std::string(21, '\xff');  // one bit an hour; empty: none given
  DWORD bad_pw_count = 0;
  DWORD num_logons = 0;
  std::string logon_server = "\\\\*";
  DWORD country_code = 0;
  DWORD code_page = 0;
  DWORD primary_group_id = DOMAIN_GROUP_RID_USERS;
  std::string profile;
  std::string home_dir_drive;
  DWORD password_expired = 0;
};

struct NtGroupRecord {
  DWORD rid = 0;
  std::string name;
  std::string comment;
};

struct NtAliasRecord {
  DWORD rid = 0;
  bool builtin = false;  // BUILTIN domain (S-1-5-32-rid), else the machine's own
  std::string name;
  std::string comment;
};

// Creates the tables and seeds them (idempotent; every call below does it):
// every machine gets Administrator (500) and Guest (501, disabled) and the
// local groups Administrators, Users, Guests; workstations and servers also
// Power Users and the global group None (513) that holds their users;
// controllers Account, Server, Print and Backup Operators and Replicator. A
// primary controller gets the global groups Domain Admins (512), Domain
// Users (513) and Domain Guests (514). A machine of a domain (one whose LAN
// group has a primary controller) gets the domain's Domain Admins, Domain
// Users and Domain Guests in its Administrators, Users and Guests, once,
// as soon as the controller exists.
DWORD nt_accounts_prepare(MachineStore& store);

// The store's domain SID (its machine SID).
DWORD nt_accounts_domain_sid(MachineStore& store, std::string* sid);

// Users, ordered by name (case ignored).
DWORD nt_accounts_list_users(MachineStore& store, std::vector<NtUserRecord>* users);
// NERR_UserNotFound when missing.
DWORD nt_accounts_get_user(MachineStore& store, std::string_view name, NtUserRecord* user);
DWORD nt_accounts_get_user_by_rid(MachineStore& store, DWORD rid, NtUserRecord* user);
// Adds a user with a new RID (written back to user->rid) and makes it a
// member of its primary group when that group exists. The name must be free
// among users (NERR_UserExists), groups (NERR_GroupExists) and local groups
// (ERROR_ALIAS_EXISTS).
DWORD nt_accounts_add_user(MachineStore& store, NtUserRecord* user);
// Writes every field of the user with `user.rid` (a new name must be free).
DWORD nt_accounts_update_user(MachineStore& store, const NtUserRecord& user);
// Removes a user, its group memberships and its SID from local groups.
DWORD nt_accounts_delete_user(MachineStore& store, DWORD rid);

// Global groups, ordered by name. NERR_GroupNotFound when missing.
DWORD nt_accounts_list_groups(MachineStore& store, std::vector<NtGroupRecord>* groups);
DWORD nt_accounts_get_group(MachineStore& store, std::string_view name, NtGroupRecord* group);
DWORD nt_accounts_get_group_by_rid(MachineStore& store, DWORD rid, NtGroupRecord* group);
DWORD nt_accounts_add_group(MachineStore& store, NtGroupRecord* group);
DWORD nt_accounts_update_group(MachineStore& store, const NtGroupRecord& group);
// Removes a group, its memberships and its SID from local groups.
DWORD nt_accounts_delete_group(MachineStore& store, DWORD rid);
// Members of a group (user RIDs, by user name), and groups of a user.
DWORD nt_accounts_group_members(MachineStore& store, DWORD group_rid, std::vector<DWORD>* users);
DWORD nt_accounts_user_groups(MachineStore& store, DWORD user_rid, std::vector<DWORD>* groups);
// NERR_UserInGroup / NERR_UserNotInGroup; a user cannot leave its primary
// group (ERROR_MEMBERS_PRIMARY_GROUP).
DWORD nt_accounts_add_group_member(MachineStore& store, DWORD group_rid, DWORD user_rid);
DWORD nt_accounts_del_group_member(MachineStore& store, DWORD group_rid, DWORD user_rid);

// Local groups, ordered by name. ERROR_NO_SUCH_ALIAS when missing.
DWORD nt_accounts_list_aliases(MachineStore& store, std::vector<NtAliasRecord>* aliases);
DWORD nt_accounts_get_alias(MachineStore& store, std::string_view name, NtAliasRecord* alias);
DWORD nt_accounts_add_alias(MachineStore& store, NtAliasRecord* alias);
DWORD nt_accounts_update_alias(MachineStore& store, const NtAliasRecord& alias);
DWORD nt_accounts_delete_alias(MachineStore& store, DWORD rid);
// Member SIDs of a local group, in the order they were added.
DWORD nt_accounts_alias_members(MachineStore& store, DWORD alias_rid,
                                std::vector<std::string>* sids);
// ERROR_MEMBER_IN_ALIAS / ERROR_MEMBER_NOT_IN_ALIAS.
DWORD nt_accounts_add_alias_member(MachineStore& store, DWORD alias_rid, std::string_view sid);
DWORD nt_accounts_del_alias_member(MachineStore& store, DWORD alias_rid, std::string_view sid);
// Local groups with at least one of `sids` as a member.
DWORD nt_accounts_aliases_of(MachineStore& store, const std::vector<std::string>& sids,
                             std::vector<NtAliasRecord>* aliases);

// The SID of a local group of this store.
std::string nt_accounts_alias_sid(const std::string& domain_sid, const NtAliasRecord& alias);

// The minimum password length (0 unless set), for NERR_PasswordTooShort.
DWORD nt_accounts_min_password_length(MachineStore& store, DWORD* length);
DWORD nt_accounts_set_min_password_length(MachineStore& store, DWORD length);
