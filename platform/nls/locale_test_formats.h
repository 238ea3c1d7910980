// Test helper: dates, times and their texts through the locale calls, with
// a failed call shown as "<error N>" so that it fails the comparison.
#pragma once

#include <string>

#include "platform/kernel/error.h"
#include "platform/nls/locale.h"

inline SYSTEMTIME at(int year, int month, int day, int hour = 0, int minute = 0,
                     int second = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  return t;
}

inline std::string date(LCID lcid, const SYSTEMTIME& t, const char* picture, DWORD flags = 0) {
  char buf[120];
  int n = GetDateFormatA(lcid, flags, &t, picture, buf, sizeof buf);
  return n > 0 ? std::string(buf) : "<error " + std::to_string(GetLastError()) + ">";
}

inline std::string time_of(LCID lcid, const SYSTEMTIME& t, const char* picture,
                           DWORD flags = 0) {
  char buf[120];
  int n = GetTimeFormatA(lcid, flags, &t, picture, buf, sizeof buf);
  return n > 0 ? std::string(buf) : "<error " + std::to_string(GetLastError()) + ">";
}
