// Test helper: runs one ntnet command function with its output and error
// streams caught in temporary files, and hands back both texts with the
// exit code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ntnet/ntnet.h"

struct CommandRun {
  int code = -1;
  std::string out, err;
};

// Reads a temporary stream from its start and closes it.
inline std::string drain_stream(FILE* f) {
  std::string text;
  if (!f) return text;
  rewind(f);
  char buffer[1024];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

// `command` is one of the ntnet_*_command functions (arguments, out, err).
using StreamCommand = int (*)(const std::vector<std::string>&, FILE*, FILE*);

inline CommandRun run_command(StreamCommand command, const std::vector<std::string>& args) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  CommandRun r;
  r.code = command(args, out, err);
  r.out = drain_stream(out);
  r.err = drain_stream(err);
  return r;
}

// Runs the whole ntnet command line `args` (without the program name).
inline CommandRun run_ntnet(std::vector<std::string> args) {
  args.insert(args.begin(), "ntnet");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  CommandRun r;
  r.code = ntnet_run(static_cast<int>(argv.size()), argv.data(), out, err);
  r.out = drain_stream(out);
  r.err = drain_stream(err);
  return r;
}
