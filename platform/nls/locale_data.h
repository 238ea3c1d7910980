// The locales the layer knows and their NT settings. Texts are UTF-8; the
// locale calls hand them out in the ANSI page.
#pragma once

#include "platform/win32_types.h"

struct NtLocaleData {
  LCID lcid;
  const char* posix_name;     // "de_DE"
  const char* abbrev_language;  // "DEU"
  const char* language;       // English name of the language
  const char* country;        // English name of the country
  const char* thousand;
  const char* decimal;
  const char* grouping;       // "3;0"
  int negative_order;         // 0..4, as NUMBERFMTA::NegativeOrder
  const char* date_separator;
  const char* time_separator;
  const char* short_date;
  const char* long_date;
  const char* time_format;
  const char* am;
  const char* pm;
  const char* era;
  const char* const* day_names;  // 7, Monday first
  const char* const* abbrev_day_names;
  const char* const* month_names;  // 12
  const char* const* abbrev_month_names;
};

// The locale an LCID stands for (LOCALE_USER_DEFAULT and
// LOCALE_SYSTEM_DEFAULT and 0 included), or null for an unknown one.
const NtLocaleData* nt_locale_data(LCID lcid);

// The LCID a POSIX locale name stands for: "de_DE.UTF-8@euro" -> 0x0407.
// A known language in an unknown territory takes the language's first
// locale ("de_AT" -> German (Germany)); anything else is 0x0409.
LCID nt_lcid_from_posix(const char* name);
