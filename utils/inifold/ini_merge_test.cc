#include "utils/inifold/ini_merge.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string merged(const std::string& target_text, const std::string& changes_text) {
  IniFile target, changes;
  EXPECT_EQ(parse_ini(target_text, &target), IniParseResult::kOk);
  EXPECT_EQ(parse_ini(changes_text, &changes), IniParseResult::kOk);
  return merge_ini(target, &changes);
}

TEST(IniMerge, ComparisonTable) {
  // Bare key: delete, whatever the value.
  EXPECT_EQ(compare_entry("Key=1", "KEY"), EntryAction::kDelete);
  EXPECT_EQ(compare_entry("Key=1", "KEYS"), EntryAction::kNoMatch);
  // key= and key=value: replace.
  EXPECT_EQ(compare_entry("key=1", "key="), EntryAction::kReplace);
  EXPECT_EQ(compare_entry("key", "KEY=2"), EntryAction::kReplace);
  // key=!value: delete only where the whole value agrees, case ignored.
  EXPECT_EQ(compare_entry("key=On Off", "key=!on off"), EntryAction::kDelete);
  EXPECT_EQ(compare_entry("key=On Off", "key=!on"), EntryAction::kNoMatch);
  EXPECT_EQ(compare_entry("key=", "key=!"), EntryAction::kDelete);
  EXPECT_EQ(compare_entry("key", "key=!"), EntryAction::kNoMatch);
  // key==value: replace only where the value agrees.
  EXPECT_EQ(compare_entry("key=Yes", "key==yes"), EntryAction::kReplace);
  EXPECT_EQ(compare_entry("key=no", "key==yes"), EntryAction::kNoMatch);
  // A key ends at "=" or at a blank.
  EXPECT_EQ(compare_entry("key = 1", "key=2"), EntryAction::kReplace);
  EXPECT_EQ(compare_entry("key=1", "key = 2"), EntryAction::kReplace);
  EXPECT_EQ(compare_entry("; note", ";"), EntryAction::kDelete);
  EXPECT_TRUE(same_section_name("Boot Loader", "BOOT loader"));
  EXPECT_FALSE(same_section_name("Boot", "Boot2"));
}

TEST(IniMerge, EntriesOfAMatchedSection) {
  EXPECT_EQ(merged("[S]\na=1\nb=2\nc=3\nd=4\ne=5\nf=6\n",
                   "[s]\nA\nb=\nc=!3\nd=!x\ne==5\nf==x\n"),
            "[S]\r\nb=\r\nd=4\r\ne=5\r\nf=6\r\nf=x\r\n");
  // Unmatched changes with "=" are appended, "=!" ones and bare keys are not.
  EXPECT_EQ(merged("[S]\na=1\n", "[S]\nnew=2\ngone=!x\nbare\nb==3\n"),
            "[S]\r\na=1\r\nnew=2\r\nb=3\r\n");
  // A change is used once: a second entry of the key stays.
  EXPECT_EQ(merged("[S]\nk=1\nk=2\nj=1\nj=2\n", "[S]\nk\nj=9\n"), "[S]\r\nk=2\r\nj=9\r\nj=2\r\n");
  // In a matched section the first "==" of every written entry becomes "=".
  EXPECT_EQ(merged("[S]\nurl==a==b\n", "[S]\nz=1\n"), "[S]\r\nurl=a==b\r\nz=1\r\n");
}

TEST(IniMerge, SectionsAndLayout) {
  // Sections without changes are written as they stand, "==" included.
  EXPECT_EQ(merged("[A]\nx==1\n; note\n\n[B]\ny=2\n", "[b]\ny=3\n"),
            "[A]\r\nx==1\r\n; note\r\n\r\n[B]\r\ny=3\r\n");
  // An empty changes section deletes the section; the next header written
  // is the first one.
  EXPECT_EQ(merged("[A]\nx=1\n[B]\ny=2\n[A]\nz=3\n", "[a]\n"), "[B]\r\ny=2\r\n\r\n[A]\r\nz=3\r\n");
  // New sections go to the end, their entries as they stand; one without
  // any "=" entry is not written at all.
  EXPECT_EQ(merged("[A]\nx=1\n", "[New]\nk==v\nd=!e\nbare\n[Empty]\nbare\n[Gone]\n"),
            "[A]\r\nx=1\r\n\r\n[New]\r\nk==v\r\nd=!e\r\n");
  EXPECT_EQ(merged("", "[N]\nk=v\n"), "\r\n[N]\r\nk=v\r\n");
  EXPECT_EQ(merged("", ""), "");
  // Two changes sections of one name meet the target's sections in turn.
  EXPECT_EQ(merged("[A]\nx=1\n[A]\nx=2\n", "[A]\nx=a\n[A]\nx=b\n"),
            "[A]\r\nx=a\r\n\r\n[A]\r\nx=b\r\n");
}

}  // namespace
