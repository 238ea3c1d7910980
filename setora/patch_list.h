// The patch list of the patch manager window, without any window: which
// patches of the patch directory are listed, their states, the marks the
// user sets and the carrying out of the marks with the patch runner.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patch/run_patches.h"

// At most this many patches are listed.
constexpr size_t PATCH_LIST_MAX = 128;

// State of a row; it is also the index of the row's state icon.
enum PatchState {
  PATCH_NOT_INSTALLED = 1,
  PATCH_INSTALLED_REMOVABLE = 2,
  PATCH_MARKED_REMOVE = 3,
  PATCH_MARKED_INSTALL = 4,
  PATCH_INSTALLED_FIXED = 5,  // installed, no deinstall companion
};

struct PatchRow {
  std::string file_name;     // patch file name, at most 255 characters
  std::string name;          // `Name`, default the file name
  std::string description;   // `Description`, default "?"
  std::string size_text;     // the size column: formatted number, or "?"
  uint64_t size_kb = 0;      // `Size` as a number, 0 when absent
  std::string removal_list;  // `MarkDeinstalled`, at most 255 characters
  bool removable = false;    // the "_DEINSTALL" companion exists
  std::string icon;          // `Icon`: file the row's icon comes from
  int icon_index = 0;        // `IconIndex`
  PatchState state = PATCH_NOT_INSTALLED;
};

// What the list runs patches with: the run settings of the command line
// (history file, patch directory, drive, show mode, time limit, accepted
// exit codes, verbose flag, conditions file) and the pattern that selects
// the listed files. The file pattern of `run` is replaced per patch.
struct PatchListSettings {
  PatchRunSettings run;
  std::string pattern = "*.FXA";
};

// Bytes on drive C: available to the caller; false when unknown.
using FreeSpaceQuery = std::function<bool(uint64_t* bytes)>;

// GetDiskFreeSpaceExA on "C:\".
bool free_space_on_c(uint64_t* bytes);

// Outcome of a click on a row.
enum ToggleResult {
  TOGGLE_CHANGED,    // the state changed; the status panes show new texts
  TOGGLE_NO_SPACE,   // state 1 stayed: the space did not suffice (box shown)
  TOGGLE_UNCHANGED,  // state 5, or no such row
};

class PatchList {
 public:
  explicit PatchList(PatchListSettings settings, FreeSpaceQuery free_space = free_space_on_c);

  // Reads the patch directory again: every file whose name matches the
  // pattern (case ignored) and whose conditions section (named exactly like
  // the file) is true, in directory order, at most PATCH_LIST_MAX. The
  // marks and counters start afresh.
  void fill();

  // A left click on row `index`: 1 -> 4 when the free space of C: in
  // kilobytes holds the sizes marked so far plus this one, else the box
  // "Not enough space left on disk"; 4 -> 1; 2 -> 3; 3 -> 2; 5 stays.
  ToggleResult toggle(size_t index);

  // Carries out the marks, row by row in list order, then fills the list
  // again. Failures are shown in message boxes.
  void apply();

  const std::vector<PatchRow>& rows() const { return rows_; }
  int install_count() const { return install_count_; }
  int remove_count() const { return remove_count_; }
  uint64_t install_kb() const { return install_kb_; }

  // Texts of the status panes 1 to 3: empty after a fill, the counters and
  // the kilobytes left after a toggle.
  const std::string& status_text(int pane) const;

  const PatchListSettings& settings() const { return settings_; }
  std::string conditions_file() const;

 private:
  // Reads one listed file into a row.
  PatchRow read_row(const std::string& file_name) const;
  bool remove(const PatchRow& row);
  bool install(const PatchRow& row);
  void update_status(uint64_t free_bytes);

  PatchListSettings settings_;
  FreeSpaceQuery free_space_;
  std::vector<PatchRow> rows_;
  int install_count_ = 0;
  int remove_count_ = 0;
  uint64_t install_kb_ = 0;
  std::string status_[4];
};

// Title and icon of the boxes the list shows.
constexpr const char* SETORA_ERROR_TITLE = "SETORA error";
