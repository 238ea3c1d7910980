// One user account as the user tool shows and selects it: the account
// record at level 3, its global and local groups, and the placeholder table
// built over them.
#pragma once

#include <string>
#include <vector>

#include "lib/arg_spec.h"
#include "platform/netapi/netapi.h"

// A global group of a domain: its relative id and name.
struct GroupId {
  DWORD rid = 0;
  std::u16string name;
};

// The account type text of an account's flags: "UNKNOWN", "NORMAL",
// "TEMP", "NT-WS", "NT-SERVER" or "DOMAIN", a later kind winning.
const char* account_type_text(DWORD flags);

// A record time (seconds since 1970, universal) as a local FILETIME.
FILETIME record_time(DWORD seconds);

// Splits a comma-joined list; blanks after each comma are skipped, empty
// names left out.
std::vector<std::u16string> split_list(const std::u16string& list);
std::u16string join_list(const std::vector<std::u16string>& names);

// What the placeholder table points into. Filled by read_user_properties
// (or by hand in tests), then fill_table builds the table.
struct UserProperties {
  std::u16string server;  // "\\NAME"
  std::u16string domain;  // the domain, or the server's name without "\\"
  std::u16string name, comment, home_dir, home_drive, script, full_name, profile,
      workstations, primary_group;
  std::vector<std::u16string> groups, local_groups;
  std::u16string group_list, local_group_list;
  char cannot_change[2] = "0";
  char expired[2] = "0";
  char locked[2] = "0";
  char disabled[2] = "0";
  char never_expires[2] = "0";
  char type[16] = "UNKNOWN";
  int32_t age_seconds = 0, age_days = 0, bad_count = 0, logons = 0, user_id = 0;
  int32_t group_count = 0, local_group_count = 0;
  FILETIME last_logoff{}, last_logon{}, expires{};
  ArgSpec table[30];
};

// Takes the values of an account record (texts, flags, numbers, times) and
// the group lists; `primary_groups` are the controller's global groups
// (empty on a server). Then builds the table.
void set_user_properties(UserProperties* user, const USER_INFO_3& record,
                         const std::vector<std::u16string>& groups,
                         const std::vector<std::u16string>& local_groups,
                         const std::vector<GroupId>& primary_groups);

// Reads account `name` at level 3 on `server` with its global groups and
// its local groups (through global groups as well with `indirect`), and
// builds the table. The error of reading the account, else 0; group lists
// that cannot be read stay empty. With `record`, the caller receives the
// level-3 buffer and frees it with NetApiBufferFree.
DWORD read_user_properties(UserProperties* user, const WCHAR* domain, const WCHAR* server,
                           const WCHAR* name, bool indirect,
                           const std::vector<GroupId>& primary_groups,
                           LPBYTE* record = nullptr);

// The global groups of a controller at level 2, or the error.
DWORD read_domain_groups(const WCHAR* server, std::vector<GroupId>* groups);
// The names of a machine's local groups, or the error.
DWORD read_local_group_names(const WCHAR* server, std::vector<std::u16string>* names);
// The global groups and the local groups of a user (names only).
DWORD read_user_groups(const WCHAR* server, const WCHAR* name, std::vector<std::u16string>* out);
DWORD read_user_local_groups(const WCHAR* server, const WCHAR* name, bool indirect,
                             std::vector<std::u16string>* out);
