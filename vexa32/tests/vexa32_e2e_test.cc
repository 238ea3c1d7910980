// The built agent on a network of WS1, WS2 and SRV: the logon start with its
// mirror and restart, the resident agent and its run file, a second logon
// from WS2, and the logoff from outside with the mirror back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <thread>
#include <vector>

#include "lib/testing/run_program.h"
#include "platform/session/session.h"
#include "vexa32/vexa32_test_env.h"

namespace {

using namespace std::chrono_literals;

// Starts the agent with `args`; its output goes to `log`. `computer`
// replaces COMPUTERNAME in the child.
pid_t start_agent(const std::string& program, const std::vector<std::string>& args,
                  const std::string& log, const char* computer = nullptr) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    if (computer) setenv("COMPUTERNAME", computer, 1);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// The exit code of our child, or -1 when it did not end within `limit`.
int wait_exit(pid_t pid, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    std::this_thread::sleep_for(50ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

template <typename Condition>
bool eventually(Condition condition, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    if (condition()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return condition();
}

// The pid of the one program registered in a session, 0 when none.
pid_t session_program(const std::string& folder) {
  pid_t found = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      unsigned long pid = 0;
      unsigned long long start = 0;
      if (sscanf(entry->d_name, "%lu-%llu", &pid, &start) == 2) found = static_cast<pid_t>(pid);
    }
    closedir(dir);
  }
  return found;
}

// True while the process runs (a zombie has ended).
bool alive(pid_t pid) {
  std::string stat = VexaTestNetwork::read("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

TEST(Vexa32EndToEnd, LogonResidentRunFileSecondLogonAndLogoff) {
  VexaTestNetwork net;
  net.env().set("QT_QPA_PLATFORM", "offscreen");
  // A resident agent left over by a failed check is ended with the test.
  struct Reaper {
    std::string folder;
    ~Reaper() {
      pid_t pid = session_program(folder);
      if (pid > 0 && alive(pid)) kill(pid, SIGKILL);
    }
  } reaper{nt_session_folder("WS1", "tester")};
  const std::string dir = net.root() + "/agent";
  mkdir(dir.c_str(), 0755);
  const std::string program = dir + "/Vexa32";
  const std::string built = built_program_path("Vexa32");
  if (link(built.c_str(), program.c_str()) != 0) {
    ASSERT_EQ(std::system(("cp '" + built + "' '" + program + "'").c_str()), 0);
  }
  const std::string log = net.root() + "/agent.log";

  // Version request.
  pid_t version = start_agent(program, {"ver"}, log);
  EXPECT_EQ(wait_exit(version, 30s), 1);
  ASSERT_EQ(net.boxes().size(), 1u);
  EXPECT_EQ(net.boxes()[0], "Info|Vexa32 V2.2|0");
  net.clear_boxes();

  const std::string started = net.root() + "/started";
  const std::string from_run = net.root() + "/from-run-file";
  VexaTestNetwork::write(program + ".INI",
                         "[Vexa]\nAsk=1\nCopyOnTimeout=1\nlock=\\\\SRV\\home\\tester.lck\n"
                         "run=\\\\SRV\\home\\run.ini\nLookTimer=1\n"
                         "[Start]\n/usr/bin/touch " + started + "=1\n"
                         "[MIRROR]\n\\\\SRV\\home\\%USERNAME%\\data=C:\\data/S,!~*,*.doc\n");
  const std::string server_doc = net.host("SRV", "home/tester/data/a.doc");
  const std::string local_doc = net.host("WS1", "data/a.doc");
  VexaTestNetwork::write(server_doc, "from the server");
  VexaTestNetwork::set_time(server_doc, 100);
  VexaTestNetwork::write(net.host("SRV", "home/tester/data/~lock.doc"), "no");
  VexaTestNetwork::write(net.host("SRV", "home/tester/data/sub/b.doc"), "deep");

  // Logon start: the confirmation times out after Ask seconds and copies.
  pid_t logon = start_agent(program, {}, log);
  EXPECT_EQ(wait_exit(logon, 60s), 0);
  EXPECT_EQ(VexaTestNetwork::read(local_doc), "from the server");
  EXPECT_EQ(VexaTestNetwork::read(net.host("WS1", "data/sub/b.doc")), "deep");
  EXPECT_FALSE(VexaTestNetwork::exists(net.host("WS1", "data/~lock.doc")));
  EXPECT_TRUE(eventually([&] { return VexaTestNetwork::exists(started); }, 10s));

  // The resident agent it started holds the lock in the session of WS1.
  const std::string session = nt_session_folder("WS1", "tester");
  pid_t resident = 0;
  ASSERT_TRUE(eventually([&] { return (resident = session_program(session)) != 0; }, 30s))
      << VexaTestNetwork::read(log);
  EXPECT_TRUE(VexaTestNetwork::exists(net.host("SRV", "home/tester.lck")));

  // A change of the run file starts its Start section.
  VexaTestNetwork::write(net.host("SRV", "home/run.ini"),
                         "[Start]\n/usr/bin/touch " + from_run + "=1\n");
  EXPECT_TRUE(eventually([&] { return VexaTestNetwork::exists(from_run); }, 20s));

  // A second logon of the user on WS2 finds the lock in use.
  pid_t second = start_agent(program, {}, log, "WS2");
  EXPECT_EQ(wait_exit(second, 30s), 0);
  std::vector<std::string> boxes = net.boxes();
  ASSERT_EQ(boxes.size(), 1u) << VexaTestNetwork::read(log);
  EXPECT_EQ(boxes[0], "Vexa32 V2.2|You are already logged on\\nWindows exits now|10");
  EXPECT_TRUE(alive(resident));  // the session on WS1 goes on

  // Logoff from outside: the changed file goes back to the server.
  VexaTestNetwork::write(local_doc, "changed at the workstation");
  VexaTestNetwork::set_time(local_doc, 500);
  ProgramResult r = finish_program(start_program(built_program_path("ntnet"),
                                                 {"logoff", "WS1", "TESTER"}));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Logged off " + std::to_string(resident) + " (level 0x100)\n");
  EXPECT_EQ(VexaTestNetwork::read(server_doc), "changed at the workstation");
  EXPECT_FALSE(VexaTestNetwork::exists(net.host("SRV", "home/tester.lck")));
  EXPECT_TRUE(eventually([&] { return !alive(resident); }, 10s));
  if (alive(resident)) kill(resident, SIGKILL);
}

}  // namespace
