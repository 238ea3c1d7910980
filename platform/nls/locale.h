// National-language formatting of numbers, dates and times.
//
// The user locale comes from the environment the way a Linux user names it:
// LC_ALL, else LANG (for example "de_DE.UTF-8");
// "C", "POSIX" or nothing stand for English (United States), 1033.
#pragma once

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LANG_ENGLISH_US = 0x0409;

constexpr LCTYPE LOCALE_ILANGUAGE = 0x0001;         // "0409"
constexpr LCTYPE LOCALE_SABBREVLANGNAME = 0x0003;   // "ENU"
constexpr LCTYPE LOCALE_SENGLANGUAGE = 0x1001;
constexpr LCTYPE LOCALE_SENGCOUNTRY = 0x1002;
constexpr LCTYPE LOCALE_IDIGITS = 0x0011;
constexpr LCTYPE LOCALE_ILZERO = 0x0012;
constexpr LCTYPE LOCALE_ITIME = 0x0023;             // "0" 12-hour, "1" 24-hour
constexpr LCTYPE LOCALE_SDECIMAL = 0x000E;
constexpr LCTYPE LOCALE_STHOUSAND = 0x000F;
constexpr LCTYPE LOCALE_SGROUPING = 0x0010;
constexpr LCTYPE LOCALE_SDATE = 0x001D;
constexpr LCTYPE LOCALE_STIME = 0x001E;
constexpr LCTYPE LOCALE_SSHORTDATE = 0x001F;
constexpr LCTYPE LOCALE_SLONGDATE = 0x0020;
constexpr LCTYPE LOCALE_S1159 = 0x0028;
constexpr LCTYPE LOCALE_S2359 = 0x0029;
constexpr LCTYPE LOCALE_SDAYNAME1 = 0x002A;          // .. SDAYNAME7 0x30, Monday first
constexpr LCTYPE LOCALE_SABBREVDAYNAME1 = 0x0031;    // .. 0x37
constexpr LCTYPE LOCALE_SMONTHNAME1 = 0x0038;        // .. 0x43
constexpr LCTYPE LOCALE_SABBREVMONTHNAME1 = 0x0044;  // .. 0x4F
constexpr LCTYPE LOCALE_INEGNUMBER = 0x1010;
constexpr LCTYPE LOCALE_STIMEFORMAT = 0x1003;

constexpr DWORD LOCALE_NOUSEROVERRIDE = 0x80000000;
constexpr DWORD DATE_SHORTDATE = 0x1;
constexpr DWORD DATE_LONGDATE = 0x2;
constexpr DWORD TIME_NOMINUTESORSECONDS = 0x1;
constexpr DWORD TIME_NOSECONDS = 0x2;
constexpr DWORD TIME_NOTIMEMARKER = 0x4;
constexpr DWORD TIME_FORCE24HOURFORMAT = 0x8;

struct NUMBERFMTA {
  UINT NumDigits;
  UINT LeadingZero;
  UINT Grouping;
  char* lpDecimalSep;
  char* lpThousandSep;
  UINT NegativeOrder;  // 0 "(1.1)", 1 "-1.1", 2 "- 1.1", 3 "1.1-", 4 "1.1 -"
};

// Both read LC_ALL, else LANG, on every call (tests change them between
// calls), unless an NtUserLocaleHold is in force; the last parse is kept
// per thread and used again while LC_ALL and LANG hold the same text. A known language in an unknown territory ("de_AT") takes
// that language's first locale (German, Germany); anything unknown is 0x0409.
LCID GetUserDefaultLCID();
LCID GetSystemDefaultLCID();

// Holds the user (and system) default locale of the calling thread fixed
// while it lives: the calls inside take the locale read when the outermost
// hold was made and do not look at the environment again. For work that
// formats many values at one moment, such as one output line. Holds nest.
class NtUserLocaleHold {
 public:
  NtUserLocaleHold();
  ~NtUserLocaleHold();
  NtUserLocaleHold(const NtUserLocaleHold&) = delete;
  NtUserLocaleHold& operator=(const NtUserLocaleHold&) = delete;
};

BOOL IsValidLocale(LCID locale, DWORD flags);

// Win32 semantics: out_len 0 asks for the size needed (terminator included);
// a too small buffer fails with ERROR_INSUFFICIENT_BUFFER and leaves it
// untouched; an unknown locale or LCTYPE, a malformed value or a bad format
// with ERROR_INVALID_PARAMETER; flags that do not go with the arguments
// with ERROR_INVALID_FLAGS. Texts are ANSI.
// GetNumberFormatA: value is digits with an optional leading '-' and at
// most one '.'; it is rounded half away from zero to NumDigits (0..9);
// Grouping is 0..9 or 32 (3 then 2s); a value that rounds to zero loses its
// sign. With a format, flags must be 0.
int GetLocaleInfoA(LCID locale, LCTYPE type, char* out, int out_len);
int GetNumberFormatA(LCID locale, DWORD flags, const char* value, const NUMBERFMTA* format,
                     char* out, int out_len);
// Pictures: d dd ddd dddd M MM MMM MMMM y yy yyyy gg, h hh H HH m mm s ss t tt,
// 'quoted text' ('' for one quote); anything else is copied, and so are the
// time letters in a date picture and the date letters in a time picture.
// A null picture takes the locale's short (or, with DATE_LONGDATE, long)
// date or its time format; a picture with DATE_SHORTDATE/DATE_LONGDATE
// fails with ERROR_INVALID_FLAGS. A null time is now (GetLocalTime).
// The day of the week comes from the date (wDayOfWeek is not read); an
// invalid date or time fails with ERROR_INVALID_PARAMETER.
// TIME_NOSECONDS, TIME_NOMINUTESORSECONDS and TIME_NOTIMEMARKER drop those
// elements together with the text between them and the element before.
int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* picture,
                   char* out, int out_len);
int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* picture,
                   char* out, int out_len);
