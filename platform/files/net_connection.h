// Network drive connections: WNetAddConnection2A and WNetCancelConnection2A.
//
// A connection maps a drive letter to "\\SERVER\SHARE" for the current user
// (USERDOMAIN\USERNAME, the domain defaulting to the local machine). It is
// kept in the local machine's store, table net_connections of the
// subsystem "connections", so every process of that user sees it until it
// is cancelled (connections live as the persistent ones of NT do; the
// CONNECT_UPDATE_PROFILE flag changes nothing). Paths on the letter resolve
// through the share, as a UNC path does (drives.h).
//
// User names and passwords are not checked: the network's machines trust
// each other's users for file access.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr DWORD RESOURCETYPE_ANY = 0;
constexpr DWORD RESOURCETYPE_DISK = 1;
constexpr DWORD RESOURCETYPE_PRINT = 2;
constexpr DWORD CONNECT_UPDATE_PROFILE = 0x1;

struct NETRESOURCEA {
  DWORD dwScope;
  DWORD dwType;
  DWORD dwDisplayType;
  DWORD dwUsage;
  char* lpLocalName;
  char* lpRemoteName;
  char* lpComment;
  char* lpProvider;
};

// Connects lpLocalName ("Q:", either case) to lpRemoteName
// ("\\SERVER\SHARE", no further names). Without a local name the share is
// only checked (a connection without a device keeps nothing here). Returns
// (and leaves as the last error):
//   NO_ERROR                 connected
//   ERROR_INVALID_PARAMETER  no resource
//   ERROR_BAD_DEV_TYPE       dwType neither disk nor any
//   ERROR_BAD_DEVICE         a local name that is not a drive letter and colon
//   ERROR_BAD_NET_NAME       a remote name that is not \\SERVER\SHARE, an
//                            unknown share, or one that is no disk share (IPC$)
//   ERROR_BAD_NETPATH        an unknown or offline server
//   ERROR_ALREADY_ASSIGNED   the letter is a drive of the machine or is
//                            connected already
DWORD WNetAddConnection2A(NETRESOURCEA* resource, const char* password, const char* user,
                          DWORD flags);

// Cancels the connection of a drive letter ("Q:"). ERROR_NOT_CONNECTED when
// the user has no connection on it (a drive of the machine's own table is
// no connection); ERROR_INVALID_PARAMETER for a null name.
DWORD WNetCancelConnection2A(const char* name, DWORD flags, BOOL force);

// The remote name of a connected letter: NO_ERROR, ERROR_NOT_CONNECTED, or
// ERROR_MORE_DATA with *length set to the size needed (terminator
// included). A remote drive of the machine's table reports its share too.
DWORD WNetGetConnectionA(const char* local_name, char* remote_name, DWORD* length);

// The connections of the current user: (letter, "\\SERVER\SHARE"), in
// letter order. Used by the drive lookup.
DWORD nt_user_connections(std::vector<std::pair<char, std::string>>* connections);
// The connection of one letter (upper case); ERROR_NOT_CONNECTED when none.
DWORD nt_user_connection(char letter, std::string* remote);
