#include "morva/installer.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/server_loops.h"
#include "lib/target_split.h"
#include "morva/install_paths.h"
#include "morva/messages.h"
#include "morva/server_actions.h"
#include "morva/version.h"
#include "platform/files/path.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/error.h"
#include "platform/kernel/module.h"
#include "platform/nls/codepage.h"

namespace {

constexpr char DEFAULT_FORMAT[] = "~-.16S ~V ~p";
constexpr DWORD kModulePathSize = 1024;
// Exit code when no server was handled.
constexpr int EXIT_NOTHING_DONE = 2;

char g_command[ARG_TEXT_SIZE];
char g_target[ARG_TEXT_SIZE];
int32_t g_yes;
int32_t g_verbose;
int32_t g_ansi;
int32_t g_help;
char g_path[ARG_TEXT_SIZE];
char g_directory[ARG_TEXT_SIZE];
char g_path_criterion[ARG_TEXT_SIZE];
char g_autostart_criterion[ARG_TEXT_SIZE];
char g_format[ARG_TEXT_SIZE];
char g_format_default[ARG_TEXT_SIZE];

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, g_command, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, g_target, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_options[] = {
    {ARG_FLAG, 'y', ARG_OPTIONAL, &g_yes, 0},
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose, 0},
    {ARG_STRING, 'p', ARG_OPTIONAL, g_path, arg_ptr("")},
    {ARG_STRING, 'd', ARG_OPTIONAL, g_directory, arg_ptr("")},
    {ARG_FLAG, 'a', ARG_OPTIONAL, &g_ansi, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help, 0},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_criteria[] = {
    {ARG_STRING, 'p', ARG_OPTIONAL, g_path_criterion, arg_ptr("")},
    {ARG_STRING, 'A', ARG_OPTIONAL, g_autostart_criterion, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_formats[] = {
    {ARG_STRING, 'F', ARG_OPTIONAL, g_format, arg_ptr(g_format_default)},
    {ARG_END, 0, 0, nullptr, 0},
};

// The default of ~F: MORVA_FORMAT (at most 255 characters) when set and not
// empty, else the built-in format.
void read_format_default() {
  char value[4096];
  DWORD length = GetEnvironmentVariableA("MORVA_FORMAT", value, sizeof value);
  if (length == 0 || length >= sizeof value) {
    std::strcpy(g_format_default, DEFAULT_FORMAT);
    return;
  }
  size_t keep = ansi_cut_bytes(value, ARG_TEXT_SIZE - 1);
  std::memcpy(g_format_default, value, keep);
  g_format_default[keep] = '\0';
}

using Action = ActionOutcome (*)(const InstallerSettings&, const std::string&, const std::string&);

struct Run {
  const InstallerSettings* settings;
  Action action;
  long count = 0;
};

DWORD server_callback(const WCHAR* domain, const WCHAR* server, void* context) {
  auto* run = static_cast<Run*>(context);
  std::string d = domain ? nt_wide_to_ansi(std::u16string_view(domain)) : std::string();
  std::string s = server ? nt_wide_to_ansi(std::u16string_view(server)) : std::string();
  ActionOutcome outcome = run->action(*run->settings, d, s);
  if (outcome.counted) ++run->count;
  return outcome.ok ? ERROR_SUCCESS : ERROR_INVALID_FUNCTION;
}

InstallerSettings make_settings() {
  InstallerSettings settings;
  settings.option_path = g_path;
  settings.option_directory = g_directory;
  char exe[kModulePathSize];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n > 0 && n < sizeof exe) settings.program_path.assign(exe, n);
  settings.program_name = path_file_name(settings.program_path);
  settings.own_version = morva_program_version();
  char windows[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length > 0 && length < sizeof windows) settings.local_system_root = windows;
  settings.criteria = g_criteria;
  settings.format = g_format;
  settings.ansi = g_ansi != 0;
  return settings;
}

}  // namespace

int morva_installer_main() {
  read_format_default();
  int bad = parse_command_line(g_params, g_options, g_criteria, g_formats);
  if (bad != 0) show_error("", EV_ARGUMENT, bad, EXIT_INVALID_PARAMETER);
  if (g_help) show_help(true);
  yes_to_all = g_yes != 0;
  verbose = g_verbose != 0;

  int command = command_code(g_command, CMD_HELP);
  if (command == CMD_HELP) show_help(true);
  if (command == CMD_VERSION) show_help(false);

  Action action = nullptr;
  const char* done = nullptr;
  const char* none = nullptr;
  switch (command) {
    case CMD_ADD:
      action = add_server;
      done = "MORVA-INFO, %ld servers added\n";
      none = "MORVA-ERROR, no servers added\n";
      break;
    case CMD_DEL:
      action = delete_server;
      done = "MORVA-INFO, %ld servers removed\n";
      none = "MORVA-ERROR, no servers removed\n";
      break;
    case CMD_UPDATE:
      action = update_server;
      done = "MORVA-INFO, %ld servers updated\n";
      none = "MORVA-ERROR, no servers updated\n";
      break;
    case CMD_SHOW:
      action = show_server;
      done = "MORVA-INFO, %ld servers shown\n";
      none = "MORVA-ERROR, no servers shown\n";
      break;
    default:
      show_error(g_command, EV_COMMAND, 0, EXIT_INVALID_PARAMETER);
      return EXIT_INVALID_PARAMETER;
  }

  char domain[SPLIT_PART_SIZE] = "";
  char server[SPLIT_PART_SIZE] = "";
  if (!split_target(g_target, domain, server, nullptr)) {
    show_error("", EV_ARGUMENT, 2, EXIT_INVALID_PARAMETER);
  }
  InstallerSettings settings = make_settings();
  Run run{&settings, action};
  domain_loop(domain, server, server_callback, &run);
  if (run.count > 0) {
    morva_info(done, run.count);
    return EXIT_DONE;
  }
  morva_error("%s", none);
  return EXIT_NOTHING_DONE;
}
