// The state of one kopex run: its options, criteria and formats as the
// parser stores them, the split specification, the target, the counters and
// the answers given for all. One instance lives for the run.
#pragma once

#include <cstdint>
#include <string>

#include "kopex/file_spec.h"
#include "lib/arg_spec.h"
#include "lib/format.h"
#include "platform/win32_types.h"

namespace kopex {

// Longest current path and target path of the walk.
constexpr size_t CURRENT_PATH_MAX = 512;
constexpr size_t TARGET_PATH_MAX = 256;

struct Options {
  char command[ARG_TEXT_SIZE];
  char spec[ARG_TEXT_SIZE];
  char target[ARG_TEXT_SIZE];
  int32_t verbose, help, recurse, yes, permissions, no_attributes, remove_dirs, cleanup, ansi;
  int32_t hidden_mode;
  int32_t newer_only;
  char owner[ARG_TEXT_SIZE];        // /o
  char file_grants[ARG_TEXT_SIZE];  // /g
  char dir_grants[ARG_TEXT_SIZE];   // /G
  char attributes[ARG_TEXT_SIZE];   // /a
  FILETIME set_write, set_creation, set_access;  // /M /C /L
};

struct Criteria {
  char owner[ARG_TEXT_SIZE];
  char size[ARG_TEXT_SIZE];
  char grants[ARG_TEXT_SIZE];
  FILETIME write_upper, creation_upper, access_upper;
  FILETIME write_lower, creation_lower, access_lower;
  char aces[ARG_TEXT_SIZE];
  char attributes[ARG_TEXT_SIZE];
};

// Format texts as given (~x) and as read (a text naming a file is read).
struct Formats {
  char file[ARG_TEXT_SIZE], ace[ARG_TEXT_SIZE], dir[ARG_TEXT_SIZE], root[ARG_TEXT_SIZE];
  char server[ARG_TEXT_SIZE], totals[ARG_TEXT_SIZE], owner[ARG_TEXT_SIZE];
  char file_default[ARG_TEXT_SIZE];
};
struct FormatTexts {
  char file[OUTPUT_LINE_SIZE], ace[OUTPUT_LINE_SIZE], dir[OUTPUT_LINE_SIZE];
  char root[OUTPUT_LINE_SIZE], server[OUTPUT_LINE_SIZE], totals[OUTPUT_LINE_SIZE];
  char owner[OUTPUT_LINE_SIZE];
};

struct Counters {
  long files = 0, subdirs = 0, roots = 0, servers = 0;
  long deleted = 0, copied = 0, replaced = 0, dirs_created = 0, dirs_removed = 0;
  long protections = 0, attributes = 0, taken = 0, skipped = 0, errors = 0;
  double bytes = 0, bytes_deleted = 0, bytes_copied = 0;
};

// Kinds of questions, each with its own answer for all.
enum class Ask { delete_file, remove_dir, remove_protection, create_dir, copy_file, replace_file };
constexpr int ASK_KINDS = 6;

struct RunState {
  Options options;
  Criteria criteria;
  Formats formats;
  FormatTexts texts;
  ArgSpec* option_table = nullptr;
  ArgSpec* criteria_table = nullptr;
  int command = 0;
  FileSpec spec;
  std::string target;  // full path with a trailing backslash
  bool need_owner = false, need_acl = false;
  // Creation times are read only when something shows or tests them (they
  // cost a second extended attribute read on files that keep one).
  bool need_creation = false;
  // The local last-access time of an entry is made only when something
  // shows or tests it (a time zone conversion per entry).
  bool need_access_time = true;
  // The stored attributes (R, H, S, A) likewise (attribute_reads in
  // compare.h): of listed entries, of existing target files, of source
  // directories whose targets get them.
  bool need_attributes = true;
  bool need_target_attributes = true;
  bool need_directory_attributes = true;
  bool owner_table = false;  // ~o or ~T given
  bool answered_all[ASK_KINDS] = {};
  Counters counters;
};

extern RunState g_run;

// Clears the state for a new run (tests run several in one process).
void reset_run_state();

bool option_given(char letter);
// True when the command copies into a target: cop, upd, mir.
bool copies();

}  // namespace kopex
