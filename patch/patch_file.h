// Patch files (*.FXA): each section is one step, in file order; the first
// section also carries the patch's meta information. A patch is known by
// its file name without directory, compared without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_types.h"

constexpr const char* PATCH_FILE_PATTERN = "*.FXA";
constexpr const char* CONDITIONS_FILE_NAME = "FIXAR.FXC";
constexpr const char* DEINSTALL_SUFFIX = "_DEINSTALL";
constexpr const char* DEFAULT_ERRORLEVELS = "-2000000000:2000000000";
constexpr DWORD DEFAULT_TIME_LIMIT = 300;
constexpr const char* DEFAULT_SHOW_MODE = "MIN";
// The window program reads `Size` up to this many characters.
constexpr size_t WINDOW_SIZE_TEXT_MAX = 30;

// Show commands of a step's window (the values of SW_HIDE, SW_SHOWNORMAL,
// SW_SHOWMAXIMIZED and SW_MINIMIZE).
constexpr WORD PATCH_SHOW_HIDE = 0;
constexpr WORD PATCH_SHOW_NORMAL = 1;
constexpr WORD PATCH_SHOW_MAXIMIZED = 3;
constexpr WORD PATCH_SHOW_MINIMIZED = 6;

// The show command a text names by its first two letters, case ignored:
// "HI" hidden, "NO" normal, "MI" minimized, "MA" maximized (so HIDE, NORM,
// MIN, MAX). False for any other text.
bool show_mode_lookup(const char* text, WORD* out);

// The show mode of a run (options /s): as show_mode_lookup, anything else
// minimized.
WORD show_mode_from_text(const char* text);

// What a step takes from the run when it leaves a key out.
struct StepDefaults {
  DWORD time_limit = DEFAULT_TIME_LIMIT;        // option /t
  std::string errorlevels = DEFAULT_ERRORLEVELS;  // option /e
  WORD show_mode = PATCH_SHOW_MINIMIZED;        // option /s
};

// One step, its keys read with their defaults.
struct PatchStep {
  std::string section;
  std::string command;       // empty: the step fails with "command missing"
  bool command_cut = false;  // `Command` was longer than 255 characters and was cut
  DWORD time_limit = 0;      // seconds; 0: start the process and do not wait
  bool track_tree = true;    // `Debug` not beginning with "0"
  std::string errorlevels;   // accepted exit codes (range text)
  WORD show_mode = PATCH_SHOW_MINIMIZED;
};

// Reads the step `section` of `patch_file`. An empty `ShowMode` takes the
// run's show mode; a value naming none of the four modes keeps
// `previous_show_mode`, the show mode of the step before (the run's own
// for the first step of a run).
PatchStep read_patch_step(const char* patch_file, const char* section,
                          const StepDefaults& defaults, WORD previous_show_mode);

// The meta information of a patch, from its first section.
struct PatchMeta {
  std::string name;              // `Name`, default the patch file name
  std::string description;       // `Description`, default "?"
  std::string icon;              // `Icon`
  int icon_index = 0;            // `IconIndex`, default 0
  std::string mark_deinstalled;  // `MarkDeinstalled`
  std::string size_text;         // `Size` as the window shows it (30 characters), default "?"
  uint64_t size_kb = 0;          // `Size` as a number, 0 when absent
};

PatchMeta read_patch_meta(const char* patch_file, const char* first_section,
                          const char* file_name);

// The space a patch needs, in kilobytes, from `Size` of its first section;
// 0 (no check) when absent or not a number.
uint64_t read_patch_size_kb(const char* patch_file, const char* first_section);

// A size text as a number: leading blanks, an optional "+", then decimal
// digits up to the first other character. No digit gives 0; values past
// 64 bits saturate.
uint64_t parse_size_kb(const char* text);

// The names of a `MarkDeinstalled` list: separated by commas, blanks
// around a name dropped, empty names left out.
std::vector<std::string> split_patch_list(const char* text);

// The deinstall companion of a patch: its name followed by "_DEINSTALL".
std::string deinstall_companion(const char* patch);

// `dir`, a backslash unless it ends with one (or "/"), and `name`. An empty
// directory is the current one (".\").
std::string join_patch_path(const std::string& dir, const char* name);

// The default conditions file: FIXAR.FXC in the patch directory.
std::string default_conditions_file(const std::string& patch_dir);
