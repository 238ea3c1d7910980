// Start-up of the patch manager window, without any window: the system
// root, the command line, the show mode, the language and the quick-info
// text, in this order. Errors and the quick-info text are shown in message
// boxes (MessageBoxA); the About box and the main window are the caller's.
//
//   Setora [ver] [/p<patchdir>] [/f<pattern>] [/h<history>] [/c<conditions>]
//          [/l<e|d>] [/e<errorlevels>] [/t<seconds>] [/s<showmode>] [/D<drive>]
//          [/v] [/?]
#pragma once

#include <string>

#include "setora/patch_list.h"

enum StartAction {
  START_END,     // a box was shown; the program ends with the exit code
  START_ABOUT,   // the word VER: show the About box, then end
  START_WINDOW,  // open the main window with the settings
};

struct StartResult {
  StartAction action = START_END;
  int exit_code = 0;
  PatchListSettings settings;
};

// Runs the start-up on `command_line` (the program name first, as
// GetCommandLineA gives it). `own_dir` is the directory of the program's
// executable, the default patch directory.
//
//  1. SYSTEMROOT undefined: "FIXAR-ERROR, cannot get %SYSTEMROOT%" in a
//     box titled "SETORA error" with the error icon; exit code 87.
//  2. A parse error: "Error in argument <n>" in the same kind of box; 87.
//  3. The show mode /s becomes its number (as the runner takes it).
//  4. /l given: the thread locale becomes German (0x0407) when its text
//     begins with "D" or "d", else English (0x0409); a failure is shown
//     ("SetThreadLocale(<text>) failed, error=<n>") and the start goes on.
//  5. /?: string 61211 in a box titled "Setora quick info"; exit code 0.
//  6. The word VER (any case): START_ABOUT.
//  7. Otherwise START_WINDOW.
StartResult setora_start(const char* command_line, const std::string& own_dir);

constexpr const char* SETORA_QUICK_INFO_TITLE = "Setora quick info";
