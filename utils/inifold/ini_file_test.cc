#include "utils/inifold/ini_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

Texts names(const IniFile& file) {
  Texts out;
  for (const IniSection& s : file.sections) out.emplace_back(s.name);
  return out;
}

Texts entries(const IniFile& file, size_t section) {
  Texts out;
  const IniSection& s = file.sections[section];
  for (size_t i = 0; i < s.entry_count; ++i) out.emplace_back(file.entries[s.first_entry + i].text);
  return out;
}

TEST(IniParse, SectionsAndEntries) {
  IniFile file;
  const std::string text =
      "preamble=lost\r\n; lost too\r\n"
      "[First] trailing text\r\n"
      "key=value\r\n"
      "\r\n"
      "   indented = kept as is  \r\n"
      "; a comment\r\n"
      "a=1\tb=2\t\tc\r\n"
      "x=[not a header]\r\n"
      "d=1\t[Second\r\n"
      "e=\xc3\xa9t\xc3\xa9\n"
      "\n\n"
      "[]\n";
  ASSERT_EQ(parse_ini(text, &file), IniParseResult::kOk);
  EXPECT_EQ(names(file), (Texts{"First", "Second", ""}));
  EXPECT_EQ(entries(file, 0), (Texts{"key=value", "indented = kept as is  ", "; a comment", "a=1",
                                     "b=2", "c", "x=[not a header]", "d=1"}));
  EXPECT_EQ(entries(file, 1), (Texts{"e=\xc3\xa9t\xc3\xa9"}));
  EXPECT_TRUE(entries(file, 2).empty());
  EXPECT_EQ(file.entries.size(), 9u);
}

TEST(IniParse, TextWithoutSections) {
  IniFile file;
  EXPECT_EQ(parse_ini("", &file), IniParseResult::kOk);
  EXPECT_TRUE(file.sections.empty());
  EXPECT_EQ(parse_ini("key=value\r\nno header\r\n", &file), IniParseResult::kOk);
  EXPECT_TRUE(file.sections.empty());
  EXPECT_TRUE(file.entries.empty());
  // A header cut short at the end of the text.
  EXPECT_EQ(parse_ini("[Open", &file), IniParseResult::kOk);
  EXPECT_EQ(names(file), Texts{"Open"});
}

TEST(IniParse, TableLimits) {
  IniFile file;
  std::string sections;
  for (size_t i = 0; i < INI_MAX_SECTIONS; ++i) sections += "[s" + std::to_string(i) + "]\n";
  EXPECT_EQ(parse_ini(sections, &file), IniParseResult::kOk);
  EXPECT_EQ(file.sections.size(), INI_MAX_SECTIONS);
  EXPECT_EQ(parse_ini(sections + "[one more]\n", &file), IniParseResult::kTooManySections);

  std::string lines = "[s]\n";
  for (size_t i = 0; i < INI_MAX_LINES; ++i) lines += "k" + std::to_string(i) + "=1\n";
  EXPECT_EQ(parse_ini(lines, &file), IniParseResult::kOk);
  EXPECT_EQ(file.entries.size(), INI_MAX_LINES);
  EXPECT_EQ(parse_ini(lines + "[t]\nlast=1\n", &file), IniParseResult::kTooManyLines);
  // Entries split at tabs count as lines; blank lines do not.
  std::string tabbed = "[s]\n";
  for (size_t i = 0; i < INI_MAX_LINES / 2; ++i) tabbed += "a=1\tb=2\n\n";
  EXPECT_EQ(parse_ini(tabbed, &file), IniParseResult::kOk);
  EXPECT_EQ(parse_ini(tabbed + "\t c=3", &file), IniParseResult::kTooManyLines);
}

}  // namespace
