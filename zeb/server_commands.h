// The server commands of the client: install, remove, configure, control,
// update and show the scheduler service on every server of the loop, and
// the job account command (user).
#pragma once

#include "zeb/client_args.h"

// Runs the server command `args.command` on the servers `args.target`
// names (empty: the local machine). Prints every line; returns the exit
// code: 0 when a server was handled, 2 when none was, 87 for bad options.
int zeb_server_command(const ZebClientArgs& args);
