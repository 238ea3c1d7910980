#include "setora/setora_text.h"

#include <gtest/gtest.h>

#include "setora/setora_ids.h"
#include "setora/setora_test_env.h"

namespace {

using SetoraTextTest = SetoraTest;

TEST_F(SetoraTextTest, StringsFollowTheThreadLocale) {
  struct Pair {
    UINT id;
    const char* english;
    const char* german;
  };
  const Pair pairs[] = {
      {IDS_INSTALL_COUNT, "install: %d", "installieren: %d"},
      {IDS_COLUMN_NAME, "Application name", "Programm-Name"},
      {IDS_COLUMN_DESCRIPTION, "Description", "Beschreibung"},
      {IDS_COLUMN_SIZE, "Size in Kilobytes", "Größe in Kilobyte"},
      {IDS_REMOVE_COUNT, "remove: %d", "löschen: %d"},
      {IDS_KB_LEFT, "KB left: %s", "KB übrig: %s"},
      {IDS_NO_SPACE, "Not enough space left on disk", "Nicht genug freier Speicherplatz"},
      {ID_APPLY, "Apply selected changes\nGO!", "Führt ausgewählte Installationen aus\nAusführen"},
      {IDS_MENU_APPLY, "&Apply", "&Ausführen"},
      {IDS_MENU_EXIT, "E&xit", "&Beenden"},
      {IDS_MENU_ABOUT, "&About Setora...", "Ü&ber Setora..."},
      {IDS_MENU_HELP_TOPICS, "&Help topics", "Hilfethemen"},
      {IDS_ABOUT_TITLE, "About Setora", "Über Setora"},
      {IDS_ABOUT_VERSION, "Setora Version 1.3 (1-29-1998)", "Setora Version 1.3 (29.1.1998)"},
      {IDS_READY, "Ready", "Bereit"},
  };
  for (const Pair& p : pairs) {
    ASSERT_TRUE(SetThreadLocale(0x0409));
    EXPECT_EQ(load_text(p.id), p.english) << p.id;
    ASSERT_TRUE(SetThreadLocale(0x0407));
    EXPECT_EQ(load_text(p.id), p.german) << p.id;
    // Another German or an unknown language: German resp. English.
    ASSERT_TRUE(SetThreadLocale(0x0807));
    EXPECT_EQ(load_text(p.id), p.german) << p.id;
    ASSERT_TRUE(SetThreadLocale(0x040C));
    EXPECT_EQ(load_text(p.id), p.english) << p.id;
  }
  // Under a Western ANSI page the German texts arrive in that page.
  net_.env().set("NT_ACP", "1252");
  nt_reload_code_pages();
  ASSERT_TRUE(SetThreadLocale(0x0407));
  EXPECT_EQ(load_text(IDS_REMOVE_COUNT), "l\xF6schen: %d");
  EXPECT_EQ(load_text(9999), "");
}

TEST_F(SetoraTextTest, CountTextsTakeExactlyTheirConversion) {
  EXPECT_EQ(format_count_text("install: %d", 3), "install: 3");
  EXPECT_EQ(format_count_text("%d%% done", -1), "-1% done");
  EXPECT_EQ(format_string_text("KB left: %s", "1,024.00"), "KB left: 1,024.00");
  // Another or a second conversion is never handed to printf.
  EXPECT_EQ(format_count_text("install: %s", 3), "install: %s 3");
  EXPECT_EQ(format_count_text("%d and %d", 3), "%d and %d 3");
  EXPECT_EQ(format_string_text("left: %n", "x"), "left: %n x");
  EXPECT_EQ(format_string_text("no conversion", "x"), "no conversion x");
  EXPECT_EQ(format_string_text("trailing %", "x"), "trailing % x");
}

TEST_F(SetoraTextTest, KilobytesLeftUseTheSystemNumberFormat) {
  EXPECT_EQ(kb_left_text(10ull << 20, 240), "KB left: 10,000.00");
  EXPECT_EQ(kb_left_text(1023, 0), "KB left: 0.00");          // whole kilobytes only
  EXPECT_EQ(kb_left_text(1024, 3), "KB left: -2.00");         // more marked than free
  EXPECT_EQ(kb_left_text(~0ull, 0), "KB left: 18,014,398,509,481,984.00");
  net_.env().lang("de_DE.UTF-8");
  ASSERT_TRUE(SetThreadLocale(0x0407));
  EXPECT_EQ(kb_left_text(10ull << 20, 240), "KB übrig: 10.000,00");
  EXPECT_EQ(system_number_text("1234"), "1.234,00");
  EXPECT_EQ(system_number_text("x12"), "x12");
  EXPECT_EQ(install_count_text(7), "installieren: 7");
  EXPECT_EQ(remove_count_text(0), "löschen: 0");
}

}  // namespace
