#include "platform/process/win_exec.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/kernel/error.h"
#include "platform/process/process.h"
#include "platform/process/process_test_util.h"

namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Children of this process that have ended but were not reaped.
int zombie_children() {
  int count = 0;
  DIR* dir = opendir("/proc");
  if (!dir) return -1;
  const pid_t self = getpid();
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::string stat = read_all(std::string("/proc/") + entry->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 > stat.size()) continue;
    char state = stat[close + 2];
    long parent = strtol(stat.c_str() + close + 4, nullptr, 10);
    if (parent == self && state == 'Z') ++count;
  }
  closedir(dir);
  return count;
}

class WinExecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winexec.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs WinExec with standard output going to `out` and waits until the
  // child wrote `expect` (at most 10 s).
  std::string run_to_file(const std::string& command, UINT show, UINT* result,
                          const std::string& expect) {
    std::string out = dir_ + "/out.txt";
    fflush(stdout);
    int saved = dup(1);
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    close(fd);
    *result = WinExec(command.c_str(), show);
    dup2(saved, 1);
    close(saved);
    std::string text;
    for (int i = 0; i < 200; ++i) {
      text = read_all(out);
      if (text.find(expect) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return text;
  }

  std::string dir_;
};

TEST_F(WinExecTest, StartsWithShowModeAndLeavesNoZombie) {
  UINT result = 0;
  std::string text = run_to_file(probe_path() + " startup", SW_SHOWMINNOACTIVE, &result, "SHOW=");
  EXPECT_GT(result, 31u);
  EXPECT_NE(text.find("FLAGS=1 SHOW=7 "), std::string::npos) << text;

  text = run_to_file(probe_path() + " startup", SW_HIDE, &result, "SHOW=");
  EXPECT_GT(result, 31u);
  EXPECT_NE(text.find("FLAGS=1 SHOW=0 "), std::string::npos) << text;

  // The command line arrives as written.
  text = run_to_file(probe_path() + " cmdline  \"a  b\" %", SW_SHOWNORMAL, &result, "CMDLINE=");
  EXPECT_NE(text.find("CMDLINE=[" + probe_path() + " cmdline  \"a  b\" %]"), std::string::npos)
      << text;

  // Nobody waits for these children, yet none stays a zombie.
  int zombies = -1;
  for (int i = 0; i < 100; ++i) {
    zombies = zombie_children();
    if (zombies == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(zombies, 0);
}

TEST_F(WinExecTest, FailuresGiveTheOldResultCodes) {
  EXPECT_EQ(WinExec(nullptr, SW_SHOWNORMAL), 2u);
  EXPECT_EQ(WinExec("", SW_SHOWNORMAL), 2u);
  EXPECT_EQ(WinExec((dir_ + "/no-such-program").c_str(), SW_SHOWNORMAL), 2u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  UINT missing_folder = WinExec((dir_ + "/no-folder/program").c_str(), SW_SHOWNORMAL);
  EXPECT_TRUE(missing_folder == 3u || missing_folder == 2u) << missing_folder;

  // An executable file that is no program.
  std::string text = dir_ + "/text.exe";
  {
    std::ofstream out(text);
    out << "just some words\n";
  }
  chmod(text.c_str(), 0755);
  EXPECT_EQ(WinExec(text.c_str(), SW_SHOWNORMAL), 11u);

  // A directory cannot be run.
  EXPECT_EQ(WinExec(dir_.c_str(), SW_SHOWNORMAL), 5u);
  EXPECT_LE(WinExec(dir_.c_str(), SW_SHOWNORMAL), 31u);
}

}  // namespace
