#include "acma/user_commands.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "acma/password_derivation.h"
#include "lib/account_loops.h"
#include "lib/command_code.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"

namespace {

std::u16string text(const WCHAR* value) { return value ? value : u""; }
std::string ansi(const std::u16string& value) { return nt_wide_to_ansi(value); }
const char* a(const std::u16string& value) {
  // Several names go into one line: each call keeps its own copy alive
  // until the line is printed.
  static thread_local std::string slots[4];
  static thread_local int next = 0;
  std::string& slot = slots[next];
  next = (next + 1) % 4;
  slot = ansi(value);
  return slot.c_str();
}

void info(const char* format, const std::u16string& x, const std::u16string& y) {
  printf(format, a(x), a(y));
}

void error(const char* line) {
  fflush(stdout);
  fputs(line, stderr);
}

template <typename... Args>
void errorf(const char* format, Args... args) {
  fflush(stdout);
  fprintf(stderr, format, args...);
}

struct NetBuffer {
  LPBYTE p = nullptr;
  ~NetBuffer() { NetApiBufferFree(p); }
};

// The member name of a user in local groups: "<domain or server>\user".
std::u16string member_name(const AcmaRun& run, const std::u16string& user) {
  return run.step_name + u"\\" + user;
}

NET_API_STATUS local_member(const WCHAR* server, const std::u16string& group,
                            const std::u16string& member, bool add) {
  LOCALGROUP_MEMBERS_INFO_3 entry{const_cast<WCHAR*>(member.c_str())};
  LPBYTE buffer = reinterpret_cast<LPBYTE>(&entry);
  return add ? NetLocalGroupAddMembers(server, group.c_str(), 3, buffer, 1)
             : NetLocalGroupDelMembers(server, group.c_str(), 3, buffer, 1);
}

// The option when given, else the value read.
WCHAR* pick(const WCHAR* option, WCHAR* read) {
  return option[0] != 0 ? const_cast<WCHAR*>(option) : read;
}

DWORD force(DWORD flags, DWORD bit, int32_t how) {
  if (how == 1) return flags | bit;
  if (how == 0) return flags & ~bit;
  return flags;
}

void read_failed(const std::u16string& name, DWORD status) {
  errorf("ACMA-ERROR, NetUserGetInfo(%s) failed, error=%ld\n", a(name), static_cast<long>(status));
}

// Removes the user from all its global groups, printing each success.
void leave_groups(const WCHAR* server, const std::u16string& user) {
  std::vector<std::u16string> current;
  read_user_groups(server, user.c_str(), &current);
  for (const std::u16string& group : current) {
    if (NetGroupDelUser(server, group.c_str(), user.c_str()) == NERR_Success)
      info("ACMA-INFO, removed %s from group %s\n", user, group);
  }
}

void leave_local_groups(const AcmaRun& run, const WCHAR* server, const std::u16string& user) {
  std::vector<std::u16string> current;
  read_user_local_groups(server, user.c_str(), false, &current);
  for (const std::u16string& group : current) {
    if (local_member(server, group, member_name(run, user), false) == NERR_Success)
      info("ACMA-INFO, removed %s from localgroup %s\n", user, group);
  }
}

void join_group(const WCHAR* server, const std::u16string& user, const std::u16string& group,
                bool report_failure) {
  NET_API_STATUS status = NetGroupAddUser(server, group.c_str(), user.c_str());
  if (status == NERR_Success) {
    info("ACMA-INFO, added %s to group %s\n", user, group);
  } else if (status != NERR_UserInGroup && report_failure) {
    errorf("ACMA-ERROR, NetGroupAddUser(%s,%s) failed, error=%ld\n", a(group), a(user),
           static_cast<long>(status));
  }
}

void join_local_group(const AcmaRun& run, const WCHAR* server, const std::u16string& user,
                      const std::u16string& group, bool report_failure) {
  NET_API_STATUS status = local_member(server, group, member_name(run, user), true);
  if (status == NERR_Success) {
    info("ACMA-INFO, added %s to localgroup %s\n", user, group);
  } else if (status != ERROR_MEMBER_IN_ALIAS && report_failure) {
    errorf("ACMA-ERROR, NetLocalGroupAddMembers(%s,%s) failed, error=%ld\n", a(group),
           a(member_name(run, user)), static_cast<long>(status));
  }
}

std::vector<std::u16string> group_list_of(const WCHAR* format, const ArgSpec* table) {
  bool cut = false;
  std::vector<std::u16string> names = expand_group_list(format, table, &cut);
  if (cut)
    errorf("ACMA-ERROR, group list longer than %d bytes, groups after '%s' left out\n",
           OUTPUT_LINE_SIZE - 1, names.empty() ? "" : a(names.back()));
  return names;
}

// The set command on `target`; with `count` the user is counted (an add
// that sets its new user from a template counts it itself).
DWORD modify_user(AcmaRun* run, const WCHAR* server, const std::u16string& target, bool count) {
  const bool templated = run->template_user[0] != 0;
  const std::u16string source = templated ? text(run->template_user) : target;
  UserProperties user;
  NetBuffer read;
  DWORD status = read_user_properties(&user, run->step_name.c_str(), server, source.c_str(),
                                      run->indirect, run->domain_groups, &read.p);
  if (status != NERR_Success) {
    read_failed(source, status);
    return status;
  }
  if (!match_criteria(user.table, run->criteria)) return ERROR_SUCCESS;
  char question[1024];
  snprintf(question, sizeof question, "Modify user %s\\%s ?\n", a(run->step_name), a(target));
  if (!confirm(question)) return ERROR_SUCCESS;

  const auto* old = reinterpret_cast<const USER_INFO_3*>(read.p);
  USER_INFO_3 record = *old;
  record.usri3_name = const_cast<WCHAR*>(target.c_str());
  WCHAR derived[ARG_TEXT_SIZE];
  if (run->password[0] == 0) {
    record.usri3_password = nullptr;
  } else if (run->password[0] == u'!') {
    // Each user gets the password of the seed itself: the option is left
    // as given.
    std::u16string seed = text(run->password + 1).substr(0, ARG_TEXT_SIZE - 1);
    std::memcpy(derived, seed.c_str(), (seed.size() + 1) * sizeof(WCHAR));
    derive_password(derived, ARG_TEXT_SIZE);
    record.usri3_password = derived;
  } else {
    record.usri3_password = const_cast<WCHAR*>(run->password);
  }
  record.usri3_home_dir = pick(run->home_dir, old->usri3_home_dir);
  record.usri3_comment = pick(run->comment, old->usri3_comment);
  record.usri3_script_path = pick(run->script, old->usri3_script_path);
  record.usri3_full_name = pick(run->full_name, old->usri3_full_name);
  record.usri3_workstations = pick(run->workstations, old->usri3_workstations);
  record.usri3_profile = pick(run->profile, old->usri3_profile);
  record.usri3_home_dir_drive = pick(run->home_drive, old->usri3_home_dir_drive);
  DWORD flags = force(old->usri3_flags, UF_PASSWD_CANT_CHANGE, run->cannot_change);
  flags = force(flags, UF_ACCOUNTDISABLE, run->disabled);
  record.usri3_flags = force(flags, UF_DONT_EXPIRE_PASSWD, run->never_expires);
  if (run->expired == 0 || run->expired == 1) record.usri3_password_expired = run->expired;
  record.usri3_primary_group_id = DOMAIN_GROUP_RID_USERS;

  info("ACMA-INFO, modifying user %s\\%s...\n", run->step_name, target);
  DWORD parm = 0;
  status = NetUserSetInfo(server, target.c_str(), 3, reinterpret_cast<LPBYTE>(&record), &parm);
  if (status != NERR_Success) {
    errorf("ACMA-ERROR, NetUserSetInfo(%s) failed, parno=%ld, error=%ld\n", a(target),
           static_cast<long>(parm), static_cast<long>(status));
    return status;
  }

  std::u16string name = target;
  if (run->new_name[0] != 0) {
    std::u16string new_name = text(run->new_name);
    info("ACMA-INFO, renaming %s, new name is %s...\n", name, new_name);
    USER_INFO_0 rename{const_cast<WCHAR*>(new_name.c_str())};
    status = NetUserSetInfo(server, name.c_str(), 0, reinterpret_cast<LPBYTE>(&rename), &parm);
    if (status != NERR_Success) {
      errorf("ACMA-ERROR, NetUserSetInfo(%s-->%s) failed, error=%ld\n", a(name), a(new_name),
             static_cast<long>(status));
      return status;
    }
    name = new_name;
  }

  if (run->groups[0] != 0) {
    leave_groups(server, name);
    for (const std::u16string& group : group_list_of(run->groups, user.table))
      join_group(server, name, group, true);
  } else if (templated) {
    leave_groups(server, name);
    for (const std::u16string& group : user.groups) join_group(server, name, group, false);
  }
  if (run->local_groups[0] != 0) {
    leave_local_groups(*run, server, name);
    for (const std::u16string& group : group_list_of(run->local_groups, user.table))
      join_local_group(*run, server, name, group, true);
  } else if (templated) {
    leave_local_groups(*run, server, name);
    for (const std::u16string& group : user.local_groups)
      join_local_group(*run, server, name, group, false);
  }

  info("ACMA-INFO, modified user %s\\%s\n", run->step_name, name);
  if (count) ++run->users;
  return ERROR_SUCCESS;
}

void print_group_lines(const AcmaRun& run, UserProperties& user) {
  const char* formats[2] = {run.group_format, run.local_group_format};
  const char letters[2] = {'g', 'l'};
  std::vector<std::u16string>* lists[2] = {&user.groups, &user.local_groups};
  for (int k = 0; k < 2; ++k) {
    if (formats[k][0] == '\0') continue;
    for (std::u16string group : *lists[k]) {
      ArgSpec line[] = {
          {ARG_WSTRING, 'N', ARG_OPTIONAL, user.name.data(), 0},
          {ARG_WSTRING, 'D', ARG_OPTIONAL, user.domain.data(), 0},
          {ARG_WSTRING, 'S', ARG_OPTIONAL, user.server.data(), 0},
          {ARG_WSTRING, letters[k], ARG_OPTIONAL, group.data(), 0},
          {ARG_END, 0, 0, nullptr, 0},
      };
      print_formatted(formats[k], line, run.ansi);
    }
  }
}

}  // namespace

std::vector<std::u16string> expand_group_list(const WCHAR* format, const ArgSpec* table,
                                              bool* cut) {
  *cut = false;
  std::string pattern = ansi(text(format));
  // One byte more than a line holds tells a list that did not fit.
  std::unique_ptr<char[]> out(new char[OUTPUT_LINE_SIZE + 1]);
  expand_format(pattern.c_str(), out.get(), table, OUTPUT_LINE_SIZE);
  std::string list = out.get();
  const size_t keep = OUTPUT_LINE_SIZE - 1;
  if (list.size() > keep) {
    // Only names that lie whole within the first 2,047 bytes are kept: a
    // name cut short could be the name of another group.
    *cut = true;
    size_t end = keep;
    if (list[keep] != ',') {
      size_t comma = list.rfind(',', keep - 1);
      end = comma == std::string::npos ? 0 : comma;
    }
    list.resize(end);
  }
  return split_list(nt_ansi_to_wide(list));
}

DWORD acma_step(const WCHAR* domain, const WCHAR* server, void* context) {
  auto* run = static_cast<AcmaRun*>(context);
  ++run->steps;
  long before = run->users;
  std::u16string wserver = text(server);
  if (run->servers) {
    run->step_name = wserver.rfind(u"\\\\", 0) == 0 ? wserver.substr(2) : wserver;
  } else {
    run->step_name = text(domain);
  }
  run->domain_groups.clear();
  if (!run->servers) {
    DWORD status = read_domain_groups(server, &run->domain_groups);
    if (status != NERR_Success)
      errorf("GROUPS-ERROR, NetGroupEnum(%s) failed, error=%ld\n", a(wserver),
             static_cast<long>(status));
  }
  std::vector<std::u16string> local_groups;
  DWORD status = read_local_group_names(server, &local_groups);
  if (status != NERR_Success)
    errorf("GROUPS-ERROR, NetLocalGroupEnum(%s) failed, error=%ld\n", a(wserver),
           static_cast<long>(status));

  DWORD result;
  switch (run->command) {
    case CMD_ADD:
      // A new account has no wildcards to enumerate: the name is taken as
      // written (and refused by the server when it is no valid name).
      result = run->pattern[0] == '\0'
                   ? ERROR_INVALID_PARAMETER
                   : add_user(domain, server, nt_ansi_to_wide(run->pattern).c_str(), run);
      break;
    case CMD_DEL:
      result = user_loop(domain, server, run->pattern, delete_user, run, run->all_kinds);
      break;
    case CMD_SET:
      result = user_loop(domain, server, run->pattern, set_user, run, run->all_kinds);
      break;
    default:
      result = user_loop(domain, server, run->pattern, show_user, run, run->all_kinds);
      break;
  }
  std::u16string wdomain = text(domain);
  int32_t count = static_cast<int32_t>(run->users - before);
  ArgSpec table[] = {
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, &count, 0},
      {ARG_WSTRING, 'D', ARG_OPTIONAL, wdomain.data(), 0},
      {ARG_WSTRING, 'S', ARG_OPTIONAL, wserver.data(), 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  print_formatted(run->step_format, table, run->ansi);
  return result;
}

DWORD show_user(const WCHAR*, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<AcmaRun*>(context);
  UserProperties user;
  DWORD status = read_user_properties(&user, run->step_name.c_str(), server, name, run->indirect,
                                      run->domain_groups);
  if (status != NERR_Success) {
    read_failed(text(name), status);
    return status;
  }
  if (!match_criteria(user.table, run->criteria)) return ERROR_SUCCESS;
  ++run->users;
  print_formatted(run->user_format, user.table, run->ansi);
  print_group_lines(*run, user);
  return ERROR_SUCCESS;
}

DWORD delete_user(const WCHAR*, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<AcmaRun*>(context);
  UserProperties user;
  DWORD status = read_user_properties(&user, run->step_name.c_str(), server, name, run->indirect,
                                      run->domain_groups);
  if (status != NERR_Success) {
    read_failed(text(name), status);
    return status;
  }
  if (!match_criteria(user.table, run->criteria)) return ERROR_SUCCESS;
  char question[1024];
  snprintf(question, sizeof question, "Delete user %s\\%s ?\n", a(run->step_name), a(user.name));
  if (!confirm(question)) return ERROR_SUCCESS;
  status = NetUserDel(server, user.name.c_str());
  if (status != NERR_Success) {
    errorf("ACMA-ERROR, NetUserDel() failed, error=%ld\n", static_cast<long>(status));
    return status;
  }
  info("ACMA-INFO, deleted user %s\\%s\n", run->step_name, user.name);
  ++run->users;
  return ERROR_SUCCESS;
}

DWORD set_user(const WCHAR*, const WCHAR* server, const WCHAR* name, void* context) {
  return modify_user(static_cast<AcmaRun*>(context), server, text(name), true);
}

DWORD add_user(const WCHAR*, const WCHAR* server, const WCHAR* name, void* context) {
  auto* run = static_cast<AcmaRun*>(context);
  const std::u16string user = text(name);
  char question[1024];
  snprintf(question, sizeof question, "Add user %s\\%s ?\n", a(run->step_name), a(user));
  if (!confirm(question)) return ERROR_SUCCESS;

  static BYTE all_hours[21];
  std::memset(all_hours, 0xFF, sizeof all_hours);
  USER_INFO_3 record{};
  record.usri3_name = const_cast<WCHAR*>(user.c_str());
  record.usri3_password = const_cast<WCHAR*>(run->password);
  record.usri3_priv = USER_PRIV_USER;
  record.usri3_home_dir = const_cast<WCHAR*>(run->home_dir);
  record.usri3_comment = const_cast<WCHAR*>(run->comment);
  record.usri3_script_path = const_cast<WCHAR*>(run->script);
  record.usri3_full_name = const_cast<WCHAR*>(run->full_name);
  record.usri3_workstations = const_cast<WCHAR*>(run->workstations);
  record.usri3_profile = const_cast<WCHAR*>(run->profile);
  record.usri3_home_dir_drive = const_cast<WCHAR*>(run->home_drive);
  DWORD flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
  if (run->cannot_change == 1) flags |= UF_PASSWD_CANT_CHANGE;
  if (run->disabled == 1) flags |= UF_ACCOUNTDISABLE;
  if (run->never_expires == 1) flags |= UF_DONT_EXPIRE_PASSWD;
  record.usri3_flags = flags;
  record.usri3_password_expired = run->expired == 0 ? 0 : 1;
  record.usri3_max_storage = USER_MAXSTORAGE_UNLIMITED;
  record.usri3_acct_expires = TIMEQ_FOREVER;
  record.usri3_units_per_week = UNITS_PER_WEEK;
  record.usri3_logon_hours = all_hours;
  record.usri3_logon_server = const_cast<WCHAR*>(u"\\\\*");
  record.usri3_country_code = 1;
  record.usri3_code_page = 850;
  record.usri3_primary_group_id = DOMAIN_GROUP_RID_USERS;

  DWORD parm = 0;
  DWORD status = NetUserAdd(server, 3, reinterpret_cast<LPBYTE>(&record), &parm);
  info("ACMA-INFO, adding user %s\\%s...\n", run->step_name, user);
  if (status != NERR_Success) {
    errorf("ACMA-ERROR, NetUserAdd(%s) failed, parno=%ld, error=%ld\n", a(user),
           static_cast<long>(parm), static_cast<long>(status));
    return status;
  }
  for (const std::u16string& group : split_list(text(run->groups)))
    join_group(server, user, group, true);
  for (const std::u16string& group : split_list(text(run->local_groups)))
    join_local_group(*run, server, user, group, false);
  info("ACMA-INFO, added user %s\\%s\n", run->step_name, user);
  if (run->template_user[0] != 0) {
    // The new account takes the template's properties and groups; it is
    // counted once for both steps.
    modify_user(run, server, user, false);
  }
  ++run->users;
  return ERROR_SUCCESS;
}

void finish_run(const AcmaRun& run, const char* totals_format) {
  fflush(stdout);
  if (run.users == 0) {
    error("ACMA-ERROR, no users match\n");
    return;
  }
  int32_t users = static_cast<int32_t>(run.users);
  int32_t steps = static_cast<int32_t>(run.steps);
  ArgSpec table[] = {
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, &users, 0},
      {ARG_NUMERIC, 'D', ARG_OPTIONAL, &steps, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  print_formatted(totals_format, table, run.ansi);
}
