// The limits of the cleanup name list and of the owner table.
#include "kopex/actions.h"

#include <gtest/gtest.h>

#include <string>

#include "kopex/report.h"

namespace kopex {
namespace {

TEST(NameListTest, HoldsExactlyItsBytesAndNames) {
  // 10,240 names of 63 characters fill the 655,360 bytes exactly.
  NameList bytes;
  std::string name(63, 'a');
  for (int i = 0; i < 10240; ++i) {
    std::string n = name;
    n.replace(0, std::to_string(i).size(), std::to_string(i));
    ASSERT_TRUE(bytes.add(n.c_str())) << i;
  }
  EXPECT_FALSE(bytes.add("x"));

  // 20,480 names whatever their length, then no more.
  NameList names;
  for (int i = 0; i < 20480; ++i) ASSERT_TRUE(names.add(std::to_string(i).c_str()));
  EXPECT_FALSE(names.add("last"));
  EXPECT_TRUE(names.contains("20479"));
  EXPECT_FALSE(names.contains("last"));
}

TEST(NameListTest, ComparesWithoutRegardToCase) {
  NameList names;
  ASSERT_TRUE(names.add("ReadMe.TXT"));
  EXPECT_TRUE(names.contains("readme.txt"));
  EXPECT_TRUE(names.contains("README.TXT"));
  EXPECT_FALSE(names.contains("readme.tx"));
  EXPECT_FALSE(names.contains(""));
}

TEST(OwnerTableTest, OrderCaseAndLimits) {
  clear_owners();
  count_owner("SALES\\joe", 10);
  count_owner("BUILTIN\\Administrators", 5);
  count_owner("SALES\\joe", 7);
  count_owner("sales\\joe", 1);  // names are compared exactly
  ASSERT_EQ(owners().size(), 3u);
  EXPECT_EQ(owners()[0].name, "SALES\\joe");
  EXPECT_EQ(owners()[0].files, 2);
  EXPECT_EQ(owners()[0].bytes, 17.0);
  EXPECT_EQ(owners()[2].name, "sales\\joe");

  // Names keep 47 characters: two owners equal that far are one.
  const std::string long_a = "D\\" + std::string(45, 'x') + "AAAA";
  const std::string long_b = "D\\" + std::string(45, 'x') + "BBBB";
  count_owner(long_a.c_str(), 1);
  count_owner(long_b.c_str(), 1);
  ASSERT_EQ(owners().size(), 4u);
  EXPECT_EQ(owners()[3].name.size(), OWNER_NAME_MAX);
  EXPECT_EQ(owners()[3].files, 2);

  // 2,048 owners at most; later new owners are left out, known ones still count.
  for (size_t i = owners().size(); i < OWNERS_MAX; ++i) {
    count_owner(("D\\u" + std::to_string(i)).c_str(), 1);
  }
  ASSERT_EQ(owners().size(), OWNERS_MAX);
  testing::internal::CaptureStderr();
  count_owner("D\\one-too-many", 1);
  count_owner("D\\two-too-many", 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(owners().size(), OWNERS_MAX);
  EXPECT_EQ(err.find("two-too-many"), std::string::npos);  // said once
  EXPECT_NE(err.find("owner table full"), std::string::npos);
  count_owner("SALES\\joe", 3);
  EXPECT_EQ(owners()[0].files, 3);
  clear_owners();
  EXPECT_TRUE(owners().empty());
}

}  // namespace
}  // namespace kopex
