// The countdown of the CONFIRM dialog: "Seconds left: %ld", one step a
// second; when it passes 0 the dialog ends as OK with CopyOnTimeout, else as
// Cancel. A countdown of 0 shows a single blank and waits for the user.
#pragma once

#include <string>

class ConfirmCountdown {
 public:
  ConfirmCountdown(long seconds, bool copy_on_timeout)
      : left_(seconds), waits_(seconds == 0), copy_on_timeout_(copy_on_timeout) {}

  std::string text() const;
  // One second passed: 0 while the dialog goes on, else IDOK or IDCANCEL.
  int tick();
  bool waits() const { return waits_; }

 private:
  long left_;
  bool waits_;
  bool copy_on_timeout_;
};
