// Running a built program from a test: arguments, extra environment, and
// optional limits; its exit code and both output streams come back.
#pragma once

#include <string>
#include <vector>

struct ChildOptions {
  // "NAME=value" entries set on top of the test's own environment.
  std::vector<std::string> env;
  // When the test runs as root, run the program as the unprivileged
  // uid/gid 65534, so that file permissions hold for it.
  bool unprivileged = false;
  // Largest file the program may write (RLIMIT_FSIZE, SIGXFSZ ignored);
  // negative for no limit.
  long file_size_limit = -1;
};

struct ChildResult {
  int exit_code = -1;  // -1 when the program did not exit normally
  int signal = 0;      // the signal that ended it, if one did
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs `program` with `args` (not counting the program itself).
ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options = {});

// Full name of a built program: NT_TEST_BIN, else the directory of the
// running test binary.
std::string built_program(const char* name);

// The uid the unprivileged runs use, and whether they are in effect (the
// test runs as root).
constexpr unsigned UNPRIVILEGED_ID = 65534;
bool running_as_root();

// Hands `path` to the unprivileged user when the test runs as root (no-op
// otherwise).
void give_to_unprivileged(const std::string& path);

// A fresh directory under /tmp, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Names of the directory's entries, sorted.
  std::vector<std::string> list() const;

 private:
  std::string path_;
};

// Whole files, bytes as they are.
std::string read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::string& bytes);
