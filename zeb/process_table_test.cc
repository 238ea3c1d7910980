#include "zeb/process_table.h"

#include <gtest/gtest.h>

namespace {

TEST(ProcessTable, KeepsCreationOrderAndMovesLaterIdsDown) {
  ZebProcessTable t;
  EXPECT_TRUE(t.add(10));
  EXPECT_TRUE(t.add(20));
  EXPECT_TRUE(t.add(30));
  EXPECT_FALSE(t.add(20)) << "tracked already";
  EXPECT_FALSE(t.add(0));
  EXPECT_EQ(t.text(), "10 20 30 \n");
  EXPECT_TRUE(t.remove(20));
  EXPECT_FALSE(t.remove(20));
  EXPECT_EQ(t.ids(), (std::vector<DWORD>{10, 30}));
  std::vector<long> e = t.entries();
  ASSERT_EQ(e.size(), 32u);
  EXPECT_EQ(e[0], 10);
  EXPECT_EQ(e[1], 30);
  EXPECT_EQ(e[2], 0);
  EXPECT_TRUE(t.remove(10));
  EXPECT_TRUE(t.remove(30));
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.text(), "\n");
}

TEST(ProcessTable, ProcessesBeyondThirtyTwoWaitInTheOverflowAndMoveUp) {
  ZebProcessTable t;
  for (DWORD id = 1; id <= 40; ++id) EXPECT_TRUE(t.add(id));
  EXPECT_EQ(t.size(), 40u);
  EXPECT_EQ(t.overflow(), 8u);
  std::vector<long> e = t.entries();
  EXPECT_EQ(e.size(), 32u);
  EXPECT_EQ(e[31], 32);
  // All 40 are still known (to be waited for and killed).
  EXPECT_EQ(t.ids().back(), 40u);
  // An exit in the table pulls the first overflowed id into entry 32.
  EXPECT_TRUE(t.remove(5));
  EXPECT_EQ(t.overflow(), 7u);
  EXPECT_EQ(t.entries()[31], 33);
  // An exit in the overflow itself is found too.
  EXPECT_TRUE(t.remove(40));
  EXPECT_EQ(t.size(), 38u);
  for (DWORD id = 1; id <= 39; ++id) t.remove(id);
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.overflow(), 0u);
}

TEST(ProcessTable, OverRunShowsMinusOneAndTakesNoMore) {
  ZebProcessTable t;
  EXPECT_FALSE(t.over());
  t.add(7);
  t.mark_over();
  EXPECT_TRUE(t.over());
  EXPECT_EQ(t.entries()[0], -1);
  EXPECT_FALSE(t.add(8));
  EXPECT_EQ(t.size(), 1u);
}

}  // namespace
