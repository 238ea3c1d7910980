#include "patch/key_pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "patch/patch_test_env.h"

namespace {

using KeyPatternTest = PatchTest;

TEST_F(KeyPatternTest, PathsWithoutWildcardsAreOpenedForReading) {
  make_key("SOFTWARE\\Vendor\\App");
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "software\\VENDOR"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Nothing"),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, ""), ERROR_SUCCESS);  // the root itself
  EXPECT_EQ(open_key_pattern(HKEY_USERS, ".DEFAULT"), ERROR_SUCCESS);
}

TEST_F(KeyPatternTest, TheLastMatchingSubkeyDecides) {
  // Subkeys enumerate in alphabetical order: VendorA before VendorB.
  make_key("SOFTWARE\\VendorA\\App");
  make_key("SOFTWARE\\VendorB\\Other");
  make_key("SOFTWARE\\Zeta\\App");
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor*\\App"), ERROR_FILE_NOT_FOUND);
  make_key("SOFTWARE\\VendorB\\App");
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor*\\App"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "software\\VENDOR*\\app"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor?\\Other"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor?"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\V?\\App"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\*\\App"), ERROR_SUCCESS);  // Zeta last
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nobody*"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "NOPE\\Vendor*"), ERROR_FILE_NOT_FOUND);
  // Several wildcard components.
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFT*\\Vendor*\\Ot*"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFT*\\*\\Ot*"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFT*\\*\\A*"), ERROR_SUCCESS);
  // With an empty prefix the root's own subkeys are searched: of
  // SAM, SECURITY, SOFTWARE and SYSTEM the last, SYSTEM, decides.
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "S*"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "S*\\VendorA"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SO*\\VendorA"), ERROR_SUCCESS);
}

TEST_F(KeyPatternTest, SubkeyNamesAreTakenAsTheyStand) {
  // A key named "*" matches the pattern "*" and is then opened by its own
  // name, not searched again as a pattern.
  make_key("SOFTWARE\\Star\\*");
  make_key("SOFTWARE\\Star\\a?b\\Leaf");
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Star\\*"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Star\\*\\Leaf"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Star\\a*\\Leaf"), ERROR_SUCCESS);
}

TEST_F(KeyPatternTest, NamesBeyond63CharactersArePassedOver) {
  std::string n63 = "Vendor" + std::string(57, 'M');
  std::string n64 = "Vendor" + std::string(58, 'L');
  make_key(("SOFTWARE\\" + n63 + "\\App").c_str());
  make_key(("SOFTWARE\\" + n64 + "\\Other").c_str());
  // The 64-character name stands between the other two: the enumeration
  // goes on past it and the last readable match decides.
  make_key("SOFTWARE\\VendorA\\Other");
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor*\\App"), ERROR_SUCCESS);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, "SOFTWARE\\VendorL*\\Other"),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open_key_pattern(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + n64 + "\\Other").c_str()),
            ERROR_SUCCESS);
}

}  // namespace
