#include "lib/frame.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/nls/codepage.h"
#include "platform/resource/resource.h"
#include "platform/resource/resource_blob.h"

namespace {

struct ChildResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs `body` in a child process whose standard input is a pipe holding
// `input` and whose standard output and error are captured; the child ends
// with what `body` returns unless `body` ends it first.
ChildResult run_child(const std::string& input, const std::function<int()>& body) {
  ChildResult result;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    int code = body();
    fflush(stdout);
    fflush(stderr);
    _exit(code);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (!input.empty()) {
    EXPECT_EQ(static_cast<ssize_t>(input.size()), write(in[1], input.data(), input.size()));
  }
  close(in[1]);
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, 10000) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (auto& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  return result;
}

std::vector<ResourceEntry> tool_strings() {
  return {
      {RESOURCE_STRING, IDS_FILE_NAME, std::string("@Fzeb\0\0\0", 8)},
      {RESOURCE_STRING, IDS_VERSION, "V1.1"},
      {RESOURCE_STRING, IDS_BUILD, "@B0251"},
      {RESOURCE_STRING, IDS_USAGE, "usage: zeb <command> [\\\\server\\job]\n  /y  yes to all"},
      {RESOURCE_STRING, IDS_NOTICE, "Test notice"},
      {RESOURCE_STRING, 8, "page 8\n"},
      {RESOURCE_STRING, 10, "page 10\n"},
  };
}

std::vector<ResourceEntry> without(std::vector<ResourceEntry> entries, std::vector<UINT> ids) {
  std::vector<ResourceEntry> kept;
  for (ResourceEntry& e : entries) {
    bool drop = false;
    for (UINT id : ids) drop = drop || e.id == id;
    if (!drop) kept.push_back(std::move(e));
  }
  return kept;
}

std::vector<ResourceEntry> with(std::vector<ResourceEntry> entries, UINT id, std::string text) {
  for (ResourceEntry& e : entries) {
    if (e.id == id) e.text = std::move(text);
  }
  return entries;
}

class FrameTest : public ::testing::Test {
 protected:
  void TearDown() override {
    set_frame_module(nullptr);
    for (HMODULE m : modules_) FreeLibrary(m);
    yes_to_all = false;
  }

  // Makes the frame take its resources from `entries`.
  void use(const std::vector<ResourceEntry>& entries) {
    std::vector<uint8_t> blob = serialize_resources(entries);
    HMODULE m = nt_module_from_blob(blob.data(), blob.size());
    ASSERT_NE(nullptr, m);
    modules_.push_back(m);
    set_frame_module(m);
  }

  std::vector<HMODULE> modules_;
};

const char* const kVersionLine = "zeb V1.1.0251  Test notice\n";

TEST_F(FrameTest, HelpPrintsVersionLineAndPagesThenEndsWithMinusOne) {
  use(tool_strings());
  ChildResult r = run_child("", [] {
    show_help(false);
    return 0;
  });
  EXPECT_EQ(255, r.exit_code);  // -1 as the host reports it
  EXPECT_EQ(kVersionLine, r.out);
  EXPECT_EQ("", r.err);

  r = run_child("", [] {
    show_help(true);
    return 0;
  });
  EXPECT_EQ(255, r.exit_code);
  // The usage text gets a line break; pages 8 and 10 come as they stand, 9 is
  // missing and skipped.
  EXPECT_EQ(std::string(kVersionLine) +
                "usage: zeb <command> [\\\\server\\job]\n  /y  yes to all\npage 8\npage 10\n",
            r.out);
}

TEST_F(FrameTest, HelpCutsEachResourceToItsBuffer) {
  std::vector<ResourceEntry> strings = tool_strings();
  strings = with(strings, IDS_USAGE, std::string(9000, 'u'));
  strings = with(strings, IDS_NOTICE, std::string(100, 'n'));
  strings = with(strings, IDS_VERSION, std::string(40, 'v'));
  strings = with(strings, IDS_BUILD, "@B" + std::string(40, 'b'));
  strings = with(strings, IDS_FILE_NAME, "@F" + std::string(300, 'f'));
  strings = without(strings, {8, 10});
  use(strings);
  ChildResult r = run_child("", [] {
    show_help(true);
    return 0;
  });
  EXPECT_EQ(255, r.exit_code);
  EXPECT_EQ(std::string(253, 'f') + " " + std::string(31, 'v') + "." + std::string(29, 'b') +
                "  " + std::string(63, 'n') + "\n" + std::string(8191, 'u') + "\n",
            r.out);
}

TEST_F(FrameTest, HelpWithoutMarkersTakesTheTextsAsTheyStand) {
  use(with(with(tool_strings(), IDS_FILE_NAME, "plain"), IDS_BUILD, "0007"));
  ChildResult r = run_child("", [] {
    show_help(false);
    return 0;
  });
  EXPECT_EQ("plain V1.1.0007  Test notice\n", r.out);
}

TEST_F(FrameTest, EachMissingHelpResourceHasItsLine) {
  use(without(tool_strings(), {IDS_USAGE}));
  EXPECT_EXIT(show_help(false), ::testing::ExitedWithCode(255), "^Help String Resource not found\n$");
  use(without(tool_strings(), {IDS_FILE_NAME}));
  EXPECT_EXIT(show_help(false), ::testing::ExitedWithCode(255),
              "^File Name String Resource not found\n$");
  use(without(tool_strings(), {IDS_VERSION}));
  EXPECT_EXIT(show_help(true), ::testing::ExitedWithCode(255),
              "^File Version String Resource not found\n$");
  use(without(tool_strings(), {IDS_BUILD}));
  EXPECT_EXIT(show_help(true), ::testing::ExitedWithCode(255),
              "^Buildno String Resource not found\n$");
  use(without(tool_strings(), {IDS_NOTICE}));
  EXPECT_EXIT(show_help(false), ::testing::ExitedWithCode(255),
              "^Copyright String Resource not found\n$");
  // An empty string is a missing one.
  use(with(tool_strings(), IDS_NOTICE, ""));
  EXPECT_EXIT(show_help(false), ::testing::ExitedWithCode(255),
              "^Copyright String Resource not found\n$");

  // Loaded in the order 6, 1, 2, 3, 7: the first missing one is reported,
  // and nothing goes to standard output.
  use(without(tool_strings(), {IDS_FILE_NAME, IDS_BUILD}));
  ChildResult r = run_child("", [] {
    show_help(true);
    return 0;
  });
  EXPECT_EQ(255, r.exit_code);
  EXPECT_EQ("File Name String Resource not found\n", r.err);
  EXPECT_EQ("", r.out);
}

TEST_F(FrameTest, ProgramWithoutResourcesReportsThemMissing) {
  // This test program is built without a resource file.
  set_frame_module(nullptr);
  EXPECT_EXIT(show_help(true), ::testing::ExitedWithCode(255), "^Help String Resource not found\n$");
  EXPECT_EXIT(show_error("x", EV_INFO, 0, 0), ::testing::ExitedWithCode(255),
              "^SHOWERROR-ERROR, File Name String Resource not found\n$");
}

TEST_F(FrameTest, ShowErrorLinesGoToTheirStreams) {
  use(tool_strings());
  struct Case {
    const char* what;
    int kind;
    long number;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {"OpenSCManager(\\\\SRV1)", EV_ERROR, 5, "", "zeb-ERROR, OpenSCManager(\\\\SRV1) failed, error=5\n"},
      {"RegOpenKey(x)", EV_WARNING, -1, "", "zeb-WARNING, RegOpenKey(x) failed, error=-1\n"},
      {"job 'backup' added", EV_INFO, 0, "zeb-INFO, job 'backup' added\n", ""},
      {nullptr, EV_ARGUMENT, 2, "", "zeb-ERROR, error in argument number 2\n"},
      {"xyz", EV_COMMAND, 0, "", "zeb-ERROR, invalid command 'xyz'\n"},
      {nullptr, EV_COMMAND, 0, "", "zeb-ERROR, invalid command ''\n"},
      {"x", 4, 0, "", "SHOWERROR-ERROR, invalid event type\n"},
      {"x", 0, 0, "", "SHOWERROR-ERROR, invalid event type\n"},
  };
  for (const Case& c : cases) {
    // Exit code 0: the tool carries on.
    ChildResult r = run_child("", [&c] {
      show_error(c.what, c.kind, c.number, 0);
      printf("carried on\n");
      return 0;
    });
    EXPECT_EQ(0, r.exit_code) << c.err;
    EXPECT_EQ(std::string(c.out) + "carried on\n", r.out);
    EXPECT_EQ(c.err, r.err);
  }
  // Otherwise the process ends with the code given.
  ChildResult r = run_child("", [] {
    show_error(nullptr, EV_ARGUMENT, 3, EXIT_INVALID_PARAMETER);
    printf("not reached\n");
    return 0;
  });
  EXPECT_EQ(87, r.exit_code);
  EXPECT_EQ("zeb-ERROR, error in argument number 3\n", r.err);
  EXPECT_EQ("", r.out);
  r = run_child("", [] {
    printf("pending output\n");  // still buffered when the process ends
    show_error("done", EV_INFO, 0, 5);
    return 0;
  });
  EXPECT_EQ(5, r.exit_code);
  EXPECT_EQ("pending output\nzeb-INFO, done\n", r.out);
}

// Runs confirm in a child: the exit code tells the answer (1 yes) plus 2
// when yes_to_all is set afterwards.
ChildResult ask(const std::string& input, const char* question = "Delete user DOM\\joe ?\n",
                int times = 1) {
  return run_child(input, [question, times] {
    bool answer = false;
    for (int i = 0; i < times; ++i) answer = confirm(question);
    return (answer ? 1 : 0) + (yes_to_all ? 2 : 0);
  });
}

const std::string kPrompt = "Delete user DOM\\joe ?\n\aN=no/Y=yes/A=yes to all (Default:N) ";

TEST_F(FrameTest, ConfirmAnswers) {
  struct Case {
    const char* input;
    int code;
  };
  const Case cases[] = {
      {"\n", 0},  {"y\n", 1}, {"Y\n", 1},  {"yes\n", 1}, {"a\n", 3}, {"A\n", 3},
      {"n\n", 0}, {"N\n", 0}, {"x\n", 0},  {" y\n", 0},  {"", 0},    {"y", 1},
  };
  for (const Case& c : cases) {
    ChildResult r = ask(c.input);
    EXPECT_EQ(c.code, r.exit_code) << "input '" << c.input << "'";
    EXPECT_EQ(kPrompt, r.out) << "input '" << c.input << "'";
  }
}

TEST_F(FrameTest, ConfirmYesToAllAsksNoMore) {
  yes_to_all = true;
  ChildResult r = ask("n\n");
  EXPECT_EQ(3, r.exit_code);
  EXPECT_EQ("", r.out);
  yes_to_all = false;

  // After "a" the second question is not asked.
  r = ask("a\nn\n", "Delete user DOM\\joe ?\n", 2);
  EXPECT_EQ(3, r.exit_code);
  EXPECT_EQ(kPrompt, r.out);
  // The rest of an answer line does not answer the next question.
  r = ask("y n\nn\n", "Delete user DOM\\joe ?\n", 2);
  EXPECT_EQ(0, r.exit_code);
  EXPECT_EQ(kPrompt + kPrompt, r.out);
}

TEST_F(FrameTest, ConfirmQuestionGoesOutInTheOemPage) {
  ChildResult r = run_child("y\n", [] {
    setenv("NT_ACP", "1252", 1);
    setenv("NT_OEMCP", "850", 1);
    nt_reload_code_pages();
    return confirm("Delete caf\xE9 ?\n") ? 1 : 0;
  });
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ("Delete caf\x82 ?\n\aN=no/Y=yes/A=yes to all (Default:N) ", r.out);
}

// Runs read_password in a child; the password comes back on standard error.
ChildResult password(const std::string& input, bool wide = false) {
  return run_child(input, [wide] {
    char buffer[PASSWORD_MAX + 1];
    WCHAR wbuffer[PASSWORD_MAX + 1];
    int n;
    std::string text;
    if (wide) {
      n = read_password_wide(wbuffer);
      for (int i = 0; wbuffer[i] != 0; ++i) text += static_cast<char>(wbuffer[i]);
    } else {
      n = read_password(buffer);
      text = buffer;
    }
    fprintf(stderr, "%d:%s", n, text.c_str());
    return 0;
  });
}

TEST_F(FrameTest, PasswordKeepsLettersAndDigitsOnly) {
  ChildResult r = password("ab1!c d\n");
  EXPECT_EQ("5:ab1cd", r.err);
  EXPECT_EQ(" : XXXXXX\aXX\aXX\r\n", r.out);
  // Enter may also be a carriage return; what follows is not read.
  r = password("Zz9\rmore\n");
  EXPECT_EQ("3:Zz9", r.err);
  // The end of input ends the entry too.
  r = password("abc");
  EXPECT_EQ("3:abc", r.err);
  EXPECT_EQ(" : XXXXXX\r\n", r.out);
  r = password("\n");
  EXPECT_EQ("0:", r.err);
  EXPECT_EQ(" : \r\n", r.out);
  // A non-ASCII character is no letter here: each of its bytes rings.
  r = password("\xC3\xA9x\n");
  EXPECT_EQ("1:x", r.err);
  EXPECT_EQ(" : \a\aXX\r\n", r.out);
}

TEST_F(FrameTest, PasswordBackspaceAndTwoCodeKeys) {
  ChildResult r = password("ab\x08" "c\x7f\x7f\x7fz\n");
  EXPECT_EQ("1:z", r.err);
  EXPECT_EQ(" : XXXX\b\b  \b\bXX\b\b  \b\b\b\b  \b\b\aXX\r\n", r.out);
  // Cursor and function keys ring once and leave nothing behind.
  r = password("a\x1b[Ab\x1bOPc\x1b[15~\n");
  EXPECT_EQ("3:abc", r.err);
  EXPECT_EQ(" : XX\aXX\aXX\a\r\n", r.out);
}

TEST_F(FrameTest, PasswordStopsGrowingAtTwentyThree) {
  ChildResult r = password("abcdefghijklmnopqrstuvwxyz0123\n");
  EXPECT_EQ("23:abcdefghijklmnopqrstuvw", r.err);
  std::string expected = " : ";
  for (int i = 0; i < 23; ++i) expected += "XX";
  for (int i = 0; i < 7; ++i) expected += "XX\b\b  \b\b\a";
  expected += "\r\n";
  EXPECT_EQ(expected, r.out);
  // Room again after a backspace.
  r = password(std::string(24, 'k') + "\x08" + "mn\n");
  EXPECT_EQ("23:" + std::string(22, 'k') + "m", r.err);
}

TEST_F(FrameTest, WidePasswordHoldsTheSameCharacters) {
  ChildResult r = password("Ab9 #x\x08y\n", true);
  EXPECT_EQ("4:Ab9y", r.err);
  r = password(std::string(30, 'w') + "\n", true);
  EXPECT_EQ("23:" + std::string(23, 'w'), r.err);
}

}  // namespace
