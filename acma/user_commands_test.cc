#include "acma/user_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/nls/nls_test_env.h"

namespace {

class GroupListTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.pages("65001", "65001"); }

  std::vector<std::u16string> expand(const std::u16string& format, const std::u16string& old,
                                     bool* cut) {
    std::u16string value = old;
    ArgSpec table[] = {
        {ARG_WSTRING, 'g', ARG_OPTIONAL, value.data(), 0},
        {ARG_END, 0, 0, nullptr, 0},
    };
    return expand_group_list(format.c_str(), table, cut);
  }

  NlsEnv env_;
};

TEST_F(GroupListTest, OldGroupsExpandAndSplit) {
  bool cut = true;
  EXPECT_EQ(expand(u"~g,Sales", u"Domain Users,Staff", &cut),
            (std::vector<std::u16string>{u"Domain Users", u"Staff", u"Sales"}));
  EXPECT_FALSE(cut);
  EXPECT_EQ(expand(u"Sales, Staff", u"x", &cut),
            (std::vector<std::u16string>{u"Sales", u"Staff"}));
  // No old groups: the format's own names only.
  EXPECT_EQ(expand(u"~g,Sales", u"", &cut), (std::vector<std::u16string>{u"Sales"}));
  EXPECT_TRUE(expand(u"~g", u"", &cut).empty());
}

TEST_F(GroupListTest, ListsBeyond2047BytesKeepWholeNamesOnly) {
  bool cut = true;
  // Exactly 2,047 bytes: all of it.
  std::u16string a(1000, u'a'), b(1046, u'b');
  std::vector<std::u16string> names = expand(u"~g", a + u"," + b, &cut);
  EXPECT_FALSE(cut);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1], b);
  // One byte more: the second name would be cut, so it is left out.
  names = expand(u"~g", a + u"," + b + u"b", &cut);
  EXPECT_TRUE(cut);
  EXPECT_EQ(names, std::vector<std::u16string>{a});
  // The limit falls right on a comma: the names before it are whole.
  names = expand(u"~g", std::u16string(2047, u'c') + u",d", &cut);
  EXPECT_TRUE(cut);
  EXPECT_EQ(names, std::vector<std::u16string>{std::u16string(2047, u'c')});
  // One name longer than the line: nothing is left.
  names = expand(u"~g", std::u16string(3000, u'e'), &cut);
  EXPECT_TRUE(cut);
  EXPECT_TRUE(names.empty());
}

}  // namespace
