#include "vexa32/list_runner.h"

#include <cstdio>

#include "platform/user/message_box.h"
#include "vexa32/settings.h"

void ListRunner::run(const CommandList& list, ListKind kind) {
  list_ = list;
  kind_ = kind;
  next_ = 0;
  work();
}

void ListRunner::resume() {
  if (state_ == RUN_IDLE) return;
  work();
}

void ListRunner::work() {
  state_ = RUN_IDLE;
  while (next_ < list_.size()) {
    const CommandEntry entry = list_[next_++];
    if (is_exit_entry(entry.line)) {
      exited_ = true;
      list_.clear();
      next_ = 0;
      if (hooks_.exit) hooks_.exit(entry.flags != 0);
      return;
    }
    std::string line = expand_command_line(entry.line);
    UINT result = hooks_.exec ? hooks_.exec(line.c_str(), show_mode_for(entry.flags)) : 0;
    if (result < 32) {
      char text[COMMAND_LINE_SIZE + 64];
      snprintf(text, sizeof text, "WinExec Error %u\n%s", result, line.c_str());
      MessageBoxA(nullptr, text, VEXA_TITLE, MB_OK | MB_ICONERROR);
    }
    if ((entry.flags & CMD_PAUSE) && kind_ != ListKind::end) {
      state_ = kind_ == ListKind::run_file ? RUN_PAUSED_RUN_FILE : RUN_PAUSED_LIST;
      return;
    }
  }
  list_.clear();
  next_ = 0;
}
