// The client's command line after parsing: what the job commands and the
// server commands read. client_options.cc fills it from the parser's
// tables; every text holds at most 255 characters.
#pragma once

#include <string>

#include "lib/arg_spec.h"
#include "platform/win32_types.h"

struct ZebClientArgs {
  std::string command;  // the command word as typed ("sho", "Start" ...)
  std::string target;   // the main argument; empty when absent

  // Global options.
  bool yes = false;      // /y
  bool verbose = false;  // /v
  bool ansi = false;     // /a

  // Text options; each with a flag saying that it was given.
  bool path_given = false;  // /c: target path (server) or command line (job)
  std::string path;
  bool out_dir_given = false;  // /T
  std::string out_dir;
  bool logging_given = false;  // /l: a range text
  std::string logging;
  bool account_given = false;  // /u: service or job account
  std::string account;
  bool password_given = false;  // /p
  std::string password;
  bool delete_given = false;  // /d: index of the account to delete (user)
  std::string delete_index;

  // 0|1 options: -1 when not given.
  int autostart = -1;    // /A
  int interactive = -1;  // /I
  int debug = -1;        // /G

  // Job options.
  bool next_run_given = false;  // /t
  FILETIME next_run{};
  bool interval_given = false;  // /i<m|h|d>[n]: the letter as typed and n
  char interval_unit = 0;
  long interval_count = 1;
  bool hours_given = false;  // /H, /W, /D: range texts
  std::string hours;
  bool weekdays_given = false;
  std::string weekdays;
  bool days_given = false;
  std::string days;
  bool new_name_given = false;  // /N
  std::string new_name;

  // The parser's criteria table: pass it to match_criteria with an object
  // table whose letters are the criteria letters of the kind of command.
  const ArgSpec* criteria = nullptr;

  // Formats given on the command line (~F, ~S, ~T); empty when absent.
  std::string item_format;
  std::string server_format;
  std::string totals_format;
};
