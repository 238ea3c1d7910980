// The locale of the calling thread: SetThreadLocale / GetThreadLocale, and
// the language-id helpers that go with locale ids.
//
// Each thread starts without a locale of its own and then reports the user
// default (GetUserDefaultLCID, read at each call, so a changed LANG shows).
// SetThreadLocale changes only the calling thread. The thread locale picks
// the language of the string tables LoadString reads (resource.h).
#pragma once

#include "platform/win32_types.h"

using LANGID = WORD;

// Primary languages and sublanguages used by the resource files.
constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD LANG_GERMAN = 0x07;
constexpr WORD LANG_ENGLISH = 0x09;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr WORD SUBLANG_SYS_DEFAULT = 0x02;
constexpr WORD SUBLANG_ENGLISH_US = 0x01;
constexpr WORD SUBLANG_ENGLISH_UK = 0x02;
constexpr WORD SUBLANG_GERMAN = 0x01;
constexpr WORD SORT_DEFAULT = 0x0;

constexpr LANGID MAKELANGID(WORD primary, WORD sub) {
  return static_cast<LANGID>((sub << 10) | primary);
}
constexpr WORD PRIMARYLANGID(LANGID lang) { return static_cast<WORD>(lang & 0x3FF); }
constexpr WORD SUBLANGID(LANGID lang) { return static_cast<WORD>(lang >> 10); }
constexpr LCID MAKELCID(LANGID lang, WORD sort) {
  return (static_cast<LCID>(sort) << 16) | lang;
}
constexpr LANGID LANGIDFROMLCID(LCID locale) { return static_cast<LANGID>(locale & 0xFFFF); }

// Sets the calling thread's locale. LOCALE_USER_DEFAULT and
// LOCALE_SYSTEM_DEFAULT stand for the locales they name now. A locale the
// system does not know (IsValidLocale) fails with ERROR_INVALID_PARAMETER
// and leaves the thread locale as it was.
BOOL SetThreadLocale(LCID locale);

// The calling thread's locale: the one set, else the user default.
LCID GetThreadLocale();
