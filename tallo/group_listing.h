// The listing of the group tool: per domain (global or local groups on its
// controller) or per server (local groups), per group its placeholder
// table, the criteria, and the ~F, ~M and ~D lines.
#pragma once

#include "lib/arg_spec.h"
#include "platform/win32_types.h"

struct GroupListing {
  // Set by the tool before the loops run.
  bool local_groups = false;  // list local groups (always so on servers)
  bool indirect = false;      // replace global groups in local groups by their users
  bool ansi = false;          // print without converting to OEM
  bool servers = false;       // the steps are servers, not domains
  const char* pattern = "";   // group name pattern
  const char* group_format = "";
  const char* member_format = "";
  const char* step_format = "";
  const ArgSpec* criteria = nullptr;

  // Counted by the steps.
  long steps = 0;   // domains or servers visited
  long groups = 0;  // groups selected
};

// The work for one domain (with `server` its controller) or one server;
// `context` is the GroupListing.
DWORD list_groups_step(const WCHAR* domain, const WCHAR* server, void* context);

// The work for one group; `context` is the GroupListing.
DWORD list_one_group(const WCHAR* domain, const WCHAR* server, const WCHAR* group,
                     void* context);

// Prints the end of the run: the ~T line when given and a group was
// selected, else "TALLO-ERROR, no groups match".
void finish_listing(const GroupListing& listing, const char* totals_format);
