// The event log calls, with the Win32 semantics.
//
// Every machine has the logs Application, System and Security in its store
// (event_store.h). A machine is named "NAME" or "\\NAME"; null or empty is
// the local machine. A machine that is unknown or offline fails with
// ERROR_BAD_NETPATH (53) when a handle is opened; a handle of a machine that
// went offline since fails with RPC_S_SERVER_UNAVAILABLE (1722).
//
// Event sources are registered in the machine's registry under the key
// SYSTEM\CurrentControlSet\Services\EventLog\<log>\<source> of
// HKEY_LOCAL_MACHINE; RegisterEventSource writes to the log whose key holds the
// source, and an unregistered source writes to Application, as on NT.
// OpenEventLog opens a log by name, case ignored; an unknown name opens
// Application, as on NT.
//
// Events carry the times of their writing (seconds since 1970, UTC, from the
// layer's clock), the name of the computer that reported them (the local
// machine) and the numbers of their log: from 1, one more per event,
// starting again at 1 after the log was cleared. Writing an event is one
// transaction: writers in several processes never lose an event.
//
// Backup files are named by NT paths of the calling process
// (platform/files/path.h); BackupEventLog never replaces a file
// (ERROR_ALREADY_EXISTS) and never leaves a partial one behind.
#pragma once

#include <string>
#include <string_view>

#include "platform/eventlog/event_record.h"
#include "platform/eventlog/event_store.h"
#include "platform/network/network.h"
#include "platform/security/sid.h"
#include "platform/win32_types.h"

// ReadEventLog flags: one of the first two with one of the last two.
constexpr DWORD EVENTLOG_SEQUENTIAL_READ = 0x0001;
constexpr DWORD EVENTLOG_SEEK_READ = 0x0002;
constexpr DWORD EVENTLOG_FORWARDS_READ = 0x0004;
constexpr DWORD EVENTLOG_BACKWARDS_READ = 0x0008;

// A source handle for ReportEvent (DeregisterEventSource releases it).
// Null source or empty name: ERROR_INVALID_PARAMETER.
HANDLE RegisterEventSourceA(const char* server, const char* source);
HANDLE RegisterEventSourceW(const WCHAR* server, const WCHAR* source);
BOOL DeregisterEventSource(HANDLE source);

// Writes an event: `type` one of the EVENTLOG_* types, the user's SID or
// null, `count` insertion strings (each at most NT_EVENT_MAX_STRING_LENGTH
// characters) and `data_size` bytes of raw data. A record larger than
// NT_EVENT_MAX_RECORD_SIZE in either form, an invalid type or SID, or null
// pointers where strings or data are announced fail with
// ERROR_INVALID_PARAMETER; a handle that is no source handle with
// ERROR_INVALID_HANDLE.
BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD event_id, PSID user_sid,
                  WORD count, DWORD data_size, const char** strings, const void* data);
BOOL ReportEventW(HANDLE source, WORD type, WORD category, DWORD event_id, PSID user_sid,
                  WORD count, DWORD data_size, const WCHAR** strings, const void* data);

// A read handle on a log (CloseEventLog releases it). Null or empty log
// name: ERROR_INVALID_PARAMETER.
HANDLE OpenEventLogA(const char* server, const char* log);
HANDLE OpenEventLogW(const WCHAR* server, const WCHAR* log);
// A read handle on a backup file: ERROR_FILE_NOT_FOUND (and the other file
// errors) when it cannot be read, ERROR_EVENTLOG_FILE_CORRUPT when it is no
// event log file. `server` must be reachable; the file is the caller's.
HANDLE OpenBackupEventLogA(const char* server, const char* file);
BOOL CloseEventLog(HANDLE log);

// Reads whole records into the buffer, as many as fit, in the order the
// flags ask: sequential reads go on from the last record read (the first
// one from the oldest record forwards, from the newest backwards), a seek
// read starts at record `offset` (ERROR_INVALID_PARAMETER when the log has
// none of that number). A buffer too small for the next record fails with
// ERROR_INSUFFICIENT_BUFFER and *needed set to its size; past the last
// record the call fails with ERROR_HANDLE_EOF. A log cleared since the
// last read fails once with ERROR_EVENTLOG_FILE_CHANGED and is read from its
// start again. Bad flags, more than NT_EVENT_MAX_RECORD_SIZE bytes asked or
// null pointers: ERROR_INVALID_PARAMETER.
BOOL ReadEventLogA(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
                   DWORD* needed);
BOOL ReadEventLogW(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
                   DWORD* needed);

BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count);
// 0 for an empty log.
BOOL GetOldestEventLogRecord(HANDLE log, DWORD* oldest);

// Writes the log (or the backup a handle reads) to a new .EVT file.
BOOL BackupEventLogA(HANDLE log, const char* file);
// Empties the log. With a backup file name, the log is first written to it
// and then exactly the records in the file are removed: an event written
// between the two stays in the log, never lost. When the backup fails,
// nothing is cleared. A handle on a backup file cannot be cleared
// (ERROR_INVALID_HANDLE).
BOOL ClearEventLogA(HANDLE log, const char* backup_file);

// ---- For the layer and the network's administration tool.

// OpenEventLog with a UTF-8 machine name and the access asked for (the
// network's administration reads offline machines too).
HANDLE nt_open_event_log(std::string_view machine, std::string_view log, NtMachineAccess access);

// ClearEventLogA with a backup file, telling which part failed: true in
// *backup_written when the backup was written (on failure: the clear
// itself failed).
BOOL nt_backup_and_clear_event_log(HANDLE log, const char* file, bool* backup_written);

// What a read handle reads: its machine (empty name for a backup file) and
// canonical log name (empty for a backup file).
bool nt_event_log_origin(HANDLE log, std::string* machine, std::string* log_name);
