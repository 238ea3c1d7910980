// Command words, recognised on their first three letters, case ignored.
#pragma once

enum CommandCode {
  CMD_ADD = 1,
  CMD_DEL = 2,
  CMD_SET = 3,
  CMD_PDE = 4,
  CMD_PAUSE = 10,
  CMD_RESUME = 11,
  CMD_START = 12,
  CMD_STOP = 13,
  CMD_CLEAN = 14,
  CMD_PURGE = 15,
  CMD_UPDATE = 16,
  CMD_SWITCH = 17,
  CMD_USER = 18,
  CMD_VERSION = 30,
  CMD_SPAWN = 50,
  CMD_IMPORT = 60,
  CMD_EXPORT = 61,
  CMD_COPY = 70,
  CMD_MIRROR = 72,
  CMD_SHOW = 100,
  CMD_PSH = 116,
  CMD_HELP = 901,
  CMD_INVALID = 902,
};

// The code of `word`; `fallback` for an absent or empty word. The exact,
// case-sensitive text "SpAwN" gives CMD_SPAWN.
int command_code(const char* word, int fallback);
