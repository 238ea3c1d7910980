// The logon agent's steps: start-up (INI file, settings, lock file, lists),
// the logon start (mirror out, Start list, restart as the resident agent),
// the resident agent's timer tick (paused lists, run file), and the end of
// the logon session (lock file removed, mirror back). Windows, timers and
// dialogs are behind AgentHost, so the logic runs without a display.
#pragma once

#include <functional>
#include <string>

#include "vexa32/command_list.h"
#include "vexa32/list_runner.h"
#include "vexa32/lock_file.h"
#include "vexa32/mirror.h"
#include "vexa32/settings.h"

class AgentHost {
 public:
  virtual ~AgentHost() = default;
  // Starts or stops the 1000 ms timer; false when it cannot be started.
  virtual bool set_timer(bool on) = 0;
  // Shows the main window hidden or minimised.
  virtual void show_window(bool hidden) = 0;
  // Destroys the main window, which ends the message loop.
  virtual void destroy_window() = 0;
  // The class icon: SMILEICON (true) or NORMALICON.
  virtual void set_icon(bool smile) = 0;
  virtual MirrorUi& mirror_ui() = 0;
  // Runs a mirror; a window program keeps its windows alive meanwhile.
  virtual void run_mirror(const std::function<void()>& work) { work(); }
  // Starts a program (WinExec).
  virtual UINT exec(const char* line, UINT show);
  // Logs the user off (ExitWindowsEx).
  virtual void logoff();
};

class Agent {
 public:
  Agent(AgentHost& host, std::string program_path);

  // Steps 1 to 4 of both starts; false when the program ends here (no INI
  // file, or the user is logged on already and was logged off).
  bool begin();
  // The rest of the logon start: mirror out, Start list, restart.
  void logon();
  // The resident start: the timer ("SetTimer() failed" when it cannot).
  void resident();
  // One timer tick.
  void tick();
  // The session asks whether it may end: timer stopped, lock file deleted.
  bool query_end_session();
  // The session ends (mirror back, window destroyed), or goes on after all.
  void end_session(bool ending);

  const std::string& ini() const { return ini_; }
  const VexaSettings& settings() const { return settings_; }
  int run_state() const { return runner_.state(); }
  bool ended() const { return ended_; }
  LockFile& lock() { return lock_; }

 private:
  void exit_entry(bool run_end);
  void mirror(MirrorDirection direction);
  void look_at_run_file();

  AgentHost& host_;
  std::string program_;
  std::string ini_;
  VexaSettings settings_;
  LockFile lock_;
  CommandList start_, middle_, end_;
  ListRunner runner_;
  long look_counter_ = 1;  // the first tick looks at the run file
  bool run_seen_ = false;
  unsigned long long run_time_ = 0;
  bool ended_ = false;
  bool asked_to_end_ = false;
};

// The restart command of the logon start.
std::string restart_command(const std::string& program_path);
