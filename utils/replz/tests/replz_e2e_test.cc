// replz as a program: messages, exit codes and what becomes of the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "utils/testing/child_process.h"

namespace {

using Names = std::vector<std::string>;

const char kUsage[] = "usage: replz <file> <search> <replace>\n";

template <size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

ChildResult replz(const std::vector<std::string>& args, const ChildOptions& options = {}) {
  return run_child(built_program("replz"), args, options);
}

TEST(ReplzProgram, Usage) {
  ScratchDir dir;
  const std::string file = dir.file("a.txt");
  write_bytes(file, "abc");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {file}, {file, "abc"}, {file, "", "x"}}) {
    ChildResult r = replz(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, kUsage);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(read_bytes(file), "abc");
  // Arguments past the third are ignored.
  ChildResult r = replz({file, "b", "", "extra"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_bytes(file), "ac");
}

TEST(ReplzProgram, ReplacesInPlace) {
  ScratchDir dir;
  const std::string file = dir.file("conf.bat");
  write_bytes(file, bytes("set X=abc\r\nABC\0aBc\xff\r\nab"));
  chmod(file.c_str(), 0750);
  ChildResult r = replz({file, "abc", "abcabc"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  // Case folded, no repeated replacement, binary bytes and CRLF kept, the
  // partial match "ab" at the end copied.
  EXPECT_EQ(read_bytes(file), bytes("set X=abcabc\r\nabcabc\0abcabc\xff\r\nab"));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(dir.list(), Names{"conf.bat"});

  // A zero byte inside a would-be match stops it.
  write_bytes(file, bytes("ab\0c abc"));
  EXPECT_EQ(replz({file, "abc", "Z"}).exit_code, 0);
  EXPECT_EQ(read_bytes(file), bytes("ab\0c Z"));
}

TEST(ReplzProgram, FilesThatCannotBeRead) {
  ScratchDir dir;
  write_bytes(dir.file("empty"), "");
  for (const std::string& name : {dir.file("empty"), dir.file("missing"), dir.path()}) {
    ChildResult r = replz({name, "a", "b"});
    EXPECT_EQ(r.exit_code, 1) << name;
    EXPECT_EQ(r.err, "getsize(" + name + ") failed\n");
  }
  EXPECT_EQ(read_bytes(dir.file("empty")), "");

  const std::string secret = dir.file("secret");
  write_bytes(secret, "abc");
  chmod(secret.c_str(), 0200);
  give_to_unprivileged(secret);
  ChildOptions unprivileged;
  unprivileged.unprivileged = true;
  ChildResult r = replz({secret, "a", "b"}, unprivileged);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "fopen(" + secret + ") failed\n");
  chmod(secret.c_str(), 0600);
  EXPECT_EQ(read_bytes(secret), "abc");
}

TEST(ReplzProgram, TargetSurvivesEveryWriteFailure) {
  ScratchDir dir;
  give_to_unprivileged(dir.path());
  const std::string file = dir.file("data.txt");
  const std::string old(5000, 'a');
  write_bytes(file, old);
  give_to_unprivileged(file);
  ChildOptions options;
  options.unprivileged = true;

  // A read-only file is refused.
  chmod(file.c_str(), 0444);
  ChildResult r = replz({file, "a", "b"}, options);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "fopen(" + file + ") for WRITE failed\n");
  EXPECT_EQ(read_bytes(file), old);
  chmod(file.c_str(), 0644);

  // A directory where no new file can be made.
  chmod(dir.path().c_str(), 0555);
  r = replz({file, "a", "b"}, options);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "fopen(" + file + ") for WRITE failed\n");
  EXPECT_EQ(read_bytes(file), old);
  chmod(dir.path().c_str(), 0755);

  // The disk refuses the new contents half way.
  options.file_size_limit = 1000;
  r = replz({file, "a", "bb"}, options);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "write(" + file + ") failed\n");
  EXPECT_EQ(read_bytes(file), old);
  EXPECT_EQ(dir.list(), Names{"data.txt"});
}

}  // namespace
