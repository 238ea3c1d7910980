#include "platform/user/message_box.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/kernel/error.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct MessageBoxLog : ::testing::Test {
  std::string path;
  void SetUp() override {
    char dir[] = "/tmp/msgboxXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    path = std::string(dir) + "/boxes.log";
    setenv("NT_MESSAGE_BOX_LOG", path.c_str(), 1);
    unsetenv("NT_MESSAGE_BOX_ANSWERS");
  }
  void TearDown() override {
    unsetenv("NT_MESSAGE_BOX_LOG");
    unsetenv("NT_MESSAGE_BOX_ANSWERS");
    nt_set_message_box_presenter(nullptr);
  }
};

TEST_F(MessageBoxLog, WritesOneEscapedLinePerBoxAndAnswersWithTheDefaultButton) {
  EXPECT_EQ(MessageBoxA(nullptr, "a|b\\c\nd", "Cap", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "sure?", "Warning", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OKCANCEL), IDOK);
  EXPECT_EQ(read_file(path), "Cap|a\\|b\\\\c\\nd|10\nWarning|sure?|104\nError||1\n");
}

TEST_F(MessageBoxLog, TakesAnswersInOrderAndFallsBackToTheDefault) {
  setenv("NT_MESSAGE_BOX_ANSWERS", "no,cancel,yes", 1);
  EXPECT_EQ(MessageBoxA(nullptr, "1", "c", MB_YESNO), IDNO);
  // A button the box lacks gives its default, and the answer is used up.
  EXPECT_EQ(MessageBoxA(nullptr, "2", "c", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "3", "c", MB_YESNOCANCEL | MB_DEFBUTTON3), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "4", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  // A new list starts from its first word.
  setenv("NT_MESSAGE_BOX_ANSWERS", "CANCEL", 1);
  EXPECT_EQ(MessageBoxA(nullptr, "5", "c", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "6", "c", MB_OKCANCEL), IDOK);
}

TEST_F(MessageBoxLog, RefusesUnknownButtonSetsAndDefaults) {
  SetLastError(0);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "c", 0x7), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "c", MB_OK | MB_DEFBUTTON2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(read_file(path), "");
  EXPECT_EQ(nt_message_box_default_button(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
}

int g_presented = 0;
int present(HWND, const char* text, const char*, UINT) {
  ++g_presented;
  return std::string(text) == "retry" ? IDRETRY : IDCANCEL;
}

TEST_F(MessageBoxLog, ThePresenterShowsBoxesOnlyWhenNoLogIsAsked) {
  nt_set_message_box_presenter(present);
  EXPECT_EQ(MessageBoxA(nullptr, "retry", "c", MB_RETRYCANCEL), IDRETRY);  // logged
  EXPECT_EQ(g_presented, 0);
  unsetenv("NT_MESSAGE_BOX_LOG");
  EXPECT_EQ(MessageBoxA(nullptr, "retry", "c", MB_RETRYCANCEL), IDRETRY);
  EXPECT_EQ(MessageBoxA(nullptr, "other", "c", MB_RETRYCANCEL), IDCANCEL);
  EXPECT_EQ(g_presented, 2);
}

}  // namespace
