#include "platform/kernel/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A pipe whose read end holds `input` and whose write end is closed.
int pipe_with(const std::string& input) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  if (write(fds[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) return -1;
  close(fds[1]);
  return fds[0];
}

std::vector<int> keys_of(const std::string& input) {
  int fd = pipe_with(input);
  std::vector<int> keys;
  ConsoleKeyReader reader(fd);
  EXPECT_FALSE(reader.raw());
  for (int k = reader.read_key(); k != KEY_END_OF_INPUT; k = reader.read_key()) keys.push_back(k);
  close(fd);
  return keys;
}

// A pseudo terminal; the slave side stands for a user's console.
struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
      slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
  }
  ~Pty() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  tcflag_t lflag() const {
    struct termios t;
    return tcgetattr(slave, &t) == 0 ? t.c_lflag : 0;
  }
  int master = -1;
  int slave = -1;
};

TEST(ConsoleAnswer, ReadsTheFirstCharacterOfEachLine) {
  int fd = pipe_with("yes\n\nN\r\nlast");
  EXPECT_EQ('y', nt_console_read_answer(fd));
  EXPECT_EQ('\n', nt_console_read_answer(fd));  // Enter alone
  EXPECT_EQ('N', nt_console_read_answer(fd));
  EXPECT_EQ('l', nt_console_read_answer(fd));   // a last line without its line feed
  EXPECT_EQ(KEY_END_OF_INPUT, nt_console_read_answer(fd));
  // Flushing a pipe discards nothing.
  close(fd);
  fd = pipe_with("a\n");
  nt_console_flush_input(fd);
  EXPECT_EQ('a', nt_console_read_answer(fd));
  close(fd);
}

TEST(ConsoleKeys, PlainKeysEnterAndBackspace) {
  EXPECT_EQ((std::vector<int>{'a', '1', ' ', KEY_ENTER, KEY_ENTER, 'b', KEY_ENTER, KEY_BACKSPACE,
                              KEY_BACKSPACE, 0, 0xE0}),
            keys_of(std::string("a1 \r\n\rb\n\x08\x7F\0\xE0", 12)));
  // Two line feeds are two Enters; a carriage return only swallows one.
  EXPECT_EQ((std::vector<int>{KEY_ENTER, KEY_ENTER, KEY_ENTER}), keys_of("\r\n\n\r"));
}

TEST(ConsoleKeys, EscapeSequencesAreTwoCodeKeys) {
  EXPECT_EQ((std::vector<int>{KEY_EXTENDED, 0x48, 'x'}), keys_of("\x1b[Ax"));
  EXPECT_EQ((std::vector<int>{KEY_EXTENDED, 0x4B, KEY_EXTENDED, 0x4D}), keys_of("\x1b[D\x1b[C"));
  EXPECT_EQ((std::vector<int>{KEY_FUNCTION, 0x3B, KEY_FUNCTION, 0x3E}), keys_of("\x1bOP\x1bOS"));
  EXPECT_EQ((std::vector<int>{KEY_FUNCTION, 0x3F, KEY_EXTENDED, 0x53, KEY_EXTENDED, 0x86}),
            keys_of("\x1b[15~\x1b[3~\x1b[24~"));
  EXPECT_EQ((std::vector<int>{KEY_FUNCTION, 0x3B}), keys_of("\x1b[[A"));       // Linux console F1
  EXPECT_EQ((std::vector<int>{KEY_EXTENDED, 0x48}), keys_of("\x1b[1;5A"));     // ctrl up
  EXPECT_EQ((std::vector<int>{KEY_EXTENDED, 0, 'z'}), keys_of("\x1b[99~z"));  // unknown
  // Esc alone, before another key or at the end.
  EXPECT_EQ((std::vector<int>{KEY_ESCAPE, 'q', KEY_ESCAPE}), keys_of("\x1bq\x1b"));
  // A sequence cut by the end of input is still one key.
  EXPECT_EQ((std::vector<int>{KEY_EXTENDED, 0}), keys_of("\x1b[12"));
  // An endless parameter list does not swallow the rest.
  std::string endless = "\x1b[" + std::string(40, '1') + "A";
  std::vector<int> keys = keys_of(endless);
  ASSERT_GE(keys.size(), 2u);
  EXPECT_EQ(KEY_EXTENDED, keys[0]);
  EXPECT_EQ('A', keys.back());
}

TEST(ConsoleKeys, TerminalModeIsRawWhileReadingAndRestoredAfter) {
  Pty pty;
  ASSERT_GE(pty.slave, 0);
  tcflag_t before = pty.lflag();
  ASSERT_TRUE(before & ICANON);
  ASSERT_TRUE(before & ECHO);
  {
    ConsoleKeyReader reader(pty.slave);
    EXPECT_TRUE(reader.raw());
    EXPECT_FALSE(pty.lflag() & ICANON);
    EXPECT_FALSE(pty.lflag() & ECHO);
    EXPECT_TRUE(pty.lflag() & ISIG);
    // Keys arrive one by one, without a line feed.
    ASSERT_EQ(4, write(pty.master, "k\x1b[B", 4));
    EXPECT_EQ('k', reader.read_key());
    EXPECT_EQ(KEY_EXTENDED, reader.read_key());
    EXPECT_EQ(0x50, reader.read_key());
    // A second reader leaves the mode to the first.
    ConsoleKeyReader nested(pty.slave);
    EXPECT_FALSE(nested.raw());
  }
  EXPECT_EQ(before, pty.lflag());
}

TEST(ConsoleKeys, FlushDiscardsTypedAheadInputOnATerminal) {
  Pty pty;
  ASSERT_GE(pty.slave, 0);
  ASSERT_EQ(5, write(pty.master, "junk\n", 5));
  usleep(20000);
  nt_console_flush_input(pty.slave);
  ASSERT_EQ(2, write(pty.master, "y\n", 2));
  EXPECT_EQ('y', nt_console_read_answer(pty.slave));
}

TEST(ConsoleKeys, SignalRestoresTheTerminalBeforeEndingTheProcess) {
  Pty pty;
  ASSERT_GE(pty.slave, 0);
  tcflag_t before = pty.lflag();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ConsoleKeyReader reader(pty.slave);
    if (!reader.raw()) _exit(3);
    raise(SIGINT);
    _exit(4);  // not reached: SIGINT ends the process
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(SIGINT, WTERMSIG(status));
  EXPECT_EQ(before, pty.lflag());
}

TEST(ConsoleKeys, ExitRestoresTheTerminal) {
  Pty pty;
  ASSERT_GE(pty.slave, 0);
  tcflag_t before = pty.lflag();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    static ConsoleKeyReader* leaked = new ConsoleKeyReader(pty.slave);  // never destroyed
    exit(leaked->raw() ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ(before, pty.lflag());
}

}  // namespace
