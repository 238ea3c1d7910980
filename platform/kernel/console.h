// Console input for prompts and hidden entry.
//
// Standard input may be a terminal or a pipe or file. On a terminal, keys are
// read with the terminal in non-canonical, no-echo mode (signals still work);
// the previous mode comes back when the reader ends, at exit, and on SIGINT,
// SIGTERM, SIGHUP and SIGQUIT before the signal takes its usual course. From
// a pipe or file, each byte is a key.
#pragma once

// Key codes that ConsoleKeyReader::read_key returns besides the characters.
constexpr int KEY_END_OF_INPUT = -1;
constexpr int KEY_ENTER = 13;      // "\r" or "\n" (a "\n" right after "\r" is dropped)
constexpr int KEY_BACKSPACE = 8;   // 0x08 or 0x7F
constexpr int KEY_ESCAPE = 27;     // Esc alone
// First codes of two-code keys; outside the byte range, so that no typed
// character (a NUL, or 0xE0 in a single-byte page) is taken for one.
constexpr int KEY_FUNCTION = 0x100;  // function keys F1..F10, shift tab
constexpr int KEY_EXTENDED = 0x1E0;  // cursor and editing keys, F11, F12

// Discards input typed ahead on a terminal; nothing for a pipe or file.
void nt_console_flush_input(int fd = 0);

// Reads one line (up to and including its line feed, or to the end of input)
// and returns its first character; '\n' for an empty line, KEY_END_OF_INPUT
// when nothing was left to read.
int nt_console_read_answer(int fd = 0);

// Reads single keys from `fd`. An escape sequence of a cursor or function key
// ("\x1b[A", "\x1bOP", "\x1b[15~", ...) is one key given as two codes, first
// KEY_EXTENDED or KEY_FUNCTION, then its scan code (as the PC keyboard
// numbers them: up 0x48, left 0x4B, F1 0x3B, ...; 0 for unknown sequences).
class ConsoleKeyReader {
 public:
  explicit ConsoleKeyReader(int fd = 0);
  ~ConsoleKeyReader();
  ConsoleKeyReader(const ConsoleKeyReader&) = delete;
  ConsoleKeyReader& operator=(const ConsoleKeyReader&) = delete;

  // True when the terminal mode was changed (standard input is a terminal).
  bool raw() const { return raw_; }

  // The next key code, or KEY_END_OF_INPUT.
  int read_key();

 private:
  int read_byte();
  // A byte that is there already (terminal: within a short wait), else -1.
  int read_byte_if_ready(int wait_ms);
  int escape_sequence();

  int fd_;
  bool raw_ = false;
  int pushed_ = -1;    // a byte read ahead
  int pending_ = -1;   // the second code of a two-code key
};
