// Test helper: runs a built program with arguments in a working directory,
// feeds it the given standard input, and hands back its exit code and both
// output streams.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

struct ProgramResult {
  int exit_code = -1;  // the low eight bits, as the shell sees them; -1 when killed
  std::string out;
  std::string err;
};

// NT_TEST_BIN/<name>, else the directory of the running test.
inline std::string built_program_path(const char* name) {
  const char* bin = std::getenv("NT_TEST_BIN");
  if (bin && *bin) return std::string(bin) + "/" + name;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
  return dir.substr(0, dir.rfind('/')) + "/" + name;
}

// A started program: its pid and the descriptors its output is read from.
struct ProgramChild {
  pid_t pid = -1;
  int out = -1, err = -1;
};

// Starts `program` with its arguments in `directory` (empty: this one),
// with `input` as the whole of its standard input.
inline ProgramChild start_program(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& directory = "",
                                  const std::string& input = "") {
  ProgramChild child;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    return child;
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
  // The answers are short: they fit the pipe, so writing them all at once
  // cannot block while the program waits to be read.
  // A program that ends without reading must not take the test down.
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) {
    ssize_t written = write(in[1], input.data(), input.size());
    (void)written;
  }
  close(in[1]);
  child.pid = pid;
  child.out = out[0];
  child.err = err[0];
  return child;
}

// Reads both output streams to their ends and waits for the program.
inline ProgramResult finish_program(ProgramChild child) {
  ProgramResult result;
  if (child.pid < 0) return result;
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

inline ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& directory = "",
                                 const std::string& input = "") {
  return finish_program(start_program(program, args, directory, input));
}
