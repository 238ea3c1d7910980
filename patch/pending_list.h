// The pending list of a run: the patch files of the patch directory that
// the run's file pattern selects and that the history file does not record
// as done, in ascending name order without regard to case.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// At most this many names are taken in one run; later ones wait for the
// next run.
constexpr size_t PENDING_LIST_MAX = 512;
// A name is at most this many characters (NT's longest file name).
constexpr size_t PENDING_NAME_MAX = 255;

struct PendingList {
  std::vector<std::string> names;
  // The search found no entry at all (not even "." and "..").
  bool nothing_found = false;
  // More names qualified than the list holds.
  bool full = false;
};

// Lists `search_path` (the patch directory followed by "\*.*") in directory
// order and takes every entry that is no directory, whose name matches
// `file_pattern` (case ignored) and whose history entry in `history_file`
// does not begin with "*", until the list is full; then sorts the names.
PendingList collect_pending(const char* search_path, const char* file_pattern,
                            const char* history_file);

// Sorts names in ascending order without regard to case (the system's
// upper-casing); names that differ in case only keep a fixed order.
void sort_pending(std::vector<std::string>& names);

// Less-than of two patch names, case ignored.
bool pending_name_less(const std::string& a, const std::string& b);
