#include "zeb/pipe_connection.h"

#include "platform/files/file_io.h"
#include "zeb/pipe_protocol.h"

bool ZebConnection::read(std::string* message, DWORD max) {
  if (broken_) return false;
  message->assign(max, '\0');
  DWORD got = 0;
  BOOL ok = ReadFile(pipe_, message->data(), max, &got, nullptr);
  if (!ok && GetLastError() == ERROR_MORE_DATA) ok = TRUE;
  if (!ok || got == 0) {
    if (ok) SetLastError(ERROR_BROKEN_PIPE);
    broken_ = true;
    message->clear();
    return false;
  }
  message->resize(got);
  return true;
}

bool ZebConnection::write(std::string_view message) {
  if (broken_) return false;
  DWORD written = 0;
  if (!WriteFile(pipe_, message.data(), static_cast<DWORD>(message.size()), &written, nullptr) ||
      written != message.size()) {
    broken_ = true;
    return false;
  }
  return true;
}

bool ZebConnection::write_control(char c) { return write(zeb_control(c)); }

bool ZebConnection::write_text(std::string_view text) { return write(zeb_text_message(text)); }

bool ZebConnection::reply(std::string_view message) {
  if (answer_due_) collect_answer();
  answer_due_ = write(message);
  return answer_due_;
}

bool ZebConnection::collect_answer() {
  if (!answer_due_) return true;
  answer_due_ = false;
  std::string answer;
  if (!read(&answer, ZEB_ANSWER_READ)) return false;
  return zeb_is_control(answer.data(), answer.size(), ZEB_ACK);
}

bool ZebConnection::final_ack() {
  if (answer_due_) return collect_answer();
  std::string answer;
  if (!read(&answer, ZEB_ANSWER_READ)) return false;
  return zeb_is_control(answer.data(), answer.size(), ZEB_ACK);
}
