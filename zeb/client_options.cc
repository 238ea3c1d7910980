#include "zeb/client_options.h"

#include <cstring>

#include "lib/command_line_parser.h"

namespace {

// Targets of the parser. Text targets hold 255 characters and a NUL.
struct Targets {
  char command[ARG_TEXT_SIZE];
  char target[ARG_TEXT_SIZE];
  int32_t yes, verbose, ansi, help;
  char path[ARG_TEXT_SIZE], out_dir[ARG_TEXT_SIZE], logging[ARG_TEXT_SIZE];
  char account[ARG_TEXT_SIZE], password[ARG_TEXT_SIZE], delete_index[ARG_TEXT_SIZE];
  int32_t autostart, interactive, debug;
  FILETIME next_run;
  char interval[ARG_TEXT_SIZE];
  char hours[ARG_TEXT_SIZE], weekdays[ARG_TEXT_SIZE], days[ARG_TEXT_SIZE];
  char new_name[ARG_TEXT_SIZE];
  char c_path[ARG_TEXT_SIZE], c_interactive[ARG_TEXT_SIZE], c_autostart[ARG_TEXT_SIZE],
      c_account[ARG_TEXT_SIZE], c_state[ARG_TEXT_SIZE], c_out_dir[ARG_TEXT_SIZE],
      c_logging[ARG_TEXT_SIZE], c_version[ARG_TEXT_SIZE];
  char f_item[ARG_TEXT_SIZE], f_server[ARG_TEXT_SIZE], f_totals[ARG_TEXT_SIZE];
};

Targets t;
const FILETIME kNoTime{};

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, t.command, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, t.target, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// 0|1 options default to -1: not given, leave the flag as it is.
ArgSpec g_options[] = {
    {ARG_FLAG, 'y', ARG_OPTIONAL, &t.yes, 0},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &t.verbose, 0},
    {ARG_FLAG, 'a', ARG_OPTIONAL, &t.ansi, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &t.help, 0},
    {ARG_STRING, 'c', ARG_OPTIONAL, t.path, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, t.out_dir, arg_ptr("")},
    {ARG_RANGE, 'l', ARG_OPTIONAL, t.logging, arg_ptr("")},
    {ARG_NUMERIC, 'A', ARG_OPTIONAL, &t.autostart, -1},
    {ARG_NUMERIC, 'I', ARG_OPTIONAL, &t.interactive, -1},
    {ARG_NUMERIC, 'G', ARG_OPTIONAL, &t.debug, -1},
    {ARG_STRING, 'u', ARG_OPTIONAL, t.account, arg_ptr("")},
    {ARG_STRING, 'p', ARG_OPTIONAL, t.password, arg_ptr("")},
    {ARG_STRING, 'd', ARG_OPTIONAL, t.delete_index, arg_ptr("")},
    {ARG_ABSTIME, 't', ARG_OPTIONAL, &t.next_run, arg_ptr(&kNoTime)},
    {ARG_STRING, 'i', ARG_OPTIONAL, t.interval, arg_ptr("")},
    {ARG_RANGE, 'H', ARG_OPTIONAL, t.hours, arg_ptr("")},
    {ARG_RANGE, 'W', ARG_OPTIONAL, t.weekdays, arg_ptr("")},
    {ARG_RANGE, 'D', ARG_OPTIONAL, t.days, arg_ptr("")},
    {ARG_STRING, 'N', ARG_OPTIONAL, t.new_name, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// Text criteria match with wildcards; -l is a range of logging bits, -I and
// -A ranges over the 0|1 values of the objects (an empty range admits all).
ArgSpec g_criteria[] = {
    {ARG_STRING, 'c', ARG_OPTIONAL, t.c_path, arg_ptr("")},
    {ARG_RANGE, 'I', ARG_OPTIONAL, t.c_interactive, arg_ptr("")},
    {ARG_RANGE, 'A', ARG_OPTIONAL, t.c_autostart, arg_ptr("")},
    {ARG_STRING, 'u', ARG_OPTIONAL, t.c_account, arg_ptr("")},
    {ARG_STRING, 's', ARG_OPTIONAL, t.c_state, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, t.c_out_dir, arg_ptr("")},
    {ARG_RANGE, 'l', ARG_OPTIONAL, t.c_logging, arg_ptr("")},
    {ARG_STRING, 'V', ARG_OPTIONAL, t.c_version, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// The defaults of the formats depend on the command (jobs, servers,
// accounts), so the parse leaves them empty and the command picks.
ArgSpec g_formats[] = {
    {ARG_STRING, 'F', ARG_OPTIONAL, t.f_item, arg_ptr("")},
    {ARG_STRING, 'S', ARG_OPTIONAL, t.f_server, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, t.f_totals, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

bool given(const ArgSpec* table, char letter) {
  for (const ArgSpec* e = table; e->type != ARG_END; ++e) {
    if (e->letter == letter) return e->state == ARG_GIVEN;
  }
  return false;
}

void reset_states(ArgSpec* table) {
  for (ArgSpec* e = table; e->type != ARG_END; ++e) e->state = ARG_OPTIONAL;
}

}  // namespace

bool zeb_split_interval(const char* text, char* unit, long* count) {
  *unit = text[0];
  *count = 1;
  if (text[0] == '\0' || text[1] == '\0') return true;
  int32_t n = 0;
  if (!read_arg_number(text + 1, &n) || n < 0) {
    *count = -1;
    return false;
  }
  *count = n;
  return true;
}

ZebParseOutcome zeb_parse_client_args(const char* command_line, ZebClientArgs* args) {
  std::memset(&t, 0, sizeof t);
  reset_states(g_params);
  reset_states(g_options);
  reset_states(g_criteria);
  reset_states(g_formats);
  ZebParseOutcome outcome;
  outcome.result =
      command_line == nullptr
          ? parse_command_line(g_params, g_options, g_criteria, g_formats)
          : parse_command_text(command_line, g_params, g_options, g_criteria, g_formats);
  if (outcome.result != 0) return outcome;
  outcome.help = t.help != 0;

  ZebClientArgs& a = *args;
  a = ZebClientArgs{};
  a.command = t.command;
  a.target = t.target;
  a.yes = t.yes != 0;
  a.verbose = t.verbose != 0;
  a.ansi = t.ansi != 0;
  a.path_given = given(g_options, 'c');
  a.path = t.path;
  a.out_dir_given = given(g_options, 'T');
  a.out_dir = t.out_dir;
  a.logging_given = given(g_options, 'l');
  a.logging = t.logging;
  a.account_given = given(g_options, 'u');
  a.account = t.account;
  a.password_given = given(g_options, 'p');
  a.password = t.password;
  a.delete_given = given(g_options, 'd');
  a.delete_index = t.delete_index;
  a.autostart = t.autostart;
  a.interactive = t.interactive;
  a.debug = t.debug;
  a.next_run_given = given(g_options, 't');
  a.next_run = t.next_run;
  a.interval_given = given(g_options, 'i');
  if (a.interval_given) zeb_split_interval(t.interval, &a.interval_unit, &a.interval_count);
  a.hours_given = given(g_options, 'H');
  a.hours = t.hours;
  a.weekdays_given = given(g_options, 'W');
  a.weekdays = t.weekdays;
  a.days_given = given(g_options, 'D');
  a.days = t.days;
  a.new_name_given = given(g_options, 'N');
  a.new_name = t.new_name;
  a.criteria = g_criteria;
  a.item_format = t.f_item;
  a.server_format = t.f_server;
  a.totals_format = t.f_totals;
  return outcome;
}
