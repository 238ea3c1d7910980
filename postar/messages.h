// The mail sender's message lines.
//
// A text that already starts with "POSTAR-ERROR, " or "POSTAR-INFO, " is
// printed as it stands, once, as one line (errors on standard error, INFO
// lines on standard output). Any other text gets the error prefix:
//   report        "POSTAR-ERROR, %s\n"                 set-up, connection, dialogue
//   report_code   "POSTAR-ERROR, %s, error=%ld\n"     template steps, socket close;
//                                                       the number is GetLastError()
//   report_info   "POSTAR-INFO, %s\n" on standard output
#pragma once

void report(const char* text);
void report_code(const char* text);
void report_info(const char* text);

// printf-style forms of the three; the text is cut at 2,047 bytes.
void reportf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_codef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_infof(const char* format, ...) __attribute__((format(printf, 1, 2)));
