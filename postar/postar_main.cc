// postar: sends mail from batch files by playing the dialogue of an INI file
// with the mail server on port 25.
//
//   postar [/h<targethost>] [-h<targethost>] [/i<inifile>] [/v] [/?] [arguments...]
#include <cstdio>

#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/frame.h"
#include "postar/connection.h"
#include "postar/dialogue.h"
#include "postar/settings.h"

namespace {

char g_arguments[TEMPLATE_MAX_ARGUMENTS][ARG_TEXT_SIZE];
char g_host_option[ARG_TEXT_SIZE];
char g_host_criterion[ARG_TEXT_SIZE];
char g_ini_option[ARG_TEXT_SIZE];
int32_t g_verbose_option;
int32_t g_help_option;

constexpr char DEFAULT_HOST[] = "SMTP_SERVER";

ArgSpec g_params[TEMPLATE_MAX_ARGUMENTS + 1];
ArgSpec g_options[] = {
    {ARG_STRING, 'h', ARG_OPTIONAL, g_host_option, arg_ptr("")},
    {ARG_STRING, 'i', ARG_OPTIONAL, g_ini_option, arg_ptr("")},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose_option, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help_option, 0},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_criteria[] = {
    {ARG_STRING, 'h', ARG_OPTIONAL, g_host_criterion, arg_ptr(DEFAULT_HOST)},
    {ARG_END, 0, 0, nullptr, 0},
};

void fill_parameter_table() {
  for (int i = 0; i < TEMPLATE_MAX_ARGUMENTS; ++i) {
    g_params[i] = ArgSpec{ARG_STRING, 0, ARG_OPTIONAL, g_arguments[i], arg_ptr("")};
  }
  g_params[TEMPLATE_MAX_ARGUMENTS] = ArgSpec{ARG_END, 0, 0, nullptr, 0};
}

}  // namespace

int main() {
  fill_parameter_table();
  int bad = parse_command_line(g_params, g_options, g_criteria, nullptr);
  if (bad != 0) show_error("", EV_ARGUMENT, bad, EXIT_INVALID_PARAMETER);
  if (g_help_option) show_help(true);
  if (command_code(g_arguments[0], CMD_INVALID) == CMD_VERSION) show_help(false);
  verbose = g_verbose_option != 0;

  const char* host = g_host_option[0] ? g_host_option : g_host_criterion;
  std::string ini;
  if (!ini_file_path(g_ini_option, &ini)) return EXIT_NO_PROGRAM_PATH;

  DialogueSettings settings;
  settings.verbose = verbose;
  if (int code = read_settings(ini, &settings); code != 0) return code;

  ws::SOCKET s = open_connection(host);
  if (s == ws::INVALID_SOCKET) return EXIT_NO_DIALOGUE;

  const char* arguments[TEMPLATE_MAX_ARGUMENTS];
  for (int i = 0; i < TEMPLATE_MAX_ARGUMENTS; ++i) arguments[i] = g_arguments[i];
  run_dialogue(s, settings, arguments);
  close_connection(s);
  fflush(stdout);
  return EXIT_DONE;
}
