#include "vexa32/copy_list.h"

#include <gtest/gtest.h>

#include "platform/user/message_box.h"
#include "vexa32/confirm_countdown.h"
#include "vexa32/mirror_rule.h"
#include "vexa32/vexa32_test_env.h"

namespace {

TEST(CopyList, PairLimitRefusesWithoutCutting) {
  CopyList list;
  for (size_t i = 0; i < COPY_MAX_PAIRS; ++i) ASSERT_TRUE(list.add("s", "t", 2));
  EXPECT_FALSE(list.add("s", "t", 5));
  EXPECT_FALSE(list.add("s2", "t2", 5));
  EXPECT_EQ(list.count(), COPY_MAX_PAIRS);
  EXPECT_EQ(list.left_out(), 2);
  EXPECT_DOUBLE_EQ(list.total_bytes(), 2.0 * COPY_MAX_PAIRS);
  EXPECT_STREQ(list.source(COPY_MAX_PAIRS - 1), "s");
  EXPECT_STREQ(list.target(COPY_MAX_PAIRS - 1), "t");
}

TEST(CopyList, NamePoolLimit) {
  CopyList list;
  // Pairs of 1,000 + 1,000 bytes with terminators: 2,002 bytes each.
  const std::string source(1000, 's'), target(1000, 't');
  const size_t fit = COPY_POOL_SIZE / 2002;  // 818
  for (size_t i = 0; i < fit; ++i) ASSERT_TRUE(list.add(source, target, 1LL << 32));
  EXPECT_FALSE(list.add(source, target, 1));
  // What is left of the pool still takes a pair that fits it exactly.
  const size_t rest = COPY_POOL_SIZE - list.pool_used();
  EXPECT_FALSE(list.add(std::string(rest - 1, 'a'), "b", 1));
  EXPECT_TRUE(list.add(std::string(rest - 3, 'a'), "b", 1));
  EXPECT_EQ(list.pool_used(), COPY_POOL_SIZE);
  EXPECT_FALSE(list.add("", "", 0));
  EXPECT_EQ(list.count(), fit + 1);
  EXPECT_EQ(list.left_out(), 3);
  EXPECT_EQ(list.size(0), 1LL << 32);
  EXPECT_EQ(std::string(list.source(fit)), std::string(rest - 3, 'a'));
  EXPECT_STREQ(list.target(fit), "b");
}

TEST(ConfirmCountdown, EndsAfterPassingZero) {
  ConfirmCountdown cancel(2, false);
  EXPECT_EQ(cancel.text(), "Seconds left: 2");
  EXPECT_EQ(cancel.tick(), 0);
  EXPECT_EQ(cancel.text(), "Seconds left: 1");
  EXPECT_EQ(cancel.tick(), 0);
  EXPECT_EQ(cancel.text(), "Seconds left: 0");
  EXPECT_EQ(cancel.tick(), IDCANCEL);

  ConfirmCountdown copy(1, true);
  EXPECT_EQ(copy.tick(), 0);
  EXPECT_EQ(copy.tick(), IDOK);

  ConfirmCountdown waits(0, true);
  EXPECT_TRUE(waits.waits());
  EXPECT_EQ(waits.text(), " ");
  for (int i = 0; i < 100; ++i) ASSERT_EQ(waits.tick(), 0);
}

TEST(MirrorRule, ParsesTargetFlagsAndPatterns) {
  NlsEnv env;
  env.set("USERNAME", "tester").set("VX_EMPTY", nullptr);
  MirrorRule rule;
  ASSERT_EQ(parse_mirror_rule("\\\\SRV\\home\\%USERNAME%\\data", "C:\\data/S,*.doc,!~*", &rule),
            RuleStatus::ok);
  EXPECT_EQ(rule.source, "\\\\SRV\\home\\tester\\data\\");
  EXPECT_EQ(rule.target, "C:\\data\\");
  EXPECT_TRUE(rule.recurse);
  EXPECT_EQ(rule.patterns, (std::vector<std::string>{"*.doc", "!~*"}));

  ASSERT_EQ(parse_mirror_rule("C:\\x\\", "D:\\y\\/DOadoz", &rule), RuleStatus::ok);
  EXPECT_EQ(rule.source, "C:\\x\\");
  EXPECT_EQ(rule.target, "D:\\y\\");
  EXPECT_FALSE(rule.recurse);  // only "S" recurses
  EXPECT_EQ(rule.patterns, std::vector<std::string>{"*"});

  ASSERT_EQ(parse_mirror_rule("C:\\x", "D:\\y,%USERNAME%*", &rule), RuleStatus::ok);
  EXPECT_EQ(rule.patterns, std::vector<std::string>{"tester*"});

  EXPECT_EQ(parse_mirror_rule("C:\\x", "", &rule), RuleStatus::no_target);
  EXPECT_EQ(parse_mirror_rule("C:\\x", "/S,*.doc", &rule), RuleStatus::no_target);
  EXPECT_EQ(parse_mirror_rule("C:\\x", ",*.doc", &rule), RuleStatus::no_target);

  // Expansion limits: 511 characters for a folder, 1,023 for the patterns.
  env.set("VX_BIG", std::string(500, 'b').c_str());
  EXPECT_EQ(parse_mirror_rule("C:\\" + std::string(8, 'a') + "%VX_BIG%", "D:\\", &rule),
            RuleStatus::ok);
  EXPECT_EQ(rule.source.size(), 512u);  // 511 and the added backslash
  EXPECT_EQ(parse_mirror_rule("C:\\" + std::string(9, 'a') + "%VX_BIG%", "D:\\", &rule),
            RuleStatus::too_long);
  EXPECT_EQ(parse_mirror_rule("C:\\", "D:\\%VX_BIG%%VX_BIG%", &rule), RuleStatus::too_long);
  EXPECT_EQ(parse_mirror_rule("C:\\", "D:\\,%VX_BIG%,%VX_BIG%", &rule), RuleStatus::ok);
  EXPECT_EQ(parse_mirror_rule("C:\\", "D:\\,%VX_BIG%,%VX_BIG%,abcdefghijklmnopqrstuvwxyz", &rule),
            RuleStatus::too_long);
}

TEST(MirrorRule, FirstMatchingPatternDecides) {
  const std::vector<std::string> docs = {"*.doc", "!~*"};
  EXPECT_TRUE(patterns_pass("report.doc", docs));
  EXPECT_TRUE(patterns_pass("REPORT.DOC", docs));
  EXPECT_TRUE(patterns_pass("~report.doc", docs));  // "*.doc" decides first
  EXPECT_FALSE(patterns_pass("~notes.txt", docs));
  EXPECT_FALSE(patterns_pass("notes.txt", docs));  // no pattern matches
  const std::vector<std::string> no_tilde = {"!~*", "*.doc"};
  EXPECT_FALSE(patterns_pass("~report.doc", no_tilde));
  EXPECT_TRUE(patterns_pass("report.doc", no_tilde));
  EXPECT_TRUE(patterns_pass("anything", std::vector<std::string>{"*"}));
  EXPECT_FALSE(patterns_pass("anything", std::vector<std::string>{"!*", "*"}));
  EXPECT_FALSE(patterns_pass("x", std::vector<std::string>{}));
}

}  // namespace
