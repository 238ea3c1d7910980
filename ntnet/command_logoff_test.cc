#include "ntnet/command_logoff.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ntnet/command_test_run.h"
#include "platform/netapi/netapi_test_network.h"
#include "platform/session/session.h"

namespace {

// A window program of the session (in a child process) that refuses the
// first query and ends when the session ends.
pid_t start_session_program() {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(30);
    int fd = nt_session_join();
    if (fd < 0 || write(ready[1], "r", 1) != 1) _exit(2);
    bool refused = false;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, -1);
      NtSessionMessage m;
      while (nt_session_next_message(&m)) {
        if (m.kind == NtSessionMessageKind::query_end_session) {
          nt_session_reply(refused ? TRUE : FALSE);
          refused = true;
        } else if (m.ending) {
          _exit(0);
        }
      }
    }
  }
  char c;
  if (read(ready[0], &c, 1) != 1) pid = -1;
  close(ready[0]);
  close(ready[1]);
  return pid;
}

TEST(NtnetLogoff, EndsTheSessionsOfAMachine) {
  TestNetwork net;
  EXPECT_EQ(run_ntnet({"logoff"}).code, 2);
  EXPECT_EQ(run_ntnet({"logoff", "A", "B", "C"}).code, 2);
  CommandRun r = run_ntnet({"logoff", "NOPE"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("no machine NOPE"), std::string::npos) << r.err;
  r = run_ntnet({"logoff", "SRV1"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "No program in the session\n");

  pid_t program = start_session_program();
  ASSERT_GT(program, 0);
  const std::string pid = std::to_string(program);
  r = run_ntnet({"logoff", "LOCALPC", "Tester"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, pid + " refused the logoff\n");
  EXPECT_NE(r.err.find("logoff of LOCALPC stopped (error 1223)"), std::string::npos) << r.err;

  // Another user's session is left alone; forced, nobody is asked.
  r = run_ntnet({"logoff", "LOCALPC", "someone"});
  EXPECT_EQ(r.out, "No program in the session\n");
  r = run_ntnet({"logoff", "\\\\localpc", "--force"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Logged off " + pid + " (level 0x280)\n");
  int status = 0;
  ASSERT_EQ(waitpid(program, &status, 0), program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
