#include "lib/command_code.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandCode, EveryWordOnItsFirstThreeLetters) {
  struct Case {
    const char* word;
    int code;
  } cases[] = {
      {"add", CMD_ADD},       {"DELETE", CMD_DEL},    {"set", CMD_SET},     {"start", CMD_START},
      {"STATUS", CMD_START},  {"stop", CMD_STOP},     {"sho", CMD_SHOW},    {"show", CMD_SHOW},
      {"shows", CMD_SHOW},    {"pause", CMD_PAUSE},   {"resume", CMD_RESUME},
      {"psh", CMD_PSH},       {"pde", CMD_PDE},       {"switch", CMD_SWITCH},
      {"update", CMD_UPDATE}, {"user", CMD_USER},     {"clean", CMD_CLEAN}, {"purge", CMD_PURGE},
      {"ver", CMD_VERSION},   {"VERSION", CMD_VERSION}, {"import", CMD_IMPORT},
      {"export", CMD_EXPORT}, {"help", CMD_HELP},     {"copy", CMD_COPY},   {"MIRROR", CMD_MIRROR},
      {"sTaRt", CMD_START},   {"SpAwN", CMD_SPAWN},
  };
  for (const Case& c : cases) EXPECT_EQ(command_code(c.word, 901), c.code) << c.word;
  EXPECT_EQ(CMD_HELP, 901);
  EXPECT_EQ(CMD_INVALID, 902);
  EXPECT_EQ(CMD_SPAWN, 50);
}

TEST(CommandCode, ShortUnknownAndEmptyWords) {
  EXPECT_EQ(command_code("st", 901), CMD_INVALID);  // fewer than three letters
  EXPECT_EQ(command_code("s", 901), CMD_INVALID);
  EXPECT_EQ(command_code("xyz", 901), CMD_INVALID);
  EXPECT_EQ(command_code("ad d", 901), CMD_INVALID);
  EXPECT_EQ(command_code(" add", 901), CMD_INVALID);
  EXPECT_EQ(command_code("", 901), 901);
  EXPECT_EQ(command_code(nullptr, 901), 901);
  EXPECT_EQ(command_code("", 7), 7);
  // "SpAwN" only as exactly written.
  EXPECT_EQ(command_code("spawn", 901), CMD_INVALID);
  EXPECT_EQ(command_code("SPAWN", 901), CMD_INVALID);
  EXPECT_EQ(command_code("SpAwNx", 901), CMD_INVALID);
  EXPECT_EQ(command_code("SpAw", 901), CMD_INVALID);
  // Bytes above ASCII are not folded into letters.
  EXPECT_EQ(command_code("\xC1" "DD", 901), CMD_INVALID);
}

}  // namespace
