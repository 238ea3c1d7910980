// An event's description as the event viewer shows it.
//
// The source's key under SYSTEM\CurrentControlSet\Services\EventLog\<log>
// in the machine's registry names its message files in "EventMessageFile"
// (REG_EXPAND_SZ, environment references expanded; several files separated
// by ';' are tried in order). The message of the event's full identifier is
// taken from the first file that has it (LoadLibraryEx as a data file,
// FormatMessage from that module with the insertion strings as an argument
// array); a reference to an insertion string the event lacks stays as
// written ("%3"). When no file has the message (or the source is not
// registered), the text is
//   The description for Event ID ( <id> ) in Source ( <source> ) could not
//   be found. It contains the following insertion string(s): <s1>, <s2>.
// with the identifier's low 16 bits in decimal.
#pragma once

#include <string>

#include "platform/eventlog/event_record.h"
#include "platform/network/network.h"
#include "platform/win32_types.h"

// The description (UTF-8) of `record`, an event of `log` kept on `machine`,
// with the message files that machine's registry names; an empty `log`
// (an event read from a backup file) takes the source's key under the
// first of Application, System and Security that has one. Lines end in
// "\r\n" where the message has line breaks.
std::string nt_event_description(const NtMachineRef& machine, const std::string& log,
                                 const NtEventRecord& record);

// The event viewer's names of the types ("Error", "Warning", "Information",
// "Success Audit", "Failure Audit", "Success") and of unknown ones
// ("Type <n>").
std::string nt_event_type_name(WORD type);
