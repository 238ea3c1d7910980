#include "vexa32/confirm_countdown.h"

#include <cstdio>

#include "platform/user/message_box.h"

std::string ConfirmCountdown::text() const {
  if (waits_) return " ";
  char buffer[64];
  snprintf(buffer, sizeof buffer, "Seconds left: %ld", left_ < 0 ? 0 : left_);
  return buffer;
}

int ConfirmCountdown::tick() {
  if (waits_) return 0;
  --left_;
  if (left_ >= 0) return 0;
  return copy_on_timeout_ ? IDOK : IDCANCEL;
}
