#include "patch/pending_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "patch/patch_test_env.h"

namespace {

using Names = std::vector<std::string>;

TEST(PendingOrder, AscendingWithoutRegardToCase) {
  Names names = {"c.FXA", "B.fxa", "a.FXA", "A_2.FXA", "b2.FXA", "10.FXA", "9.FXA"};
  sort_pending(names);
  EXPECT_EQ(names, (Names{"10.FXA", "9.FXA", "a.FXA", "A_2.FXA", "B.fxa", "b2.FXA", "c.FXA"}));
  // Names equal but for case keep one fixed order, whatever they came in.
  Names twins = {"x.fxa", "X.FXA", "x.FXA"};
  Names again = {"X.FXA", "x.FXA", "x.fxa"};
  sort_pending(twins);
  sort_pending(again);
  EXPECT_EQ(twins, again);
  EXPECT_TRUE(pending_name_less("a.FXA", "B.FXA"));
  EXPECT_FALSE(pending_name_less("B.FXA", "a.FXA"));
  EXPECT_FALSE(pending_name_less("a.FXA", "a.FXA"));
}

class PendingListTest : public PatchTest {};

TEST_F(PendingListTest, SelectsFilesThatAreNotDone) {
  write("B.FXA", "");
  write("a.fxa", "");
  write("DONE.FXA", "");
  write("INST.FXA", "");
  write("RETRY.FXA", "");
  write("other.txt", "");
  write("X.FXA_DEINSTALL", "");
  ASSERT_EQ(mkdir(path("SUB.FXA").c_str(), 0755), 0);
  std::string history = write("FIXAR.FXH",
                              "[Patches]\r\nDONE.FXA=*SUCCESS: 01.01.2026 00:00:00.000 \r\n"
                              "inst.fxa=*INSTALLED\r\n"
                              "RETRY.FXA=-FAILURE: 01.01.2026 00:00:00.000 timeout\r\n");
  std::string search = dir_ + "\\*.*";
  PendingList list = collect_pending(search.c_str(), "*.FXA", history.c_str());
  EXPECT_FALSE(list.nothing_found);
  EXPECT_FALSE(list.full);
  EXPECT_EQ(list.names, (Names{"a.fxa", "B.FXA", "RETRY.FXA"}));

  list = collect_pending(search.c_str(), "*.fxa_deinstall", history.c_str());
  EXPECT_EQ(list.names, (Names{"X.FXA_DEINSTALL"}));
  list = collect_pending(search.c_str(), "b.fxa", history.c_str());
  EXPECT_EQ(list.names, (Names{"B.FXA"}));

  std::string missing = dir_ + "/none\\*.*";
  list = collect_pending(missing.c_str(), "*.FXA", history.c_str());
  EXPECT_TRUE(list.nothing_found);
  EXPECT_TRUE(list.names.empty());
}

TEST_F(PendingListTest, HoldsAtMost512Names) {
  for (int i = 0; i < 515; ++i) write("P" + std::to_string(1000 + i) + ".FXA", "");
  std::string search = dir_ + "\\*.*";
  std::string history = path("FIXAR.FXH");
  PendingList list = collect_pending(search.c_str(), "*.FXA", history.c_str());
  EXPECT_TRUE(list.full);
  ASSERT_EQ(list.names.size(), PENDING_LIST_MAX);
  for (size_t i = 1; i < list.names.size(); ++i) {
    EXPECT_TRUE(pending_name_less(list.names[i - 1], list.names[i]));
  }
  // Exactly 512 fill the list without overflowing it.
  for (int i = 512; i < 515; ++i) std::remove(path("P" + std::to_string(1000 + i) + ".FXA").c_str());
  list = collect_pending(search.c_str(), "*.FXA", history.c_str());
  EXPECT_FALSE(list.full);
  EXPECT_EQ(list.names.size(), PENDING_LIST_MAX);
  EXPECT_EQ(list.names.front(), "P1000.FXA");
  EXPECT_EQ(list.names.back(), "P1511.FXA");
}

}  // namespace
