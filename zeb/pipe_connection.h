// One served connection of the command pipe: the pipe instance, the
// caller's user name, and message I/O (one ReadFile or WriteFile each).
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"
#include "zeb/pipe_protocol.h"
#include "zeb/service_state.h"

class ZebConnection {
 public:
  ZebConnection(ZebService& service, HANDLE pipe) : service_(service), pipe_(pipe) {}

  ZebService& service() { return service_; }
  HANDLE pipe() const { return pipe_; }
  const std::string& user() const { return user_; }
  void set_user(std::string user) { user_ = std::move(user); }

  // One read of at most `max` bytes; false when it fails or the client has
  // gone (the error stays in GetLastError).
  bool read(std::string* message, DWORD max);
  // One write of the whole message.
  bool write(std::string_view message);
  bool write_control(char c);
  bool write_text(std::string_view text);

  // A reply of a handler (DONE or a text) that the client answers. A reply
  // that follows another one first reads the client's answer to that one,
  // so replies and answers never get out of step.
  bool reply(std::string_view message);
  bool reply_done() { return reply(zeb_control(ZEB_DONE)); }
  // Reads the client's answer to the last reply, if one is due; true when
  // it is an ACK (or none was due).
  bool collect_answer();
  // The closing handshake: the client's last message (the answer to the
  // last reply, or whatever it sends); true when it is an ACK.
  bool final_ack();

 private:
  ZebService& service_;
  HANDLE pipe_;
  std::string user_;
  bool answer_due_ = false;
  bool broken_ = false;
};
