#include "platform/kernel/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace {

// The terminal mode to restore; touched by signal handlers, so plain data.
struct termios g_saved_mode;
int g_saved_fd = -1;
volatile sig_atomic_t g_raw_active = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_old_actions[sizeof kSignals / sizeof kSignals[0]];
bool g_atexit_registered = false;

// Waits this long for the rest of an escape sequence.
constexpr int kSequenceWaitMs = 50;

void restore_mode() {
  if (g_raw_active) {
    tcsetattr(g_saved_fd, TCSANOW, &g_saved_mode);
    g_raw_active = 0;
  }
}

void restore_signals() {
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    sigaction(kSignals[i], &g_old_actions[i], nullptr);
  }
}

void on_signal(int sig) {
  // Only async-signal-safe calls here: tcsetattr, sigaction, raise.
  int saved_errno = errno;
  restore_mode();
  restore_signals();
  raise(sig);  // delivered with the previous disposition once this returns
  errno = saved_errno;
}

void at_exit() { restore_mode(); }

int read_one(int fd) {
  unsigned char c;
  for (;;) {
    ssize_t n = read(fd, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

// Scan codes of the PC keyboard for the keys an escape sequence names.
struct KeyCode {
  int first;
  int scan;
};

KeyCode cursor_key(int final) {
  switch (final) {
    case 'A': return {KEY_EXTENDED, 0x48};  // up
    case 'B': return {KEY_EXTENDED, 0x50};  // down
    case 'C': return {KEY_EXTENDED, 0x4D};  // right
    case 'D': return {KEY_EXTENDED, 0x4B};  // left
    case 'H': return {KEY_EXTENDED, 0x47};  // home
    case 'F': return {KEY_EXTENDED, 0x4F};  // end
    case 'P': return {KEY_FUNCTION, 0x3B};  // F1
    case 'Q': return {KEY_FUNCTION, 0x3C};  // F2
    case 'R': return {KEY_FUNCTION, 0x3D};  // F3
    case 'S': return {KEY_FUNCTION, 0x3E};  // F4
    case 'Z': return {KEY_FUNCTION, 0x0F};  // shift tab
    default: return {KEY_EXTENDED, 0};
  }
}

KeyCode tilde_key(int number) {
  switch (number) {
    case 1:
    case 7: return {KEY_EXTENDED, 0x47};  // home
    case 2: return {KEY_EXTENDED, 0x52};  // insert
    case 3: return {KEY_EXTENDED, 0x53};  // delete
    case 4:
    case 8: return {KEY_EXTENDED, 0x4F};  // end
    case 5: return {KEY_EXTENDED, 0x49};  // page up
    case 6: return {KEY_EXTENDED, 0x51};  // page down
    case 11: case 12: case 13: case 14: case 15:
      return {KEY_FUNCTION, 0x3B + number - 11};  // F1..F5
    case 17: case 18: case 19: case 20: case 21:
      return {KEY_FUNCTION, 0x40 + number - 17};  // F6..F10
    case 23: return {KEY_EXTENDED, 0x85};  // F11
    case 24: return {KEY_EXTENDED, 0x86};  // F12
    default: return {KEY_EXTENDED, 0};
  }
}

}  // namespace

void nt_console_flush_input(int fd) {
  if (isatty(fd)) tcflush(fd, TCIFLUSH);
}

int nt_console_read_answer(int fd) {
  int first = read_one(fd);
  if (first < 0) return KEY_END_OF_INPUT;
  // The rest of the line is read too, so that it does not answer the next
  // question.
  int c = first;
  while (c >= 0 && c != '\n') c = read_one(fd);
  return first;
}

ConsoleKeyReader::ConsoleKeyReader(int fd) : fd_(fd) {
  struct termios mode;
  if (g_raw_active || !isatty(fd) || tcgetattr(fd, &mode) != 0) return;
  g_saved_mode = mode;
  g_saved_fd = fd;
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    sigaction(kSignals[i], &action, &g_old_actions[i]);
  }
  if (!g_atexit_registered) {
    atexit(at_exit);
    g_atexit_registered = true;
  }
  // Keys one at a time, no echo; Ctrl-C still raises SIGINT.
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  g_raw_active = 1;
  if (tcsetattr(fd, TCSANOW, &mode) != 0) {
    g_raw_active = 0;
    restore_signals();
    return;
  }
  raw_ = true;
}

ConsoleKeyReader::~ConsoleKeyReader() {
  if (!raw_) return;
  restore_mode();
  restore_signals();
}

int ConsoleKeyReader::read_byte() {
  if (pushed_ >= 0) {
    int c = pushed_;
    pushed_ = -1;
    return c;
  }
  return read_one(fd_);
}

int ConsoleKeyReader::read_byte_if_ready(int wait_ms) {
  if (pushed_ >= 0) return read_byte();
  struct pollfd p = {fd_, POLLIN, 0};
  int n;
  do {
    n = poll(&p, 1, wait_ms);
  } while (n < 0 && errno == EINTR);
  if (n <= 0 || (p.revents & (POLLIN | POLLHUP)) == 0) return -1;
  return read_one(fd_);
}

int ConsoleKeyReader::escape_sequence() {
  int b = read_byte_if_ready(kSequenceWaitMs);
  KeyCode key;
  if (b == 'O') {
    int f = read_byte_if_ready(kSequenceWaitMs);
    key = f >= 0 ? cursor_key(f) : KeyCode{KEY_EXTENDED, 0};
  } else if (b == '[') {
    int number = 0;
    int c = read_byte_if_ready(kSequenceWaitMs);
    if (c == '[') {
      // The Linux console's F1..F5: "\x1b[[A" .. "\x1b[[E".
      int f = read_byte_if_ready(kSequenceWaitMs);
      key = f >= 'A' && f <= 'E' ? KeyCode{KEY_FUNCTION, 0x3B + f - 'A'} : KeyCode{KEY_EXTENDED, 0};
    } else {
      // Parameters and intermediates up to the final byte (bounded, so a
      // stream of digits cannot hold the reader).
      bool first_number = true;
      for (int count = 0; c >= 0 && count < 32; ++count) {
        if (c >= 0x40 && c <= 0x7E) break;
        if (c >= '0' && c <= '9' && first_number && number < 1000) number = number * 10 + c - '0';
        if (c == ';') first_number = false;
        c = read_byte_if_ready(kSequenceWaitMs);
      }
      if (c == '~') {
        key = tilde_key(number);
      } else if (c >= 0x40 && c <= 0x7E) {
        key = cursor_key(c);
      } else {
        key = {KEY_EXTENDED, 0};
      }
    }
  } else {
    if (b >= 0) pushed_ = b;
    return KEY_ESCAPE;
  }
  pending_ = key.scan;
  return key.first;
}

int ConsoleKeyReader::read_key() {
  if (pending_ >= 0) {
    int c = pending_;
    pending_ = -1;
    return c;
  }
  int c = read_byte();
  switch (c) {
    case -1: return KEY_END_OF_INPUT;
    case '\r': {
      int next = read_byte_if_ready(0);
      if (next >= 0 && next != '\n') pushed_ = next;
      return KEY_ENTER;
    }
    case '\n': return KEY_ENTER;
    case 0x08:
    case 0x7F: return KEY_BACKSPACE;
    case 0x1B: return escape_sequence();
    default: return c;
  }
}
