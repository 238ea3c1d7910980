// Command lists: the keys of a section are command lines, their integer
// values flag words (show mode and pause bit); "Exit" ends the agent.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

constexpr UINT CMD_HIDDEN = 0x1;
constexpr UINT CMD_NORMAL = 0x2;
constexpr UINT CMD_MAXIMIZED = 0x4;
constexpr UINT CMD_PAUSE = 0x8;

// Size of the key list buffer of a command list section.
constexpr size_t COMMAND_KEYS_SIZE = 2048;
// Command lines are copied into a buffer of this many characters
// (terminator included).
constexpr size_t COMMAND_LINE_SIZE = 256;

struct CommandEntry {
  std::string line;  // the key as written
  UINT flags = 0;    // its integer value
};

using CommandList = std::vector<CommandEntry>;

// The keys of `section` with their flag words, in file order (2,048 bytes
// of key names; a name cut by that limit is left out).
CommandList read_command_list(const std::string& ini, const char* section);

// The show mode of a flag word: bit 0 hidden; else bit 1 normal; else bit 2
// maximised; else minimised.
UINT show_mode_for(UINT flags);

// True for the key "Exit" in any case.
bool is_exit_entry(const std::string& line);

// The command line as it is started: cut to 255 bytes (never inside a UTF-8
// character), then %NAME% replaced by the variable's value (nothing when it
// is not set), "%%" by "%"; a "%" without a closing one stays with the rest
// of the text. When the result would reach 256 characters the cut line is
// returned unexpanded.
std::string expand_command_line(const std::string& line);
