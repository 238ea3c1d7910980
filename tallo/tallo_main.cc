// tallo: lists the global groups of domains or the local groups of domains
// and servers, with their members, selected by wildcards and criteria and
// printed through formats.
//
//   tallo show [domain][\\server][\]group [/l] [/i] [/A] [/v] [-c..] [-M..] [-T..] [~F..]
#include <cstdio>
#include <cstring>

#include "lib/account_loops.h"
#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/target_split.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/identity.h"
#include "tallo/group_listing.h"

namespace {

constexpr char DEFAULT_GROUP_FORMAT[] = "~-.15N ~-.30c ~8T";

char g_command[ARG_TEXT_SIZE];
char g_target[ARG_TEXT_SIZE];
int32_t g_local;
int32_t g_indirect;
int32_t g_ansi;
int32_t g_verbose;
int32_t g_help;
int32_t g_yes;
int32_t g_all;
char g_new_name[ARG_TEXT_SIZE];
char g_comment[ARG_TEXT_SIZE];
char g_max[ARG_TEXT_SIZE];
char g_comment_criterion[ARG_TEXT_SIZE];
char g_member_criterion[ARG_TEXT_SIZE];
char g_count_criterion[ARG_TEXT_SIZE];
char g_group_format[ARG_TEXT_SIZE];
char g_member_format[ARG_TEXT_SIZE];
char g_step_format[ARG_TEXT_SIZE];
char g_totals_format[ARG_TEXT_SIZE];
char g_group_format_default[ARG_TEXT_SIZE];

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, g_command, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, g_target, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_options[] = {
    {ARG_FLAG, 'l', ARG_OPTIONAL, &g_local, 0},
    {ARG_FLAG, 'i', ARG_OPTIONAL, &g_indirect, 0},
    {ARG_FLAG, 'A', ARG_OPTIONAL, &g_ansi, 0},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help, 0},
    // Accepted for the sake of command lines shared with the other account
    // tools; they change nothing here.
    {ARG_FLAG, 'y', ARG_OPTIONAL, &g_yes, 0},
    {ARG_FLAG, 'a', ARG_OPTIONAL, &g_all, 0},
    {ARG_STRING, 'N', ARG_OPTIONAL, g_new_name, arg_ptr("")},
    {ARG_STRING, 'c', ARG_OPTIONAL, g_comment, arg_ptr("")},
    {ARG_STRING, 'M', ARG_OPTIONAL, g_max, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_criteria[] = {
    {ARG_STRING, 'c', ARG_OPTIONAL, g_comment_criterion, arg_ptr("")},
    {ARG_STRING, 'M', ARG_OPTIONAL, g_member_criterion, arg_ptr("")},
    {ARG_RANGE, 'T', ARG_OPTIONAL, g_count_criterion, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_formats[] = {
    {ARG_STRING, 'F', ARG_OPTIONAL, g_group_format, arg_ptr(g_group_format_default)},
    {ARG_STRING, 'M', ARG_OPTIONAL, g_member_format, arg_ptr("")},
    {ARG_STRING, 'D', ARG_OPTIONAL, g_step_format, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, g_totals_format, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// TALLO_FORMAT (at most 255 characters) when set, else the built-in format.
void read_format_default() {
  char value[4096];
  DWORD length = GetEnvironmentVariableA("TALLO_FORMAT", value, sizeof value);
  if (length == 0) {
    std::strcpy(g_group_format_default, DEFAULT_GROUP_FORMAT);
    return;
  }
  size_t keep = ansi_cut_bytes(value, ARG_TEXT_SIZE - 1);
  std::memcpy(g_group_format_default, value, keep);
  g_group_format_default[keep] = '\0';
}

void run_show() {
  char domain[SPLIT_PART_SIZE], server[SPLIT_PART_SIZE], group[SPLIT_PART_SIZE];
  domain[0] = server[0] = group[0] = '\0';
  split_target(g_target, domain, server, group);

  GroupListing listing;
  listing.local_groups = g_local != 0;
  listing.indirect = g_indirect != 0;
  listing.ansi = g_ansi != 0;
  listing.pattern = group;
  listing.group_format = g_group_format;
  listing.member_format = g_member_format;
  listing.step_format = g_step_format;
  listing.criteria = g_criteria;

  char logon[LOOP_DOMAIN_SIZE];
  if (server[0] != '\0') {
    listing.servers = true;
    listing.local_groups = true;
    account_domain_loop(domain, server, list_groups_step, &listing);
  } else if (domain[0] != '\0') {
    domain_dc_loop(domain, list_groups_step, &listing);
  } else if (logon_domain(logon)) {
    domain_dc_loop(logon, list_groups_step, &listing);
  } else {
    listing.servers = true;
    listing.local_groups = true;
    std::string local = nt_computer_name();
    account_domain_loop("", local.c_str(), list_groups_step, &listing);
  }
  fflush(stdout);
  finish_listing(listing, g_totals_format);
}

}  // namespace

int main() {
  read_format_default();
  int result = parse_command_line(g_params, g_options, g_criteria, g_formats);
  if (result != 0) show_error(nullptr, EV_ARGUMENT, result, EXIT_INVALID_PARAMETER);
  verbose = g_verbose != 0;
  yes_to_all = g_yes != 0;
  if (g_help) show_help(true);
  switch (command_code(g_command, CMD_HELP)) {
    case CMD_HELP:
      show_help(true);
    case CMD_VERSION:
      show_help(false);
    case CMD_SHOW:
      run_show();
      break;
    default:
      show_error(g_command, EV_COMMAND, 0, EXIT_INVALID_PARAMETER);
  }
  fflush(stdout);
  return EXIT_DONE;
}
