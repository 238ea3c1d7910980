// The command pipe server of the service: exactly one listener waits on
// "\\.\pipe\zebsrv" at any time. A listener serves one connection: it
// reads the command code, starts its successor, checks the caller's
// access, sends the version string and serves the command.
#pragma once

#include "zeb/service_state.h"

// Starts the first listener ("CreateThread(CommandThread)" is the caller's
// to log). False with the last error when the thread cannot be made.
bool zeb_start_command_thread(ZebService& service);

// CloseCommandThread: ends the pipe service by sending the close request
// (1998) to the local pipe and checking the reply; then waits (at most
// `wait_ms`) for the connections being served to end. True when the
// listener took the request.
bool zeb_close_command_thread(ZebService& service, DWORD wait_ms = 15000);

// Connections being served now (for the stop and for tests).
int zeb_active_connections();
