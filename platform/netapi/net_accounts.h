// Network management calls on accounts, groups, local groups, share
// security and logged-on users, with NT's structures, levels and status
// codes. Included by netapi.h.
//
// A call on a machine acts on its account database: a workstation's or
// server's own, a domain controller's domain database (kept on the primary
// controller; a backup controller answers with the same data). Reading is
// open to everyone; adding, changing and deleting accounts, memberships and
// shares needs a caller (kernel/identity.h) in the machine's
// BUILTIN\Administrators, else ERROR_ACCESS_DENIED (5). An unknown or
// offline server gives ERROR_BAD_NETPATH (53).
//
// Status codes besides those of netapi.h:
//   ERROR_ACCESS_DENIED         5     the caller is no administrator there
//   ERROR_SPECIAL_ACCOUNT       1371  built-in accounts and groups cannot go
//   ERROR_MEMBERS_PRIMARY_GROUP 1374  a user cannot leave its primary group
//   ERROR_NO_SUCH_ALIAS         1376  no such local group
//   ERROR_MEMBER_NOT_IN_ALIAS   1377
//   ERROR_MEMBER_IN_ALIAS       1378
//   ERROR_ALIAS_EXISTS          1379
//   ERROR_NO_SUCH_MEMBER        1387  a member name or SID that maps to nothing
//   ERROR_INVALID_MEMBER        1388  a local group cannot be a member
//   NERR_GroupNotFound          2220
//   NERR_UserNotFound           2221
//   NERR_GroupExists            2223  the name is a global group's
//   NERR_UserExists             2224  the name is a user's
//   NERR_UserInGroup            2236
//   NERR_UserNotInGroup         2237
//   NERR_PasswordTooShort       2245  shorter than the database's minimum,
//                                     or longer than 256 characters
//   ERROR_INVALID_PARAMETER     87    a bad field; *parm_err names it
//
// Names: users at most 20 characters, groups at most 256, none holding
// " / \ [ ] : ; | = , + * ? < > or a control character, nor only dots and
// blanks. Texts (comments, paths, full names ...) at most 256 characters.
// Longer values are refused with ERROR_INVALID_PARAMETER, never cut.
//
// Times in the USER_INFO records are seconds since 1970 (UTC); a never
// expiring account has TIMEQ_FOREVER. Passwords are never returned (null).
#pragma once

#include "platform/kernel/error.h"
#include "platform/accounts/account_store.h"
#include "platform/security/group_attributes.h"
#include "platform/security/sid.h"

using PBYTE = BYTE*;
using PSECURITY_DESCRIPTOR = void*;

constexpr DWORD PARM_ERROR_NONE = 0;
constexpr DWORD PARM_ERROR_UNKNOWN = 0xFFFFFFFFu;

// NetUserEnum filters.
constexpr DWORD FILTER_TEMP_DUPLICATE_ACCOUNT = 0x0001;
constexpr DWORD FILTER_NORMAL_ACCOUNT = 0x0002;
constexpr DWORD FILTER_INTERDOMAIN_TRUST_ACCOUNT = 0x0008;
constexpr DWORD FILTER_WORKSTATION_TRUST_ACCOUNT = 0x0010;
constexpr DWORD FILTER_SERVER_TRUST_ACCOUNT = 0x0020;

// NetUserGetLocalGroups flags.
constexpr DWORD LG_INCLUDE_INDIRECT = 0x0001;

// Group attributes (GROUP_INFO_2) are the SE_GROUP_* values of group_attributes.h.

// Field numbers reported in parm_err.
constexpr DWORD USER_NAME_PARMNUM = 1;
constexpr DWORD USER_PASSWORD_PARMNUM = 3;
constexpr DWORD USER_PASSWORD_AGE_PARMNUM = 4;
constexpr DWORD USER_PRIV_PARMNUM = 5;
constexpr DWORD USER_HOME_DIR_PARMNUM = 6;
constexpr DWORD USER_COMMENT_PARMNUM = 7;
constexpr DWORD USER_FLAGS_PARMNUM = 8;
constexpr DWORD USER_SCRIPT_PATH_PARMNUM = 9;
constexpr DWORD USER_AUTH_FLAGS_PARMNUM = 10;
constexpr DWORD USER_FULL_NAME_PARMNUM = 11;
constexpr DWORD USER_USR_COMMENT_PARMNUM = 12;
constexpr DWORD USER_PARMS_PARMNUM = 13;
constexpr DWORD USER_WORKSTATIONS_PARMNUM = 14;
constexpr DWORD USER_LAST_LOGON_PARMNUM = 15;
constexpr DWORD USER_LAST_LOGOFF_PARMNUM = 16;
constexpr DWORD USER_ACCT_EXPIRES_PARMNUM = 17;
constexpr DWORD USER_MAX_STORAGE_PARMNUM = 18;
constexpr DWORD USER_UNITS_PER_WEEK_PARMNUM = 19;
constexpr DWORD USER_LOGON_HOURS_PARMNUM = 20;
constexpr DWORD USER_PAD_PW_COUNT_PARMNUM = 21;
constexpr DWORD USER_NUM_LOGONS_PARMNUM = 22;
constexpr DWORD USER_LOGON_SERVER_PARMNUM = 23;
constexpr DWORD USER_COUNTRY_CODE_PARMNUM = 24;
constexpr DWORD USER_CODE_PAGE_PARMNUM = 25;
constexpr DWORD USER_PRIMARY_GROUP_PARMNUM = 51;
constexpr DWORD USER_PROFILE_PARMNUM = 52;
constexpr DWORD USER_HOME_DIR_DRIVE_PARMNUM = 53;
constexpr DWORD GROUP_NAME_PARMNUM = 1;
constexpr DWORD GROUP_COMMENT_PARMNUM = 2;
constexpr DWORD GROUP_ATTRIBUTES_PARMNUM = 3;
constexpr DWORD LOCALGROUP_NAME_PARMNUM = 1;
constexpr DWORD LOCALGROUP_COMMENT_PARMNUM = 2;
constexpr DWORD SHARE_NETNAME_PARMNUM = 1;
constexpr DWORD SHARE_TYPE_PARMNUM = 3;
constexpr DWORD SHARE_REMARK_PARMNUM = 4;
constexpr DWORD SHARE_PERMISSIONS_PARMNUM = 5;
constexpr DWORD SHARE_MAX_USES_PARMNUM = 6;
constexpr DWORD SHARE_CURRENT_USES_PARMNUM = 7;
constexpr DWORD SHARE_PATH_PARMNUM = 8;
constexpr DWORD SHARE_PASSWD_PARMNUM = 9;
constexpr DWORD SHARE_FILE_SD_PARMNUM = 501;

struct USER_INFO_0 {
  LPWSTR usri0_name;
};

struct USER_INFO_1 {
  LPWSTR usri1_name;
  LPWSTR usri1_password;
  DWORD usri1_password_age;
  DWORD usri1_priv;
  LPWSTR usri1_home_dir;
  LPWSTR usri1_comment;
  DWORD usri1_flags;
  LPWSTR usri1_script_path;
};

struct USER_INFO_2 {
  LPWSTR usri2_name;
  LPWSTR usri2_password;
  DWORD usri2_password_age;
  DWORD usri2_priv;
  LPWSTR usri2_home_dir;
  LPWSTR usri2_comment;
  DWORD usri2_flags;
  LPWSTR usri2_script_path;
  DWORD usri2_auth_flags;
  LPWSTR usri2_full_name;
  LPWSTR usri2_usr_comment;
  LPWSTR usri2_parms;
  LPWSTR usri2_workstations;
  DWORD usri2_last_logon;
  DWORD usri2_last_logoff;
  DWORD usri2_acct_expires;
  DWORD usri2_max_storage;
  DWORD usri2_units_per_week;
  PBYTE usri2_logon_hours;
  DWORD usri2_bad_pw_count;
  DWORD usri2_num_logons;
  LPWSTR usri2_logon_server;
  DWORD usri2_country_code;
  DWORD usri2_code_page;
};

struct USER_INFO_3 {
  LPWSTR usri3_name;
  LPWSTR usri3_password;
  DWORD usri3_password_age;
  DWORD usri3_priv;
  LPWSTR usri3_home_dir;
  LPWSTR usri3_comment;
  DWORD usri3_flags;
  LPWSTR usri3_script_path;
  DWORD usri3_auth_flags;
  LPWSTR usri3_full_name;
  LPWSTR usri3_usr_comment;
  LPWSTR usri3_parms;
  LPWSTR usri3_workstations;
  DWORD usri3_last_logon;
  DWORD usri3_last_logoff;
  DWORD usri3_acct_expires;
  DWORD usri3_max_storage;
  DWORD usri3_units_per_week;
  PBYTE usri3_logon_hours;
  DWORD usri3_bad_pw_count;
  DWORD usri3_num_logons;
  LPWSTR usri3_logon_server;
  DWORD usri3_country_code;
  DWORD usri3_code_page;
  DWORD usri3_user_id;
  DWORD usri3_primary_group_id;
  LPWSTR usri3_profile;
  LPWSTR usri3_home_dir_drive;
  DWORD usri3_password_expired;
};

struct USER_INFO_10 {
  LPWSTR usri10_name;
  LPWSTR usri10_comment;
  LPWSTR usri10_usr_comment;
  LPWSTR usri10_full_name;
};

struct USER_INFO_20 {
  LPWSTR usri20_name;
  LPWSTR usri20_full_name;
  LPWSTR usri20_comment;
  DWORD usri20_flags;
  DWORD usri20_user_id;
};

struct USER_INFO_1003 {
  LPWSTR usri1003_password;
};

struct USER_INFO_1008 {
  DWORD usri1008_flags;
};

struct GROUP_INFO_0 {
  LPWSTR grpi0_name;
};

struct GROUP_INFO_1 {
  LPWSTR grpi1_name;
  LPWSTR grpi1_comment;
};

struct GROUP_INFO_2 {
  LPWSTR grpi2_name;
  LPWSTR grpi2_comment;
  DWORD grpi2_group_id;
  DWORD grpi2_attributes;
};

struct GROUP_USERS_INFO_0 {
  LPWSTR grui0_name;
};

struct LOCALGROUP_INFO_0 {
  LPWSTR lgrpi0_name;
};

struct LOCALGROUP_INFO_1 {
  LPWSTR lgrpi1_name;
  LPWSTR lgrpi1_comment;
};

struct LOCALGROUP_MEMBERS_INFO_0 {
  PSID lgrmi0_sid;
};

struct LOCALGROUP_MEMBERS_INFO_1 {
  PSID lgrmi1_sid;
  SID_NAME_USE lgrmi1_sidusage;
  LPWSTR lgrmi1_name;
};

struct LOCALGROUP_MEMBERS_INFO_2 {
  PSID lgrmi2_sid;
  SID_NAME_USE lgrmi2_sidusage;
  LPWSTR lgrmi2_domainandname;
};

struct LOCALGROUP_MEMBERS_INFO_3 {
  LPWSTR lgrmi3_domainandname;
};

struct LOCALGROUP_USERS_INFO_0 {
  LPWSTR lgrui0_name;
};

struct SHARE_INFO_502 {
  LPWSTR shi502_netname;
  DWORD shi502_type;
  LPWSTR shi502_remark;
  DWORD shi502_permissions;
  DWORD shi502_max_uses;
  DWORD shi502_current_uses;
  LPWSTR shi502_path;
  LPWSTR shi502_passwd;
  DWORD shi502_reserved;
  PSECURITY_DESCRIPTOR shi502_security_descriptor;
};

struct SHARE_INFO_1004 {
  LPWSTR shi1004_remark;
};

struct SHARE_INFO_1501 {
  DWORD shi1501_reserved;
  PSECURITY_DESCRIPTOR shi1501_security_descriptor;
};

struct WKSTA_USER_INFO_0 {
  LPWSTR wkui0_username;
};

struct WKSTA_USER_INFO_1 {
  LPWSTR wkui1_username;
  LPWSTR wkui1_logon_domain;
  LPWSTR wkui1_oth_domains;
  LPWSTR wkui1_logon_server;
};

// ---- Users.

// Levels 1, 2, 3. The fields a level lacks take the defaults of a new
// account; the RID is chosen by the database (usri3_user_id is ignored).
// The user joins its primary group.
NET_API_STATUS NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err);
// Built-in accounts (Administrator, Guest) give ERROR_SPECIAL_ACCOUNT.
NET_API_STATUS NetUserDel(LPCWSTR servername, LPCWSTR username);
// Levels 0, 1, 2, 3, 10, 20.
NET_API_STATUS NetUserGetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                              LPBYTE* bufptr);
// Levels 0 (rename), 1, 2, 3 (every field; a null password leaves it, the
// user id and the fields NT keeps itself are ignored), 1003 (password),
// 1008 (flags).
NET_API_STATUS NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level, LPBYTE buf,
                              DWORD* parm_err);
// Levels 0, 1, 2, 3, 10, 20; `filter` 0 for accounts of every kind, else
// FILTER_* bits; in order of the names.
NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE* bufptr,
                           DWORD prefmaxlen, DWORD* entriesread, DWORD* totalentries,
                           DWORD* resume_handle);
// Level 0 (GROUP_USERS_INFO_0): the user's global groups.
NET_API_STATUS NetUserGetGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                LPBYTE* bufptr, DWORD prefmaxlen, DWORD* entriesread,
                                DWORD* totalentries);
// Level 0 (LOCALGROUP_USERS_INFO_0): the server's local groups that hold the
// user ("name" or "DOMAIN\name"), with LG_INCLUDE_INDIRECT also through the
// user's global groups.
NET_API_STATUS NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                     DWORD flags, LPBYTE* bufptr, DWORD prefmaxlen,
                                     DWORD* entriesread, DWORD* totalentries);

// ---- Global groups.

// Levels 0, 1, 2 (attributes ignored).
NET_API_STATUS NetGroupAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err);
NET_API_STATUS NetGroupDel(LPCWSTR servername, LPCWSTR groupname);
// Levels 0, 1, 2.
NET_API_STATUS NetGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                            DWORD* entriesread, DWORD* totalentries, DWORD_PTR* resume_handle);
NET_API_STATUS NetGroupGetInfo(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                               LPBYTE* bufptr);
// Level 0 (GROUP_USERS_INFO_0).
NET_API_STATUS NetGroupGetUsers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                LPBYTE* bufptr, DWORD prefmaxlen, DWORD* entriesread,
                                DWORD* totalentries, DWORD_PTR* resume_handle);
NET_API_STATUS NetGroupAddUser(LPCWSTR servername, LPCWSTR groupname, LPCWSTR username);
NET_API_STATUS NetGroupDelUser(LPCWSTR servername, LPCWSTR groupname, LPCWSTR username);

// ---- Local groups.

// Levels 0, 1.
NET_API_STATUS NetLocalGroupAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err);
// BUILTIN groups give ERROR_SPECIAL_ACCOUNT.
NET_API_STATUS NetLocalGroupDel(LPCWSTR servername, LPCWSTR groupname);
// Levels 0, 1.
NET_API_STATUS NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                 DWORD prefmaxlen, DWORD* entriesread, DWORD* totalentries,
                                 DWORD_PTR* resume_handle);
// Levels 0, 1.
NET_API_STATUS NetLocalGroupGetInfo(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                    LPBYTE* bufptr);
// Levels 0 to 3, in the order the members were added. A member SID that
// maps to no account has SidTypeUnknown and its SID text as name.
NET_API_STATUS NetLocalGroupGetMembers(LPCWSTR servername, LPCWSTR localgroupname, DWORD level,
                                       LPBYTE* bufptr, DWORD prefmaxlen, DWORD* entriesread,
                                       DWORD* totalentries, DWORD_PTR* resumehandle);
// Levels 0 (SIDs) and 3 ("DOMAIN\name" or "name", looked up on the server).
// All members are checked first; then all are added (or removed), or none.
NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                       LPBYTE buf, DWORD totalentries);
NET_API_STATUS NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                       LPBYTE buf, DWORD totalentries);

// ---- Shares with security (NetShareEnum and NetShareGetInfo also take
// level 502: the share's security descriptor, self-relative, null when the
// share has none).

// Levels 2 and 502. The descriptor (absolute or self-relative) is kept in
// self-relative form; a null one means none.
NET_API_STATUS NetShareAdd(LPCWSTR servername, DWORD level, LPBYTE buf, DWORD* parm_err);
// Levels 2, 502 (remark, permissions, maximum uses, and at 502 the
// descriptor; the name and path must stay), 1004 (remark), 1501 (descriptor).
NET_API_STATUS NetShareSetInfo(LPCWSTR servername, LPCWSTR netname, DWORD level, LPBYTE buf,
                               DWORD* parm_err);
NET_API_STATUS NetShareDel(LPCWSTR servername, LPCWSTR netname, DWORD reserved);

// ---- The user logged on at a workstation: the caller's identity.

// Levels 0 and 1; `reserved` must be null.
NET_API_STATUS NetWkstaUserGetInfo(LPWSTR reserved, DWORD level, LPBYTE* bufptr);
