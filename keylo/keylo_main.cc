// keylo: writes registry keys and values described in an INI-style file into
// the registry of one machine or of every matching server, and shows one
// registry value of such machines through formats.
//
//   keylo import [[domain]\\server\]<file> [/v]
//   keylo show [[domain]\\server\]<key path> [<value name>] [~k<f>] [~F<f>] [~T<f>] [/v]
#include <cstdio>
#include <cstring>
#include <string>

#include "keylo/import.h"
#include "keylo/show.h"
#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/server_loops.h"
#include "lib/target_split.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/error.h"

namespace {

constexpr char DEFAULT_KEY_FORMAT[] = "[~r\\~k]";
constexpr char DEFAULT_VALUE_FORMAT[] = "~N=~t:~v";
// The totals line is expanded into this many bytes.
constexpr int TOTALS_SIZE = 80;

char g_command[ARG_TEXT_SIZE];
char g_target[ARG_TEXT_SIZE];
char g_value_name[ARG_TEXT_SIZE];
int32_t g_verbose;
int32_t g_yes;
int32_t g_help;
char g_type_criterion[ARG_TEXT_SIZE];
char g_value_criterion[ARG_TEXT_SIZE];
char g_key_format[ARG_TEXT_SIZE];
char g_value_format[ARG_TEXT_SIZE];
char g_server_format[ARG_TEXT_SIZE];
char g_totals_format[ARG_TEXT_SIZE];
char g_key_format_default[ARG_TEXT_SIZE];
char g_value_format_default[ARG_TEXT_SIZE];

ArgSpec g_params[] = {
    {ARG_STRING, 0, ARG_OPTIONAL, g_command, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, g_target, arg_ptr("")},
    {ARG_STRING, 0, ARG_OPTIONAL, g_value_name, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_options[] = {
    {ARG_FLAG, 'v', ARG_OPTIONAL, &g_verbose, 0},
    {ARG_FLAG, 'y', ARG_OPTIONAL, &g_yes, 0},
    {ARG_FLAG, '?', ARG_OPTIONAL, &g_help, 0},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_criteria[] = {
    {ARG_STRING, 't', ARG_OPTIONAL, g_type_criterion, arg_ptr("")},
    {ARG_STRING, 'v', ARG_OPTIONAL, g_value_criterion, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};
ArgSpec g_formats[] = {
    {ARG_STRING, 'k', ARG_OPTIONAL, g_key_format, arg_ptr(g_key_format_default)},
    {ARG_STRING, 'F', ARG_OPTIONAL, g_value_format, arg_ptr(g_value_format_default)},
    {ARG_STRING, 'S', ARG_OPTIONAL, g_server_format, arg_ptr("")},
    {ARG_STRING, 'T', ARG_OPTIONAL, g_totals_format, arg_ptr("")},
    {ARG_END, 0, 0, nullptr, 0},
};

// A format's default: the environment variable (at most 255 characters) when
// it is set and not empty, else the built-in format.
void read_format_default(const char* variable, const char* builtin, char* out) {
  char value[4096];
  DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
  if (length == 0) {
    std::strcpy(out, builtin);
    return;
  }
  size_t keep = ansi_cut_bytes(value, ARG_TEXT_SIZE - 1);
  std::memcpy(out, value, keep);
  out[keep] = '\0';
}

// What follows the server part of the target argument: the file name or key
// path ("" when the argument ends with the server).
const char* object_of(const char* target, const char* server) {
  if (server[0] == '\0') return target;
  const char* unc = std::strstr(target, "\\\\");
  const char* end = unc ? std::strchr(unc + 2, '\\') : nullptr;
  return end ? end + 1 : "";
}

struct ImportRun {
  const char* file;
  long count = 0;
};

DWORD import_callback(const WCHAR*, const WCHAR* server, void* context) {
  auto* run = static_cast<ImportRun*>(context);
  DWORD err = import_file(server, run->file);
  if (err == ERROR_SUCCESS) ++run->count;
  return err;
}

struct ShowRun {
  ShowRequest request;
  long count = 0;
};

DWORD show_callback(const WCHAR*, const WCHAR* server, void* context) {
  auto* run = static_cast<ShowRun*>(context);
  DWORD err = show_value(server, run->request);
  if (err == ERROR_SUCCESS) ++run->count;
  return err;
}

void run_import(const char* domain, const char* server, const char* file) {
  ImportRun run;
  run.file = file;
  domain_loop(domain, server, import_callback, &run);
  fflush(stdout);
  if (run.count > 0) {
    printf("KEYLO-INFO, %ld servers have imported\n", run.count);
  } else {
    fputs("KEYLO-ERROR, no servers have imported\n", stderr);
  }
}

void run_show(const char* domain, const char* server, const char* key_path) {
  ShowRun run;
  run.request = ShowRequest{key_path, g_value_name, g_key_format, g_value_format};
  domain_loop(domain, server, show_callback, &run);
  if (g_totals_format[0] != '\0') {
    int32_t count = static_cast<int32_t>(run.count);
    ArgSpec totals[] = {
        {ARG_NUMERIC, 'k', ARG_OPTIONAL, &count, 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    char line[TOTALS_SIZE + 1];
    expand_format(g_totals_format, line, totals, TOTALS_SIZE);
    printf("%s\n", line);
  }
  if (run.count == 0) {
    fflush(stdout);
    fputs("KEYLO-ERROR, no keys nor values match\n", stderr);
  }
}

}  // namespace

int main() {
  read_format_default("KEYLO_KFORMAT", DEFAULT_KEY_FORMAT, g_key_format_default);
  read_format_default("KEYLO_VFORMAT", DEFAULT_VALUE_FORMAT, g_value_format_default);
  int bad = parse_command_line(g_params, g_options, g_criteria, g_formats);
  if (bad != 0) show_error("", EV_ARGUMENT, bad, EXIT_INVALID_PARAMETER);
  if (g_help) show_help(true);
  verbose = g_verbose != 0;

  int command = command_code(g_command, CMD_HELP);
  if (command == CMD_VERSION) show_help(false);
  if (command == CMD_HELP || g_target[0] == '\0') show_help(true);

  char domain[SPLIT_PART_SIZE];
  char server[SPLIT_PART_SIZE];
  split_path(g_target, domain, server, nullptr, nullptr, nullptr, nullptr);
  const char* object = object_of(g_target, server);

  switch (command) {
    case CMD_IMPORT:
      run_import(domain, server, object);
      break;
    case CMD_SHOW:
      run_show(domain, server, object);
      break;
    default:
      fflush(stdout);
      fprintf(stderr, "KEYLO-ERROR, invalid command '%s'\n", g_command);
      break;
  }
  fflush(stdout);
  return EXIT_DONE;
}
