#include "setora/startup.h"

#include <cstdint>
#include <cstdio>

#include "lib/arg_spec.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "patch/history_file.h"
#include "patch/patch_file.h"
#include "platform/kernel/error.h"
#include "platform/nls/thread_locale.h"
#include "platform/user/message_box.h"
#include "setora/setora_ids.h"
#include "setora/setora_text.h"

namespace {

constexpr int EXIT_BAD_START = 87;

void error_box(const char* text) {
  MessageBoxA(nullptr, text, SETORA_ERROR_TITLE, MB_OK | MB_ICONERROR);
}

// The option values of one parse.
struct Options {
  char command[ARG_TEXT_SIZE] = {};
  char history[ARG_TEXT_SIZE] = {};
  char patch_dir[ARG_TEXT_SIZE] = {};
  int32_t help = 0;
  char errorlevels[ARG_TEXT_SIZE] = {};
  int32_t time_limit = 0;
  char show_mode[ARG_TEXT_SIZE] = {};
  int32_t verbose = 0;
  char pattern[ARG_TEXT_SIZE] = {};
  char drive[ARG_TEXT_SIZE] = {};
  char conditions[ARG_TEXT_SIZE] = {};
  char language[ARG_TEXT_SIZE] = {};
};

}  // namespace

StartResult setora_start(const char* command_line, const std::string& own_dir) {
  StartResult result;
  result.action = START_END;
  result.exit_code = EXIT_BAD_START;

  // 1. The system root names the default history file.
  std::string history;
  if (!default_history_file(&history)) {
    error_box("FIXAR-ERROR, cannot get %SYSTEMROOT%\n");
    return result;
  }

  // 2. The command line, with the runner's option letters and /l.
  Options o;
  ArgSpec params[] = {
      {ARG_STRING, 0, ARG_OPTIONAL, o.command, arg_ptr("")},
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec options[] = {
      {ARG_STRING, 'h', ARG_OPTIONAL, o.history, arg_ptr("")},
      {ARG_STRING, 'p', ARG_OPTIONAL, o.patch_dir, arg_ptr("")},
      {ARG_FLAG, '?', ARG_OPTIONAL, &o.help, 0},
      {ARG_RANGE, 'e', ARG_OPTIONAL, o.errorlevels, arg_ptr(DEFAULT_ERRORLEVELS)},
      {ARG_NUMERIC, 't', ARG_OPTIONAL, &o.time_limit, static_cast<intptr_t>(DEFAULT_TIME_LIMIT)},
      {ARG_STRING, 's', ARG_OPTIONAL, o.show_mode, arg_ptr(DEFAULT_SHOW_MODE)},
      {ARG_FLAG, 'v', ARG_OPTIONAL, &o.verbose, 0},
      {ARG_STRING, 'f', ARG_OPTIONAL, o.pattern, arg_ptr(PATCH_FILE_PATTERN)},
      {ARG_STRING, 'D', ARG_OPTIONAL, o.drive, arg_ptr("Q:")},
      {ARG_STRING, 'c', ARG_OPTIONAL, o.conditions, arg_ptr("")},
      {ARG_STRING, 'l', ARG_OPTIONAL, o.language, arg_ptr("")},
      {ARG_END, 0, 0, nullptr, 0},
  };
  int bad = parse_command_text(command_line != nullptr ? command_line : "", params, options,
                               nullptr, nullptr);
  if (bad != 0) {
    char text[64];
    snprintf(text, sizeof text, "Error in argument %d\n", bad);
    error_box(text);
    return result;
  }
  auto given = [&](char letter) {
    for (const ArgSpec* a = options; a->type != ARG_END; ++a) {
      if (a->letter == letter) return a->state == ARG_GIVEN;
    }
    return false;
  };

  PatchListSettings& s = result.settings;
  s.run.history_file = given('h') ? std::string(o.history) : history;
  s.run.patch_dir = given('p') ? std::string(o.patch_dir) : own_dir;
  s.pattern = o.pattern;
  s.run.drive = o.drive;
  // 3. The show mode as a number.
  s.run.show_mode = show_mode_from_text(o.show_mode);
  // A negative /t is read as unsigned, as a step's Timelimit is: a very
  // long limit, never "do not wait".
  s.run.time_limit = static_cast<DWORD>(o.time_limit);
  s.run.errorlevels = o.errorlevels;
  s.run.verbose = o.verbose != 0;
  s.run.conditions_file = o.conditions;
  s.run.window_program = true;

  // 4. The language of the texts.
  if (given('l')) {
    LANGID language = (o.language[0] == 'D' || o.language[0] == 'd')
                          ? MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)
                          : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    if (!SetThreadLocale(MAKELCID(language, SORT_DEFAULT))) {
      char text[ARG_TEXT_SIZE + 64];
      snprintf(text, sizeof text, "SetThreadLocale(%s) failed, error=%ld\n", o.language,
               static_cast<long>(GetLastError()));
      error_box(text);
    }
  }

  // 5. The quick-info text.
  if (o.help) {
    MessageBoxA(nullptr, load_text(IDS_QUICK_INFO).c_str(), SETORA_QUICK_INFO_TITLE,
                MB_OK | MB_ICONINFORMATION);
    result.exit_code = 0;
    return result;
  }

  // 6. and 7.
  result.exit_code = 0;
  result.action = command_code(o.command, 0) == CMD_VERSION ? START_ABOUT : START_WINDOW;
  return result;
}
