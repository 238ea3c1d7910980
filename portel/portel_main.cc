// portel: shows, adds, changes and stops network shares, with their
// permissions as grants texts, on one server or on the matching servers of
// one or all matching domains.
//
//   portel <cmd> [domain\\][\\server\]share [/options] [-criteria] [~formats]
#include <cstdio>
#include <cstring>

#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/frame.h"
#include "lib/server_loops.h"
#include "lib/target_split.h"
#include "lib/wildcard.h"
#include "platform/kernel/environment.h"
#include "platform/nls/codepage.h"
#include "portel/share_commands.h"

namespace {

constexpr char DEFAULT_SHARE_FORMAT[] = "~-.24F ~-.27c ~-.26p";

char g_command[ARG_TEXT_SIZE];
char g_target[ARG_TEXT_SIZE];
int32_t g_level;
char g_net_name[ARG_TEXT_SIZE];
char g_remark[ARG_TEXT_SIZE];
char g_grants[ARG_TEXT_SIZE];
int32_t g_max_uses;
char g_path[ARG_TEXT_SIZE];
int32_t g_verbose;
int32_t g_yes;
int32_t g_ansi;
int32_t g_help;
char g_remark_criterion[ARG_TEXT_SIZE];
char g_path_criterion[ARG_TEXT_SIZE];
char g_grants_criterion[ARG_TEXT_SIZE];
char g_max_criterion[ARG_TEXT_SIZE];
char g_current_criterion[ARG_TEXT_SIZE];
char g_aces_criterion[ARG_TEXT_SIZE];
char g_share_format[ARG_TEXT_SIZE];
char g_server_format[ARG_TEXT_SIZE];
char g_totals_format[ARG_TEXT_SIZE];
char g_ace_format[ARG_TEXT_SIZE];
char g_share_format_default[ARG_TEXT_SIZE];

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, g_command, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, g_target, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_options[] = {
    {ARG_NUMERIC, 'h', ARG_OPTIONAL, &g_level, SHOW_DISK_SHARES},
    {ARG_STRING, 'N', ARG_OPTIONAL, g_net_name, arg_ptr("")},
    {ARG_STRING, 'c', ARG_OPTIONAL, g_remark, arg_ptr("")},
    {ARG_STRING, 'g', ARG_OPTIONAL, g_grants, arg_ptr("")},
    {ARG_NUMERIC, 'M', ARG_OPTIONAL, &g_max_uses, -1},
    {ARG_STRING, 'p', ARG_OPTIONAL, g_path, arg_ptr("")},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose, 0},
    {ARG_FLAG, 'y', ARG_OPTIONAL, &g_yes, 0},
    {ARG_FLAG, 'A', ARG_OPTIONAL, &g_ansi, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help, 0},
    {ARG_END, 0, 0, nullptr, 0},
};
constexpr int REMARK_OPTION = 2;  // index of /c in g_options
ArgSpec g_criteria[] = {
    {ARG_STRING, 'c', ARG_OPTIONAL, g_remark_criterion, arg_ptr("")},
    {ARG_STRING, 'p', ARG_OPTIONAL, g_path_criterion, arg_ptr("")},
    {ARG_STRING, 'g', ARG_OPTIONAL, g_grants_criterion, arg_ptr("")},
    {ARG_RANGE, 'M', ARG_OPTIONAL, g_max_criterion, arg_ptr("")},
    {ARG_RANGE, 'C', ARG_OPTIONAL, g_current_criterion, arg_ptr("")},
    {ARG_RANGE, 'T', ARG_OPTIONAL, g_aces_criterion, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_formats[] = {
    {ARG_STRING, 'F', ARG_OPTIONAL, g_share_format, arg_ptr(g_share_format_default)},
    {ARG_STRING, 'S', ARG_OPTIONAL, g_server_format, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, g_totals_format, arg_ptr("")},
    {ARG_STRING, 'g', ARG_OPTIONAL, g_ace_format, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// PORTEL_FORMAT (at most 255 characters) when set, else the built-in format.
void read_format_default() {
  char value[4096];
  DWORD length = GetEnvironmentVariableA("PORTEL_FORMAT", value, sizeof value);
  if (length == 0 || length >= sizeof value) {
    std::strcpy(g_share_format_default, DEFAULT_SHARE_FORMAT);
    return;
  }
  size_t keep = ansi_cut_bytes(value, ARG_TEXT_SIZE - 1);
  std::memcpy(g_share_format_default, value, keep);
  g_share_format_default[keep] = '\0';
}

}  // namespace

int main() {
  read_format_default();
  int result = parse_command_line(g_params, g_options, g_criteria, g_formats);
  if (result != 0) {
    fprintf(stderr, "PORTEL-ERROR, error in argument no.%d\n", result);
    return EXIT_INVALID_PARAMETER;
  }
  verbose = g_verbose != 0;
  yes_to_all = g_yes != 0;
  if (g_help) show_help(true);
  int command = command_code(g_command, CMD_HELP);
  if (command == CMD_HELP) show_help(true);
  if (command == CMD_VERSION) show_help(false);

  char domain[SPLIT_PART_SIZE], server[SPLIT_PART_SIZE], share[SPLIT_PART_SIZE];
  char drive[SPLIT_PART_SIZE], directory[SPLIT_PART_SIZE], file[SPLIT_PART_SIZE];
  domain[0] = server[0] = share[0] = drive[0] = directory[0] = file[0] = '\0';
  split_path(g_target, domain, server, share, drive, directory, file);
  // Without a server part the whole argument is the share pattern.
  const char* pattern = std::strstr(g_target, "\\\\") ? share : g_target;

  switch (command) {
    case CMD_SHOW:
    case CMD_ADD:
    case CMD_SET:
    case CMD_DEL:
    case CMD_STOP:
      break;
    default:
      // An unknown command word is a command-line error: nothing is done.
      fprintf(stderr, "PORTEL-ERROR, invalid command '%s'\n", g_command);
      return EXIT_INVALID_PARAMETER;
  }
  if (command == CMD_ADD && has_wildcard(pattern)) {
    fputs("PORTEL-ERROR, share wildcard not allowed with ADD command\n", stderr);
    return EXIT_INVALID_PARAMETER;
  }

  PortelRun run;
  run.command = command;
  run.pattern = pattern;
  run.level = g_level;
  run.settings.net_name = nt_ansi_to_wide(g_net_name);
  run.settings.remark = nt_ansi_to_wide(g_remark);
  run.settings.remark_given = g_options[REMARK_OPTION].state == ARG_GIVEN;
  run.settings.path = nt_ansi_to_wide(g_path);
  run.settings.max_uses = g_max_uses;
  run.grants = g_grants;
  run.ansi = g_ansi != 0;
  run.share_format = g_share_format;
  run.ace_format = g_ace_format;
  run.server_format = g_server_format;
  run.totals_format = g_totals_format;
  run.criteria = g_criteria;

  domain_loop(domain, server, portel_server, &run);
  finish_run(run);
  return EXIT_DONE;
}
