// The output format engine and the criteria match.
#pragma once

#include "lib/arg_spec.h"

// Largest format text read from a file, and the output line tools use.
constexpr int FORMAT_FILE_MAX = 2047;
constexpr int OUTPUT_LINE_SIZE = 2048;
// Text values of objects are compared with criteria in at most this many
// bytes (terminator included).
constexpr int CRITERIA_TEXT_MAX = 1024;
// The upper bound a time criterion without one takes: both halves 0x0FFFFFFF.
constexpr uint64_t OPEN_UPPER_TIME = 0x0FFFFFFF0FFFFFFFull;

// Expands `format` (or the file it names, see read_text_or_file) against the
// placeholder table into `out`: at most `size` bytes, whole characters of
// the ANSI code page only, then a terminator (`out` holds size + 1 bytes).
// Placeholders: ~[-][.][!][0][width]letter; "~~" prints "~". Widths count
// characters and stop at 255. A negative size writes nothing. The user's
// locale is read once per expansion (NtUserLocaleHold): all numbers and
// times of one line follow the same LANG / LC_ALL.
void expand_format(const char* format, char* out, const ArgSpec* table, int size);

// The same for a format text that the caller has already resolved with
// read_text_or_file (read once for a run of many lines): `text` is expanded
// as it stands and never looked up as a file name.
void expand_format_text(const char* text, char* out, const ArgSpec* table, int size);

// True when `text` names a readable file (a name without a backslash is
// looked for in the running program's own directory); `out` (2,048 bytes)
// then holds up to 2,047 bytes of it. Otherwise `out` gets a copy of text.
bool read_text_or_file(const char* text, char* out);

// True when the object passes every criterion that applies to it. A time
// criterion without an upper bound gets OPEN_UPPER_TIME written into it.
bool match_criteria(const ArgSpec* object_table, const ArgSpec* criteria_table);

// Converts a line in place from the ANSI to the OEM code page; `size` is the
// size of the buffer, which the converted line never overruns.
void to_oem(char* line, int size = OUTPUT_LINE_SIZE);

// Expands, converts unless `ansi`, and prints one line with a newline to
// standard output. An empty format prints nothing. Lines are expanded into
// OUTPUT_LINE_SIZE bytes.
void print_formatted(const char* format, const ArgSpec* table, bool ansi);
// print_formatted for a resolved format text (see expand_format_text).
void print_formatted_text(const char* text, const ArgSpec* table, bool ansi);
