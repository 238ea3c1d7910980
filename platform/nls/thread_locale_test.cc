#include "platform/nls/thread_locale.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/kernel/error.h"
#include "platform/nls/locale.h"
#include "platform/nls/nls_test_env.h"

namespace {

// Puts the calling thread back on the user default after each test.
class ThreadLocaleTest : public ::testing::Test {
 protected:
  void TearDown() override { SetThreadLocale(LOCALE_USER_DEFAULT); }
};

TEST_F(ThreadLocaleTest, DefaultFollowsUserLocaleUntilSet) {
  NlsEnv env;
  env.set("LC_ALL", nullptr).set("LANG", "de_DE.UTF-8");
  SetThreadLocale(LOCALE_USER_DEFAULT);
  EXPECT_EQ(GetThreadLocale(), 0x0407u);

  // A new thread has no locale of its own yet and reads the user default.
  env.set("LANG", "C");
  LCID seen = 1;
  std::thread([&] { seen = GetThreadLocale(); }).join();
  EXPECT_EQ(seen, 0x0409u);

  // The locale set is the thread's own: another thread does not see it.
  env.set("LANG", "de_DE.UTF-8");
  ASSERT_TRUE(SetThreadLocale(0x0409));
  EXPECT_EQ(GetThreadLocale(), 0x0409u);
  std::thread([&] { seen = GetThreadLocale(); }).join();
  EXPECT_EQ(seen, 0x0407u);
  std::thread([&] {
    SetThreadLocale(0x0407);
    seen = GetThreadLocale();
  }).join();
  EXPECT_EQ(seen, 0x0407u);
  EXPECT_EQ(GetThreadLocale(), 0x0409u);
}

TEST_F(ThreadLocaleTest, InvalidLocaleIsRefusedAndKeepsTheOldOne) {
  ASSERT_TRUE(SetThreadLocale(0x0407));
  for (LCID bad : {LCID{0}, LCID{0x7FFF}, LCID{0x12345678}}) {
    SetLastError(0);
    EXPECT_FALSE(SetThreadLocale(bad)) << bad;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << bad;
    EXPECT_EQ(GetThreadLocale(), 0x0407u) << bad;
  }
}

TEST_F(ThreadLocaleTest, PseudoLocalesResolveToTheirCurrentValue) {
  NlsEnv env;
  env.set("LC_ALL", nullptr).set("LANG", "de_DE.UTF-8");
  ASSERT_TRUE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT));
  EXPECT_EQ(GetThreadLocale(), GetSystemDefaultLCID());
  env.set("LANG", "en_US.UTF-8");
  // Set from the system default while German: stays German.
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
}

TEST(LanguageIds, PackAndUnpack) {
  EXPECT_EQ(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), 0x0407);
  EXPECT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0x0409);
  EXPECT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), 0x0809);
  EXPECT_EQ(PRIMARYLANGID(0x0809), LANG_ENGLISH);
  EXPECT_EQ(SUBLANGID(0x0809), SUBLANG_ENGLISH_UK);
  EXPECT_EQ(LANGIDFROMLCID(MAKELCID(0x0407, SORT_DEFAULT)), 0x0407);
  EXPECT_EQ(LANGIDFROMLCID(0x00010407), 0x0407);
}

}  // namespace
