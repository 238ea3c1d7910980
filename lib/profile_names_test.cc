#include "lib/profile_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(ProfileNames, ListsWholeAndCut) {
  const char list[] = "one\0two\0three\0";
  ProfileNames p = split_profile_names(list, 14, 100);
  EXPECT_EQ(p.names, (Names{"one", "two", "three"}));
  EXPECT_FALSE(p.cut);
  // A list that filled its buffer (size - 2): the last name may be cut.
  p = split_profile_names(list, 14, 16);
  EXPECT_EQ(p.names, (Names{"one", "two"}));
  EXPECT_TRUE(p.cut);
  p = split_profile_names("only\0", 4, 6);
  EXPECT_TRUE(p.names.empty());
  EXPECT_TRUE(p.cut);
  EXPECT_TRUE(split_profile_names("", 0, 100).names.empty());
  EXPECT_TRUE(split_profile_names(nullptr, 5, 100).names.empty());
}

TEST(ProfileNames, FileNamesForTheProfileCalls) {
  EXPECT_EQ(profile_file_name("change.reg"), ".\\change.reg");
  EXPECT_EQ(profile_file_name("C:\\x\\change.reg"), "C:\\x\\change.reg");
  EXPECT_EQ(profile_file_name("/tmp/change.reg"), "/tmp/change.reg");
  EXPECT_EQ(profile_file_name("D:change.reg"), "D:change.reg");
  EXPECT_EQ(profile_file_name(nullptr), "");
}

}  // namespace
