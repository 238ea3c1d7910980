// The commands of the share tool, run per server by the target loops: show,
// add, set and stop (del), with their questions, lines and counters, and
// the lines that end a run.
#pragma once

#include "lib/arg_spec.h"
#include "portel/share_view.h"
#include "platform/win32_types.h"

// Longest ~S and ~T line, in characters.
constexpr int PORTEL_SUMMARY_LINE_MAX = 80;

struct PortelRun {
  // Set by the tool before the loops run.
  int command = 0;               // CMD_SHOW, CMD_ADD, CMD_SET, CMD_DEL or CMD_STOP
  const char* pattern = "";      // share name pattern
  int32_t level = SHOW_DISK_SHARES;  // /h
  ShareSettings settings;        // /N /c /p /M
  const char* grants = "";       // /g
  bool ansi = false;             // /A
  const char* share_format = ""; // ~F
  const char* ace_format = "";   // ~g
  const char* server_format = "";// ~S
  const char* totals_format = "";// ~T
  const ArgSpec* criteria = nullptr;

  // Counted by the commands.
  long servers = 0;   // servers visited
  long handled = 0;   // shares shown, stopped or added
  long modified = 0;  // shares changed by set, or by add on an existing share
};

// The work for one server: counts it and runs the command over its shares
// that match the pattern; show then prints the ~S line. `context` is the
// PortelRun.
DWORD portel_server(const WCHAR* domain, const WCHAR* server, void* context);

// Prints the lines that end the run of the command.
void finish_run(const PortelRun& run);

// Expands `format` against `table` into at most PORTEL_SUMMARY_LINE_MAX
// characters and prints it with a newline, without OEM conversion. An empty
// format prints nothing.
void print_summary_line(const char* format, const ArgSpec* table);
