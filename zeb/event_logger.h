// The scheduler's event logger: events of the service and of the job
// runner go to the Application log under the source "ZEB Service", with
// the texts of the program's message table. The "Logging" value of the
// service key suppresses events: an event is written only when its
// identifier and the mask have no bit in common.
#pragma once

#include <string>

#include "platform/win32_types.h"

constexpr DWORD ZEB_EV_STARTED = 0x40000001;
constexpr DWORD ZEB_EV_STOPPED = 0x40000002;
constexpr DWORD ZEB_EV_PROCESS_CREATED = 0x40000004;
constexpr DWORD ZEB_EV_PROCESS_EXIT = 0x40000008;
constexpr DWORD ZEB_EV_READ_GRANTED = 0x40000100;
constexpr DWORD ZEB_EV_WRITE_GRANTED = 0x40000200;
constexpr DWORD ZEB_EV_PROCESS_ABORTED = 0x80000010;
constexpr DWORD ZEB_EV_CANNOT_ABORT = 0x80000020;
constexpr DWORD ZEB_EV_CANNOT_OPEN_PROCESS = 0x80000040;
constexpr DWORD ZEB_EV_ACCESS_DENIED = 0x80000400;
constexpr DWORD ZEB_EV_LOGON_FAILED = 0x80000800;
constexpr DWORD ZEB_EV_LOCK_TIMEOUT = 0x80001000;
constexpr DWORD ZEB_EV_STDFILE = 0x80002000;
constexpr DWORD ZEB_EV_CREATE_PROCESS = 0x80004000;
constexpr DWORD ZEB_EV_TEXT = 0xC0000000;
constexpr DWORD ZEB_EV_API_ERROR = 0xC0008000;

// Event type from the top two bits: 2 warning, 3 error, else information.
WORD zeb_event_type(DWORD id);
// True when the mask lets the event through.
inline bool zeb_event_enabled(DWORD id, DWORD mask) { return (id & mask) == 0; }

// The event that the logger signals when an event asks to stop the service
// (null: none).
void zeb_logger_set_stop_event(HANDLE stop_event);

// Reads "Logging" from the service key of the local machine (creating it
// as 0 when missing), writes the event through a fresh registration of the
// source unless the mask suppresses it, and signals the stop event when
// `stop` is set. Null strings are left out. True when the event was
// written.
bool zeb_log(DWORD id, bool stop, const char* string1 = nullptr, const char* string2 = nullptr);
// The API error event: "%ld" of the error and the failed call.
bool zeb_log_api_error(long error, const std::string& call, bool stop = false);
