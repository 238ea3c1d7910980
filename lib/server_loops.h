// Loops over the servers a tool acts on (the list family): the servers of a
// domain that match a pattern, those of every matching domain, or those of a
// static list named by SERVERLIST. Each hit is handed to the tool's callback;
// the callback's result does not stop a loop. With `verbose` (lib/frame.h)
// the loops print their INFO lines to standard output; ERROR lines always go
// to standard error.
#pragma once

#include "platform/win32_types.h"

// The tool's work for one server. `domain` and `server` are UTF-16, the
// server written "\\NAME"; each name has at most LOOP_NAME_MAX characters.
// `context` is what the tool passed to the loop.
using ServerCallback = DWORD (*)(const WCHAR* domain, const WCHAR* server, void* context);

constexpr int LOOP_NAME_MAX = 23;
// Characters of one line of a static server list read at a time, and of the
// list's file name taken from SERVERLIST.
constexpr int SERVER_LIST_LINE_MAX = 254;
constexpr int SERVER_LIST_NAME_MAX = 259;

// The callback for each server of `domain` (empty: the local workstation's
// domain) whose name matches `pattern`. A pattern without wildcards names
// the server itself (empty: the local computer) and is called without asking
// the browser. A wildcard pattern goes through list_loop when SERVERLIST is
// set, else through the browser's list of NT machines of the domain.
// Returns 0 or the system's error code (printed once).
DWORD server_loop(const char* domain, const char* pattern, ServerCallback callback,
                  void* context);

// server_loop for `domain_pattern` when it has no wildcards; else list_loop
// when SERVERLIST is set; else server_loop for each domain of the browser's
// list that matches. Returns 0 or the first error code (printed once).
DWORD domain_loop(const char* domain_pattern, const char* server_pattern,
                  ServerCallback callback, void* context);

// The callback for each line "DOMAIN\\SERVER" of the text file `file` that
// matches "<domain>\\<pattern>", with the line's domain part and its server
// part ("\\SERVER"). Lines end at their first character below 32; longer
// lines than SERVER_LIST_LINE_MAX characters are taken in pieces of that
// many. False, with the error as the last error, when the file cannot be
// opened; true after the last line.
bool list_loop(const char* file, const char* domain, const char* pattern,
               ServerCallback callback, void* context);

// The two families of server loops. The list family above consults
// SERVERLIST and treats domain controllers like any server. The account
// family (lib/account_loops.h) never reads a static list and skips primary
// and backup domain controllers: a named server other than the local
// computer is asked for its type first, and the browser's list is asked
// with the types of its machines.
enum class LoopFamily { list, account };

// server_loop and domain_loop of either family.
DWORD family_server_loop(LoopFamily family, const char* domain, const char* pattern,
                         ServerCallback callback, void* context);
DWORD family_domain_loop(LoopFamily family, const char* domain_pattern,
                         const char* server_pattern, ServerCallback callback, void* context);
