// Network management calls: the browser's server and domain lists, workstation
// and server information, the domain controller lookup and the share table,
// with the NT calls' names, levels, buffers and status codes.
//
// The browser sees every online machine of the network (machines/<NAME>):
// a machine belongs to the domain or workgroup named by its LAN group, and its
// type bits are those of its role (nt_machine_server_type). Results come in
// one block allocated by the call, fixed records first and their UTF-16
// strings behind them, which the caller frees with NetApiBufferFree.
//
// Status codes (returned, and also left as the thread's last error):
//   NERR_Success                    0
//   ERROR_BAD_NETPATH               53    the named server is unknown or offline
//   ERROR_INVALID_PARAMETER         87    a required pointer is missing
//   ERROR_INVALID_LEVEL             124   a level the call does not offer
//   ERROR_MORE_DATA                 234   an enumeration stopped at prefmaxlen
//   NERR_UnknownDevDir              2116  a share's directory does not exist
//   NERR_DuplicateShare             2118  the share name is in use
//   NERR_NetNameNotFound            2310  no such share
//   NERR_DCNotFound                 2453  the domain has no primary controller online
//   ERROR_NO_BROWSER_SERVERS_FOUND  6118  no online machine of that domain
//
// Enumerations return whole records only: as many as fit `prefmaxlen` bytes
// (records and strings counted), at least one, the rest with ERROR_MORE_DATA
// and a resume handle to continue from; MAX_PREFERRED_LENGTH asks for all.
// Servers and domains come in alphabetical order, shares in alphabetical
// order of their names, case ignored.
#pragma once

#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/win32_types.h"

using NET_API_STATUS = DWORD;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPBYTE = BYTE*;

// Network management status codes.
constexpr NET_API_STATUS NERR_Success = 0;
constexpr NET_API_STATUS NERR_UnknownDevDir = 2116;
constexpr NET_API_STATUS NERR_DuplicateShare = 2118;
constexpr NET_API_STATUS NERR_NetNameNotFound = 2310;
constexpr NET_API_STATUS NERR_DCNotFound = 2453;

constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFFu;

constexpr DWORD PLATFORM_ID_NT = 500;
// The version every machine of the network reports.
constexpr DWORD NT_VERSION_MAJOR = 4;
constexpr DWORD NT_VERSION_MINOR = 0;

// NetServerEnum: every type (but not the domain list), and the domain list.
constexpr DWORD SV_TYPE_ALL = 0xFFFFFFFFu;
constexpr DWORD SV_TYPE_DOMAIN_ENUM = 0x80000000u;

// Share types.
constexpr DWORD STYPE_DISKTREE = 0;
constexpr DWORD STYPE_PRINTQ = 1;
constexpr DWORD STYPE_DEVICE = 2;
constexpr DWORD STYPE_IPC = 3;
constexpr DWORD STYPE_SPECIAL = 0x80000000u;
constexpr DWORD SHI_USES_UNLIMITED = 0xFFFFFFFFu;

// Limits of share names, remarks and paths, in characters.
constexpr DWORD NNLEN = 80;
constexpr DWORD MAXCOMMENTSZ = 256;

struct SERVER_INFO_100 {
  DWORD sv100_platform_id;
  LPWSTR sv100_name;
};

struct SERVER_INFO_101 {
  DWORD sv101_platform_id;
  LPWSTR sv101_name;
  DWORD sv101_version_major;
  DWORD sv101_version_minor;
  DWORD sv101_type;
  LPWSTR sv101_comment;
};

struct WKSTA_INFO_100 {
  DWORD wki100_platform_id;
  LPWSTR wki100_computername;
  LPWSTR wki100_langroup;
  DWORD wki100_ver_major;
  DWORD wki100_ver_minor;
};

struct SHARE_INFO_0 {
  LPWSTR shi0_netname;
};

struct SHARE_INFO_1 {
  LPWSTR shi1_netname;
  DWORD shi1_type;
  LPWSTR shi1_remark;
};

struct SHARE_INFO_2 {
  LPWSTR shi2_netname;
  DWORD shi2_type;
  LPWSTR shi2_remark;
  DWORD shi2_permissions;
  DWORD shi2_max_uses;
  DWORD shi2_current_uses;
  LPWSTR shi2_path;
  LPWSTR shi2_passwd;  // always null: shares have no passwords here
};

// A block for results; freed with NetApiBufferFree.
NET_API_STATUS NetApiBufferAllocate(DWORD size, void** buffer);
// Frees a block of the calls above; null is allowed. A pointer that no call
// handed out is refused with ERROR_INVALID_PARAMETER (and not freed); success
// leaves the last error as it was.
NET_API_STATUS NetApiBufferFree(void* buffer);

// Servers of `domain` (null or empty: the local machine's LAN group) whose
// type bits intersect `servertype`, at level 100 or 101. With
// SV_TYPE_DOMAIN_ENUM (and not SV_TYPE_ALL) the list is of domains and
// workgroups instead, one entry per LAN group with an online machine, its
// comment naming that group's browser (its primary controller, else its first
// machine). `servername` is null or a reachable machine. A domain without
// any online machine gives ERROR_NO_BROWSER_SERVERS_FOUND.
NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                             DWORD* entriesread, DWORD* totalentries, DWORD servertype,
                             LPCWSTR domain, DWORD* resume_handle);

// One server (null: the local machine) at level 100 or 101.
NET_API_STATUS NetServerGetInfo(LPCWSTR servername, DWORD level, LPBYTE* bufptr);

// The workstation (null: the local machine) at level 100.
NET_API_STATUS NetWkstaGetInfo(LPCWSTR servername, DWORD level, LPBYTE* bufptr);

// The primary controller of `domainname` (null or empty: the domain of
// `servername`, which is null for the local machine) as "\\NAME".
NET_API_STATUS NetGetDCName(LPCWSTR servername, LPCWSTR domainname, LPBYTE* bufptr);

// The shares of a server (null: the local machine) at level 0, 1, 2 or 502
// (SHARE_INFO_502, net_accounts.h, with the security descriptor): the
// administrative shares every machine has (one "X$" per fixed drive, ADMIN$
// for C:\WINNT, IPC$) and those added to its share table.
NET_API_STATUS NetShareEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                            DWORD* entriesread, DWORD* totalentries, DWORD* resume_handle);

// One share of a server at level 0, 1, 2 or 502; NERR_NetNameNotFound when
// missing.
NET_API_STATUS NetShareGetInfo(LPCWSTR servername, LPCWSTR netname, DWORD level,
                               LPBYTE* bufptr);

// Accounts, groups, local groups, share security, logged-on users.
#include "platform/netapi/net_accounts.h"
