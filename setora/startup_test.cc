#include "setora/startup.h"

#include <gtest/gtest.h>

#include "patch/patch_file.h"
#include "setora/setora_test_env.h"

namespace {

using StartupTest = SetoraTest;

TEST_F(StartupTest, DefaultsAndOptions) {
  StartResult r = setora_start("Setora", "C:\\PATCHES");
  EXPECT_EQ(r.action, START_WINDOW);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.settings.run.patch_dir, "C:\\PATCHES");
  EXPECT_EQ(r.settings.run.history_file, "C:\\WINNT\\FIXAR.FXH");
  EXPECT_EQ(r.settings.run.conditions_file, "");
  EXPECT_EQ(r.settings.pattern, "*.FXA");
  EXPECT_EQ(r.settings.run.drive, "Q:");
  EXPECT_EQ(r.settings.run.show_mode, PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(r.settings.run.time_limit, 300u);
  EXPECT_EQ(r.settings.run.errorlevels, "-2000000000:2000000000");
  EXPECT_FALSE(r.settings.run.verbose);
  EXPECT_TRUE(r.settings.run.window_program);

  r = setora_start(
      "Setora /p\\\\SRV1\\share\\p /f*.PAT /hC:\\h.fxh /cC:\\c.fxc /DR: /sHIDE /t20 /e0,3:5 /v",
      "C:\\PATCHES");
  EXPECT_EQ(r.action, START_WINDOW);
  EXPECT_EQ(r.settings.run.patch_dir, "\\\\SRV1\\share\\p");
  EXPECT_EQ(r.settings.pattern, "*.PAT");
  EXPECT_EQ(r.settings.run.history_file, "C:\\h.fxh");
  EXPECT_EQ(r.settings.run.conditions_file, "C:\\c.fxc");
  EXPECT_EQ(r.settings.run.drive, "R:");
  EXPECT_EQ(r.settings.run.show_mode, PATCH_SHOW_HIDE);
  EXPECT_EQ(r.settings.run.time_limit, 20u);
  EXPECT_EQ(r.settings.run.errorlevels, "0,3:5");
  EXPECT_TRUE(r.settings.run.verbose);

  // Unknown show modes minimize, as the runner does; VER in any case.
  r = setora_start("Setora /sFOO", "C:\\P");
  EXPECT_EQ(r.settings.run.show_mode, PATCH_SHOW_MINIMIZED);
  EXPECT_EQ(setora_start("Setora vEr", "C:\\P").action, START_ABOUT);
  EXPECT_EQ(setora_start("Setora version", "C:\\P").action, START_ABOUT);
  EXPECT_EQ(setora_start("Setora other", "C:\\P").action, START_WINDOW);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(StartupTest, ErrorsEndTheStartWithABox) {
  net_.env().set("SYSTEMROOT", nullptr);
  StartResult r = setora_start("Setora /?", "C:\\P");
  EXPECT_EQ(r.action, START_END);
  EXPECT_EQ(r.exit_code, 87);
  // The system root comes first: no quick info.
  EXPECT_EQ(boxes(), std::vector<std::string>{
                         "SETORA error|FIXAR-ERROR, cannot get %SYSTEMROOT%\\n|10"});

  net_.env().set("SYSTEMROOT", "C:\\WINNT");
  testing::internal::CaptureStderr();
  r = setora_start("Setora /v /x", "C:\\P");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(r.action, START_END);
  EXPECT_EQ(r.exit_code, 87);
  EXPECT_EQ(boxes(), std::vector<std::string>{"SETORA error|Error in argument 2\\n|10"});

  // A parse error comes before the quick info.
  testing::internal::CaptureStderr();
  r = setora_start("Setora /? /tabc", "C:\\P");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(r.action, START_END);
  EXPECT_EQ(boxes(), std::vector<std::string>{"SETORA error|Error in argument 2\\n|10"});
}

TEST_F(StartupTest, LanguageOptionPicksTheQuickInfoText) {
  StartResult r = setora_start("Setora /ld /?", "C:\\P");
  EXPECT_EQ(r.action, START_END);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  std::vector<std::string> shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("Setora quick info|Aufruf: setora [ver] [/options]\\n\t/?\tdiese Hilfe", 0),
            0u);
  EXPECT_EQ(shown[0].substr(shown[0].size() - 3), "|40");

  r = setora_start("Setora /?", "C:\\P");  // no /l: the thread keeps its locale
  shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("Setora quick info|Aufruf:", 0), 0u);

  r = setora_start("Setora /?  /lE", "C:\\P");
  EXPECT_EQ(GetThreadLocale(), 0x0409u);
  shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0],
            "Setora quick info|usage: setora [ver] [/options]\\n"
            "\t/?\tthis help\\n"
            "\t/l<e\\|d>\tUI language english/german (default:SYSTEM DEFAULT)\\n"
            "\tOther options similar to FIXAR\\n"
            "\\n"
            "Searches patchdir for patch files to install.\\n"
            "If a file named .._DEINSTALL exists, patch can be deinstalled\\n"
            "Conditions are checked against <patchdir>\\\\FIXAR.FXC\\n"
            "Patch files should contain meta-info in first section\\n"
            "\tSize=...\t\tsize of patch in kilobytes\\n"
            "\tDescription=...\tverbose patch description\\n"
            "\tName=...\t\tverbose patch name\\n"
            "\tIcon=...\t\tname of icon file\\n"
            "\tIconIndex=...\tindex of icon in file|40");

  // Any letter but D is English; the choice holds for the window's texts.
  ASSERT_TRUE(SetThreadLocale(0x0407));
  EXPECT_EQ(setora_start("Setora /lx", "C:\\P").action, START_WINDOW);
  EXPECT_EQ(GetThreadLocale(), 0x0409u);
  EXPECT_EQ(setora_start("Setora /lDeutsch", "C:\\P").action, START_WINDOW);
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  EXPECT_TRUE(boxes().empty());
}

}  // namespace
