#include "vexa32/agent.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/process/process.h"
#include "platform/session/session.h"
#include "vexa32/startup.h"
#include "vexa32/vexa32_test_env.h"

namespace {

class AgentTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = net_.root() + "/agent/Vexa32";
    ini_ = program_ + ".INI";
  }
  void write_ini(const std::string& text) { VexaTestNetwork::write(ini_, text); }
  std::string lock_host() const { return net_.host("SRV", "home/tester.lck"); }
  std::vector<std::string> started() const {
    std::vector<std::string> lines;
    for (const auto& e : host_.execs) lines.push_back(e.first);
    return lines;
  }

  VexaTestNetwork net_;
  FakeHost host_;
  std::string program_, ini_;
};

TEST(VexaStartup, CommandTailAndVersionRequest) {
  EXPECT_EQ(command_tail("Vexa32"), "");
  EXPECT_EQ(command_tail("/x/Vexa32  RESTART"), "RESTART");
  EXPECT_EQ(command_tail("\"C:\\my dir\\Vexa32.exe\" ver"), "ver");
  EXPECT_EQ(command_tail(nullptr), "");
  EXPECT_TRUE(is_version_request("/?"));
  EXPECT_TRUE(is_version_request("VeR"));
  EXPECT_FALSE(is_version_request("/? "));
  EXPECT_FALSE(is_version_request("version"));
  EXPECT_FALSE(is_version_request(""));
  EXPECT_EQ(restart_command("/opt/Vexa32"), "/opt/Vexa32 RESTART");
}

TEST_F(AgentTest, MissingIniEndsTheAgent) {
  Agent agent(host_, program_);
  EXPECT_FALSE(agent.begin());
  ASSERT_EQ(net_.boxes().size(), 1u);
  EXPECT_EQ(net_.boxes()[0], "Vexa32 V2.2|INI File " + ini_ + " not found|10");
  EXPECT_FALSE(host_.shown);
}

TEST_F(AgentTest, LogonStartRunsStartAndRestarts) {
  write_ini(
      "[Vexa]\nAsk=0\nHidden=0\nlock=\\\\SRV\\home\\tester.lck\n"
      "[Start]\nfirst=1\nsecond %USERNAME%=8\nthird=0\n[Middle]\nmiddle=0\n[End]\nend=0\n");
  Agent agent(host_, program_);
  ASSERT_TRUE(agent.begin());
  EXPECT_TRUE(host_.shown);
  EXPECT_FALSE(host_.hidden);
  EXPECT_TRUE(agent.lock().is_open());
  EXPECT_TRUE(VexaTestNetwork::exists(lock_host()));
  DWORD level = 0, flags = 1;
  ASSERT_TRUE(GetProcessShutdownParameters(&level, &flags));
  EXPECT_EQ(level, 0x100u);

  agent.logon();
  // Flag word 8 stops the list in the logon start; the resident agent follows.
  ASSERT_EQ(host_.execs.size(), 3u);
  EXPECT_EQ(host_.execs[0], (std::pair<std::string, UINT>{"first", SW_HIDE}));
  EXPECT_EQ(host_.execs[1], (std::pair<std::string, UINT>{"second tester", SW_SHOWMINIMIZED}));
  EXPECT_EQ(host_.execs[2], (std::pair<std::string, UINT>{program_ + " RESTART", SW_SHOWMINIMIZED}));
  EXPECT_TRUE(host_.destroyed);
  EXPECT_TRUE(agent.ended());
  // The lock file was closed for the resident agent, not deleted.
  EXPECT_FALSE(agent.lock().is_open());
  EXPECT_TRUE(VexaTestNetwork::exists(lock_host()));
  EXPECT_TRUE(net_.boxes().empty());
  SetProcessShutdownParameters(NT_DEFAULT_SHUTDOWN_LEVEL, 0);
}

TEST_F(AgentTest, FailedStartsAndRestartAreReported) {
  write_ini("[Vexa]\nAsk=0\n[Start]\nnothing.exe=0\n");
  host_.exec_result = 2;
  Agent agent(host_, program_);
  ASSERT_TRUE(agent.begin());
  agent.logon();
  std::vector<std::string> boxes = net_.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "Vexa32 V2.2|WinExec Error 2\\nnothing.exe|10");
  EXPECT_EQ(boxes[1], "Vexa32 V2.2|Cannot restart|10");
  EXPECT_TRUE(host_.destroyed);
}

TEST_F(AgentTest, ExitEntryRunsEndAndEnds) {
  write_ini(
      "[Vexa]\nAsk=0\nlock=\\\\SRV\\home\\tester.lck\n"
      "[Start]\nbefore=0\nexit=1\nafter=0\n[End]\ncleanup=8\ncleanup two=8\n");
  Agent agent(host_, program_);
  ASSERT_TRUE(agent.begin());
  agent.logon();
  // The End list runs whole (no pause), no restart follows.
  EXPECT_EQ(started(), (std::vector<std::string>{"before", "cleanup", "cleanup two"}));
  EXPECT_TRUE(host_.destroyed);
  EXPECT_FALSE(host_.timer);
  EXPECT_FALSE(VexaTestNetwork::exists(lock_host()));

  // Exit=0 ends without the End list.
  write_ini("[Vexa]\n[Start]\nExit=0\n[End]\ncleanup=0\n");
  FakeHost other;
  Agent second(other, program_);
  ASSERT_TRUE(second.begin());
  second.logon();
  EXPECT_TRUE(other.execs.empty());
  EXPECT_TRUE(other.destroyed);
}

TEST_F(AgentTest, ResidentRunsTheRunFileWhenItChanges) {
  std::string run = net_.host("SRV", "home/run.ini");
  write_ini("[Vexa]\nLookTimer=3\nrun=\\\\SRV\\home\\run.ini\n");
  VexaTestNetwork::write(run, "[Start]\nr1=8\nr2=0\n");
  VexaTestNetwork::set_time(run, 100);
  Agent agent(host_, program_);
  ASSERT_TRUE(agent.begin());
  agent.resident();
  EXPECT_TRUE(host_.timer);
  // The first look always runs the list; flag word 8 pauses it for a tick.
  agent.tick();
  EXPECT_EQ(started(), std::vector<std::string>{"r1"});
  EXPECT_EQ(agent.run_state(), RUN_PAUSED_RUN_FILE);
  agent.tick();
  EXPECT_EQ(started(), (std::vector<std::string>{"r1", "r2"}));
  EXPECT_EQ(agent.run_state(), RUN_IDLE);
  host_.smile = true;
  agent.tick();
  EXPECT_FALSE(host_.smile);  // idle: the normal icon

  // A change is seen at the next look, at most LookTimer ticks later.
  VexaTestNetwork::write(run, "[Start]\nr3=0\n");
  VexaTestNetwork::set_time(run, 200);
  agent.tick();
  EXPECT_EQ(host_.execs.size(), 2u);
  agent.tick();
  EXPECT_EQ(started().back(), "r3");
  for (int i = 0; i < 6; ++i) agent.tick();
  EXPECT_EQ(host_.execs.size(), 3u);

  // Exit=1 in the run file runs End and ends the agent.
  write_ini("[Vexa]\nLookTimer=1\nrun=\\\\SRV\\home\\run.ini\n[End]\nbye=0\n");
  VexaTestNetwork::write(run, "[Start]\nlast=0\nExit=1\n");
  FakeHost other;
  Agent second(other, program_);
  ASSERT_TRUE(second.begin());
  second.resident();
  second.tick();
  std::vector<std::string> lines;
  for (const auto& e : other.execs) lines.push_back(e.first);
  EXPECT_EQ(lines, (std::vector<std::string>{"last", "bye"}));
  EXPECT_TRUE(second.ended());
  EXPECT_TRUE(other.destroyed);
  EXPECT_FALSE(other.timer);
}

TEST_F(AgentTest, SessionEndDeletesTheLockAndMirrorsBack) {
  write_ini(
      "[Vexa]\nlock=\\\\SRV\\home\\tester.lck\n"
      "[MIRROR]\n\\\\SRV\\home\\%USERNAME%\\data=C:\\data\n");
  VexaTestNetwork::write(net_.host("SRV", "home/tester/data/a.doc"), "old");
  VexaTestNetwork::set_time(net_.host("SRV", "home/tester/data/a.doc"), 100);
  VexaTestNetwork::write(net_.host("WS1", "data/a.doc"), "changed");
  VexaTestNetwork::set_time(net_.host("WS1", "data/a.doc"), 200);
  Agent agent(host_, program_);
  ASSERT_TRUE(agent.begin());
  agent.resident();
  EXPECT_TRUE(VexaTestNetwork::exists(lock_host()));

  // The session goes on after all: the lock is held again.
  EXPECT_TRUE(agent.query_end_session());
  EXPECT_FALSE(host_.timer);
  EXPECT_FALSE(VexaTestNetwork::exists(lock_host()));
  agent.end_session(false);
  EXPECT_TRUE(host_.timer);
  EXPECT_TRUE(agent.lock().is_open());
  EXPECT_EQ(host_.ui.confirms, 0);

  EXPECT_TRUE(agent.query_end_session());
  EXPECT_FALSE(VexaTestNetwork::exists(lock_host()));
  agent.end_session(true);
  EXPECT_EQ(host_.ui.confirms, 1);
  EXPECT_EQ(host_.ui.last_ask, 30);
  EXPECT_EQ(VexaTestNetwork::read(net_.host("SRV", "home/tester/data/a.doc")), "changed");
  EXPECT_TRUE(host_.destroyed);
  EXPECT_TRUE(agent.ended());
  EXPECT_FALSE(VexaTestNetwork::exists(lock_host()));
}

TEST_F(AgentTest, LockFileInUseLogsOff) {
  write_ini("[Vexa]\nlock=\\\\SRV\\home\\tester.lck\n");
  // Another process (logged on elsewhere) holds the lock file.
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    HANDLE h = CreateFileA("\\\\SRV\\home\\tester.lck", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    char c = h == INVALID_HANDLE_VALUE ? 'n' : 'y';
    if (write(ready[1], &c, 1) != 1) _exit(1);
    char wait_for_end;
    if (read(done[0], &wait_for_end, 1) < 0) _exit(1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  Agent agent(host_, program_);
  EXPECT_FALSE(agent.begin());
  EXPECT_EQ(host_.logoffs, 1);
  ASSERT_EQ(net_.boxes().size(), 1u);
  EXPECT_EQ(net_.boxes()[0], "Vexa32 V2.2|You are already logged on\\nWindows exits now|10");
  // Its lock is left alone.
  agent.lock().close_and_delete();
  EXPECT_TRUE(VexaTestNetwork::exists(lock_host()));
  ASSERT_EQ(write(done[1], "x", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);

  // Other failures are reported with the C library's error and the agent goes on.
  net_.clear_boxes();
  write_ini("[Vexa]\nlock=C:\\no folder\\x.lck\n");
  FakeHost other;
  Agent second(other, program_);
  EXPECT_TRUE(second.begin());
  EXPECT_EQ(other.logoffs, 0);
  ASSERT_EQ(net_.boxes().size(), 1u);
  EXPECT_EQ(net_.boxes()[0],
            "Vexa32 V2.2|error 2 opening lockfile 'C:\\\\no folder\\\\x.lck'|10");

  EXPECT_EQ(c_error_for(ERROR_SHARING_VIOLATION), EACCES);
  EXPECT_EQ(c_error_for(ERROR_ACCESS_DENIED), EACCES);
  EXPECT_EQ(c_error_for(ERROR_PATH_NOT_FOUND), ENOENT);
  EXPECT_EQ(c_error_for(ERROR_BAD_NETPATH), ENOENT);
  EXPECT_EQ(c_error_for(ERROR_TOO_MANY_OPEN_FILES), EMFILE);
}

TEST_F(AgentTest, TimerFailureIsReported) {
  write_ini("[Vexa]\n");
  host_.timer_works = false;
  Agent agent(host_, program_);
  ASSERT_TRUE(agent.begin());
  agent.resident();
  ASSERT_EQ(net_.boxes().size(), 1u);
  EXPECT_EQ(net_.boxes()[0], "Vexa32 V2.2|SetTimer() failed|10");
}

}  // namespace
