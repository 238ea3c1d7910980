// The built program, run unattended: message boxes and the About box go to
// the log that NT_MESSAGE_BOX_LOG names, so each run ends without a user.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/network/network_test_env.h"

namespace {

std::string program() {
  const char* bin = getenv("NT_TEST_BIN");
  if (bin != nullptr && *bin != '\0') return std::string(bin) + "/Setora";
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "Setora";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/')) + "/Setora";
}

class SetoraProgram : public ::testing::Test {
 protected:
  // Runs the program with `args`; returns its exit code and keeps the boxes.
  int run(const std::string& args, const std::string& env = "SYSTEMROOT='C:\\WINNT'") {
    std::string log = net_.root() + "/boxes.log";
    std::remove(log.c_str());
    std::string command = "env -u SYSTEMROOT LC_ALL= LANG=C QT_QPA_PLATFORM=offscreen "
                          "NT_MESSAGE_BOX_LOG='" + log + "' " + env + " '" + program() + "' " +
                          args + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    boxes_.clear();
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) boxes_.push_back(line);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempNetwork net_;
  std::vector<std::string> boxes_;
};

TEST_F(SetoraProgram, EndsUnattendedWithItsBoxes) {
  EXPECT_EQ(run("ver"), 0);
  EXPECT_EQ(boxes_, std::vector<std::string>{
                        "About Setora|Setora Version 1.3 (1-29-1998)|40"});
  EXPECT_EQ(run("VER /ld"), 0);
  EXPECT_EQ(boxes_, std::vector<std::string>{
                        "Über Setora|Setora Version 1.3 (29.1.1998)|40"});

  EXPECT_EQ(run("/?"), 0);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].rfind("Setora quick info|usage: setora [ver] [/options]\\n", 0), 0u);
  EXPECT_EQ(run("/ldeutsch /?"), 0);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].rfind("Setora quick info|Aufruf: setora [ver] [/options]\\n", 0), 0u);

  EXPECT_EQ(run("/v /q"), 87);
  EXPECT_EQ(boxes_, std::vector<std::string>{"SETORA error|Error in argument 2\\n|10"});
  EXPECT_EQ(run("/?", ""), 87);
  EXPECT_EQ(boxes_, std::vector<std::string>{
                        "SETORA error|FIXAR-ERROR, cannot get %SYSTEMROOT%\\n|10"});
}

}  // namespace
