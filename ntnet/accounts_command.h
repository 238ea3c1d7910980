// ntnet user and ntnet group: the account database of a machine (its own,
// or for a domain controller the domain's), changed as the network's owner
// (no access check).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// `args` are the arguments after "user":
//   add MACHINE NAME [--password P] [--full-name TEXT] [--comment TEXT]
//                    [--group G]... [--local-group L]...
//       a normal account (an empty password without --password); --group
//       names a global group of the same database, --local-group a local
//       group of MACHINE
//   list MACHINE     one line a user: NAME, RID, enabled or disabled, FULL NAME
int ntnet_user_command(const std::vector<std::string>& args, FILE* out, FILE* err);

// `args` are the arguments after "group":
//   add MACHINE NAME [--local] [--comment TEXT] [--member M]...
//       a global group (its members: users of the same database), or with
//       --local a local group (members: any account MACHINE can name,
//       "DOMAIN\name" or "name")
//   list MACHINE     one line a group: "global NAME: MEMBER, MEMBER" for the
//                    global groups, then "local NAME: DOMAIN\MEMBER, ..."
int ntnet_group_command(const std::vector<std::string>& args, FILE* out, FILE* err);
