#include "vexa32/settings.h"

#include <gtest/gtest.h>

#include "vexa32/command_list.h"
#include "vexa32/vexa32_test_env.h"

namespace {

TEST(VexaIniPath, ExtensionReplacedOrAdded) {
  EXPECT_EQ(vexa_ini_path("C:\\WIN32APP\\VEXA32.EXE"), "C:\\WIN32APP\\VEXA32.INI");
  EXPECT_EQ(vexa_ini_path("/opt/agent/bin/Vexa32"), "/opt/agent/bin/Vexa32.INI");
  // A dot in a folder name is no extension of the program.
  EXPECT_EQ(vexa_ini_path("/opt/agent.d/Vexa32"), "/opt/agent.d/Vexa32.INI");
  EXPECT_EQ(vexa_ini_path("C:\\a.b\\v.1.exe"), "C:\\a.b\\v.1.INI");
  EXPECT_EQ(vexa_ini_path("Vexa32."), "Vexa32.INI");
}

TEST(VexaSettings, DefaultsAndValues) {
  VexaTestNetwork net;
  std::string ini = net.root() + "/a/Vexa32.INI";
  VexaTestNetwork::write(ini, "[Other]\nAsk=5\n");
  VexaSettings d = read_vexa_settings(ini);
  EXPECT_EQ(d.ask, 30);
  EXPECT_FALSE(d.copy_on_timeout);
  EXPECT_TRUE(d.allow_cancel);
  EXPECT_TRUE(d.hidden);
  EXPECT_FALSE(d.errors);
  EXPECT_EQ(d.lock, "");
  EXPECT_EQ(d.run, "");
  EXPECT_EQ(d.look_timer, 60);

  VexaTestNetwork::write(ini,
                         "[vexa]\nask=0\nCopyOnTimeout=7\nAllowCancel=0\nHidden=0\nErrors=-1\n"
                         "lock=\\\\SRV\\home\\x.lck\nrun = \\\\SRV\\home\\run.ini \nLookTimer=1\n");
  VexaSettings s = read_vexa_settings(ini);
  EXPECT_EQ(s.ask, 0);
  EXPECT_TRUE(s.copy_on_timeout);  // any nonzero value is on
  EXPECT_FALSE(s.allow_cancel);
  EXPECT_FALSE(s.hidden);
  EXPECT_TRUE(s.errors);
  EXPECT_EQ(s.lock, "\\\\SRV\\home\\x.lck");
  EXPECT_EQ(s.run, "\\\\SRV\\home\\run.ini");
  EXPECT_EQ(s.look_timer, 1);
  EXPECT_TRUE(vexa_ini_exists(ini));
  EXPECT_FALSE(vexa_ini_exists(net.root() + "/a/none.INI"));
  EXPECT_FALSE(vexa_ini_exists(net.root() + "/a"));
}

TEST(VexaSettings, KeyListsKeepWholeNamesOnly) {
  VexaTestNetwork net;
  std::string ini = net.root() + "/Vexa32.INI";
  // 40 keys of 99 characters: 4,000 bytes of names, more than 2,048.
  std::string text = "[Start]\n";
  for (int i = 0; i < 40; ++i) {
    char name[8];
    snprintf(name, sizeof name, "%02d", i);
    text += std::string(name) + std::string(97, 'x') + "=" + std::to_string(i % 16) + "\n";
  }
  VexaTestNetwork::write(ini, text);
  bool cut = false;
  std::vector<std::string> keys = read_key_list(ini, "Start", 2048, &cut);
  EXPECT_TRUE(cut);
  // 20 names of 100 bytes with the final terminator fit; the 21st would not.
  ASSERT_EQ(keys.size(), 20u);
  EXPECT_EQ(keys[19], "19" + std::string(97, 'x'));
  CommandList list = read_command_list(ini, "Start");
  ASSERT_EQ(list.size(), 20u);
  EXPECT_EQ(list[3].flags, 3u);
  EXPECT_EQ(list[19].flags, 3u);

  // A list that fits exactly is whole.
  VexaTestNetwork::write(ini, "[End]\nab=1\ncd=2\n");
  keys = read_key_list(ini, "End", 7, &cut);
  EXPECT_FALSE(cut);
  EXPECT_EQ(keys, (std::vector<std::string>{"ab", "cd"}));
  keys = read_key_list(ini, "End", 6, &cut);
  EXPECT_TRUE(cut);
  EXPECT_EQ(keys, (std::vector<std::string>{"ab"}));
  EXPECT_TRUE(read_key_list(ini, "Missing", 2048, &cut).empty());
  EXPECT_FALSE(cut);
}

}  // namespace
