#include "patch/step_tracking.h"

#include <gtest/gtest.h>

namespace {

TEST(ProcessTable, KeepsLiveIdsPacked) {
  ProcessTable table;
  EXPECT_EQ(table.size(), 0u);
  EXPECT_FALSE(table.remove(7));
  for (DWORD id = 100; id < 100 + PROCESS_TABLE_MAX; ++id) EXPECT_TRUE(table.add(id));
  EXPECT_EQ(table.size(), PROCESS_TABLE_MAX);
  EXPECT_FALSE(table.add(999)) << "the 65th id has no place";
  EXPECT_FALSE(table.contains(999));

  // Removing moves the following ids down, in order.
  EXPECT_TRUE(table.remove(100));
  EXPECT_TRUE(table.remove(110));
  EXPECT_TRUE(table.remove(100 + PROCESS_TABLE_MAX - 1));
  EXPECT_FALSE(table.remove(110));
  ASSERT_EQ(table.size(), PROCESS_TABLE_MAX - 3);
  EXPECT_EQ(table.at(0), 101u);
  EXPECT_EQ(table.at(8), 109u);
  EXPECT_EQ(table.at(9), 111u);
  EXPECT_EQ(table.at(table.size() - 1), 100u + PROCESS_TABLE_MAX - 2);
  EXPECT_TRUE(table.add(5));
  EXPECT_EQ(table.at(table.size() - 1), 5u);
  EXPECT_TRUE(table.contains(5));
  table.clear();
  EXPECT_EQ(table.size(), 0u);
  EXPECT_FALSE(table.contains(5));
}

TEST(ProcessTable, TimeLimitInMilliseconds) {
  EXPECT_EQ(time_limit_ms(1), 1000u);
  EXPECT_EQ(time_limit_ms(300), 300000u);
  EXPECT_EQ(time_limit_ms(4294967), 4294967000u);
  // Past 49 days the wait neither wraps nor becomes endless.
  EXPECT_EQ(time_limit_ms(4294968), 0xFFFFFFFEu);
  EXPECT_EQ(time_limit_ms(0xFFFFFFFFu), 0xFFFFFFFEu);
}

}  // namespace
