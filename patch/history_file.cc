#include "patch/history_file.h"

#include <cstdio>

#include "patch/failure_text.h"
#include "patch/profile_lists.h"
#include "platform/files/path.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/environment.h"
#include "platform/kernel/error.h"
#include "platform/profile/profile.h"

std::string read_history_entry(const char* history_file, const char* patch) {
  if (history_file == nullptr || patch == nullptr || *patch == '\0') return std::string();
  return read_profile_value(history_file, HISTORY_SECTION, patch, "", HISTORY_ENTRY_READ_MAX);
}

bool history_entry_done(const std::string& entry) { return !entry.empty() && entry[0] == '*'; }

bool patch_done(const char* history_file, const char* patch) {
  return history_entry_done(read_history_entry(history_file, patch));
}

bool write_history_entry(const char* history_file, const char* patch, const char* entry) {
  if (history_file == nullptr || patch == nullptr || *patch == '\0' || entry == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return WritePrivateProfileStringA(HISTORY_SECTION, patch, entry, history_file) != FALSE;
}

bool write_history_probe(const char* history_file) {
  if (history_file == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return WritePrivateProfileStringA(HISTORY_PROBE_SECTION, HISTORY_PROBE_KEY, HISTORY_PROBE_VALUE,
                                    history_file) != FALSE;
}

std::string history_stamp(bool success, const SYSTEMTIME& time) {
  char stamp[80];
  snprintf(stamp, sizeof stamp, "%s %02u.%02u.%04u %02u:%02u:%02u.%03u ",
           success ? HISTORY_SUCCESS : HISTORY_FAILURE, unsigned{time.wDay},
           unsigned{time.wMonth}, unsigned{time.wYear}, unsigned{time.wHour},
           unsigned{time.wMinute}, unsigned{time.wSecond}, unsigned{time.wMilliseconds});
  return stamp;
}

std::string history_outcome_entry(bool success, const char* failure_message,
                                  const SYSTEMTIME& time) {
  std::string entry = history_stamp(success, time);
  if (!success && failure_message != nullptr) {
    entry += cut_text(failure_message, FAILURE_TEXT_MAX);
  }
  return entry;
}

std::string history_outcome_entry(bool success, const char* failure_message) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return history_outcome_entry(success, failure_message, now);
}

bool default_history_file(std::string* out) {
  char root[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("SYSTEMROOT", root, sizeof root);
  if (length == 0) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return false;
  }
  if (length >= sizeof root) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  *out = std::string(root, length) + "\\" + HISTORY_FILE_NAME;
  return true;
}
