// The event log file (.EVT) that BackupEventLog writes and
// OpenBackupEventLog reads.
//
// Layout, little-endian:
//   header, 48 bytes: HeaderSize (0x30), Signature "LfLe", MajorVersion 1,
//     MinorVersion 1, StartOffset (the first record), EndOffset (the end
//     record), CurrentRecordNumber (the number the next event would get),
//     OldestRecordNumber (0 for an empty log), MaxSize, Flags (0: closed
//     cleanly), Retention (seconds), EndHeaderSize (0x30);
//   the records in the wide EVENTLOGRECORD form (event_record.h), oldest
//     first;
//   the end record, 40 bytes: 0x28, 0x11111111, 0x22222222, 0x33333333,
//     0x44444444, BeginRecord, EndRecord, CurrentRecordNumber,
//     OldestRecordNumber, 0x28.
// Backups are written in one piece, never wrapped; the reader takes such
// files (records from StartOffset up to the end record) and refuses any
// other as damaged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

constexpr DWORD ELF_LOGFILE_HEADER_SIZE = 0x30;
constexpr DWORD ELF_EOF_RECORD_SIZE = 0x28;
// Default size limit and retention of a log, as NT sets them up.
constexpr DWORD NT_EVENT_LOG_DEFAULT_MAX_SIZE = 0x80000;
constexpr DWORD NT_EVENT_LOG_DEFAULT_RETENTION = 604800;

// The file for `records` (wide layouts, oldest first); `next_record` is the
// number the log would give its next event.
std::string nt_evt_file_build(const std::vector<std::string>& records, DWORD next_record);

// The records of a file (each checked with nt_event_record_parse), oldest
// first. False for a damaged or foreign file.
bool nt_evt_file_parse(std::string_view file, std::vector<std::string>* records);
