// Test helper: runs the built kopex with arguments, a working directory and
// the text its standard input reads (the answers to its questions), and
// hands back the exit code and both output streams.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

struct KopexResult {
  int exit_code = -1;  // the low eight bits; -1 when killed
  std::string out;
  std::string err;
};

// NT_TEST_BIN/kopex, else beside the running test.
inline std::string kopex_path() {
  const char* bin = std::getenv("NT_TEST_BIN");
  if (bin && *bin) return std::string(bin) + "/kopex";
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
  return dir.substr(0, dir.rfind('/')) + "/kopex";
}

// Starts kopex; its pid, and the descriptors to read its output from.
struct KopexChild {
  pid_t pid = -1;
  int out = -1, err = -1;
};

inline KopexChild start_kopex(const std::vector<std::string>& args, const std::string& input,
                              const std::string& directory) {
  KopexChild child;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return child;
  }
  const std::string program = kopex_path();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // The answers are short: they fit the pipe at once.
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
  }
  close(in[1]);
  child.pid = pid;
  child.out = out[0];
  child.err = err[0];
  return child;
}

inline KopexResult finish_kopex(KopexChild child) {
  KopexResult result;
  pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  while (open_count > 0 && poll(fds, 2, -1) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  waitpid(child.pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

inline KopexResult run_kopex(const std::vector<std::string>& args, const std::string& input = "",
                             const std::string& directory = "") {
  return finish_kopex(start_kopex(args, input, directory));
}
