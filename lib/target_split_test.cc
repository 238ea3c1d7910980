#include "lib/target_split.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Target {
  bool ok;
  std::string domain, server, name;
};

Target target(const char* text) {
  char d[SPLIT_PART_SIZE] = "x", s[SPLIT_PART_SIZE] = "x", n[SPLIT_PART_SIZE] = "x";
  bool ok = split_target(text, d, s, n);
  return Target{ok, d, s, n};
}

std::string path(const char* text) {
  char parts[6][SPLIT_PART_SIZE];
  for (auto& p : parts) p[0] = 'x', p[1] = '\0';
  bool ok = split_path(text, parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
  std::string out = ok ? "" : "false:";
  for (int i = 0; i < 6; ++i) out += std::string(i ? "|" : "") + parts[i];
  return out;
}

TEST(SplitTarget, EveryForm) {
  Target t = target("guest");
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "||guest");
  t = target("SALES\\guest");
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "SALES||guest");
  t = target("SALES\\guest\\more");  // the name is one component
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "SALES||guest");
  t = target("\\\\SRV1");
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "|SRV1|");
  t = target("\\\\SRV1\\");
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "|SRV1|");
  t = target("\\\\SRV*\\job*");
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "|SRV*|job*");
  t = target("dom*\\\\node*\\share*\\rest");
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "dom*|node*|share*");
  t = target("");
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "||");
  t = target("\\");
  EXPECT_EQ(t.domain + "|" + t.server + "|" + t.name, "||");

  // Outputs are optional.
  char server[SPLIT_PART_SIZE];
  EXPECT_TRUE(split_target("D\\\\S\\N", nullptr, server, nullptr));
  EXPECT_STREQ(server, "S");
}

TEST(SplitTarget, LengthLimitAndAbsentText) {
  std::string longest(SPLIT_TEXT_MAX, 'n');
  Target t = target(longest.c_str());
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(t.name, longest);
  std::string server = "\\\\" + std::string(SPLIT_TEXT_MAX - 2, 's');
  t = target(server.c_str());
  EXPECT_EQ(t.server.size(), static_cast<size_t>(SPLIT_TEXT_MAX - 2));
  // One character more: refused, and every output empty.
  t = target((longest + "n").c_str());
  EXPECT_FALSE(t.ok);
  EXPECT_EQ(t.domain + t.server + t.name, "");
  t = target(nullptr);
  EXPECT_FALSE(t.ok);
  EXPECT_EQ(t.name, "");
}

TEST(SplitPath, ServerForms) {
  // domain|server|share|drive|directory|file
  EXPECT_EQ(path("\\\\SRV\\SHARE\\a\\b\\file.txt"), "|SRV|SHARE||\\a\\b\\|file.txt");
  EXPECT_EQ(path("SALES\\\\SRV*\\DATA\\x.ini"), "SALES|SRV*|DATA|||x.ini");
  EXPECT_EQ(path("\\\\SRV\\SHARE\\file"), "|SRV|SHARE|||file");
  EXPECT_EQ(path("\\\\SRV\\SHARE"), "|SRV|SHARE|||");
  EXPECT_EQ(path("\\\\SRV\\SHARE\\dir\\"), "|SRV|SHARE||\\dir\\|");
  EXPECT_EQ(path("\\\\SRV"), "|SRV||||");
  // What follows the server is taken as share and path, a drive included.
  EXPECT_EQ(path("\\\\SRV\\C:\\dir\\f"), "|SRV|C:||\\dir\\|f");
}

TEST(SplitPath, LocalForms) {
  EXPECT_EQ(path("C:\\dir\\sub\\file.txt"), "|||C:|\\dir\\sub\\|file.txt");
  EXPECT_EQ(path("C:file"), "|||C:||file");
  EXPECT_EQ(path("C:"), "|||C:||");
  EXPECT_EQ(path("dir\\"), "||||dir\\|");
  EXPECT_EQ(path("file.ini"), "|||||file.ini");
  EXPECT_EQ(path("/tmp/x.ini"), "|||||/tmp/x.ini");
  EXPECT_EQ(path("\\root\\f"), "||||\\root\\|f");
  EXPECT_EQ(path(""), "|||||");
  std::string longest = "C:\\" + std::string(SPLIT_TEXT_MAX - 3, 'f');
  EXPECT_EQ(path(longest.c_str()), "|||C:|\\|" + std::string(SPLIT_TEXT_MAX - 3, 'f'));
  EXPECT_EQ(path((longest + "f").c_str()), "false:|||||");
  EXPECT_EQ(path(nullptr), "false:|||||");
}

}  // namespace
