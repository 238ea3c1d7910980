#include "platform/nls/thread_locale.h"

#include "platform/kernel/error.h"
#include "platform/nls/locale.h"

namespace {

// 0: the thread has not set a locale and follows the user default.
thread_local LCID t_locale = 0;

}  // namespace

BOOL SetThreadLocale(LCID locale) {
  if (locale == LOCALE_USER_DEFAULT) {
    locale = GetUserDefaultLCID();
  } else if (locale == LOCALE_SYSTEM_DEFAULT) {
    locale = GetSystemDefaultLCID();
  }
  if (!IsValidLocale(locale, 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_locale = locale;
  return TRUE;
}

LCID GetThreadLocale() { return t_locale != 0 ? t_locale : GetUserDefaultLCID(); }
