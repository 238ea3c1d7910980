// Connecting to the registry of the server a loop hands over.
#pragma once

#include <string>

#include "keylo/key_path.h"
#include "platform/win32_types.h"

// The server as an ANSI text ("\\NAME"), empty for none.
std::string server_ansi(const WCHAR* server);

// Takes the root of `text` and connects to it on `server` (empty: the local
// registry). Prints the failure line and returns its code: 87 for a key path
// keylo does not take, else the connection's error.
DWORD connect_root(const std::string& server, const char* text, KeyPath* path, HKEY* root);
