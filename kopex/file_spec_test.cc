// The specification grammar: splitting, pattern lists and drive tokens.
#include "kopex/file_spec.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files/current_directory.h"
#include "platform/files/directory.h"
#include "platform/files/files_test_env.h"

namespace kopex {
namespace {

class FileSpecTest : public ::testing::Test {
 protected:
  FileSpecTest() { net_.map('D', net_.folder("d")); }

  FileSpec split(const char* spec, bool* recurse = nullptr, bool* remove = nullptr) {
    bool r = false, e = false;
    FileSpec out;
    error_ = split_file_spec(spec, &out, recurse ? recurse : &r, remove ? remove : &e);
    return out;
  }

  FilesTestNetwork net_;
  SpecError error_ = SpecError::none;
};

TEST_F(FileSpecTest, DriveFormSplitsDirectoryAndPatterns) {
  bool recurse = false, remove = false;
  FileSpec s = split("C:\\temp\\!keep*,*.tmp,*.bak", &recurse, &remove);
  EXPECT_EQ(error_, SpecError::none);
  EXPECT_EQ(s.drive, "C:");
  EXPECT_EQ(s.dir, "\\temp\\");
  EXPECT_EQ(s.files, "!keep*,*.tmp,*.bak");
  ASSERT_EQ(s.patterns.size(), 3u);
  EXPECT_EQ(s.patterns[0], "!keep*");
  EXPECT_FALSE(recurse);
  EXPECT_FALSE(remove);
  EXPECT_FALSE(s.names_directory);
  EXPECT_TRUE(s.server.empty());

  // Relative parts are resolved: ".." and "." disappear.
  s = split("C:\\a\\b\\..\\.\\c\\x.txt");
  EXPECT_EQ(s.dir, "\\a\\c\\");
  EXPECT_EQ(s.files, "x.txt");
}

TEST_F(FileSpecTest, TrailingBackslashNamesADirectoryAndSwitchesOnRecursion) {
  bool recurse = false, remove = false;
  FileSpec s = split("C:\\data\\", &recurse, &remove);
  EXPECT_EQ(s.dir, "\\data\\");
  EXPECT_EQ(s.files, "*");
  ASSERT_EQ(s.patterns.size(), 1u);
  EXPECT_TRUE(recurse);
  EXPECT_TRUE(remove);
  EXPECT_TRUE(s.names_directory);
}

TEST_F(FileSpecTest, UncFormKeepsWildcardsInServerAndShare) {
  bool recurse = false, remove = false;
  FileSpec s = split("SALES*\\\\SRV*\\SH?RE\\a*\\b?\\*.txt", &recurse, &remove);
  EXPECT_EQ(error_, SpecError::none);
  EXPECT_EQ(s.domain, "SALES*");
  EXPECT_EQ(s.server, "SRV*");
  EXPECT_EQ(s.share, "SH?RE");
  EXPECT_EQ(s.drive, "");
  EXPECT_EQ(s.dir, "\\a*\\b?\\");
  EXPECT_EQ(s.files, "*.txt");
  EXPECT_FALSE(recurse);

  // A spec naming only a share walks all of it.
  s = split("\\\\SRV1\\PUB", &recurse, &remove);
  EXPECT_EQ(s.share, "PUB");
  EXPECT_EQ(s.dir, "");
  EXPECT_EQ(s.files, "*");
  EXPECT_TRUE(s.names_directory);
  EXPECT_TRUE(recurse);

  s = split("\\\\SRV1\\PUB\\x.txt");
  EXPECT_EQ(s.dir, "");
  EXPECT_EQ(s.files, "x.txt");
}

TEST_F(FileSpecTest, DriveClassesKeepTheirTokenAndTakeThePathFromTheRoot) {
  FileSpec s = split("DISK*:\\data\\*.log");
  EXPECT_EQ(error_, SpecError::none);
  EXPECT_EQ(s.drive, "DISK*:");
  EXPECT_EQ(s.dir, "\\data\\");
  EXPECT_EQ(s.files, "*.log");
  s = split("*:\\*.sys");
  EXPECT_EQ(s.drive, "*:");
  EXPECT_EQ(s.dir, "\\");
  s = split("TAPE:\\x");
  EXPECT_EQ(s.drive, "TAPE:");
  EXPECT_EQ(s.dir, "\\");
}

TEST_F(FileSpecTest, LengthLimitsAreKeptExactly) {
  std::string at_limit = "C:\\" + std::string(253, 'a');  // 256 characters
  split(at_limit.c_str());
  EXPECT_NE(error_, SpecError::too_long);
  // A full path over 259 characters is refused, never cut.
  EXPECT_EQ(error_, SpecError::none);
  std::string over = "C:\\" + std::string(254, 'a');  // 257 characters
  FileSpec s = split(over.c_str());
  EXPECT_EQ(error_, SpecError::too_long);
  EXPECT_TRUE(s.files.empty());
  EXPECT_TRUE(s.patterns.empty());
  // A short spec whose resolution passes 259 characters is refused too.
  const std::string deep = "C:\\" + std::string(200, 'b');
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
  split(("C:" + std::string(55, 'c')).c_str());  // 259 characters resolved
  EXPECT_EQ(error_, SpecError::none) << GetLastError();
  split(("C:" + std::string(56, 'c')).c_str());  // 260
  EXPECT_EQ(error_, SpecError::bad_path);
}

TEST(PatternListTest, FirstMatchingPatternDecides) {
  std::vector<std::string> keep_first = split_patterns("!keep*,*.tmp");
  std::vector<std::string> tmp_first = split_patterns("*.tmp,!keep*");
  EXPECT_FALSE(select_name("keep1.tmp", keep_first));
  EXPECT_TRUE(select_name("other.tmp", keep_first));
  EXPECT_TRUE(select_name("keep1.tmp", tmp_first));
  EXPECT_FALSE(select_name("keep1.txt", tmp_first));  // matches no plain pattern

  std::vector<std::string> all = split_patterns("*,!read*");
  EXPECT_TRUE(select_name("readme.txt", all));
  std::vector<std::string> txt = split_patterns("!read*,*.txt");
  EXPECT_TRUE(select_name("NOTES.TXT", txt));  // case ignored
  EXPECT_FALSE(select_name("ReadMe.txt", txt));
}

TEST(PatternListTest, ListEndsAtTheFirstEmptyPattern) {
  EXPECT_EQ(split_patterns("a,b,,c").size(), 2u);
  EXPECT_EQ(split_patterns(",a").size(), 0u);
  EXPECT_EQ(split_patterns("a,").size(), 1u);
  EXPECT_TRUE(split_patterns("").empty());
  EXPECT_FALSE(select_name("a", split_patterns("")));
}

TEST(DriveTokenTest, LettersClassesAndInvalidTokens) {
  DriveSelector s = parse_drive_token("c:");
  EXPECT_EQ(s.kind, DriveClass::letter);
  EXPECT_EQ(s.letter, 'C');
  EXPECT_EQ(parse_drive_token("").kind, DriveClass::current);
  EXPECT_EQ(parse_drive_token("*:").kind, DriveClass::all);
  EXPECT_FALSE(parse_drive_token("*:").first_only);

  s = parse_drive_token("disk:");
  EXPECT_EQ(s.kind, DriveClass::fixed);
  EXPECT_TRUE(s.first_only);
  s = parse_drive_token("DISK*:");
  EXPECT_EQ(s.kind, DriveClass::fixed);
  EXPECT_FALSE(s.first_only);
  EXPECT_EQ(parse_drive_token("CD:").kind, DriveClass::cdrom);
  EXPECT_EQ(parse_drive_token("Floppy*:").kind, DriveClass::removable);
  EXPECT_EQ(parse_drive_token("NET:").kind, DriveClass::remote);

  EXPECT_EQ(parse_drive_token("TAPE:").kind, DriveClass::invalid);
  EXPECT_EQ(parse_drive_token("1:").kind, DriveClass::invalid);
  EXPECT_EQ(parse_drive_token("DISK**:").kind, DriveClass::invalid);
  EXPECT_EQ(parse_drive_token("CDX:").kind, DriveClass::invalid);
}

}  // namespace
}  // namespace kopex
