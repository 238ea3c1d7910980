// The client role of zeb: parses the command line, prints help and version
// texts, and hands the command to the server or the job commands by the
// kind of its main argument.
#include "zeb/client_main.h"

#include <cstdio>

#include "lib/command_code.h"
#include "lib/frame.h"
#include "zeb/client_dispatch.h"
#include "zeb/client_options.h"
#include "zeb/job_commands.h"
#include "zeb/server_commands.h"

int zeb_client_main(int /*argc*/, char** /*argv*/) {
  ZebClientArgs args;
  ZebParseOutcome parsed = zeb_parse_client_args(nullptr, &args);
  if (parsed.result != 0) {
    show_error(nullptr, EV_ARGUMENT, parsed.result, EXIT_INVALID_PARAMETER);
  }
  verbose = args.verbose;
  yes_to_all = args.yes;
  if (parsed.help) show_help(true);
  int code = command_code(args.command.c_str(), CMD_HELP);
  if (code == CMD_HELP) show_help(true);
  if (code == CMD_VERSION) show_help(false);

  int rc;
  if (zeb_target_kind(args.target) == ZebTargetKind::server) {
    if (!zeb_server_command_valid(code)) {
      show_error(args.command.c_str(), EV_COMMAND, 0, EXIT_INVALID_PARAMETER);
    }
    rc = zeb_server_command(args);
  } else {
    if (!zeb_job_command_valid(code)) {
      fprintf(stderr, "ZEB-ERROR, invalid job command '%s'\n", args.command.c_str());
      return EXIT_INVALID_PARAMETER;
    }
    rc = zeb_job_command(args);
  }
  fflush(stdout);
  fflush(stderr);
  return rc;
}
