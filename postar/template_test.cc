#include "postar/template.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class TemplateTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("COMPUTERNAME", "mailhost", 1);
    setenv("USERNAME", "tester", 1);
    setenv("LANG", "C", 1);
  }
  void TearDown() override {
    unsetenv("COMPUTERNAME");
    unsetenv("USERNAME");
  }
  char out_[TEMPLATE_WORK_SIZE];
};

TEST_F(TemplateTest, Escapes) {
  EXPECT_TRUE(expand_escapes("\\65\\066\\t\\\\x\\q\\", out_));
  EXPECT_EQ(std::string(out_), "AB\t\\x\\q\\");
  EXPECT_TRUE(expand_escapes("\\0651 \\e\\b\\n\\r", out_));
  EXPECT_EQ(std::string(out_), "A1 \x1b\b\n\r");
  EXPECT_TRUE(expand_escapes("\\300|\\256x", out_));  // codes wrap at 256; 0 ends the line
  EXPECT_EQ(std::string(out_), ",|");
  EXPECT_TRUE(expand_escapes("ab\\0cd", out_));
  EXPECT_EQ(std::string(out_), "ab");
}

TEST_F(TemplateTest, Arguments) {
  const char* args[TEMPLATE_MAX_ARGUMENTS] = {"zero", "one"};
  EXPECT_TRUE(expand_arguments("%0-%1-%2-%9-%x-%%1-%", out_, args));
  EXPECT_EQ(std::string(out_), "zero-one---%x-%%1-%");
  EXPECT_TRUE(expand_arguments("%0", out_, nullptr));
  EXPECT_EQ(std::string(out_), "");
}

TEST_F(TemplateTest, EnvironmentReferences) {
  setenv("POSTAR_T", "val", 1);
  unsetenv("POSTAR_NOPE");
  CaptureStderr();
  EXPECT_TRUE(expand_environment("%postar_t%|%%|%POSTAR_NOPE%|50% off", out_));
  EXPECT_EQ(GetCapturedStderr(),
            "POSTAR-ERROR, Environment variable 'POSTAR_NOPE' not set, error=203\n");
  EXPECT_EQ(std::string(out_), "val|%||50% off");

  std::string name79(79, 'N');
  std::string name80(80, 'N');
  setenv(name79.c_str(), "short", 1);
  setenv(name80.c_str(), "long", 1);
  EXPECT_TRUE(expand_environment(("<%" + name79 + "%>").c_str(), out_));
  EXPECT_EQ(std::string(out_), "<short>");
  std::string too_long = "<%" + name80 + "%>";
  EXPECT_TRUE(expand_environment(too_long.c_str(), out_));
  EXPECT_EQ(std::string(out_), too_long);
  unsetenv(name79.c_str());
  unsetenv(name80.c_str());
  unsetenv("POSTAR_T");
}

TEST_F(TemplateTest, KeywordsAndFiles) {
  std::vector<std::pair<std::string, bool>> sent;
  TemplateContext context;
  context.send_file = [&](const char* file, bool remove) { sent.emplace_back(file, remove); };
  bool dropped = true;
  EXPECT_TRUE(expand_keywords("HELO ~h ~u ~~ ~", out_, context, &dropped));
  EXPECT_EQ(std::string(out_), "HELO MAILHOST tester ~ ~");
  EXPECT_FALSE(dropped);

  CaptureStderr();
  EXPECT_TRUE(expand_keywords("a~qb~", out_, context, &dropped));
  EXPECT_EQ(GetCapturedStderr(), "POSTAR-ERROR, Unknown keyword '~q', error=87\n");
  EXPECT_EQ(std::string(out_), "ab~");

  EXPECT_TRUE(expand_keywords("text ~Fbody.txt ~h", out_, context, &dropped));
  EXPECT_TRUE(dropped);
  EXPECT_EQ(std::string(out_), "");
  EXPECT_TRUE(expand_keywords("~f keep.txt", out_, context, &dropped));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], std::make_pair(std::string("body.txt ~h"), true));
  EXPECT_EQ(sent[1], std::make_pair(std::string(" keep.txt"), false));
}

TEST_F(TemplateTest, WorkAreasHoldExactly1023Characters) {
  std::string a255(255, 'a');
  const char* args[TEMPLATE_MAX_ARGUMENTS] = {a255.c_str()};
  EXPECT_TRUE(expand_arguments("%0%0%0%0abc", out_, args));
  EXPECT_EQ(std::string(out_).size(), 1023u);
  CaptureStderr();
  EXPECT_FALSE(expand_arguments("%0%0%0%0abcd%0", out_, args));
  EXPECT_EQ(GetCapturedStderr(),
            "POSTAR-ERROR, Buffer size exceeded with parameters substitution, error=122\n");
  EXPECT_EQ(std::string(out_), std::string(1020, 'a') + "abc");

  setenv("POSTAR_BIG", std::string(1020, 'b').c_str(), 1);
  EXPECT_TRUE(expand_environment("%POSTAR_BIG%xyz", out_));
  EXPECT_EQ(std::string(out_).size(), 1023u);
  CaptureStderr();
  EXPECT_FALSE(expand_environment("x%POSTAR_BIG%yzw", out_));
  EXPECT_EQ(GetCapturedStderr(),
            "POSTAR-ERROR, buffer size exceeded substituting environment, error=122\n");
  EXPECT_EQ(std::string(out_).size(), 1023u);
  unsetenv("POSTAR_BIG");

  TemplateContext context;
  bool dropped;
  EXPECT_TRUE(expand_keywords((std::string(1015, 'k') + "~h").c_str(), out_, context, &dropped));
  EXPECT_EQ(std::string(out_), std::string(1015, 'k') + "MAILHOST");
  CaptureStderr();
  EXPECT_FALSE(
      expand_keywords((std::string(1016, 'k') + "~hmore").c_str(), out_, context, &dropped));
  EXPECT_EQ(GetCapturedStderr(),
            "POSTAR-ERROR, Buffer size exceeded with keywords substitution, error=122\n");
  EXPECT_EQ(std::string(out_), std::string(1016, 'k') + "MAILHOS");
}

TEST_F(TemplateTest, AllStepsInOrder) {
  setenv("POSTAR_DOMAIN", "example.net", 1);
  const char* args[TEMPLATE_MAX_ARGUMENTS] = {"rcpt@example.org"};
  TemplateContext context;
  context.arguments = args;
  expand_template("HELO ~h\\r\\n", out_, context);
  EXPECT_EQ(std::string(out_), "HELO MAILHOST\r\n");
  expand_template("MAIL FROM:<~u@%POSTAR_DOMAIN%> TO %0\\r\\n", out_, context);
  EXPECT_EQ(std::string(out_), "MAIL FROM:<tester@example.net> TO rcpt@example.org\r\n");
  // An escape can make a "%" or "~" that the later steps then read.
  expand_template("\\37\\48 \\126u", out_, context);
  EXPECT_EQ(std::string(out_), "rcpt@example.org tester");
  // A line longer than a work area is cut first.
  expand_template(std::string(1500, 'z').c_str(), out_, context);
  EXPECT_EQ(std::string(out_), std::string(1023, 'z'));
  unsetenv("POSTAR_DOMAIN");
}

}  // namespace
