#include "lib/command_code.h"

#include <cstring>

namespace {

struct CommandWord {
  const char* word;
  int code;
};

// Looked up in this order; only the first three characters count.
const CommandWord kWords[] = {
    {"ADD", CMD_ADD},     {"DEL", CMD_DEL},     {"SET", CMD_SET},       {"STA", CMD_START},
    {"STO", CMD_STOP},    {"SHO", CMD_SHOW},    {"PAU", CMD_PAUSE},     {"RES", CMD_RESUME},
    {"PSH", CMD_PSH},     {"PDE", CMD_PDE},     {"SWI", CMD_SWITCH},    {"UPD", CMD_UPDATE},
    {"USE", CMD_USER},    {"CLE", CMD_CLEAN},   {"PUR", CMD_PURGE},     {"VER", CMD_VERSION},
    {"IMP", CMD_IMPORT},  {"EXP", CMD_EXPORT},  {"HEL", CMD_HELP},      {"COP", CMD_COPY},
    {"MIR", CMD_MIRROR},
};

char upper_ascii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int command_code(const char* word, int fallback) {
  if (word == nullptr || *word == '\0') return fallback;
  if (strcmp(word, "SpAwN") == 0) return CMD_SPAWN;
  for (const CommandWord& w : kWords) {
    if (upper_ascii(word[0]) == w.word[0] && upper_ascii(word[1]) == w.word[1] &&
        word[1] != '\0' && upper_ascii(word[2]) == w.word[2] && word[2] != '\0') {
      return w.code;
    }
  }
  return CMD_INVALID;
}
