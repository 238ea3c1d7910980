#include "platform/session/session.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/kernel/error.h"
#include "platform/network/network_test_env.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void append(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) < 0) perror("write");
  close(fd);
}

// A window program of the session, in a child process: it joins at
// `level`, logs every message to `log`, refuses the first `refusals`
// queries and ends after an end-session message that ends the session.
pid_t start_program(DWORD level, int refusals, const std::string& log) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(30);
    close(ready[0]);
    SetProcessShutdownParameters(level, 0);
    int fd = nt_session_join();
    if (fd < 0) _exit(2);
    if (write(ready[1], "r", 1) != 1) _exit(3);
    close(ready[1]);
    char name[32];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, -1);
      NtSessionMessage m;
      while (nt_session_next_message(&m)) {
        if (m.kind == NtSessionMessageKind::query_end_session) {
          snprintf(name, sizeof name, "QUERY %lx", static_cast<unsigned long>(level));
          append(log, name);
          nt_session_reply(refusals-- > 0 ? FALSE : TRUE);
        } else {
          snprintf(name, sizeof name, "END %lx %d", static_cast<unsigned long>(level),
                   m.ending ? 1 : 0);
          append(log, name);
          if (m.ending) _exit(0);
        }
      }
    }
  }
  close(ready[1]);
  char c = 0;
  if (read(ready[0], &c, 1) != 1) pid = -1;
  close(ready[0]);
  return pid;
}

int registrations(const std::string& folder) {
  int count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

bool ended_well(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SessionTest : public testing::Test {
 protected:
  void SetUp() override { log_ = net_.root() + "/messages.log"; }
  void TearDown() override { nt_session_leave(); }
  TempNetwork net_;
  std::string log_;
};

TEST_F(SessionTest, ShutdownParametersKeepTheProgramRange) {
  DWORD level = 0, flags = 9;
  EXPECT_FALSE(GetProcessShutdownParameters(nullptr, &flags));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SetProcessShutdownParameters(0x100, 0));
  EXPECT_TRUE(GetProcessShutdownParameters(&level, &flags));
  EXPECT_EQ(level, 0x100u);
  EXPECT_EQ(flags, 0u);
  EXPECT_FALSE(SetProcessShutdownParameters(0xFF, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetProcessShutdownParameters(0x400, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetProcessShutdownParameters(0x200, 2));
  EXPECT_TRUE(SetProcessShutdownParameters(0x3FF, SHUTDOWN_NORETRY));
  EXPECT_TRUE(GetProcessShutdownParameters(&level, &flags));
  EXPECT_EQ(level, 0x3FFu);
  EXPECT_EQ(flags, SHUTDOWN_NORETRY);
  // A refused level leaves the last one.
  EXPECT_FALSE(SetProcessShutdownParameters(0x50, 0));
  EXPECT_TRUE(GetProcessShutdownParameters(&level, &flags));
  EXPECT_EQ(level, 0x3FFu);
  SetProcessShutdownParameters(NT_DEFAULT_SHUTDOWN_LEVEL, 0);
}

TEST_F(SessionTest, LogoffTellsHigherLevelsFirstAndWaitsForTheirEnd) {
  pid_t last = start_program(0x100, 0, log_);
  pid_t first = start_program(0x3FF, 0, log_);
  ASSERT_GT(last, 0);
  ASSERT_GT(first, 0);
  // A registration left by a process that is gone is cleared on the way.
  std::string folder = nt_session_folder("LOCALPC", "TESTER");
  std::string stale = folder + "/999999999-1";
  append(stale, "level=3ff flags=0 socket=ntsession-none");

  std::vector<NtSessionProgram> told;
  EXPECT_EQ(nt_logoff_session("localpc", "Tester", EWX_LOGOFF, 0, &told), ERROR_SUCCESS);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].pid, static_cast<unsigned long>(first));
  EXPECT_EQ(told[1].pid, static_cast<unsigned long>(last));
  EXPECT_TRUE(told[0].ended);
  EXPECT_TRUE(told[1].ended);
  EXPECT_EQ(read_file(log_), "QUERY 3ff\nEND 3ff 1\nQUERY 100\nEND 100 1\n");
  EXPECT_TRUE(ended_well(first));
  EXPECT_TRUE(ended_well(last));
  EXPECT_NE(access(stale.c_str(), F_OK), 0);

  // Another user's session is not touched.
  EXPECT_EQ(nt_logoff_session("LOCALPC", "SOMEONE", EWX_LOGOFF, 0, &told), ERROR_SUCCESS);
  EXPECT_EQ(told.size(), 2u);
  EXPECT_EQ(nt_logoff_session("", "TESTER", EWX_LOGOFF, 0, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(SessionTest, RefusalStopsTheLogoffAndForceAsksNobody) {
  pid_t stubborn = start_program(0x300, 1, log_);
  pid_t later = start_program(0x200, 0, log_);
  ASSERT_GT(stubborn, 0);
  ASSERT_GT(later, 0);
  std::vector<NtSessionProgram> told;
  EXPECT_EQ(nt_logoff_session("LOCALPC", "TESTER", EWX_LOGOFF, 0, &told), 1223u);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(told[0].refused);
  // The refusing program hears that the session goes on (the logoff does
  // not wait for it to take that in).
  for (int i = 0; i < 100 && read_file(log_).size() < 21; ++i) usleep(50 * 1000);
  EXPECT_EQ(read_file(log_), "QUERY 300\nEND 300 0\n");

  // Forced: no query, and everybody of the session ends (no user: all sessions).
  told.clear();
  EXPECT_EQ(nt_logoff_session("\\\\LOCALPC", "", EWX_LOGOFF | EWX_FORCE, 0, &told),
            ERROR_SUCCESS);
  EXPECT_EQ(told.size(), 2u);
  EXPECT_EQ(read_file(log_), "QUERY 300\nEND 300 0\nEND 300 1\nEND 200 1\n");
  EXPECT_TRUE(ended_well(stubborn));
  EXPECT_TRUE(ended_well(later));
}

TEST_F(SessionTest, ExitWindowsEndsTheOthersButNotTheCaller) {
  pid_t other = start_program(0x280, 0, log_);
  ASSERT_GT(other, 0);
  int fd = nt_session_join();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(nt_session_join(), fd);
  EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0));
  EXPECT_TRUE(ended_well(other));
  EXPECT_EQ(read_file(log_), "QUERY 280\nEND 280 1\n");
  // Nobody talked to the caller.
  NtSessionMessage m;
  EXPECT_FALSE(nt_session_next_message(&m));

  EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN, 0));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(ExitWindowsEx(0x100, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Leaving removes the registration.
  std::string folder = nt_session_folder("LOCALPC", "TESTER");
  EXPECT_EQ(registrations(folder), 1);
  nt_session_leave();
  EXPECT_EQ(registrations(folder), 0);
  std::vector<NtSessionProgram> told;
  EXPECT_EQ(nt_logoff_session("LOCALPC", "TESTER", EWX_LOGOFF, 0, &told), ERROR_SUCCESS);
  EXPECT_TRUE(told.empty());
}

}  // namespace
