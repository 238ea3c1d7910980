#include "setora/patch_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "setora/setora_test_env.h"

namespace {

using PatchListTest = SetoraTest;

TEST_F(PatchListTest, ListsMatchingAllowedPatchesWithMetaAndState) {
  patch("A.FXA", "a",
        "Name=Office patch\r\nDescription=Fixes the office\r\nSize=1234\r\n"
        "MarkDeinstalled=X.FXA\r\nIcon=a.png\r\nIconIndex=2\r\n[Second]\r\nName=ignored\r\n");
  patch("B.FXA", "b");                       // no meta keys: defaults
  patch("C.fxa", "c", "Size=12abc\r\n");     // pattern ignores case
  patch("D.FXA", "d");                       // its own condition section is false
  patch("E.FXA", "e", "Size=5\r\n");         // installed, removable
  patch("E.FXA_DEINSTALL", "undo e");
  patch("F.FXA", "f");                       // installed by the runner, no companion
  patch("G.FXA", "g");                       // removed: pending again
  patch("G.FXA_DEINSTALL", "undo g");
  file("notes.txt", "not a patch");
  ASSERT_EQ(mkdir((dir_ + "/dir.FXA").c_str(), 0755), 0);
  // The window reads only the section named like the file: "*" does not count.
  file("FIXAR.FXC",
       "[D.FXA]\r\nFormula=NOPE\r\n[*]\r\nFormula=NOPE\r\n[B.FXA]\r\nFormula=OK\r\nOK=E"
       "SYSTEMROOT=C:*\r\n");
  set_entry("E.FXA", "*INSTALLED");
  set_entry("F.FXA", "*SUCCESS: 06.12.2026 13:45:01.123");
  set_entry("G.FXA", "-DEINSTALLED");

  PatchList list = make_list();
  list.fill();
  ASSERT_EQ(list.rows().size(), 6u);
  EXPECT_EQ(row_of(list, "D.FXA"), nullptr);
  EXPECT_EQ(row_of(list, "notes.txt"), nullptr);
  EXPECT_EQ(row_of(list, "dir.FXA"), nullptr);
  EXPECT_EQ(row_of(list, "E.FXA_DEINSTALL"), nullptr);

  const PatchRow* a = row_of(list, "A.FXA");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->name, "Office patch");
  EXPECT_EQ(a->description, "Fixes the office");
  EXPECT_EQ(a->size_kb, 1234u);
  EXPECT_EQ(a->size_text, "1,234.00");  // the system's number format (English)
  EXPECT_EQ(a->removal_list, "X.FXA");
  EXPECT_EQ(a->icon, "a.png");
  EXPECT_EQ(a->icon_index, 2);
  EXPECT_FALSE(a->removable);
  EXPECT_EQ(a->state, PATCH_NOT_INSTALLED);

  const PatchRow* b = row_of(list, "B.FXA");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->name, "B.FXA");
  EXPECT_EQ(b->description, "?");
  EXPECT_EQ(b->size_text, "?");
  EXPECT_EQ(b->size_kb, 0u);
  EXPECT_EQ(b->icon_index, 0);

  const PatchRow* c = row_of(list, "C.fxa");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->size_text, "12abc");  // not a number: shown as it stands
  EXPECT_EQ(c->size_kb, 12u);

  EXPECT_EQ(row_of(list, "E.FXA")->state, PATCH_INSTALLED_REMOVABLE);
  EXPECT_TRUE(row_of(list, "E.FXA")->removable);
  EXPECT_EQ(row_of(list, "F.FXA")->state, PATCH_INSTALLED_FIXED);
  EXPECT_EQ(row_of(list, "G.FXA")->state, PATCH_NOT_INSTALLED);
  EXPECT_TRUE(row_of(list, "G.FXA")->removable);

  // Another pattern selects the companions themselves.
  settings_.pattern = "*_deinstall";
  PatchList companions = make_list();
  companions.fill();
  EXPECT_EQ(companions.rows().size(), 2u);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(PatchListTest, SizeColumnFollowsTheSystemLocale) {
  net_.env().lang("de_DE.UTF-8");
  patch("A.FXA", "a", "Size=1234567\r\n");
  PatchList list = make_list();
  list.fill();
  ASSERT_EQ(list.rows().size(), 1u);
  EXPECT_EQ(list.rows()[0].size_text, "1.234.567,00");
}

TEST_F(PatchListTest, ListHoldsAtMost128Patches) {
  for (int i = 0; i < 130; ++i) {
    char name[16];
    snprintf(name, sizeof name, "P%03d.FXA", i);
    file(name, "[S]\r\nCommand=x\r\n");
  }
  PatchList list = make_list();
  list.fill();
  EXPECT_EQ(list.rows().size(), PATCH_LIST_MAX);
  EXPECT_EQ(PATCH_LIST_MAX, 128u);

  // With one file fewer than the limit every file is listed.
  settings_.pattern = "P0*.FXA";
  PatchList fewer = make_list();
  fewer.fill();
  EXPECT_EQ(fewer.rows().size(), 100u);
}

TEST_F(PatchListTest, TogglingKeepsTheMarksWithinTheFreeSpace) {
  patch("A.FXA", "a", "Size=600\r\n");
  patch("B.FXA", "b", "Size=400\r\n");
  patch("C.FXA", "c", "Size=1\r\n");
  patch("D.FXA", "d");  // installed, removable
  patch("D.FXA_DEINSTALL", "undo");
  patch("E.FXA", "e");  // installed, not removable
  set_entry("D.FXA", "*INSTALLED");
  set_entry("E.FXA", "*INSTALLED");
  free_bytes_ = 1000 * 1024 + 1023;  // 1000 KB and a bit

  PatchList list = make_list();
  list.fill();
  ASSERT_EQ(list.rows().size(), 5u);
  for (int pane = 1; pane <= 3; ++pane) EXPECT_EQ(list.status_text(pane), "");

  // 600 + 400 fill the 1000 KB exactly; the third mark is refused.
  EXPECT_EQ(list.toggle(index_of(list, "A.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(list.toggle(index_of(list, "B.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(list.install_count(), 2);
  EXPECT_EQ(list.install_kb(), 1000u);
  EXPECT_EQ(list.status_text(1), "install: 2");
  EXPECT_EQ(list.status_text(3), "KB left: 0.00");
  EXPECT_EQ(list.toggle(index_of(list, "C.FXA")), TOGGLE_NO_SPACE);
  EXPECT_EQ(row_of(list, "C.FXA")->state, PATCH_NOT_INSTALLED);
  EXPECT_EQ(list.install_count(), 2);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Setora|Not enough space left on disk|30"});

  // Unmarking gives the space back.
  EXPECT_EQ(list.toggle(index_of(list, "A.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(row_of(list, "A.FXA")->state, PATCH_NOT_INSTALLED);
  EXPECT_EQ(list.install_count(), 1);
  EXPECT_EQ(list.install_kb(), 400u);
  EXPECT_EQ(list.toggle(index_of(list, "C.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(row_of(list, "C.FXA")->state, PATCH_MARKED_INSTALL);
  EXPECT_EQ(list.status_text(3), "KB left: 599.00");

  // Removal marks need no space and count apart.
  EXPECT_EQ(list.toggle(index_of(list, "D.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(row_of(list, "D.FXA")->state, PATCH_MARKED_REMOVE);
  EXPECT_EQ(list.remove_count(), 1);
  EXPECT_EQ(list.status_text(2), "remove: 1");
  EXPECT_EQ(list.toggle(index_of(list, "D.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(row_of(list, "D.FXA")->state, PATCH_INSTALLED_REMOVABLE);
  EXPECT_EQ(list.remove_count(), 0);

  // State 5 and rows past the end change nothing.
  EXPECT_EQ(list.toggle(index_of(list, "E.FXA")), TOGGLE_UNCHANGED);
  EXPECT_EQ(row_of(list, "E.FXA")->state, PATCH_INSTALLED_FIXED);
  EXPECT_EQ(list.toggle(99), TOGGLE_UNCHANGED);
  EXPECT_EQ(list.install_count(), 2);
  EXPECT_EQ(list.remove_count(), 0);
  EXPECT_TRUE(boxes().empty());

  // A new fill drops the marks.
  list.fill();
  EXPECT_EQ(list.install_count(), 0);
  EXPECT_EQ(list.install_kb(), 0u);
  EXPECT_EQ(row_of(list, "C.FXA")->state, PATCH_NOT_INSTALLED);
  EXPECT_EQ(list.status_text(1), "");
}

TEST_F(PatchListTest, HugeSizesAndUnknownSpaceAreRefused) {
  patch("HUGE.FXA", "h", "Size=99999999999999999999999\r\n");  // saturates at 2^64 - 1
  patch("ONE.FXA", "o", "Size=1\r\n");
  patch("ZERO.FXA", "z");
  free_bytes_ = ~0ull;
  PatchList list = make_list();
  list.fill();
  // Marked after another size, the sum would wrap around to a small number.
  EXPECT_EQ(list.toggle(index_of(list, "ONE.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(list.toggle(index_of(list, "HUGE.FXA")), TOGGLE_NO_SPACE);
  EXPECT_EQ(list.install_kb(), 1u);
  EXPECT_EQ(boxes().size(), 1u);

  // When the free space cannot be read, only patches without a size fit.
  free_known_ = false;
  PatchList unknown = make_list();
  unknown.fill();
  EXPECT_EQ(unknown.toggle(index_of(unknown, "ONE.FXA")), TOGGLE_NO_SPACE);
  EXPECT_EQ(unknown.toggle(index_of(unknown, "ZERO.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(unknown.status_text(3), "KB left: 0.00");
  EXPECT_EQ(boxes().size(), 1u);
}

TEST_F(PatchListTest, StatusTextsInGerman) {
  ASSERT_TRUE(SetThreadLocale(0x0407));
  net_.env().lang("de_DE.UTF-8");
  patch("A.FXA", "a", "Size=2048\r\n");
  patch("B.FXA", "b");
  patch("B.FXA_DEINSTALL", "undo");
  set_entry("B.FXA", "*INSTALLED");
  free_bytes_ = 5000ull * 1024;
  PatchList list = make_list();
  list.fill();
  ASSERT_EQ(list.toggle(index_of(list, "A.FXA")), TOGGLE_CHANGED);
  ASSERT_EQ(list.toggle(index_of(list, "B.FXA")), TOGGLE_CHANGED);
  EXPECT_EQ(list.status_text(1), "installieren: 1");
  EXPECT_EQ(list.status_text(2), "löschen: 1");
  EXPECT_EQ(list.status_text(3), "KB übrig: 2.952,00");
  free_bytes_ = 0;
  patch("C.FXA", "c", "Size=1\r\n");
  list.fill();
  EXPECT_EQ(list.toggle(index_of(list, "C.FXA")), TOGGLE_NO_SPACE);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Setora|Nicht genug freier Speicherplatz|30"});
}

TEST_F(PatchListTest, ApplyInstallsAndRemovesThroughThePatchRunner) {
  patch("NEW.FXA", "new", "Size=10\r\n");
  patch("OLD.FXA", "old", "MarkDeinstalled=A.FXA, B.FXA\r\n");
  patch("OLD.FXA_DEINSTALL", "undo-old");
  patch("RUN.FXA", "run");  // installed by the console runner
  patch("RUN.FXA_DEINSTALL", "undo-run");
  patch("IDLE.FXA", "idle");
  set_entry("OLD.FXA", "*INSTALLED");
  set_entry("RUN.FXA", "*SUCCESS: 06.12.2026 13:45:01.123");
  set_entry("A.FXA", "*SUCCESS: 01.12.2026 10:00:00.000");
  set_entry("B.FXA", "*INSTALLED");
  // The companion ran once before: its success must not keep it from running.
  set_entry("OLD.FXA_DEINSTALL", "*SUCCESS: 01.12.2026 10:00:00.000");

  PatchList list = make_list();
  list.fill();
  ASSERT_EQ(list.rows().size(), 4u);
  EXPECT_EQ(row_of(list, "RUN.FXA")->state, PATCH_INSTALLED_REMOVABLE);
  ASSERT_EQ(list.toggle(index_of(list, "NEW.FXA")), TOGGLE_CHANGED);
  ASSERT_EQ(list.toggle(index_of(list, "OLD.FXA")), TOGGLE_CHANGED);

  list.apply();
  EXPECT_TRUE(boxes().empty());
  std::string log = read("log.txt");
  EXPECT_NE(log.find("new\n"), std::string::npos);
  EXPECT_NE(log.find("undo-old\n"), std::string::npos);
  EXPECT_EQ(log.find("idle"), std::string::npos);
  EXPECT_EQ(log.find("undo-run"), std::string::npos);
  EXPECT_EQ(entry("NEW.FXA"), "*INSTALLED");
  EXPECT_EQ(entry("OLD.FXA"), "-DEINSTALLED");
  EXPECT_EQ(entry("A.FXA"), "-MARKED_DEINSTALLED");
  EXPECT_EQ(entry("B.FXA"), "-MARKED_DEINSTALLED");
  EXPECT_EQ(entry("OLD.FXA_DEINSTALL").rfind("*SUCCESS: ", 0), 0u);
  EXPECT_EQ(entry("IDLE.FXA"), "");

  // The list was filled again from the new entries.
  EXPECT_EQ(list.install_count(), 0);
  EXPECT_EQ(row_of(list, "NEW.FXA")->state, PATCH_INSTALLED_FIXED);
  EXPECT_EQ(row_of(list, "OLD.FXA")->state, PATCH_NOT_INSTALLED);

  // A runner's success entry becomes the window's own after a removal and a
  // new installation.
  ASSERT_EQ(list.toggle(index_of(list, "RUN.FXA")), TOGGLE_CHANGED);
  list.apply();
  EXPECT_EQ(entry("RUN.FXA"), "-DEINSTALLED");
  ASSERT_EQ(list.toggle(index_of(list, "RUN.FXA")), TOGGLE_CHANGED);
  list.apply();
  EXPECT_EQ(entry("RUN.FXA"), "*INSTALLED");
  EXPECT_EQ(row_of(list, "RUN.FXA")->state, PATCH_INSTALLED_REMOVABLE);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(PatchListTest, ApplyReportsFailuresAndWritesNoSuccess) {
  file("FAIL.FXA", "[S]\r\nCommand=/bin/sh -c \"exit 3\"\r\nErrorlevel=0\r\n");
  patch("STUCK.FXA", "stuck", "MarkDeinstalled=A.FXA\r\n");
  file("STUCK.FXA_DEINSTALL", "[S]\r\nCommand=/bin/sh -c \"exit 4\"\r\nErrorlevel=0\r\n");
  patch("BARRED.FXA", "barred");
  set_entry("STUCK.FXA", "*INSTALLED");
  set_entry("A.FXA", "*INSTALLED");
  // Listed (the window reads only BARRED.FXA's own section), but the runner
  // also applies "*" and skips the patch without running it.
  file("FIXAR.FXC", "[B*.FXA]\r\nFormula=NEVER\r\n");

  PatchList list = make_list();
  list.fill();
  ASSERT_EQ(list.rows().size(), 3u);
  ASSERT_EQ(list.toggle(index_of(list, "FAIL.FXA")), TOGGLE_CHANGED);
  ASSERT_EQ(list.toggle(index_of(list, "STUCK.FXA")), TOGGLE_CHANGED);
  ASSERT_EQ(list.toggle(index_of(list, "BARRED.FXA")), TOGGLE_CHANGED);
  testing::internal::CaptureStderr();
  list.apply();
  testing::internal::GetCapturedStderr();

  std::vector<std::string> shown = boxes();
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (std::vector<std::string>{"SETORA error|DEINSTALL failed for STUCK.FXA\\n|10",
                                             "SETORA error|INSTALL failed for BARRED.FXA\\n|10",
                                             "SETORA error|INSTALL failed for FAIL.FXA\\n|10"}));
  EXPECT_EQ(entry("FAIL.FXA").rfind("-FAILURE: ", 0), 0u);
  EXPECT_EQ(entry("BARRED.FXA"), "");
  EXPECT_EQ(entry("STUCK.FXA"), "*INSTALLED");
  EXPECT_EQ(entry("A.FXA"), "*INSTALLED");
  EXPECT_EQ(entry("STUCK.FXA_DEINSTALL").rfind("-FAILURE: ", 0), 0u);
  EXPECT_EQ(row_of(list, "STUCK.FXA")->state, PATCH_INSTALLED_REMOVABLE);
  EXPECT_EQ(row_of(list, "FAIL.FXA")->state, PATCH_NOT_INSTALLED);
}

}  // namespace
