// inifold as a program: argument handling, messages, exit codes and the
// rewritten target.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "utils/testing/child_process.h"

namespace {

using Names = std::vector<std::string>;

ChildResult inifold(const std::vector<std::string>& args, const ChildOptions& options = {}) {
  return run_child(built_program("inifold"), args, options);
}

TEST(InifoldProgram, FileNames) {
  ChildResult r = inifold({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "input fn not set !\noutput fn not set !\n");
  r = inifold({"-v", "only.ini", "--x"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "output fn not set !\n");

  ScratchDir dir;
  const std::string target = dir.file("sys.ini");
  const std::string changes = dir.file("chg.ini");
  write_bytes(target, "[boot]\nshell=old.exe\n");
  write_bytes(changes, "[BOOT]\nSHELL=new.exe\n");
  r = inifold({"-q", target, "-", changes, "three", "four"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "Ignore:three\nIgnore:four\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_bytes(target), "[boot]\r\nSHELL=new.exe\r\n");
}

TEST(InifoldProgram, MergesIntoTheTarget) {
  ScratchDir dir;
  const std::string target = dir.file("app.ini");
  const std::string changes = dir.file("changes.ini");
  write_bytes(target,
              "; header comment, before any section\n"
              "[Settings]\n"
              "Mode=fast\n"
              "\n"
              "  ; tuning\n"
              "Level=3\tDebug=on\n"
              "Path=C:\\old\n"
              "[Obsolete]\n"
              "x=1\n"
              "[Colors]\r\n"
              "bg==white\r\n");
  write_bytes(changes,
              "[settings]\n"
              "debug=!ON\n"
              "mode==slow\n"
              "Level\n"
              "Path=D:\\new\n"
              "Added=yes\n"
              "[OBSOLETE]\n"
              "[Extra]\n"
              "a==b\n"
              "c=!d\n"
              "no equals here\n");
  chmod(target.c_str(), 0640);
  ChildResult r = inifold({target, changes});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_bytes(target),
            "[Settings]\r\n"
            "Mode=fast\r\n"
            "; tuning\r\n"
            "Path=D:\\new\r\n"
            "mode=slow\r\n"
            "Added=yes\r\n"
            "\r\n"
            "[Colors]\r\n"
            "bg==white\r\n"
            "\r\n"
            "[Extra]\r\n"
            "a==b\r\n"
            "c=!d\r\n");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.list(), (Names{"app.ini", "changes.ini"}));
}

TEST(InifoldProgram, FilesThatCannotBeRead) {
  ScratchDir dir;
  const std::string target = dir.file("t.ini");
  const std::string changes = dir.file("c.ini");
  const std::string missing = dir.file("missing.ini");
  write_bytes(target, "[a]\nk=1\n");
  write_bytes(changes, "[a]\nk=2\n");

  ChildResult r = inifold({missing, changes});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "cannot stat " + missing + "\n");
  r = inifold({target, missing});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "cannot stat " + missing + "\n");
  r = inifold({dir.path(), changes});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "cannot open " + dir.path() + "\n");
  r = inifold({target, dir.path()});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.err, "cannot open " + dir.path() + "\n");

  ChildOptions unprivileged;
  unprivileged.unprivileged = true;
  give_to_unprivileged(target);
  give_to_unprivileged(changes);
  chmod(changes.c_str(), 0200);
  r = inifold({target, changes}, unprivileged);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.err, "cannot open " + changes + "\n");
  chmod(changes.c_str(), 0644);
  chmod(target.c_str(), 0200);
  r = inifold({target, changes}, unprivileged);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "cannot open " + target + "\n");
  chmod(target.c_str(), 0644);
  EXPECT_EQ(read_bytes(target), "[a]\nk=1\n");
}

TEST(InifoldProgram, FilesBeyondTheTablesAreRefused) {
  ScratchDir dir;
  const std::string target = dir.file("t.ini");
  const std::string changes = dir.file("c.ini");
  std::string many_sections;
  for (int i = 0; i < 257; ++i) many_sections += "[s" + std::to_string(i) + "]\nk=1\n";
  std::string many_lines = "[s]\n";
  for (int i = 0; i < 5121; ++i) many_lines += "k" + std::to_string(i) + "=1\n";
  std::string at_limit = "[s]\n";
  for (int i = 0; i < 5120; ++i) at_limit += "k" + std::to_string(i) + "=1\n";

  write_bytes(target, many_sections);
  write_bytes(changes, "[s0]\n");
  ChildResult r = inifold({target, changes});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "too many sections in " + target + " (more than 256)\n");
  EXPECT_EQ(read_bytes(target), many_sections);

  write_bytes(target, many_lines);
  r = inifold({target, changes});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "too many lines in " + target + " (more than 5120)\n");
  EXPECT_EQ(read_bytes(target), many_lines);

  write_bytes(target, "[a]\n");
  write_bytes(changes, many_lines);
  r = inifold({target, changes});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.err, "too many lines in " + changes + " (more than 5120)\n");
  write_bytes(changes, many_sections);
  r = inifold({target, changes});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.err, "too many sections in " + changes + " (more than 256)\n");
  EXPECT_EQ(read_bytes(target), "[a]\n");

  // Exactly at the limit the whole file comes through.
  write_bytes(target, at_limit);
  write_bytes(changes, "[S]\nk5119=last\n");
  r = inifold({target, changes});
  EXPECT_EQ(r.exit_code, 0);
  const std::string out = read_bytes(target);
  const std::string tail = "k5118=1\r\nk5119=last\r\n";
  ASSERT_GT(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(out.rfind("[s]\r\nk0=1\r\n", 0), 0u);
}

TEST(InifoldProgram, TargetSurvivesEveryWriteFailure) {
  ScratchDir dir;
  give_to_unprivileged(dir.path());
  const std::string target = dir.file("t.ini");
  const std::string changes = dir.file("c.ini");
  std::string old = "[a]\n";
  for (int i = 0; i < 200; ++i) old += "key" + std::to_string(i) + "=value\n";
  write_bytes(target, old);
  write_bytes(changes, "[a]\nkey0=changed\n");
  give_to_unprivileged(target);
  ChildOptions options;
  options.unprivileged = true;

  chmod(target.c_str(), 0444);
  ChildResult r = inifold({target, changes}, options);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "cannot open " + target + " for write\n");
  chmod(target.c_str(), 0644);

  chmod(dir.path().c_str(), 0555);
  r = inifold({target, changes}, options);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "cannot open " + target + " for write\n");
  chmod(dir.path().c_str(), 0755);

  options.file_size_limit = 1000;
  r = inifold({target, changes}, options);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "write(" + target + ") failed\n");
  EXPECT_EQ(read_bytes(target), old);
  EXPECT_EQ(dir.list(), (Names{"c.ini", "t.ini"}));
}

}  // namespace
