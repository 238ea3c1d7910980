// Source/target decisions, the time granularity and the attribute texts.
#include "kopex/compare.h"

#include <gtest/gtest.h>

#include "platform/files/file_info.h"

namespace kopex {
namespace {

constexpr uint64_t kBase = 0x01D5000012340000ull;  // low 16 bits clear

TEST(CompareTest, WriteTimesCountEqualWithinOneStep) {
  EXPECT_TRUE(same_write_time(kBase, kBase + 30000));   // 3 ms apart
  EXPECT_TRUE(same_write_time(kBase, kBase + 0xFFFF));
  EXPECT_FALSE(same_write_time(kBase, kBase + 0x10000));
  // Close times across a step boundary differ.
  EXPECT_FALSE(same_write_time(kBase - 1, kBase));
  // Only the lower half's low bits are ignored, never the upper half.
  EXPECT_FALSE(same_write_time(kBase, kBase + (1ull << 32)));
}

TEST(CompareTest, DecisionsOfEachCommand) {
  const uint64_t older = kBase, newer = kBase + 10 * 0x10000;
  // Missing target.
  EXPECT_EQ(decide_copy(CMD_COPY, false, older, 0, false), CopyDecision::copy);
  EXPECT_EQ(decide_copy(CMD_MIRROR, false, older, 0, false), CopyDecision::copy);
  EXPECT_EQ(decide_copy(CMD_UPDATE, false, older, 0, false), CopyDecision::none);
  // cop replaces whatever the times.
  EXPECT_EQ(decide_copy(CMD_COPY, true, older, older, false), CopyDecision::replace);
  // upd and mir compare.
  EXPECT_EQ(decide_copy(CMD_UPDATE, true, older, older + 30000, false), CopyDecision::keep);
  EXPECT_EQ(decide_copy(CMD_MIRROR, true, older, newer, false), CopyDecision::replace);
  EXPECT_EQ(decide_copy(CMD_UPDATE, true, older, newer, false), CopyDecision::replace);
  // /T: only a later source replaces.
  EXPECT_EQ(decide_copy(CMD_UPDATE, true, older, newer, true), CopyDecision::keep);
  EXPECT_EQ(decide_copy(CMD_MIRROR, true, newer, older, true), CopyDecision::replace);
}

TEST(AttributeTest, StringHasSixPlaces) {
  char text[7];
  attribute_string(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, text);
  EXPECT_STREQ(text, "RH.A..");
  attribute_string(FILE_ATTRIBUTE_DIRECTORY, text);
  EXPECT_STREQ(text, ".....D");
  attribute_string(0xFFFFFFFFu, text);
  EXPECT_STREQ(text, "RHSACD");
  attribute_string(FILE_ATTRIBUTE_NORMAL, text);
  EXPECT_STREQ(text, "......");
}

TEST(AttributeTest, TextSetsClearsAndLeaves) {
  const uint32_t hidden_system = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  EXPECT_EQ(apply_attribute_text(hidden_system, "R.?A"),
            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  // A shorter text leaves the rest; other letters leave their place.
  EXPECT_EQ(apply_attribute_text(hidden_system, "R"), hidden_system | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(apply_attribute_text(hidden_system, "xHSx"), hidden_system);
  EXPECT_EQ(apply_attribute_text(hidden_system, "...."), 0u);
  // Letters stand only at their own place, and past four nothing counts.
  EXPECT_EQ(apply_attribute_text(0, "HRAS"), 0u);
  EXPECT_EQ(apply_attribute_text(0, "...AR"), FILE_ATTRIBUTE_ARCHIVE);
  // Other bits pass through.
  EXPECT_EQ(apply_attribute_text(FILE_ATTRIBUTE_DIRECTORY, "R"),
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
}

TEST(CompareTest, AttributesAreReadOnlyWhereTheyAreUsed) {
  // upd and mir compare source and target unless /n.
  for (int command : {CMD_UPDATE, CMD_MIRROR}) {
    AttributeReads r = attribute_reads(command, false, false);
    EXPECT_TRUE(r.listing && r.target && r.directories) << command;
    r = attribute_reads(command, true, false);
    EXPECT_FALSE(r.listing || r.target || r.directories) << command;
    // -a or ~a still needs them listed, never of the target.
    r = attribute_reads(command, true, true);
    EXPECT_TRUE(r.listing);
    EXPECT_FALSE(r.target || r.directories);
  }
  // cop replaces without comparing; its directories take the source's.
  AttributeReads r = attribute_reads(CMD_COPY, false, false);
  EXPECT_FALSE(r.listing || r.target);
  EXPECT_TRUE(r.directories);
  EXPECT_FALSE(attribute_reads(CMD_COPY, true, false).directories);
  EXPECT_TRUE(attribute_reads(CMD_COPY, false, true).listing);
  // set changes them from the current ones; del and sho need them only to
  // test or show them.
  r = attribute_reads(CMD_SET, true, false);
  EXPECT_TRUE(r.listing);
  EXPECT_FALSE(r.target || r.directories);
  for (int command : {CMD_DEL, CMD_SHOW}) {
    r = attribute_reads(command, false, false);
    EXPECT_FALSE(r.listing || r.target || r.directories) << command;
    EXPECT_TRUE(attribute_reads(command, false, true).listing) << command;
  }
}

}  // namespace
}  // namespace kopex
