#include "keylo/key_path.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyPath, RootsInAnyCaseAndTheirSubkeys) {
  KeyPath p;
  ASSERT_EQ(parse_key_path("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example", &p), KeyPathResult::ok);
  EXPECT_EQ(p.root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(p.root_name, "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(p.subkey, "SOFTWARE\\Example");
  ASSERT_EQ(parse_key_path("hkey_current_user\\Console", &p), KeyPathResult::ok);
  EXPECT_EQ(p.root, HKEY_CURRENT_USER);
  EXPECT_EQ(p.root_name, "hkey_current_user");
  EXPECT_EQ(p.subkey, "Console");
  ASSERT_EQ(parse_key_path("HKEY_Classes_Root\\.txt\\", &p), KeyPathResult::ok);
  EXPECT_EQ(p.root, HKEY_CLASSES_ROOT);
  EXPECT_EQ(p.subkey, ".txt\\");
}

TEST(KeyPath, OtherRootsAndBareRoots) {
  KeyPath p;
  EXPECT_EQ(parse_key_path("HKEY_USERS\\x", &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path("HKEY_CURRENT_CONFIG\\x", &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path("HKEY_LOCAL_MACHINEX\\x", &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path("HKEY_LOCAL\\x", &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path("SOFTWARE\\x", &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path("", &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path(nullptr, &p), KeyPathResult::invalid_root);
  EXPECT_EQ(parse_key_path("HKEY_LOCAL_MACHINE", &p), KeyPathResult::no_subkey);
  EXPECT_EQ(parse_key_path("HKEY_LOCAL_MACHINE\\", &p), KeyPathResult::no_subkey);
}

}  // namespace
