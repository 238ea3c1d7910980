#include "vexa32/command_list.h"

#include <gtest/gtest.h>

#include "platform/kernel/environment.h"
#include "platform/process/process.h"
#include "platform/user/message_box.h"
#include "vexa32/list_runner.h"
#include "vexa32/vexa32_test_env.h"

namespace {

TEST(CommandList, ShowModesOfFlagWords) {
  EXPECT_EQ(show_mode_for(0), SW_SHOWMINIMIZED);
  EXPECT_EQ(show_mode_for(1), SW_HIDE);
  EXPECT_EQ(show_mode_for(3), SW_HIDE);
  EXPECT_EQ(show_mode_for(7), SW_HIDE);
  EXPECT_EQ(show_mode_for(2), SW_SHOWNORMAL);
  EXPECT_EQ(show_mode_for(6), SW_SHOWNORMAL);
  EXPECT_EQ(show_mode_for(4), SW_SHOWMAXIMIZED);
  EXPECT_EQ(show_mode_for(8), SW_SHOWMINIMIZED);
  EXPECT_EQ(show_mode_for(12), SW_SHOWMAXIMIZED);
  EXPECT_TRUE(is_exit_entry("Exit"));
  EXPECT_TRUE(is_exit_entry("EXIT"));
  EXPECT_FALSE(is_exit_entry("Exit "));
  EXPECT_FALSE(is_exit_entry("exit.exe"));
}

TEST(CommandList, EnvironmentExpansion) {
  NlsEnv env;
  env.set("VX_ONE", "first").set("VX_NONE", nullptr).set("VX_LONG", std::string(200, 'L').c_str());
  EXPECT_EQ(expand_command_line("run %VX_ONE% now"), "run first now");
  EXPECT_EQ(expand_command_line("a%VX_NONE%b"), "ab");
  EXPECT_EQ(expand_command_line("100%% sure"), "100% sure");
  // A single "%" stays, with the rest of the text as written.
  EXPECT_EQ(expand_command_line("%"), "%");
  // Percent signs pair from the left: "% %" names a variable " " (unset).
  EXPECT_EQ(expand_command_line("cmd 50% %VX_ONE%"), "cmd 50VX_ONE%");
  EXPECT_EQ(expand_command_line("%VX_ONE% and % %VX_ONE"), "first and VX_ONE");
  EXPECT_EQ(expand_command_line("%VX_ONE% 10%"), "first 10%");
  // Reaching 256 characters keeps the line unexpanded.
  std::string base(50, 'c');
  EXPECT_EQ(expand_command_line(base + "%VX_LONG%"), base + std::string(200, 'L'));
  std::string longer(56, 'c');  // 56 + 200 = 256
  EXPECT_EQ(expand_command_line(longer + "%VX_LONG%"), longer + "%VX_LONG%");
  EXPECT_EQ(expand_command_line(std::string(55, 'c') + "%VX_LONG%").size(), 255u);
  // The line itself is cut to 255 bytes, never inside a character.
  EXPECT_EQ(expand_command_line(std::string(300, 'x')), std::string(255, 'x'));
  std::string utf8 = std::string(254, 'x') + "\xC3\xA9" + "tail";
  EXPECT_EQ(expand_command_line(utf8), std::string(254, 'x'));
}

TEST(ListRunner, PausesExitsAndReportsStartFailures) {
  VexaTestNetwork net;
  std::vector<std::pair<std::string, UINT>> started;
  std::vector<bool> exits;
  UINT result = 33;
  ListRunner runner(ListRunner::Hooks{
      [&](const char* line, UINT show) {
        started.emplace_back(line, show);
        return result;
      },
      [&](bool run_end) { exits.push_back(run_end); }});

  CommandList list = {{"one", 1}, {"two", 8 | 2}, {"three", 4}, {"four", 8}, {"five", 0}};
  runner.run(list, ListKind::start);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[1], (std::pair<std::string, UINT>{"two", SW_SHOWNORMAL}));
  EXPECT_EQ(runner.state(), RUN_PAUSED_LIST);
  runner.resume();
  EXPECT_EQ(started.size(), 4u);
  EXPECT_EQ(runner.state(), RUN_PAUSED_LIST);
  runner.resume();
  EXPECT_EQ(started.size(), 5u);
  EXPECT_EQ(runner.state(), RUN_IDLE);
  runner.resume();  // nothing left
  EXPECT_EQ(started.size(), 5u);

  // The run file's list pauses in its own state; the End list never pauses.
  started.clear();
  runner.run({{"a", 8}, {"b", 0}}, ListKind::run_file);
  EXPECT_EQ(runner.state(), RUN_PAUSED_RUN_FILE);
  EXPECT_EQ(started.size(), 1u);
  runner.run({{"x", 8}, {"y", 8}}, ListKind::end);
  EXPECT_EQ(runner.state(), RUN_IDLE);
  EXPECT_EQ(started.size(), 3u);

  // Exit ends the list; its value decides about the End list.
  started.clear();
  runner.run({{"a", 0}, {"EXIT", 1}, {"b", 0}}, ListKind::run_file);
  EXPECT_EQ(started.size(), 1u);
  EXPECT_EQ(exits, std::vector<bool>{true});
  EXPECT_TRUE(runner.exited());
  runner.run({{"exit", 0}}, ListKind::start);
  EXPECT_EQ(exits, (std::vector<bool>{true, false}));

  // A start that fails is reported with its result and the line started.
  result = 2;
  runner.run({{"missing.exe %%", 1}}, ListKind::start);
  std::vector<std::string> boxes = net.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Vexa32 V2.2|WinExec Error 2\\nmissing.exe %|10");
}

}  // namespace
