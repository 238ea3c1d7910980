#include "patch/patch_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "patch/failure_text.h"
#include "patch/patch_test_env.h"
#include "patch/profile_lists.h"

namespace {

using PatchFileTest = PatchTest;

TEST_F(PatchFileTest, ShowModesCountByTheirFirstTwoLetters) {
  WORD mode = 99;
  EXPECT_TRUE(show_mode_lookup("Hide", &mode));
  EXPECT_EQ(mode, PATCH_SHOW_HIDE);
  EXPECT_TRUE(show_mode_lookup("maXimal", &mode));
  EXPECT_EQ(mode, PATCH_SHOW_MAXIMIZED);
  mode = 99;
  EXPECT_FALSE(show_mode_lookup("M", &mode));
  EXPECT_FALSE(show_mode_lookup(" HIDE", &mode));
  EXPECT_FALSE(show_mode_lookup(nullptr, &mode));
  EXPECT_EQ(mode, 99);

  EXPECT_EQ(show_mode_from_text("HI"), PATCH_SHOW_HIDE);
  EXPECT_EQ(show_mode_from_text("norm"), PATCH_SHOW_NORMAL);
  EXPECT_EQ(show_mode_from_text("MIN"), PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(show_mode_from_text("MAX"), PATCH_SHOW_MAXIMIZED);
  EXPECT_EQ(show_mode_from_text("bogus"), PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(show_mode_from_text(""), PATCH_SHOW_MINIMIZED);
}

TEST_F(PatchFileTest, StepKeysAndTheirDefaults) {
  std::string file = write("OFFICE1.FXA",
                           "[Office 97]\r\nSize=1200\r\nName=Office\r\n"
                           "[Setup]\r\nCommand=setup.exe /q\r\nTimelimit=0\r\nDebug=0\r\n"
                           "Errorlevel=0,3:5\r\nShowMode=Hide\r\n"
                           "[Tracked]\r\nCommand=a.exe\r\nDebug=no\r\nShowMode=HI\r\n"
                           "[Odd]\r\nCommand=b.exe\r\nShowMode=sideways\r\nTimelimit=12ab\r\n"
                           "[Empty]\r\nCommand=\r\nDebug=\r\nErrorlevel=\r\nShowMode=\r\n"
                           "Timelimit=\r\n");
  const char* f = file.c_str();
  StepDefaults defaults;
  defaults.time_limit = 300;
  defaults.errorlevels = "-2000000000:2000000000";
  defaults.show_mode = PATCH_SHOW_MINIMIZED;

  // The first section holds meta keys but no Command.
  PatchStep first = read_patch_step(f, "Office 97", defaults, PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(first.section, "Office 97");
  EXPECT_EQ(first.command, "");
  EXPECT_EQ(first.time_limit, 300u);
  EXPECT_TRUE(first.track_tree);
  EXPECT_EQ(first.errorlevels, "-2000000000:2000000000");
  EXPECT_EQ(first.show_mode, PATCH_SHOW_MINIMIZED);

  PatchStep setup = read_patch_step(f, "Setup", defaults, PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(setup.command, "setup.exe /q");
  EXPECT_FALSE(setup.command_cut);
  EXPECT_EQ(setup.time_limit, 0u);
  EXPECT_FALSE(setup.track_tree);
  EXPECT_EQ(setup.errorlevels, "0,3:5");
  EXPECT_EQ(setup.show_mode, PATCH_SHOW_HIDE);

  PatchStep tracked = read_patch_step(f, "tracked", defaults, setup.show_mode);
  EXPECT_TRUE(tracked.track_tree);  // only a leading "0" turns tracking off
  EXPECT_EQ(tracked.show_mode, PATCH_SHOW_HIDE);

  // An unknown show mode keeps the one of the step before.
  EXPECT_EQ(read_patch_step(f, "Odd", defaults, PATCH_SHOW_MAXIMIZED).show_mode,
            PATCH_SHOW_MAXIMIZED);
  EXPECT_EQ(read_patch_step(f, "Odd", defaults, PATCH_SHOW_HIDE).show_mode, PATCH_SHOW_HIDE);
  EXPECT_EQ(read_patch_step(f, "Odd", defaults, PATCH_SHOW_HIDE).time_limit, 12u);

  // Empty values take the run's defaults.
  defaults.time_limit = 30;
  defaults.errorlevels = "0";
  defaults.show_mode = PATCH_SHOW_NORMAL;
  PatchStep empty = read_patch_step(f, "Empty", defaults, PATCH_SHOW_HIDE);
  EXPECT_EQ(empty.command, "");
  EXPECT_EQ(empty.time_limit, 30u);
  EXPECT_TRUE(empty.track_tree);
  EXPECT_EQ(empty.errorlevels, "0");
  EXPECT_EQ(empty.show_mode, PATCH_SHOW_NORMAL);
}

TEST_F(PatchFileTest, LongCommandsAreCutAndSaySo) {
  std::string c255 = "run " + std::string(251, 'c');
  std::string file = write("L.FXA", "[Fits]\r\nCommand=" + c255 + "\r\n[Long]\r\nCommand=" + c255 +
                                        "-more\r\n");
  PatchStep fits = read_patch_step(file.c_str(), "Fits", StepDefaults(), PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(fits.command, c255);
  EXPECT_FALSE(fits.command_cut);
  PatchStep cut = read_patch_step(file.c_str(), "Long", StepDefaults(), PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(cut.command, c255);
  EXPECT_TRUE(cut.command_cut);
}

TEST_F(PatchFileTest, MetaKeysOfTheFirstSection) {
  std::string file = write("OFFICE1.FXA",
                           "[Office]\r\nSize=1200\r\nName=Office 97\r\nDescription=The suite\r\n"
                           "Icon=C:\\icons\\office.ico\r\nIconIndex=3\r\n"
                           "MarkDeinstalled=A.FXA, B.FXA\r\nCommand=x\r\n");
  PatchMeta meta = read_patch_meta(file.c_str(), "Office", "OFFICE1.FXA");
  EXPECT_EQ(meta.name, "Office 97");
  EXPECT_EQ(meta.description, "The suite");
  EXPECT_EQ(meta.icon, "C:\\icons\\office.ico");
  EXPECT_EQ(meta.icon_index, 3);
  EXPECT_EQ(meta.mark_deinstalled, "A.FXA, B.FXA");
  EXPECT_EQ(meta.size_text, "1200");
  EXPECT_EQ(meta.size_kb, 1200u);
  EXPECT_EQ(read_patch_size_kb(file.c_str(), "Office"), 1200u);

  file = write("BARE.FXA", "[Step]\r\nCommand=x\r\nSize=" + std::string(40, '9') + "\r\n");
  meta = read_patch_meta(file.c_str(), "Step", "BARE.FXA");
  EXPECT_EQ(meta.name, "BARE.FXA");
  EXPECT_EQ(meta.description, "?");
  EXPECT_EQ(meta.icon, "");
  EXPECT_EQ(meta.icon_index, 0);
  EXPECT_EQ(meta.mark_deinstalled, "");
  EXPECT_EQ(meta.size_text, std::string(30, '9'));  // the window reads 30 characters
  EXPECT_EQ(meta.size_kb, UINT64_MAX);

  file = write("NOSIZE.FXA", "[Step]\r\nCommand=x\r\n");
  meta = read_patch_meta(file.c_str(), "Step", "NOSIZE.FXA");
  EXPECT_EQ(meta.size_text, "?");
  EXPECT_EQ(meta.size_kb, 0u);
  EXPECT_EQ(read_patch_size_kb(file.c_str(), "Step"), 0u);
}

TEST_F(PatchFileTest, SizeTextsAsNumbers) {
  EXPECT_EQ(parse_size_kb("1200"), 1200u);
  EXPECT_EQ(parse_size_kb("  +42kb"), 42u);
  EXPECT_EQ(parse_size_kb("?"), 0u);
  EXPECT_EQ(parse_size_kb("-5"), 0u);
  EXPECT_EQ(parse_size_kb(nullptr), 0u);
  EXPECT_EQ(parse_size_kb("18446744073709551614"), UINT64_MAX - 1);
  EXPECT_EQ(parse_size_kb("18446744073709551616"), UINT64_MAX);
}

TEST_F(PatchFileTest, NamesAndPaths) {
  EXPECT_EQ(split_patch_list(" A.FXA , ,B.FXA,"), (std::vector<std::string>{"A.FXA", "B.FXA"}));
  EXPECT_TRUE(split_patch_list(" , ").empty());
  EXPECT_TRUE(split_patch_list(nullptr).empty());
  EXPECT_EQ(deinstall_companion("OFFICE1.FXA"), "OFFICE1.FXA_DEINSTALL");
  EXPECT_EQ(join_patch_path("C:\\", "A.FXA"), "C:\\A.FXA");
  EXPECT_EQ(join_patch_path("", "A.FXA"), ".\\A.FXA");
  EXPECT_EQ(default_conditions_file("\\\\SRV\\SHARE"), "\\\\SRV\\SHARE\\FIXAR.FXC");
}

TEST_F(PatchFileTest, FailureTexts) {
  EXPECT_EQ(failure_space("BIG.FXA", 5000, 1234), "patch BIG.FXA requires 5000 KB, 1234 available on C:");
  EXPECT_EQ(failure_space("BIG.FXA", 5000, 5000000000ull),
            "patch BIG.FXA requires 5000 KB, 5000000000 available on C:");
  EXPECT_EQ(failure_command_missing("OFFICE1.FXA", "Office 97"),
            "patch OFFICE1.FXA, step Office 97: command missing");
  EXPECT_EQ(failure_cannot_execute("nosuch.exe /x", 2), "cannot execute 'nosuch.exe /x', error=2");
  EXPECT_EQ(failure_timeout(300, "A.FXA", "Setup"), "timeout (300 sec) for patch A.FXA, step Setup");
  EXPECT_EQ(failure_errorlevel(2, "OFFICE1.FXA", "Setup"),
            "errorlevel (2) mismatch for patch OFFICE1.FXA, step Setup");
  EXPECT_EQ(failure_errorlevel(0xFFFFFFFFu, "A.FXA", "S"), "errorlevel (-1) mismatch for patch A.FXA, step S");

  // Long names cut the text at 255 bytes, not inside a character.
  std::string step(300, 's');
  EXPECT_EQ(failure_timeout(5, "A.FXA", step.c_str()),
            ("timeout (5 sec) for patch A.FXA, step " + step).substr(0, 255));
  std::string wide;
  for (int i = 0; i < 150; ++i) wide += "\xC3\xA4";  // "ä" twice a byte
  std::string text = failure_command_missing("A.FXA", wide.c_str());
  // "patch A.FXA, step " is 18 bytes: 237 bytes remain, 118 whole characters.
  EXPECT_EQ(text.size(), 18u + 236u);
  EXPECT_EQ(text, "patch A.FXA, step " + wide.substr(0, 236));
}

}  // namespace
