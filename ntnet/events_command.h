// ntnet events: prints the events of a machine's log or of a backup file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// `args` are the arguments after "events": MACHINE [LOG] (LOG defaults to
// Application; unknown names are the Application log, as on NT), or
// --file F.EVT (also --file=F.EVT) for a backup file. Offline machines are
// read too. Exit codes as ntnet's: 0 done, 1 the log could not be read, 2 a
// bad command line.
//
// Output: a first line naming what is read and how many events it holds,
//   Events of \\MACHINE Application: 2
//   Events of backup file F.EVT: 2
// then for each event, oldest first, a blank line and the block
//   Record:      1
//   Time:        2024-05-07 15:30:12
//   Type:        Warning
//   Source:      EvPost
//   Event ID:    2 (0xC0000002)
//   Category:    None
//   User:        LOCALPC\Administrator
//   Computer:    LOCALPC
//   Description:
//       first line of the message text
//       second line
// Time is the local time the event was generated. Event ID is the low 16
// bits in decimal, as the event viewer shows it, and the full identifier.
// Category is "None" for 0, else "(n)". User is DOMAIN\name when the SID
// maps on the machine (for a backup file: on the local machine), the SID's
// text when it does not, "N/A" when the event has none. The description is
// the message text (platform/eventlog/event_message.h; for a backup file
// with the local machine's sources), one line each, indented by four
// blanks, empty lines at its end left out. Text is UTF-8.
int ntnet_events_command(const std::vector<std::string>& args);
int ntnet_events_command(const std::vector<std::string>& args, FILE* out, FILE* err);
