#include "postar/dialogue.h"

#include <cstdio>
#include <cstring>

#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/profile/profile.h"
#include "postar/messages.h"

namespace {

enum class PollResult { GO_ON, STOP_COMPLETE, STOP_TIMEOUT, STOP_ERROR };

struct DialogueState {
  std::string expected;
  bool arrived = false;
  int counter = 0;
  size_t next_line = 0;
};

bool contains(const char* data, size_t length, const std::string& text) {
  if (text.empty()) return true;
  return memmem(data, length, text.data(), text.size()) != nullptr;
}

// Sends all of `line`; false after a send error (reported).
bool send_line(ws::SOCKET s, const char* line) {
  size_t length = strlen(line);
  size_t done = 0;
  while (done < length) {
    int sent = ws::send(s, line + done, static_cast<int>(length - done), 0);
    if (sent == ws::SOCKET_ERROR) {
      reportf("send error=%d", WSAGetLastError());
      return false;
    }
    done += static_cast<size_t>(sent);
  }
  return true;
}

PollResult poll_once(ws::SOCKET s, const DialogueSettings& settings, const TemplateContext& context,
                     DialogueState* state) {
  ws::u_long waiting = 0;
  if (ws::ioctlsocket(s, ws::FIONREAD, &waiting) == ws::SOCKET_ERROR) {
    reportf("[entry] ioctl error, error=%d", WSAGetLastError());
    return PollResult::STOP_ERROR;
  }
  while (waiting > 0) {
    // One byte more than a block, so that a full block still ends as a text.
    char received[RECEIVE_BLOCK + 1];
    int got = ws::recv(s, received, RECEIVE_BLOCK, 0);
    if (got == ws::SOCKET_ERROR) {
      reportf("recv error=%d", WSAGetLastError());
      return PollResult::STOP_ERROR;
    }
    received[got] = '\0';
    if (settings.verbose) {
      printf("POSTAR<<<--- %s\n", received);
      fflush(stdout);
    }
    if (contains(received, static_cast<size_t>(got), state->expected)) state->arrived = true;
    if (got == 0) break;  // the peer has closed; nothing more will come
    if (ws::ioctlsocket(s, ws::FIONREAD, &waiting) == ws::SOCKET_ERROR) {
      reportf("[loop] ioctl error=%d", WSAGetLastError());
      return PollResult::STOP_ERROR;
    }
  }
  if (state->expected.empty()) state->arrived = true;
  if (!state->arrived) {
    if (state->counter > settings.response_timeout) {
      reportf("Response timeout waiting for answer '%s'", state->expected.c_str());
      return PollResult::STOP_TIMEOUT;
    }
    return PollResult::GO_ON;
  }
  state->arrived = false;
  state->counter = 0;
  if (state->next_line >= settings.lines.size()) return PollResult::STOP_COMPLETE;

  const std::string& key = settings.lines[state->next_line++];
  char expected[EXPECTED_TEXT_SIZE];
  GetPrivateProfileStringA(settings.section.c_str(), key.c_str(), "", expected, sizeof expected,
                           settings.ini_file.c_str());
  state->expected = expected;
  char line[TEMPLATE_WORK_SIZE];
  expand_template(key.c_str(), line, context);
  if (line[0] == '\0') return PollResult::GO_ON;
  if (settings.verbose) {
    printf("POSTAR--->>> %s\n", line);
    fflush(stdout);
  }
  return send_line(s, line) ? PollResult::GO_ON : PollResult::STOP_ERROR;
}

}  // namespace

bool send_file(ws::SOCKET s, const char* file, bool remove, bool verbose) {
  if (verbose) report_infof("POSTAR-INFO, Sending File %s...", file);
  HANDLE h = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reportf("POSTAR-ERROR, Cannot open %s for reading, error=%ld", file,
            static_cast<long>(GetLastError()));
    return false;
  }
  bool complete = true;
  for (;;) {
    char block[SEND_FILE_BLOCK];
    DWORD got = 0;
    if (!ReadFile(h, block, sizeof block, &got, nullptr)) {
      report_codef("ReadFile(%s)", file);
      complete = false;
      break;
    }
    if (got == 0) break;
    int sent = ws::send(s, block, static_cast<int>(got), 0);
    if (sent != static_cast<int>(got)) {
      if (sent == ws::SOCKET_ERROR) SetLastError(static_cast<DWORD>(WSAGetLastError()));
      report_codef("sent only %d of %d bytes, aborting SendFile(%s)", sent, static_cast<int>(got),
                   file);
      complete = false;
      break;
    }
  }
  CloseHandle(h);
  if (!complete) return false;
  if (verbose) report_info("...finished");
  if (remove) {
    if (DeleteFileA(file)) {
      if (verbose) report_infof("deleted file %s", file);
    } else {
      reportf("POSTAR-ERROR, cannot delete file %s, error=%d", file,
              static_cast<int>(GetLastError()));
    }
  }
  return true;
}

DialogueEnd run_dialogue(ws::SOCKET s, const DialogueSettings& settings,
                         const char* const* arguments, int* polls) {
  TemplateContext context;
  context.arguments = arguments;
  context.send_file = [&](const char* file, bool remove) {
    send_file(s, file, remove, settings.verbose);
  };
  DialogueState state;
  state.expected = settings.answer;
  int made = 0;
  for (;;) {
    ++state.counter;
    ++made;
    PollResult result = poll_once(s, settings, context, &state);
    if (result != PollResult::GO_ON) {
      if (polls) *polls = made;
      switch (result) {
        case PollResult::STOP_COMPLETE: return DialogueEnd::COMPLETE;
        case PollResult::STOP_TIMEOUT: return DialogueEnd::TIMEOUT;
        default: return DialogueEnd::SOCKET_ERROR;
      }
    }
    Sleep(settings.poll_interval_ms);
  }
}

std::vector<std::string> split_key_list(const char* list, size_t length) {
  std::vector<std::string> names;
  size_t pos = 0;
  while (pos < length && list[pos] != '\0') {
    size_t end = pos;
    while (end < length && list[end] != '\0') ++end;
    names.emplace_back(list + pos, end - pos);
    pos = end + 1;
  }
  return names;
}
