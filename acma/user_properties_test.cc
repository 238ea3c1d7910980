#include "acma/user_properties.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "lib/format.h"
#include "lib/time_syntax.h"
#include "platform/nls/nls_test_env.h"

namespace {

class UserPropertiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.pages("65001", "65001").lang("C").set("TZ", "CET-1").set("QX_DATE_FORMAT", nullptr)
        .set("QX_TIME_FORMAT", nullptr);
    tzset();
    record_ = USER_INFO_3{};
    record_.usri3_name = const_cast<WCHAR*>(u"jdoe");
    record_.usri3_comment = const_cast<WCHAR*>(u"Sales clerk");
    record_.usri3_home_dir = const_cast<WCHAR*>(u"\\\\SRV2\\home\\jdoe");
    record_.usri3_full_name = const_cast<WCHAR*>(u"John Doe");
    record_.usri3_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE;
    record_.usri3_password_age = 3 * 86400 - 1;
    record_.usri3_last_logon = 86400;       // 2.1.1970 00:00 UTC
    record_.usri3_last_logoff = 0;
    record_.usri3_acct_expires = 10 * 86400;
    record_.usri3_bad_pw_count = 2;
    record_.usri3_num_logons = 7;
    record_.usri3_user_id = 1003;
    record_.usri3_primary_group_id = 513;
    record_.usri3_password_expired = 1;
  }
  void TearDown() override {
    env_.set("TZ", "UTC");
    tzset();
  }

  std::string expand(const UserProperties& user, const char* format) {
    char out[OUTPUT_LINE_SIZE + 1];
    expand_format(format, out, user.table, OUTPUT_LINE_SIZE);
    return out;
  }

  NlsEnv env_;
  USER_INFO_3 record_;
  std::vector<GroupId> domain_groups_{{512, u"Domain Admins"}, {513, u"Domain Users"}};
};

TEST(AccountType, LaterKindsWin) {
  EXPECT_STREQ(account_type_text(0), "UNKNOWN");
  EXPECT_STREQ(account_type_text(UF_SCRIPT), "UNKNOWN");
  EXPECT_STREQ(account_type_text(UF_NORMAL_ACCOUNT), "NORMAL");
  EXPECT_STREQ(account_type_text(UF_TEMP_DUPLICATE_ACCOUNT), "TEMP");
  EXPECT_STREQ(account_type_text(UF_NORMAL_ACCOUNT | UF_TEMP_DUPLICATE_ACCOUNT), "TEMP");
  EXPECT_STREQ(account_type_text(UF_WORKSTATION_TRUST_ACCOUNT), "NT-WS");
  EXPECT_STREQ(account_type_text(UF_SERVER_TRUST_ACCOUNT | UF_WORKSTATION_TRUST_ACCOUNT),
               "NT-SERVER");
  EXPECT_STREQ(account_type_text(UF_INTERDOMAIN_TRUST_ACCOUNT | UF_SERVER_TRUST_ACCOUNT |
                                 UF_NORMAL_ACCOUNT),
               "DOMAIN");
}

TEST(GroupLists, SplitSkipsBlanksAfterCommas) {
  EXPECT_EQ(split_list(u"a, b,  c"), (std::vector<std::u16string>{u"a", u"b", u"c"}));
  EXPECT_EQ(split_list(u"Sales Team,Domain Users"),
            (std::vector<std::u16string>{u"Sales Team", u"Domain Users"}));
  EXPECT_TRUE(split_list(u"").empty());
  EXPECT_EQ(split_list(u",x,,"), (std::vector<std::u16string>{u"x"}));
  EXPECT_EQ(join_list({u"a", u"b c"}), u"a,b c");
  EXPECT_EQ(join_list({}), u"");
}

TEST_F(UserPropertiesTest, PlaceholdersOfARecord) {
  UserProperties user;
  user.server = u"\\\\SRV1";
  user.domain = u"SALES";
  set_user_properties(&user, record_, {u"Domain Users", u"Sales Team"}, {u"Users"},
                      domain_groups_);
  EXPECT_EQ(expand(user, "~S|~N|~c|~H|~f|~D|~G|~t"),
            "\\\\SRV1|jdoe|Sales clerk|\\\\SRV2\\home\\jdoe|John Doe|SALES|Domain Users|NORMAL");
  // Age in seconds and whole days; counts; flags as "0"/"1".
  EXPECT_EQ(expand(user, "~E ~e ~B ~U ~I ~T ~O"), "259,199 2 2 7 1,003 2 1");
  EXPECT_EQ(expand(user, "C~C x~x K~K J~J j~j"), "C0 x1 K0 J1 j0");
  EXPECT_EQ(expand(user, "~g|~l"), "Domain Users,Sales Team|Users");
  // Record times are universal seconds shown in local time (CET here).
  EXPECT_EQ(expand(user, "~L|~F|~X"), "02.01.1970 01:00|01.01.1970 01:00|11.01.1970 01:00");
  // Empty texts from null fields; an unknown primary group gives nothing.
  record_.usri3_primary_group_id = 999;
  record_.usri3_flags = UF_PASSWD_CANT_CHANGE | UF_LOCKOUT | UF_DONT_EXPIRE_PASSWD |
                        UF_WORKSTATION_TRUST_ACCOUNT;
  set_user_properties(&user, record_, {}, {}, {});
  EXPECT_EQ(expand(user, "[~s][~d][~P][~W][~G][~g][~T]~t"), "[][][][][][][0]NT-WS");
  EXPECT_EQ(expand(user, "C~C K~K J~J j~j"), "C1 K1 J0 j1");
}

TEST_F(UserPropertiesTest, CriteriaSelectByTextRangeAndTimeWindow) {
  UserProperties user;
  user.server = u"\\\\SRV1";
  user.domain = u"SALES";
  set_user_properties(&user, record_, {u"Domain Users", u"Sales Team"}, {u"Users"},
                      domain_groups_);
  char comment[ARG_TEXT_SIZE] = "*clerk", groups[ARG_TEXT_SIZE] = "*Sales*";
  char disabled[ARG_TEXT_SIZE] = "1", days[ARG_TEXT_SIZE] = "0:2", ids[ARG_TEXT_SIZE] = "";
  FILETIME upper{}, lower{};
  ArgSpec criteria[] = {
      {ARG_STRING, 'c', ARG_GIVEN, comment, 0},
      {ARG_STRING, 'g', ARG_GIVEN, groups, 0},
      {ARG_STRING, 'J', ARG_GIVEN, disabled, 0},
      {ARG_RANGE, 'e', ARG_GIVEN, days, 0},
      {ARG_RANGE, 'I', ARG_OPTIONAL, ids, 0},
      {ARG_ABSTIME, 'L', ARG_OPTIONAL, &upper, arg_ptr(&lower)},
      {ARG_END, 0, 0, nullptr, 0},
  };
  EXPECT_TRUE(match_criteria(user.table, criteria));
  std::strcpy(days, "3:");
  EXPECT_FALSE(match_criteria(user.table, criteria));
  std::strcpy(days, "2");
  std::strcpy(ids, "1000:1002");
  EXPECT_FALSE(match_criteria(user.table, criteria));
  std::strcpy(ids, "1003");
  std::strcpy(disabled, "0");
  EXPECT_FALSE(match_criteria(user.table, criteria));
  std::strcpy(disabled, "1");
  std::strcpy(groups, "Users");  // the whole list must match
  EXPECT_FALSE(match_criteria(user.table, criteria));
  std::strcpy(groups, "*users*");
  EXPECT_TRUE(match_criteria(user.table, criteria));

  // Last logon 02.01.1970 01:00 local: a window from that minute on admits
  // it, one starting a minute later does not; an upper bound before it
  // refuses it.
  ASSERT_TRUE(parse_abs_time("02.01.1970 01:00", &lower));
  upper = FILETIME{};
  EXPECT_TRUE(match_criteria(user.table, criteria));
  ASSERT_TRUE(parse_abs_time("02.01.1970 01:01", &lower));
  upper = FILETIME{};
  EXPECT_FALSE(match_criteria(user.table, criteria));
  lower = FILETIME{};
  ASSERT_TRUE(parse_abs_time("02.01.1970 00:59", &upper));
  EXPECT_FALSE(match_criteria(user.table, criteria));
  ASSERT_TRUE(parse_abs_time("02.01.1970 01:00", &upper));
  EXPECT_TRUE(match_criteria(user.table, criteria));
}

}  // namespace
