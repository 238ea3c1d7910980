// fixar: brings the machine up to date with the patches of a patch
// directory. Every patch file (*.FXA) that has not yet succeeded here is
// checked against its conditions (FIXAR.FXC), run step by step, and its
// outcome recorded in the history file (%SYSTEMROOT%\FIXAR.FXH).
//
//   fixar [ver] [/h<history>] [/p<patchdir>] [/c<conditions>] [/f<pattern>]
//         [/s<showmode>] [/e<errorlevels>] [/t<seconds>] [/D<drive>] [/v] [/?]
#include <cstdio>
#include <cstring>
#include <string>

#include "fixar/fixar_start.h"
#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/frame.h"
#include "lib/program_directory.h"
#include "patch/history_file.h"
#include "patch/patch_file.h"
#include "patch/patch_output.h"
#include "patch/run_patches.h"
#include "platform/process/process.h"

namespace {

char g_command[ARG_TEXT_SIZE];
char g_history[ARG_TEXT_SIZE];
char g_patch_dir[ARG_TEXT_SIZE];
int32_t g_help;
char g_errorlevels[ARG_TEXT_SIZE];
int32_t g_time_limit;
char g_show_mode[ARG_TEXT_SIZE];
int32_t g_verbose;
char g_pattern[ARG_TEXT_SIZE];
char g_drive[ARG_TEXT_SIZE];
char g_conditions[ARG_TEXT_SIZE];

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, g_command, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_options[] = {
    // The defaults of /h and /p are taken after the parse, whole: a path
    // longer than an option's 255 characters must not be cut.
    {ARG_STRING, 'h', ARG_OPTIONAL, g_history, arg_ptr("")},
    {ARG_STRING, 'p', ARG_OPTIONAL, g_patch_dir, arg_ptr("")},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help, 0},
    {ARG_RANGE, 'e', ARG_OPTIONAL, g_errorlevels, arg_ptr(DEFAULT_ERRORLEVELS)},
    {ARG_NUMERIC, 't', ARG_OPTIONAL, &g_time_limit, static_cast<intptr_t>(DEFAULT_TIME_LIMIT)},
    {ARG_STRING, 's', ARG_OPTIONAL, g_show_mode, arg_ptr(DEFAULT_SHOW_MODE)},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose, 0},
    {ARG_STRING, 'f', ARG_OPTIONAL, g_pattern, arg_ptr(PATCH_FILE_PATTERN)},
    {ARG_STRING, 'D', ARG_OPTIONAL, g_drive, arg_ptr("Q:")},
    {ARG_STRING, 'c', ARG_OPTIONAL, g_conditions, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

bool option_given(char letter) {
  for (const ArgSpec* o = g_options; o->type != ARG_END; ++o) {
    if (o->letter == letter) return o->state == ARG_GIVEN;
  }
  return false;
}

}  // namespace

int main() {
  // 1. and 2. The program's own directory and the default history file.
  const std::string own_dir = program_directory();
  std::string history;
  if (!default_history_file(&history)) {
    patch_error("FIXAR-ERROR, cannot get %%SYSTEMROOT%%\n");
    ExitProcess(EXIT_INVALID_PARAMETER);
  }

  // 3. The command line: help first, then the version word, then a parse error.
  int bad = parse_command_line(g_params, g_options, nullptr, nullptr);
  if (g_help) show_help(true);
  if (command_code(g_command, 0) == CMD_VERSION) show_help(false);
  if (bad != 0) show_error("", EV_ARGUMENT, bad, EXIT_INVALID_PARAMETER);
  verbose = g_verbose != 0;

  PatchRunSettings settings;
  settings.history_file = option_given('h') ? std::string(g_history) : history;
  settings.patch_dir = option_given('p') ? std::string(g_patch_dir) : own_dir;
  settings.file_pattern = g_pattern;
  settings.drive = g_drive;
  settings.show_mode = show_mode_from_text(g_show_mode);
  settings.time_limit = time_limit_from_option(g_time_limit);
  settings.errorlevels = g_errorlevels;
  settings.verbose = verbose;
  settings.conditions_file = g_conditions;

  // 4. The run.
  if (verbose) patch_info("FIXAR-INFO, patch dir is %s\n", settings.patch_dir.c_str());
  DWORD result = run_patches(settings);
  fflush(stdout);
  ExitProcess(result);
}
