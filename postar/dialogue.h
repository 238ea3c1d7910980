// The dialogue with the mail server: one-second polls that read what the
// server sent, and send the next line of the INI file once the answer
// expected for the line before has arrived.
#pragma once

#include <string>
#include <vector>

#include "platform/winsock/winsock.h"
#include "postar/template.h"

constexpr int RECEIVE_BLOCK = 1024;
constexpr int SEND_FILE_BLOCK = 1024;
constexpr int EXPECTED_TEXT_SIZE = 80;  // 79 characters and a terminator
constexpr DWORD POLL_INTERVAL_MS = 1000;

struct DialogueSettings {
  std::string ini_file;
  std::string section;             // "Commands"
  std::vector<std::string> lines;  // the keys of the section, in file order
  std::string answer;              // the greeting's expected text
  int response_timeout = 10;       // polls to wait for an expected text
  bool verbose = false;
  DWORD poll_interval_ms = POLL_INTERVAL_MS;
};

// Sends a file over the socket in blocks of up to 1,024 bytes; with
// `remove`, deletes it afterwards when all of it was sent. Prints its own
// messages. True when the whole file was sent.
bool send_file(ws::SOCKET s, const char* file, bool remove, bool verbose);

enum class DialogueEnd {
  COMPLETE,      // every line sent and answered
  TIMEOUT,       // an expected text did not come in time
  SOCKET_ERROR,  // ioctl, recv or send failed
};

// Runs the whole dialogue; `arguments` are the ten positional arguments.
// Returns how it ended (each end has printed its message) and the number of
// polls made in *polls when given.
DialogueEnd run_dialogue(ws::SOCKET s, const DialogueSettings& settings,
                         const char* const* arguments, int* polls = nullptr);

// Splits a key list (names with terminators, an extra one at the end) of
// `length` bytes into names.
std::vector<std::string> split_key_list(const char* list, size_t length);
