#include "vexa32/agent.h"

#include <cstdio>

#include "platform/files/file_info.h"
#include "platform/process/process.h"
#include "platform/process/win_exec.h"
#include "platform/session/session.h"
#include "platform/user/message_box.h"

namespace {

void error_box(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), VEXA_TITLE, MB_OK | MB_ICONERROR);
}

}  // namespace

UINT AgentHost::exec(const char* line, UINT show) { return WinExec(line, show); }

void AgentHost::logoff() { ExitWindowsEx(EWX_LOGOFF, 0); }

std::string restart_command(const std::string& program_path) { return program_path + " RESTART"; }

Agent::Agent(AgentHost& host, std::string program_path)
    : host_(host),
      program_(std::move(program_path)),
      ini_(vexa_ini_path(program_)),
      runner_(ListRunner::Hooks{
          [this](const char* line, UINT show) { return host_.exec(line, show); },
          [this](bool run_end) { exit_entry(run_end); }}) {}

bool Agent::begin() {
  if (!vexa_ini_exists(ini_)) {
    error_box("INI File " + ini_ + " not found");
    return false;
  }
  settings_ = read_vexa_settings(ini_);
  host_.show_window(settings_.hidden);
  if (!settings_.lock.empty()) {
    switch (lock_.open(settings_.lock)) {
      case LockResult::held:
        break;
      case LockResult::logged_on:
        error_box("You are already logged on\nWindows exits now");
        host_.logoff();
        ended_ = true;
        return false;
      case LockResult::failed: {
        char text[1200];
        snprintf(text, sizeof text, "error %d opening lockfile '%s'", lock_.c_error(),
                 settings_.lock.c_str());
        error_box(text);
        break;
      }
    }
  }
  start_ = read_command_list(ini_, "Start");
  middle_ = read_command_list(ini_, "Middle");
  end_ = read_command_list(ini_, "End");
  look_counter_ = 1;
  SetProcessShutdownParameters(0x100, 0);
  return true;
}

void Agent::mirror(MirrorDirection direction) {
  Mirror m(host_.mirror_ui(), settings_);
  host_.run_mirror([&] { m.run(ini_, direction); });
}

void Agent::logon() {
  mirror(MirrorDirection::out);
  runner_.run(start_, ListKind::start);
  // An Exit entry ended the agent: no resident one follows.
  if (ended_) return;
  lock_.close();
  if (host_.exec(restart_command(program_).c_str(), SW_SHOWMINIMIZED) <= 31) {
    error_box("Cannot restart");
  }
  host_.destroy_window();
  ended_ = true;
}

void Agent::resident() {
  if (!host_.set_timer(true)) error_box("SetTimer() failed");
}

void Agent::look_at_run_file() {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExA(settings_.run.c_str(), GetFileExInfoStandard, &info)) return;
  const unsigned long long written =
      (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime;
  if (run_seen_ && written == run_time_) return;
  run_seen_ = true;
  run_time_ = written;
  runner_.run(read_command_list(settings_.run, "Start"), ListKind::run_file);
}

void Agent::tick() {
  if (ended_) return;
  if (runner_.state() == RUN_PAUSED_RUN_FILE) {
    runner_.resume();
    return;
  }
  if (--look_counter_ <= 0) {
    look_counter_ = settings_.look_timer;
    if (!settings_.run.empty()) {
      const bool was_seen = run_seen_;
      const unsigned long long was = run_time_;
      look_at_run_file();
      if (run_seen_ != was_seen || run_time_ != was) return;
    }
  }
  if (runner_.state() != RUN_IDLE) {
    runner_.resume();
    return;
  }
  host_.set_icon(false);
}

void Agent::exit_entry(bool run_end) {
  lock_.close_and_delete();
  host_.set_timer(false);
  if (run_end) runner_.run_end_list(end_);
  host_.destroy_window();
  ended_ = true;
}

bool Agent::query_end_session() {
  host_.set_timer(false);
  lock_.close_and_delete();
  asked_to_end_ = true;
  return true;
}

void Agent::end_session(bool ending) {
  if (ending) {
    mirror(MirrorDirection::back);
    host_.destroy_window();
    ended_ = true;
    return;
  }
  // The session goes on after all: hold the lock again and keep watching.
  if (asked_to_end_ && !ended_) {
    asked_to_end_ = false;
    if (!settings_.lock.empty()) lock_.open(settings_.lock);
    host_.set_timer(true);
  }
}
