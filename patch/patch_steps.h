// Running one patch: the free-space check, then its steps, one process each,
// in file order, until one fails.
#pragma once

#include <cstdint>
#include <string>

#include "patch/patch_file.h"
#include "patch/profile_lists.h"
#include "platform/win32_types.h"

// What every step of a run shares.
struct StepRun {
  std::string patch_dir;    // the patch directory as given (entered before each step)
  std::string working_dir;  // the current directory of the step processes
  StepDefaults defaults;    // the run's /t, /e and /s
  WORD show_mode = PATCH_SHOW_MINIMIZED;  // the show mode of the step before
  bool verbose = false;
};

// The outcome of a patch or a step.
struct PatchOutcome {
  bool failed = false;
  std::string failure;  // the failure message, at most 255 characters
};

// Runs step `step` of the patch whose file name is `patch_name`:
// starts its command and waits for it as the step asks (no wait, a simple
// wait, or process-tree tracking). Sets `outcome` on failure.
void run_patch_step(StepRun& run, const char* patch_name, const PatchStep& step,
                    PatchOutcome* outcome);

// The free space of drive C: in kilobytes, or false with the error.
bool free_space_kb_on_c(uint64_t* kb, DWORD* error);

// Runs patch `patch_name` whose file is `patch_file` and whose section list
// is `steps`: the free-space check (`Size` of the first section against the
// space available on C:), then the steps in order while none has failed.
PatchOutcome run_patch(StepRun& run, const char* patch_file, const char* patch_name,
                       const SectionList& steps);

// The window title of a step's process: "FIXAR[<patch>]<step>".
std::string step_window_title(const char* patch_name, const char* step_name);
