// Small pieces the server commands share: the executable's file name on the
// servers, copying it there, and the logging mask of a /l range.
#pragma once

#include <string>

#include "platform/registry/registry.h"
#include "platform/services/services.h"

// The file name part of `path`; ".exe" is added when the name has no
// extension (the program on the servers is an NT executable file).
std::string zeb_executable_name(const std::string& path);

// Copies `source` over `target`; when the target's directory is missing it
// is created (with its missing parents) and the copy tried again. 0 or the
// error of the copy.
DWORD zeb_copy_executable(const std::string& source, const std::string& target);

// The bits 0..15 that the range text admits.
DWORD zeb_logging_mask(const std::string& range);

// Opens the scheduler's service key in the registry of `server` with all
// access; prints "ZEB-ERROR, RegConnectRegistry(%s) failed, error=%ld" or
// "ZEB-ERROR, RegOpenKey(Services\ZEB Service) failed, error=%ld" and
// returns the error.
long zeb_connect_service_key(const std::string& server, HKEY* key);

// Opens the service control manager of `server` and the scheduler's service
// there, both with all access; prints "ZEB-ERROR, OpenSCManager(%s) ..." or
// "ZEB-ERROR, OpenService(%s) ..." and returns false when one fails.
bool zeb_open_service(const std::string& server, SC_HANDLE* scm, SC_HANDLE* service);
