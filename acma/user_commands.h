// The work of the user tool per domain or server and per user: show,
// delete, set (also with a template user) and add.
#pragma once

#include <string>
#include <vector>

#include "acma/user_properties.h"
#include "lib/arg_spec.h"

struct AcmaRun {
  // Set by the tool before the loops run.
  int command = 0;          // CMD_SHOW, CMD_DEL, CMD_SET or CMD_ADD
  bool servers = false;     // the steps are servers, not domains
  bool all_kinds = false;   // /a: accounts of every kind
  bool indirect = false;    // /i: local groups through global groups too
  bool ansi = false;        // /A
  const char* pattern = "";  // user name pattern

  // Option values (empty: leave the property as it is).
  const WCHAR* new_name = u"";
  const WCHAR* comment = u"";
  const WCHAR* home_dir = u"";
  const WCHAR* home_drive = u"";
  const WCHAR* groups = u"";
  const WCHAR* local_groups = u"";
  const WCHAR* workstations = u"";
  const WCHAR* script = u"";
  const WCHAR* full_name = u"";
  const WCHAR* profile = u"";
  const WCHAR* password = u"";
  const WCHAR* template_user = u"";
  // 0 clears, 1 sets, anything else (2 by default) leaves the property.
  int32_t cannot_change = 2, expired = 2, disabled = 2, never_expires = 2;

  const char* user_format = "";
  const char* group_format = "";
  const char* local_group_format = "";
  const char* step_format = "";
  const ArgSpec* criteria = nullptr;

  // The step being worked on.
  std::u16string step_name;           // domain, or server name without "\\"
  std::vector<GroupId> domain_groups;  // the controller's global groups

  // Counted by the steps.
  long steps = 0;
  long users = 0;
};

// The work for one domain (with `server` its controller) or one server.
DWORD acma_step(const WCHAR* domain, const WCHAR* server, void* context);

// The per-user commands, as user_loop calls them.
DWORD show_user(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context);
DWORD delete_user(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context);
DWORD set_user(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context);
DWORD add_user(const WCHAR* domain, const WCHAR* server, const WCHAR* name, void* context);

// The end of the run: the ~T line, or "ACMA-ERROR, no users match".
void finish_run(const AcmaRun& run, const char* totals_format);

// The names of a group list after expanding `format` with a user's table
// into at most 2,047 bytes. A longer list keeps the names that lie whole
// within them, and `cut` is set.
std::vector<std::u16string> expand_group_list(const WCHAR* format, const ArgSpec* table,
                                              bool* cut);
