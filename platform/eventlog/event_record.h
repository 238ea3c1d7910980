// One event as ReadEventLog hands it out: the EVENTLOGRECORD layout.
//
// Byte-exact and little-endian, as the Win32 structure is documented:
//   0   Length               whole record, this field and the trailing copy
//   4   Reserved             signature "LfLe" (0x654C664C)
//   8   RecordNumber
//   12  TimeGenerated        seconds since 1970-01-01 UTC
//   16  TimeWritten          the same
//   20  EventID
//   24  EventType (WORD), 26 NumStrings (WORD), 28 EventCategory (WORD),
//   30  ReservedFlags (WORD, 0)
//   32  ClosingRecordNumber (0)
//   36  StringOffset, 40 UserSidLength, 44 UserSidOffset,
//   48  DataLength, 52 DataOffset
//   56  SourceName and Computername, each with its terminator; zero bytes
//       up to a multiple of four; the user's SID (UserSidOffset, also set
//       when there is none); the insertion strings, each with its terminator
//       (StringOffset); the raw data (DataOffset); zero bytes up to a
//       multiple of four; Length again.
// The wide form (ReadEventLogW and the .EVT file) holds UTF-16LE text, the
// ANSI form (ReadEventLogA) text of the ANSI code page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

struct EVENTLOGRECORD {
  DWORD Length;
  DWORD Reserved;
  DWORD RecordNumber;
  DWORD TimeGenerated;
  DWORD TimeWritten;
  DWORD EventID;
  WORD EventType;
  WORD NumStrings;
  WORD EventCategory;
  WORD ReservedFlags;
  DWORD ClosingRecordNumber;
  DWORD StringOffset;
  DWORD UserSidLength;
  DWORD UserSidOffset;
  DWORD DataLength;
  DWORD DataOffset;
};
static_assert(sizeof(EVENTLOGRECORD) == 56, "EVENTLOGRECORD is 56 bytes before its texts");

constexpr DWORD ELF_LOG_SIGNATURE = 0x654C664C;  // "LfLe"

// Event types.
constexpr WORD EVENTLOG_SUCCESS = 0x0000;
constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;
constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x0008;
constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x0010;

// The largest record the log takes and ReadEventLog hands out (its largest
// buffer), and the longest insertion string in characters.
constexpr DWORD NT_EVENT_MAX_RECORD_SIZE = 0x7FFFF;
constexpr size_t NT_EVENT_MAX_STRING_LENGTH = 31839;

// An event with its texts in UTF-16.
struct NtEventRecord {
  DWORD record_number = 0;
  DWORD time_generated = 0;
  DWORD time_written = 0;
  DWORD event_id = 0;
  WORD event_type = 0;
  WORD category = 0;
  std::u16string source;
  std::u16string computer;
  std::string sid;  // binary; empty for none
  std::vector<std::u16string> strings;
  std::string data;
};

// The record's bytes in the wide or the ANSI form.
std::string nt_event_record_layout(const NtEventRecord& record, bool ansi);

// Reads one record from the start of `bytes` (which may go on beyond it).
// False when the bytes are no well-formed record: wrong signature, lengths
// that disagree or leave the record, texts without terminator, a SID that
// is not valid. `*length` receives the record's length on success.
bool nt_event_record_parse(std::string_view bytes, bool ansi, NtEventRecord* record,
                           size_t* length);

// A valid type: one of the six above.
bool nt_event_type_valid(WORD type);
