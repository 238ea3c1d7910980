// Loops of the account tools (users, groups): the logon domain, a domain's
// controller, the controllers of matching domains, the servers of a domain
// without its controllers, and the user accounts, global groups, local
// groups and shares of one server that match a pattern.
//
// INFO lines go to standard output when `verbose` (lib/frame.h) is set; ERROR
// lines always go to standard error. Names handed to callbacks are UTF-16,
// servers written "\\NAME", each name at most LOOP_NAME_MAX characters.
#pragma once

#include "lib/server_loops.h"
#include "platform/win32_types.h"

// The tool's work for one object (user, group or share) of one server.
using ObjectCallback = DWORD (*)(const WCHAR* domain, const WCHAR* server, const WCHAR* name,
                                 void* context);

// Room for an ANSI domain name (LOOP_NAME_MAX characters of up to four bytes
// each under a UTF-8 page, and a terminator) and for a UTF-16 controller name
// ("\\" and LOOP_NAME_MAX units and a terminator).
constexpr int LOOP_DOMAIN_SIZE = LOOP_NAME_MAX * 4 + 1;
constexpr int LOOP_SERVER_SIZE = LOOP_NAME_MAX + 3;

// Writes the local workstation's LAN group (ANSI, at most LOOP_NAME_MAX
// characters) into `domain` (LOOP_DOMAIN_SIZE bytes). True when the user is
// logged on to a domain (the user's logon domain differs from the computer
// name, case ignored) or the user's logon information cannot be read; false
// for a user of a local account, and false with an empty domain when the
// workstation information cannot be read.
bool logon_domain(char* domain);

// The primary controller of `domain` ("\\NAME", LOOP_SERVER_SIZE units),
// asked of the primary controller of the workstation's own domain. An empty
// or absent domain gives an empty name and success. 0 or the error code.
DWORD UGetDomainDC(const char* domain, WCHAR* dc);

// server_loop and domain_loop of the account family (see LoopFamily):
// domain controllers are skipped ("SERVERLOOP-INFO, skipping domain
// controller '%s'"), SERVERLIST is never read.
DWORD account_server_loop(const char* domain, const char* pattern, ServerCallback callback,
                          void* context);
DWORD account_domain_loop(const char* domain_pattern, const char* server_pattern,
                          ServerCallback callback, void* context);

// The callback with each matching domain and its primary controller. A
// pattern without wildcards names the domain; an empty one gives an empty
// controller name (the tool's calls then go to the local machine). A
// wildcard pattern visits the browser's domains that match, passing over
// (with an ERROR line) those whose controller cannot be found. Returns 0 or
// the first error (each printed once).
DWORD domain_dc_loop(const char* domain_pattern, ServerCallback callback, void* context);

// The callback for each object of `server` whose name matches `pattern`.
// An empty or absent pattern gives 87 at once. A pattern without wildcards
// is handed on as the name without asking whether the object exists. A
// wildcard pattern makes one enumeration (names only, 64 KB preferred) and
// visits what that call returns, in its order; a failed call is printed
// ("USERLOOP-ERROR, NetUserEnum(%s) failed, error=%ld" and the like) and
// its error returned.
//
// user_loop lists normal accounts, or every kind with `all_kinds`.
DWORD user_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                ObjectCallback callback, void* context, bool all_kinds = false);
// Global groups.
DWORD group_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                 ObjectCallback callback, void* context);
// Local groups; its error line is a GROUPLOOP line naming NetLocalGroupEnum.
DWORD local_group_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                       ObjectCallback callback, void* context);
// Shares.
DWORD share_loop(const WCHAR* domain, const WCHAR* server, const char* pattern,
                 ObjectCallback callback, void* context);
