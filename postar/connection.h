// Setting up and closing the connection to the mail server.
#pragma once

#include "platform/winsock/winsock.h"

constexpr unsigned short SMTP_PORT = 25;

// Starts the sockets library (version 1.1 exactly), creates a TCP socket,
// finds the host (a dotted address, else by name) and connects to port 25.
// The connect result is not looked at: a failed connection shows at the
// first poll of the dialogue. On any other failure prints its message and
// "cannot setup socket", leaves nothing open and returns INVALID_SOCKET.
ws::SOCKET open_connection(const char* host);

// Closes the socket ("Close Socket failed" on error) and ends the use of
// the sockets library.
void close_connection(ws::SOCKET s);
