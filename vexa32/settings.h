// The agent's INI file: where it is, the [Vexa] keys with their defaults,
// and key lists of sections read with the system's INI functions.
#pragma once

#include <string>
#include <vector>

constexpr const char* VEXA_TITLE = "Vexa32 V2.2";

struct VexaSettings {
  long ask = 30;              // seconds of the countdown; 0 copies without asking
  bool copy_on_timeout = false;
  bool allow_cancel = true;
  bool hidden = true;         // else the window is shown minimised
  bool errors = false;        // report source folders that cannot be entered
  std::string lock;           // lock file, empty: none
  std::string run;            // monitored run file, empty: none
  long look_timer = 60;       // seconds between two looks at the run file
};

// The INI file of a program: its path up to and including the last "." of
// the file name, then "INI"; a file name without "." gets ".INI".
std::string vexa_ini_path(const std::string& program_path);

// True when the INI file exists (a readable file).
bool vexa_ini_exists(const std::string& ini);

// Reads the [Vexa] keys; missing keys keep their defaults.
VexaSettings read_vexa_settings(const std::string& ini);

// The key names of a section in file order, read through a list buffer of
// `size` bytes. When the list does not fit, the last name may be cut: it is
// left out and *cut is set (a cut name would be another command or folder).
std::vector<std::string> read_key_list(const std::string& ini, const char* section, size_t size,
                                       bool* cut = nullptr);
