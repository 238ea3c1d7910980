// The history file (FIXAR.FXH): one entry per patch in section "Patches",
// and the probe entry that proves the file can be written.
//
// Every reader applies one rule: an entry whose first character is "*"
// means the patch is done; an absent entry, or one with any other first
// character, means it is pending. Readers read only the first 31
// characters of an entry.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32_types.h"

constexpr const char* HISTORY_FILE_NAME = "FIXAR.FXH";
constexpr const char* HISTORY_SECTION = "Patches";
constexpr const char* HISTORY_PROBE_SECTION = "Test";
constexpr const char* HISTORY_PROBE_KEY = "Write";
constexpr const char* HISTORY_PROBE_VALUE = "OK";
constexpr size_t HISTORY_ENTRY_READ_MAX = 31;

// Marks of the entries. The runner writes the first two with a time stamp,
// the window program the others as they stand.
constexpr const char* HISTORY_SUCCESS = "*SUCCESS:";
constexpr const char* HISTORY_FAILURE = "-FAILURE:";
constexpr const char* HISTORY_INSTALLED = "*INSTALLED";
constexpr const char* HISTORY_DEINSTALLED = "-DEINSTALLED";
constexpr const char* HISTORY_MARKED_DEINSTALLED = "-MARKED_DEINSTALLED";
constexpr const char* HISTORY_PENDING = "-";

// The first 31 characters of the entry of `patch` (a file name without
// directory; names ignore case); empty when there is none.
std::string read_history_entry(const char* history_file, const char* patch);

// True when the entry says the patch is done (first character "*").
bool history_entry_done(const std::string& entry);

// True when the history file records `patch` as done.
bool patch_done(const char* history_file, const char* patch);

// Writes `entry` as the entry of `patch`, replacing the one before. False
// with the platform's error as the last error when the file cannot be
// written.
bool write_history_entry(const char* history_file, const char* patch, const char* entry);

// Writes Write=OK into section Test; false with the last error set.
bool write_history_probe(const char* history_file);

// The mark and time stamp of an outcome entry: "*SUCCESS:" or "-FAILURE:",
// a blank, day.month.year, a blank, hour:minute:second.millisecond and one
// more blank ("-FAILURE: 06.12.2026 13:45:01.123 ").
std::string history_stamp(bool success, const SYSTEMTIME& time);

// The entry the runner writes for an outcome now (local time): the stamp,
// then on failure the failure message (at most 255 characters, longer ones
// are cut).
std::string history_outcome_entry(bool success, const char* failure_message);
std::string history_outcome_entry(bool success, const char* failure_message,
                                  const SYSTEMTIME& time);

// The default history file: "FIXAR.FXH" in the directory named by
// SYSTEMROOT. False when SYSTEMROOT is undefined, empty or longer than
// MAX_PATH - 1 characters (the last error then says why).
bool default_history_file(std::string* out);
