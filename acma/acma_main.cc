// acma: adds, changes, renames, deletes and shows the user accounts of
// domains and servers, selected by wildcards and criteria and printed
// through formats.
//
//   acma <cmd> [domain][\\server][\]user [/options] [-criteria] [+lowcriteria] [~formats]
#include <cstdio>
#include <cstring>
#include <string>

#include "acma/password_derivation.h"
#include "acma/user_commands.h"
#include "lib/account_loops.h"
#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/target_split.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/identity.h"
#include "platform/nls/codepage.h"

namespace {

constexpr char DEFAULT_USER_FORMAT[] = "~-.15N ~-.30c ~-.32H";

char g_command[ARG_TEXT_SIZE];
char g_target[ARG_TEXT_SIZE];

WCHAR g_new_name[ARG_TEXT_SIZE], g_comment[ARG_TEXT_SIZE], g_home_dir[ARG_TEXT_SIZE],
    g_home_drive[ARG_TEXT_SIZE], g_groups[ARG_TEXT_SIZE], g_local_groups[ARG_TEXT_SIZE],
    g_workstations[ARG_TEXT_SIZE], g_script[ARG_TEXT_SIZE], g_full_name[ARG_TEXT_SIZE],
    g_profile[ARG_TEXT_SIZE], g_ignored_text[ARG_TEXT_SIZE], g_password[ARG_TEXT_SIZE],
    g_template[ARG_TEXT_SIZE];
int32_t g_verbose, g_yes, g_ansi, g_all, g_indirect, g_help;
int32_t g_cannot_change, g_expired, g_ignored_number, g_disabled, g_never_expires;
FILETIME g_ignored_time, g_no_time;

char c_comment[ARG_TEXT_SIZE], c_home_dir[ARG_TEXT_SIZE], c_type[ARG_TEXT_SIZE],
    c_primary[ARG_TEXT_SIZE], c_groups[ARG_TEXT_SIZE], c_local_groups[ARG_TEXT_SIZE],
    c_home_drive[ARG_TEXT_SIZE], c_script[ARG_TEXT_SIZE], c_full_name[ARG_TEXT_SIZE],
    c_cannot_change[ARG_TEXT_SIZE], c_profile[ARG_TEXT_SIZE], c_workstations[ARG_TEXT_SIZE],
    c_user_id[ARG_TEXT_SIZE], c_bad_count[ARG_TEXT_SIZE], c_logons[ARG_TEXT_SIZE],
    c_expired[ARG_TEXT_SIZE], c_age_seconds[ARG_TEXT_SIZE], c_locked[ARG_TEXT_SIZE],
    c_disabled[ARG_TEXT_SIZE], c_never_expires[ARG_TEXT_SIZE], c_age_days[ARG_TEXT_SIZE];
// Time windows: the criterion holds the upper bound, its default field
// points to the lower one (+X, +L, +F).
FILETIME c_expires, c_expires_low, c_logon, c_logon_low, c_logoff, c_logoff_low;

char f_user[ARG_TEXT_SIZE], f_step[ARG_TEXT_SIZE], f_totals[ARG_TEXT_SIZE],
    f_groups[ARG_TEXT_SIZE], f_local_groups[ARG_TEXT_SIZE];
char f_user_default[ARG_TEXT_SIZE];

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, g_command, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, g_target, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_options[] = {
    {ARG_WSTRING, 'N', ARG_OPTIONAL, g_new_name, arg_ptr(u"")},
    {ARG_WSTRING, 'c', ARG_OPTIONAL, g_comment, arg_ptr(u"")},
    {ARG_WSTRING, 'H', ARG_OPTIONAL, g_home_dir, arg_ptr(u"")},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose, 0},
    {ARG_FLAG, 'y', ARG_OPTIONAL, &g_yes, 0},
    {ARG_FLAG, 'A', ARG_OPTIONAL, &g_ansi, 0},
    {ARG_FLAG, 'a', ARG_OPTIONAL, &g_all, 0},
    {ARG_WSTRING, 'd', ARG_OPTIONAL, g_home_drive, arg_ptr(u"")},
    {ARG_WSTRING, 'g', ARG_OPTIONAL, g_groups, arg_ptr(u"")},
    {ARG_WSTRING, 'l', ARG_OPTIONAL, g_local_groups, arg_ptr(u"")},
    {ARG_WSTRING, 'W', ARG_OPTIONAL, g_workstations, arg_ptr(u"")},
    {ARG_WSTRING, 's', ARG_OPTIONAL, g_script, arg_ptr(u"")},
    {ARG_WSTRING, 'f', ARG_OPTIONAL, g_full_name, arg_ptr(u"")},
    {ARG_WSTRING, 'P', ARG_OPTIONAL, g_profile, arg_ptr(u"")},
    {ARG_WSTRING, 'G', ARG_OPTIONAL, g_ignored_text, arg_ptr(u"")},
    {ARG_WSTRING, 'p', ARG_OPTIONAL, g_password, arg_ptr(u"")},
    {ARG_NUMERIC, 'C', ARG_OPTIONAL, &g_cannot_change, 2},
    {ARG_NUMERIC, 'x', ARG_OPTIONAL, &g_expired, 2},
    {ARG_NUMERIC, 'K', ARG_OPTIONAL, &g_ignored_number, 2},
    {ARG_NUMERIC, 'J', ARG_OPTIONAL, &g_disabled, 2},
    {ARG_NUMERIC, 'j', ARG_OPTIONAL, &g_never_expires, 2},
    {ARG_ABSTIME, 'X', ARG_OPTIONAL, &g_ignored_time, arg_ptr(&g_no_time)},
    {ARG_WSTRING, '=', ARG_OPTIONAL, g_template, arg_ptr(u"")},
    {ARG_FLAG, 'i', ARG_OPTIONAL, &g_indirect, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help, 0},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_criteria[] = {
    {ARG_STRING, 'c', ARG_OPTIONAL, c_comment, arg_ptr("")},
    {ARG_STRING, 'H', ARG_OPTIONAL, c_home_dir, arg_ptr("")},
    {ARG_STRING, 't', ARG_OPTIONAL, c_type, arg_ptr("")},
    {ARG_STRING, 'G', ARG_OPTIONAL, c_primary, arg_ptr("")},
    {ARG_STRING, 'g', ARG_OPTIONAL, c_groups, arg_ptr("")},
    {ARG_STRING, 'l', ARG_OPTIONAL, c_local_groups, arg_ptr("")},
    {ARG_STRING, 'd', ARG_OPTIONAL, c_home_drive, arg_ptr("")},
    {ARG_STRING, 's', ARG_OPTIONAL, c_script, arg_ptr("")},
    {ARG_STRING, 'f', ARG_OPTIONAL, c_full_name, arg_ptr("")},
    {ARG_STRING, 'C', ARG_OPTIONAL, c_cannot_change, arg_ptr("")},
    {ARG_STRING, 'P', ARG_OPTIONAL, c_profile, arg_ptr("")},
    {ARG_STRING, 'W', ARG_OPTIONAL, c_workstations, arg_ptr("")},
    {ARG_RANGE, 'I', ARG_OPTIONAL, c_user_id, arg_ptr("")},
    {ARG_RANGE, 'B', ARG_OPTIONAL, c_bad_count, arg_ptr("")},
    {ARG_RANGE, 'U', ARG_OPTIONAL, c_logons, arg_ptr("")},
    {ARG_ABSTIME, 'X', ARG_OPTIONAL, &c_expires, arg_ptr(&c_expires_low)},
    {ARG_STRING, 'x', ARG_OPTIONAL, c_expired, arg_ptr("")},
    {ARG_RANGE, 'E', ARG_OPTIONAL, c_age_seconds, arg_ptr("")},
    {ARG_ABSTIME, 'L', ARG_OPTIONAL, &c_logon, arg_ptr(&c_logon_low)},
    {ARG_ABSTIME, 'F', ARG_OPTIONAL, &c_logoff, arg_ptr(&c_logoff_low)},
    {ARG_STRING, 'K', ARG_OPTIONAL, c_locked, arg_ptr("")},
    {ARG_STRING, 'J', ARG_OPTIONAL, c_disabled, arg_ptr("")},
    {ARG_STRING, 'j', ARG_OPTIONAL, c_never_expires, arg_ptr("")},
    {ARG_RANGE, 'e', ARG_OPTIONAL, c_age_days, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_formats[] = {
    {ARG_STRING, 'F', ARG_OPTIONAL, f_user, arg_ptr(f_user_default)},
    {ARG_STRING, 'D', ARG_OPTIONAL, f_step, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, f_totals, arg_ptr("")},
    {ARG_STRING, 'g', ARG_OPTIONAL, f_groups, arg_ptr("")},
    {ARG_STRING, 'l', ARG_OPTIONAL, f_local_groups, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// ACMA_FORMAT (at most 255 characters) when set, else the built-in format.
void read_format_default() {
  char value[4096];
  DWORD length = GetEnvironmentVariableA("ACMA_FORMAT", value, sizeof value);
  if (length == 0 || length >= sizeof value) {
    std::strcpy(f_user_default, DEFAULT_USER_FORMAT);
    return;
  }
  size_t keep = ansi_cut_bytes(value, ARG_TEXT_SIZE - 1);
  std::memcpy(f_user_default, value, keep);
  f_user_default[keep] = '\0';
}

// psh: prints the password derived from the text after "?" of /p.
int run_password_hash() {
  if (std::strcmp(g_target, "?") != 0 || g_password[0] != u'?') {
    show_error(g_command, EV_COMMAND, 0, EXIT_INVALID_PARAMETER);
  }
  WCHAR seed[ARG_TEXT_SIZE];
  std::memcpy(seed, g_password + 1, sizeof seed - sizeof(WCHAR));
  seed[ARG_TEXT_SIZE - 1] = 0;
  derive_password(seed, ARG_TEXT_SIZE);
  printf("%s\n", nt_wide_to_ansi(std::u16string(seed)).c_str());
  fflush(stdout);
  return EXIT_DONE;
}

void run_command(int command) {
  char domain[SPLIT_PART_SIZE], server[SPLIT_PART_SIZE], user[SPLIT_PART_SIZE];
  domain[0] = server[0] = user[0] = '\0';
  split_target(g_target, domain, server, user);

  if ((command == CMD_ADD || command == CMD_SET) && g_password[0] == u'?') {
    fputs("Password", stdout);
    fflush(stdout);
    read_password_wide(g_password);
  }

  AcmaRun run;
  run.command = command;
  run.all_kinds = g_all != 0;
  run.indirect = g_indirect != 0;
  run.ansi = g_ansi != 0;
  run.pattern = user;
  run.new_name = g_new_name;
  run.comment = g_comment;
  run.home_dir = g_home_dir;
  run.home_drive = g_home_drive;
  run.groups = g_groups;
  run.local_groups = g_local_groups;
  run.workstations = g_workstations;
  run.script = g_script;
  run.full_name = g_full_name;
  run.profile = g_profile;
  run.password = g_password;
  run.template_user = g_template;
  run.cannot_change = g_cannot_change;
  run.expired = g_expired;
  run.disabled = g_disabled;
  run.never_expires = g_never_expires;
  run.user_format = f_user;
  run.group_format = f_groups;
  run.local_group_format = f_local_groups;
  run.step_format = f_step;
  run.criteria = g_criteria;

  char logon[LOOP_DOMAIN_SIZE];
  if (server[0] != '\0') {
    run.servers = true;
    account_domain_loop(domain, server, acma_step, &run);
  } else if (domain[0] != '\0') {
    domain_dc_loop(domain, acma_step, &run);
  } else if (logon_domain(logon)) {
    domain_dc_loop(logon, acma_step, &run);
  } else {
    run.servers = true;
    std::string local = nt_computer_name();
    account_domain_loop("", local.c_str(), acma_step, &run);
  }
  fflush(stdout);
  finish_run(run, f_totals);
}

}  // namespace

int main() {
  read_format_default();
  int result = parse_command_line(g_params, g_options, g_criteria, g_formats);
  if (result != 0) show_error(nullptr, EV_ARGUMENT, result, EXIT_INVALID_PARAMETER);
  verbose = g_verbose != 0;
  yes_to_all = g_yes != 0;
  if (g_help) show_help(true);
  int command = command_code(g_command, CMD_HELP);
  switch (command) {
    case CMD_HELP:
      show_help(true);
    case CMD_VERSION:
      show_help(false);
    case CMD_PSH:
      return run_password_hash();
    case CMD_ADD:
    case CMD_DEL:
    case CMD_SET:
    case CMD_SHOW:
      run_command(command);
      break;
    default:
      show_error(g_command, EV_COMMAND, 0, EXIT_INVALID_PARAMETER);
  }
  fflush(stdout);
  return EXIT_DONE;
}
