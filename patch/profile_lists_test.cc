#include "patch/profile_lists.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "patch/patch_test_env.h"

namespace {

using ProfileListsTest = PatchTest;

// A file with sections named by `names`, each holding one key.
std::string sections_text(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += "[" + name + "]\r\nCommand=x\r\n";
  return text;
}

// Section names whose list (each name with its terminator) takes `bytes`
// bytes: names of 9 letters (10 bytes each) and a last one for the rest.
std::vector<std::string> names_of_total(size_t bytes) {
  std::vector<std::string> names;
  size_t used = 0;
  int n = 0;
  while (bytes - used > 20) {
    char name[16];
    snprintf(name, sizeof name, "S%08d", n++);
    names.push_back(name);
    used += 10;
  }
  names.push_back(std::string(bytes - used - 1, 'Z'));
  return names;
}

size_t list_bytes(const std::vector<std::string>& names) {
  size_t total = 0;
  for (const std::string& name : names) total += name.size() + 1;
  return total;
}

TEST_F(ProfileListsTest, SectionListsKeepFileOrderAndMissingFilesAreEmpty) {
  std::string file = write("a.fxa", "[Setup]\r\nCommand=a\r\n[second step]\r\nCommand=b\r\n"
                                    "[Last]\r\n[setup]\r\nCommand=c\r\n");
  SectionList list = read_section_list(file.c_str(), PATCH_SECTION_LIST_BYTES);
  EXPECT_FALSE(list.cut);
  ASSERT_EQ(list.names.size(), 3u);  // a repeated name counts once
  EXPECT_EQ(list.names[0], "Setup");
  EXPECT_EQ(list.names[1], "second step");
  EXPECT_EQ(list.names[2], "Last");

  SectionList none = read_section_list(path("missing.fxc").c_str(), CONDITION_SECTION_LIST_BYTES);
  EXPECT_TRUE(none.names.empty());
  EXPECT_FALSE(none.cut);
  EXPECT_TRUE(read_section_list(nullptr, 1024).names.empty());
}

TEST_F(ProfileListsTest, PatchSectionListAtItsByteLimit) {
  // 1,022 bytes of names and terminators fit beside the list's two final
  // terminators; one byte more and the list is cut.
  std::vector<std::string> fits = names_of_total(1022);
  ASSERT_EQ(list_bytes(fits), 1022u);
  std::string file = write("fit.fxa", sections_text(fits));
  SectionList list = read_section_list(file.c_str(), PATCH_SECTION_LIST_BYTES);
  EXPECT_FALSE(list.cut);
  EXPECT_EQ(list.names, fits);

  std::vector<std::string> over = names_of_total(1023);
  file = write("over.fxa", sections_text(over));
  list = read_section_list(file.c_str(), PATCH_SECTION_LIST_BYTES);
  EXPECT_TRUE(list.cut);
  // The cut last name is not taken for a name of the file.
  ASSERT_EQ(list.names.size(), over.size() - 1);
  EXPECT_EQ(list.names.back(), over[over.size() - 2]);

  // A cut right behind a terminator keeps every name before it.
  std::vector<std::string> whole = fits;
  whole.push_back("NEXT");
  file = write("whole.fxa", sections_text(whole));
  list = read_section_list(file.c_str(), PATCH_SECTION_LIST_BYTES);
  EXPECT_TRUE(list.cut);
  EXPECT_EQ(list.names, fits);
}

TEST_F(ProfileListsTest, ConditionSectionListAtItsByteLimit) {
  std::vector<std::string> fits = names_of_total(2046);
  std::string file = write("FIXAR.FXC", sections_text(fits));
  SectionList list = read_section_list(file.c_str(), CONDITION_SECTION_LIST_BYTES);
  EXPECT_FALSE(list.cut);
  EXPECT_EQ(list.names, fits);
  // The same file read with the patch file's limit is cut.
  EXPECT_TRUE(read_section_list(file.c_str(), PATCH_SECTION_LIST_BYTES).cut);

  std::vector<std::string> over = names_of_total(2047);
  file = write("FIXAR.FXC", sections_text(over));
  list = read_section_list(file.c_str(), CONDITION_SECTION_LIST_BYTES);
  EXPECT_TRUE(list.cut);
  EXPECT_EQ(list.names.size(), over.size() - 1);
}

TEST_F(ProfileListsTest, ValuesAreReadUpTo255CharactersWithDefaults) {
  std::string v255(255, 'v');
  std::string file = write("p.fxa", "[S]\r\nExact=" + v255 + "\r\nLong=" + v255 +
                                        "WX\r\nEmpty=\r\nQuoted=\"  a b  \"\r\n");
  bool cut = true;
  EXPECT_EQ(read_profile_value(file.c_str(), "S", "Exact", "", PATCH_VALUE_MAX, &cut), v255);
  EXPECT_FALSE(cut);
  EXPECT_EQ(read_profile_value(file.c_str(), "S", "Long", "", PATCH_VALUE_MAX, &cut), v255);
  EXPECT_TRUE(cut);
  EXPECT_EQ(read_profile_value(file.c_str(), "s", "long", "", 30, &cut), std::string(30, 'v'));
  EXPECT_TRUE(cut);
  EXPECT_EQ(read_profile_value(file.c_str(), "S", "Empty", "?", PATCH_VALUE_MAX, &cut), "?");
  EXPECT_FALSE(cut);
  EXPECT_EQ(read_profile_value(file.c_str(), "S", "Missing", "dflt", PATCH_VALUE_MAX), "dflt");
  EXPECT_EQ(read_profile_value(file.c_str(), "S", "Missing", nullptr, PATCH_VALUE_MAX), "");
  EXPECT_EQ(read_profile_value(file.c_str(), "S", "Quoted", "", PATCH_VALUE_MAX), "  a b  ");
  EXPECT_EQ(read_profile_value(path("none.ini").c_str(), "S", "Exact", "d", 255), "d");
}

}  // namespace
