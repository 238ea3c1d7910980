#include "kopex/kopex.h"

#include <cstdio>
#include <cstring>

#include "kopex/actions.h"
#include "kopex/options.h"
#include "kopex/report.h"
#include "kopex/roots.h"
#include "kopex/run_state.h"
#include "lib/command_code.h"
#include "lib/frame.h"
#include "lib/wildcard.h"
#include "platform/files/current_directory.h"
#include "platform/files/file_info.h"
#include "platform/kernel/error.h"

namespace kopex {

namespace {

int fail(const char* line, int code) {
  std::fflush(stdout);
  std::fputs(line, stderr);
  return code;
}

bool supported(int command) {
  return command == CMD_SHOW || command == CMD_DEL || command == CMD_SET ||
         command == CMD_COPY || command == CMD_UPDATE || command == CMD_MIRROR;
}

// Resolves the target to a full path with a trailing backslash and creates
// it when missing; 0 or the exit code.
int prepare_target() {
  Options& o = g_run.options;
  if (std::strlen(o.target) == ARG_TEXT_SIZE - 1 &&
      raw_positional_length(nullptr, 2) > static_cast<size_t>(SPEC_MAX)) {
    return fail("KOPEX-ERROR, target path too long\n", EXIT_INVALID_PARAMETER);
  }
  char full[FULL_PATH_MAX + 1];
  DWORD length = GetFullPathNameA(o.target, FULL_PATH_MAX, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(FULL_PATH_MAX) ||
      (full[length - 1] != '\\' && length + 1 >= static_cast<DWORD>(FULL_PATH_MAX))) {
    return fail("KOPEX-ERROR, target path too long\n", EXIT_INVALID_PARAMETER);
  }
  g_run.target = full;
  if (g_run.target.back() != '\\') g_run.target += '\\';
  if (g_run.target.size() > TARGET_PATH_MAX) {
    return fail("KOPEX-ERROR, target path too long\n", EXIT_INVALID_PARAMETER);
  }
  if (directory_exists(g_run.target.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (!create_directory_tree(g_run.target.c_str())) {
      DWORD error = GetLastError();
      std::fflush(stdout);
      return error == 0 ? 1 : static_cast<int>(error);
    }
  }
  return 0;
}

}  // namespace

int kopex_main(const char* command_line) {
  clear_owners();
  const int bad = parse_options(command_line);
  Options& o = g_run.options;
  if (bad != 0) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, error in argument no.%d\n", bad);
    return EXIT_INVALID_PARAMETER;
  }
  verbose = o.verbose != 0;
  yes_to_all = false;
  if (o.help || o.command[0] == '\0') show_help(true);
  const int command = command_code(o.command, CMD_HELP);
  if (command == CMD_HELP) show_help(true);
  if (command == CMD_VERSION) show_help(false);
  g_run.command = command;

  // The specification: at most 256 characters (the parser keeps 255, so a
  // longer one is found on the command line itself).
  if (std::strlen(o.spec) == ARG_TEXT_SIZE - 1 &&
      raw_positional_length(command_line, 1) > static_cast<size_t>(SPEC_MAX)) {
    return fail("KOPEX-ERROR, file specification too long\n", EXIT_INVALID_PARAMETER);
  }
  bool recurse = o.recurse != 0, remove_dirs = o.remove_dirs != 0;
  const SpecError spec_error = split_file_spec(o.spec, &g_run.spec, &recurse, &remove_dirs);
  if (spec_error == SpecError::too_long) {
    return fail("KOPEX-ERROR, file specification too long\n", EXIT_INVALID_PARAMETER);
  }
  if (spec_error == SpecError::bad_path) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, invalid file specification '%s', error=%ld\n", o.spec,
                 static_cast<long>(GetLastError()));
    return EXIT_INVALID_PARAMETER;
  }
  o.recurse = recurse;
  o.remove_dirs = remove_dirs;
  prepare_formats();

  if (o.cleanup && command != CMD_MIRROR && command != CMD_UPDATE) {
    return fail("KOPEX-ERROR, /d switch only allowed with MIR or UPD operations\n",
                EXIT_INVALID_PARAMETER);
  }
  if (std::strpbrk(o.target, "*?") != nullptr) {
    return fail("KOPEX-ERROR, wildcards not allowed in target path\n", EXIT_INVALID_PARAMETER);
  }
  if (!supported(command)) {
    std::fflush(stdout);
    std::fprintf(stderr, "KOPEX-ERROR, invalid command '%s'\n", o.command);
    print_end_of_run();
    return EXIT_DONE;
  }
  if ((command == CMD_DEL || command == CMD_SET) && o.target[0] != '\0') {
    return fail("KOPEX-ERROR, no second path allowed with SET or DEL\n", EXIT_INVALID_PARAMETER);
  }
  if (command == CMD_SHOW && o.target[0] != '\0') {
    return fail("KOPEX-ERROR, no second path allowed with SHO\n", EXIT_INVALID_PARAMETER);
  }
  if (copies()) {
    const FileSpec& s = g_run.spec;
    if (o.cleanup && (has_wildcard(s.server.c_str()) || has_wildcard(s.share.c_str()) ||
                      has_wildcard(s.dir.c_str()))) {
      return fail("KOPEX-ERROR, cannot have multiple source directories with /d\n",
                  EXIT_INVALID_PARAMETER);
    }
    if (o.target[0] == '\0') {
      return fail("KOPEX-ERROR, no target path specified\n", EXIT_INVALID_PARAMETER);
    }
    const int code = prepare_target();
    if (code != 0) return code;
  }
  walk_roots();
  print_end_of_run();
  return EXIT_DONE;
}

}  // namespace kopex
