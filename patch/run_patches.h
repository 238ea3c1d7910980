// One run of the patch runner over a patch directory: every patch file
// that the file pattern selects and that has not yet succeeded on this
// machine is checked against its conditions and the free space on C:, its
// steps are run, and the outcome goes into the history file. The console
// program runs it once; the window program once per patch it installs or
// removes, passing that patch's file name as the file pattern.
#pragma once

#include <string>

#include "patch/patch_file.h"
#include "platform/win32_types.h"

struct PatchRunSettings {
  std::string history_file;     // the history file (FIXAR.FXH)
  std::string patch_dir;        // the patch directory, possibly "\\server\share\dir"
  std::string file_pattern = PATCH_FILE_PATTERN;
  std::string drive = "Q:";     // drive for a network patch directory; empty: none
  WORD show_mode = PATCH_SHOW_MINIMIZED;
  DWORD time_limit = DEFAULT_TIME_LIMIT;     // seconds
  std::string errorlevels = DEFAULT_ERRORLEVELS;
  bool verbose = false;
  std::string conditions_file;  // empty: FIXAR.FXC in the patch directory
  // The window program goes on with the network path itself when the drive
  // cannot be connected (a WARNING line); the console program stops.
  bool window_program = false;
};

// Exit codes of a run besides the platform's error codes.
constexpr DWORD RUN_DONE = 0;
constexpr DWORD RUN_ONLY_PATCH_FAILED = 1;  // exactly one patch was pending and it failed
constexpr DWORD RUN_NOT_A_DIRECTORY = 87;

// Runs the patches; returns the exit code: 0 when the run ended normally
// (failures are recorded in the history file), 1 when exactly one patch was
// pending and it failed, 87 when the patch directory is no directory, or
// the platform's error code when the history file cannot be written, the
// patch directory cannot be found, the drive cannot be connected (console
// program) or the working directory cannot be entered.
//
// Relative paths (a patch directory, or a history or conditions file with a
// directory part) are made full before the run changes its directory, so
// that they name the same files throughout. A drive connected by the run is
// cancelled on every way out. When the conditions file has more sections
// than its 2,048-byte list holds, no patch runs (their conditions could not
// all be checked) and the run returns ERROR_MORE_DATA.
DWORD run_patches(const PatchRunSettings& settings);

// The same with the arguments of the console program.
DWORD run_patches(const char* history_file, const char* patch_dir, const char* file_pattern,
                  const char* drive, WORD show_mode, DWORD time_limit, const char* errorlevels,
                  bool verbose, const char* conditions_file);
