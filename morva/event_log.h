// The service's events: the Application log under the source
// "ZA Divedido Zodeveza", with the program's message table. Every event is
// written (there is no suppression mask).
#pragma once

#include <string>

#include "platform/win32_types.h"

// Creates the event source key with "EventMessageFile" (the running
// program's path) and "TypesSupported" 7 when the key is missing. The
// registry's error, 0 when the key exists or was made.
DWORD morva_register_event_source();

// The API error event 0xC0008000: the error as "%ld" and the failed call.
// True when it was written.
bool morva_log_api_error(long error, const std::string& call);
