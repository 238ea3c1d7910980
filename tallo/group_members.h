// The members of one group, as the group tool lists them: the account names
// of a global group, or the DOMAIN\NAME forms of a local group's members,
// with global groups among them replaced by their users on request.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

struct GroupMembers {
  std::vector<std::u16string> names;  // in the order the server gives them
  int direct = 0;                     // direct members, before any replacement
};

// The users of global group `group` on `server`. 0 or the error code.
DWORD read_global_members(const WCHAR* server, const WCHAR* group, GroupMembers* members);

// The members of local group `group` on `server`. With `indirect`, a member
// that is a global group ("DOMAIN\GROUP") becomes the users of that group,
// read on its domain's controller and written "DOMAIN\USER"; a group whose
// users cannot be read is reported ("TALLO-ERROR, NetGroupGetUsers(%s)
// failed, error=%ld") and contributes nobody. 0 or the error of reading the
// local group itself.
DWORD read_local_members(const WCHAR* server, const WCHAR* group, bool indirect,
                         GroupMembers* members);

// The member list text: names joined by ',' without blanks.
std::u16string join_members(const std::vector<std::u16string>& names);

// One member of a member list taken apart: a name "DOMAIN\USER" gives that
// domain and user; a name without a backslash gives `step_domain` and the
// name. `qualified` is domain and user joined by a backslash.
struct MemberParts {
  std::u16string qualified;
  std::u16string domain;
  std::u16string user;
};
MemberParts member_parts(const std::u16string& member, const std::u16string& step_domain);
