#include "platform/nls/locale.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/nls/locale_data.h"

namespace {

constexpr DWORD DATE_USE_ALT_CALENDAR = 0x4;  // accepted: the Gregorian is the only calendar
constexpr LCTYPE LOCALE_USE_CP_ACP = 0x40000000;  // texts are always in the ANSI page

int fail(DWORD code) {
  SetLastError(code);
  return 0;
}

bool bad_output(const char* out, int out_len) { return out_len < 0 || (out_len > 0 && !out); }

// Hands a result out the Win32 way: size with terminator, or the text.
int deliver(const std::string& text, char* out, int out_len) {
  int needed = static_cast<int>(text.size()) + 1;
  if (out_len == 0) return needed;
  if (out_len < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(out, text.c_str(), static_cast<size_t>(needed));
  return needed;
}

// A locale text (UTF-8) in the ANSI page.
std::string ansi(const char* utf8) {
  if (GetACP() == CP_UTF8) return utf8;
  return nt_wide_to_ansi(nt_multibyte_to_wide(CP_UTF8, utf8));
}

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}

bool valid_date(const SYSTEMTIME& t) {
  return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
         t.wDay <= days_in_month(t.wYear, t.wMonth);
}

bool valid_time(const SYSTEMTIME& t) {
  return t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds <= 999;
}

// 0 = Sunday, as SYSTEMTIME counts.
int day_of_week(int year, int month, int day) {
  static const int kOffset[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffset[month - 1] + day) % 7;
}

// Appends a date or time field in decimal (values 0..30827), at least two
// digits with `two_digits`.
void append_number(std::string& out, int value, bool two_digits) {
  char buf[16];
  char* end = buf + sizeof buf;
  char* p = end;
  unsigned v = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (two_digits && end - p < 2) *--p = '0';
  if (value < 0) *--p = '-';
  out.append(p, end);
}

enum class Picture { kDate, kTime };

// Expands a date or time picture. Elements of the other kind are copied.
std::string expand(const NtLocaleData& loc, Picture kind, DWORD flags, const SYSTEMTIME& t,
                   const char* picture) {
  std::string out;
  // End of the last element written: a dropped element takes the text
  // between it and that element along.
  size_t element_end = 0;
  bool any_element = false;
  bool skip_literal = false;  // after a dropped first element
  auto literal = [&](const char* text, size_t length) {
    if (!skip_literal) out.append(text, length);
  };
  auto begin_element = [&]() { skip_literal = false; };
  auto end_element = [&]() {
    element_end = out.size();
    any_element = true;
  };
  auto element = [&](const std::string& text) {
    begin_element();
    out += text;
    end_element();
  };
  auto number = [&](int value, bool two_digits) {
    begin_element();
    append_number(out, value, two_digits);
    end_element();
  };
  auto drop = [&]() {
    out.resize(element_end);
    if (!any_element) skip_literal = true;
  };

  size_t i = 0;
  size_t n = std::strlen(picture);
  while (i < n) {
    char c = picture[i];
    if (c == '\'') {
      if (i + 1 < n && picture[i + 1] == '\'') {
        literal("'", 1);
        i += 2;
        continue;
      }
      std::string text;
      ++i;
      while (i < n) {
        if (picture[i] == '\'') {
          if (i + 1 < n && picture[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += picture[i++];
      }
      literal(text.data(), text.size());
      continue;
    }
    size_t run = 1;
    while (i + run < n && picture[i + run] == c) ++run;
    int count = static_cast<int>(run);
    bool handled = true;
    if (kind == Picture::kDate) {
      switch (c) {
        case 'd':
          if (count <= 2) {
            number(t.wDay, count == 2);
          } else {
            int dow = day_of_week(t.wYear, t.wMonth, t.wDay);  // Sunday 0
            int index = (dow + 6) % 7;                          // Monday 0
            element(ansi(count == 3 ? loc.abbrev_day_names[index] : loc.day_names[index]));
          }
          break;
        case 'M':
          if (count <= 2) {
            number(t.wMonth, count == 2);
          } else {
            element(ansi(count == 3 ? loc.abbrev_month_names[t.wMonth - 1]
                                    : loc.month_names[t.wMonth - 1]));
          }
          break;
        case 'y':
          if (count <= 2) {
            number(t.wYear % 100, count == 2);
          } else {
            number(t.wYear, false);
          }
          break;
        case 'g':
          element(ansi(loc.era));
          break;
        default:
          handled = false;
      }
    } else {
      bool force24 = flags & TIME_FORCE24HOURFORMAT;
      switch (c) {
        case 'h':
        case 'H': {
          int hour = t.wHour;
          if (c == 'h' && !force24) {
            hour %= 12;
            if (hour == 0) hour = 12;
          }
          number(hour, count >= 2);
          break;
        }
        case 'm':
          if (flags & TIME_NOMINUTESORSECONDS) {
            drop();
          } else {
            number(t.wMinute, count >= 2);
          }
          break;
        case 's':
          if (flags & (TIME_NOMINUTESORSECONDS | TIME_NOSECONDS)) {
            drop();
          } else {
            number(t.wSecond, count >= 2);
          }
          break;
        case 't':
          if (flags & TIME_NOTIMEMARKER) {
            drop();
          } else {
            std::string marker = ansi(t.wHour < 12 ? loc.am : loc.pm);
            if (count == 1) marker.resize(nt_ansi_prefix_bytes(marker, 1));
            element(marker);
          }
          break;
        default:
          handled = false;
      }
    }
    if (!handled) literal(picture + i, run);
    i += run;
  }
  return out;
}

// The last text a thread made from a date or time picture, and what it was
// made of. A listing formats the same day, and often the same minute, for
// many entries in a row: those take the text made before. `fields` are the
// parts of SYSTEMTIME the picture kind reads (year, month, day or hour,
// minute, second); the ANSI page is part of the key because the texts are
// in it.
struct PictureMemo {
  bool valid = false;
  LCID lcid = 0;
  UINT code_page = 0;
  DWORD flags = 0;
  WORD fields[3] = {};
  std::string picture;
  std::string text;
};

thread_local PictureMemo t_date_memo;
thread_local PictureMemo t_time_memo;

const std::string& memo_expand(PictureMemo& memo, const NtLocaleData& loc, Picture kind,
                               DWORD flags, const SYSTEMTIME& t, const char* picture) {
  const WORD fields[3] = {kind == Picture::kDate ? t.wYear : t.wHour,
                          kind == Picture::kDate ? t.wMonth : t.wMinute,
                          kind == Picture::kDate ? t.wDay : t.wSecond};
  const UINT code_page = GetACP();
  if (memo.valid && memo.lcid == loc.lcid && memo.code_page == code_page && memo.flags == flags &&
      std::memcmp(memo.fields, fields, sizeof fields) == 0 && memo.picture == picture) {
    return memo.text;
  }
  memo.text = expand(loc, kind, flags, t, picture);
  memo.picture = picture;
  memo.lcid = loc.lcid;
  memo.code_page = code_page;
  memo.flags = flags;
  std::memcpy(memo.fields, fields, sizeof fields);
  memo.valid = true;
  return memo.text;
}

LCID lcid_from_values(const char* lc_all, const char* lang) {
  const char* value = lc_all;
  if (!value || !*value) value = lang;
  if (!value || !*value) return LANG_ENGLISH_US;
  return nt_lcid_from_posix(value);
}

// The last LC_ALL and LANG a thread parsed and the locale they gave: a
// later call with the same texts (compared, not parsed) takes that locale.
// Values too long for the copy are never cached.
struct EnvironmentLocale {
  static constexpr size_t kValueMax = 64;
  bool valid = false;
  bool lc_all_set = false;
  bool lang_set = false;
  char lc_all[kValueMax] = {};
  char lang[kValueMax] = {};
  LCID lcid = LANG_ENGLISH_US;
};

thread_local EnvironmentLocale t_environment_locale;

// The locale an NtUserLocaleHold fixed, while t_hold_depth > 0.
thread_local LCID t_held_lcid = 0;
thread_local int t_hold_depth = 0;

bool same_value(const char* current, bool cached_set, const char* cached) {
  if (current == nullptr) return !cached_set;
  return cached_set && std::strcmp(current, cached) == 0;
}

// Copies `value` for a later comparison; false when it does not fit.
bool remember(const char* value, bool* set, char* out) {
  *set = value != nullptr;
  if (value == nullptr) return true;
  const size_t length = std::strlen(value);
  if (length >= EnvironmentLocale::kValueMax) return false;
  std::memcpy(out, value, length + 1);
  return true;
}

// getenv("LC_ALL") and getenv("LANG") in one pass over the environment.
void read_locale_variables(const char** lc_all, const char** lang) {
  if (environ == nullptr) return;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* e = *entry;
    if (e[0] != 'L') continue;
    if (e[1] == 'C') {
      if (*lc_all == nullptr && e[2] == '_' && e[3] == 'A' && e[4] == 'L' && e[5] == 'L' &&
          e[6] == '=') {
        *lc_all = e + 7;
      }
    } else if (e[1] == 'A') {
      if (*lang == nullptr && e[2] == 'N' && e[3] == 'G' && e[4] == '=') *lang = e + 5;
    } else {
      continue;
    }
    if (*lc_all != nullptr && *lang != nullptr) return;
  }
}

LCID lcid_from_environment() {
  if (t_hold_depth > 0) return t_held_lcid;
  const char* lc_all = nullptr;
  const char* lang = nullptr;
  read_locale_variables(&lc_all, &lang);
  EnvironmentLocale& cache = t_environment_locale;
  if (cache.valid && same_value(lc_all, cache.lc_all_set, cache.lc_all) &&
      same_value(lang, cache.lang_set, cache.lang)) {
    return cache.lcid;
  }
  const LCID lcid = lcid_from_values(lc_all, lang);
  cache.valid = remember(lc_all, &cache.lc_all_set, cache.lc_all) &&
                remember(lang, &cache.lang_set, cache.lang);
  cache.lcid = lcid;
  return lcid;
}

}  // namespace

LCID GetUserDefaultLCID() { return lcid_from_environment(); }

LCID GetSystemDefaultLCID() { return lcid_from_environment(); }

NtUserLocaleHold::NtUserLocaleHold() {
  if (t_hold_depth == 0) t_held_lcid = lcid_from_environment();
  ++t_hold_depth;
}

NtUserLocaleHold::~NtUserLocaleHold() { --t_hold_depth; }

BOOL IsValidLocale(LCID locale, DWORD /*flags*/) {
  if (locale == 0 || locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) return FALSE;
  return nt_locale_data(locale) ? TRUE : FALSE;
}

int GetLocaleInfoA(LCID locale, LCTYPE type, char* out, int out_len) {
  if (bad_output(out, out_len)) return fail(ERROR_INVALID_PARAMETER);
  const NtLocaleData* loc = nt_locale_data(locale);
  if (!loc) return fail(ERROR_INVALID_PARAMETER);
  type &= ~(LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP);
  std::string value;
  if (type >= LOCALE_SDAYNAME1 && type < LOCALE_SDAYNAME1 + 7) {
    value = ansi(loc->day_names[type - LOCALE_SDAYNAME1]);
  } else if (type >= LOCALE_SABBREVDAYNAME1 && type < LOCALE_SABBREVDAYNAME1 + 7) {
    value = ansi(loc->abbrev_day_names[type - LOCALE_SABBREVDAYNAME1]);
  } else if (type >= LOCALE_SMONTHNAME1 && type < LOCALE_SMONTHNAME1 + 12) {
    value = ansi(loc->month_names[type - LOCALE_SMONTHNAME1]);
  } else if (type >= LOCALE_SABBREVMONTHNAME1 && type < LOCALE_SABBREVMONTHNAME1 + 12) {
    value = ansi(loc->abbrev_month_names[type - LOCALE_SABBREVMONTHNAME1]);
  } else {
    switch (type) {
      case LOCALE_ILANGUAGE: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(loc->lcid));
        value = buf;
        break;
      }
      case LOCALE_SABBREVLANGNAME: value = loc->abbrev_language; break;
      case LOCALE_SENGLANGUAGE: value = loc->language; break;
      case LOCALE_SENGCOUNTRY: value = loc->country; break;
      case LOCALE_SDECIMAL: value = ansi(loc->decimal); break;
      case LOCALE_STHOUSAND: value = ansi(loc->thousand); break;
      case LOCALE_SGROUPING: value = loc->grouping; break;
      case LOCALE_IDIGITS: value = "2"; break;
      case LOCALE_ILZERO: value = "1"; break;
      case LOCALE_INEGNUMBER: value = std::to_string(loc->negative_order); break;
      case LOCALE_SDATE: value = ansi(loc->date_separator); break;
      case LOCALE_STIME: value = ansi(loc->time_separator); break;
      case LOCALE_SSHORTDATE: value = ansi(loc->short_date); break;
      case LOCALE_SLONGDATE: value = ansi(loc->long_date); break;
      case LOCALE_STIMEFORMAT: value = ansi(loc->time_format); break;
      case LOCALE_ITIME: value = std::strchr(loc->time_format, 'H') ? "1" : "0"; break;
      case LOCALE_S1159: value = ansi(loc->am); break;
      case LOCALE_S2359: value = ansi(loc->pm); break;
      default: return fail(ERROR_INVALID_PARAMETER);
    }
  }
  return deliver(value, out, out_len);
}

int GetNumberFormatA(LCID locale, DWORD flags, const char* value, const NUMBERFMTA* format,
                     char* out, int out_len) {
  if (!value || bad_output(out, out_len)) return fail(ERROR_INVALID_PARAMETER);
  if (format ? flags != 0 : (flags & ~LOCALE_NOUSEROVERRIDE) != 0) {
    return fail(ERROR_INVALID_FLAGS);
  }
  const NtLocaleData* loc = nt_locale_data(locale);
  if (!loc) return fail(ERROR_INVALID_PARAMETER);

  UINT digits = 2, leading_zero = 1, grouping = 3, negative_order;
  std::string decimal_sep, thousand_sep;
  if (format) {
    if (format->NumDigits > 9 || format->LeadingZero > 1 ||
        (format->Grouping > 9 && format->Grouping != 32) || format->NegativeOrder > 4 ||
        !format->lpDecimalSep || !format->lpThousandSep) {
      return fail(ERROR_INVALID_PARAMETER);
    }
    digits = format->NumDigits;
    leading_zero = format->LeadingZero;
    grouping = format->Grouping;
    negative_order = format->NegativeOrder;
    decimal_sep = format->lpDecimalSep;
    thousand_sep = format->lpThousandSep;
  } else {
    negative_order = static_cast<UINT>(loc->negative_order);
    decimal_sep = ansi(loc->decimal);
    thousand_sep = ansi(loc->thousand);
  }

  // value: ['-'] digits ['.' digits], at least one digit.
  const char* p = value;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  const char* whole_begin = p;
  while (*p >= '0' && *p <= '9') ++p;
  std::string whole(whole_begin, p);
  std::string fraction;
  if (*p == '.') {
    const char* fraction_begin = ++p;
    while (*p >= '0' && *p <= '9') ++p;
    fraction.assign(fraction_begin, p);
  }
  if (*p != '\0' || (whole.empty() && fraction.empty())) return fail(ERROR_INVALID_PARAMETER);

  // Round half away from zero to `digits` places.
  bool round_up = fraction.size() > digits && fraction[digits] >= '5';
  if (fraction.size() > digits) fraction.resize(digits);
  fraction.append(digits - fraction.size(), '0');
  if (round_up) {
    bool carry = true;
    for (size_t k = fraction.size(); carry && k-- > 0;) {
      if (fraction[k] == '9') {
        fraction[k] = '0';
      } else {
        ++fraction[k];
        carry = false;
      }
    }
    for (size_t k = whole.size(); carry && k-- > 0;) {
      if (whole[k] == '9') {
        whole[k] = '0';
      } else {
        ++whole[k];
        carry = false;
      }
    }
    if (carry) whole.insert(whole.begin(), '1');
  }
  const size_t first = whole.find_first_not_of('0');
  whole.erase(0, first == std::string::npos ? whole.size() : first);
  if (whole.empty() && fraction.find_first_not_of('0') == std::string::npos) negative = false;
  if (whole.empty() && (leading_zero || digits == 0)) whole = "0";

  // Group from the right: `grouping` digits each, or 3 then 2s for 32.
  // The groups are collected backwards and turned round at the end.
  std::string text;
  text.reserve(whole.size() * (1 + thousand_sep.size()) + decimal_sep.size() + fraction.size() + 4);
  if (negative) {
    switch (negative_order) {
      case 0: text += ')'; break;
      case 3: text += '-'; break;
      case 4: text += "- "; break;
      default: break;
    }
  }
  if (digits > 0) {
    text.append(fraction.rbegin(), fraction.rend());
    text.append(decimal_sep.rbegin(), decimal_sep.rend());
  }
  size_t group = grouping == 32 ? 3 : grouping;
  size_t in_group = 0;
  for (size_t k = whole.size(); k-- > 0;) {
    if (group != 0 && in_group == group) {
      text.append(thousand_sep.rbegin(), thousand_sep.rend());
      in_group = 0;
      if (grouping == 32) group = 2;
    }
    text += whole[k];
    ++in_group;
  }
  if (negative) {
    switch (negative_order) {
      case 0: text += '('; break;
      case 1: text += '-'; break;
      case 2: text += " -"; break;
      default: break;
    }
  }
  std::reverse(text.begin(), text.end());
  return deliver(text, out, out_len);
}

int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* picture,
                   char* out, int out_len) {
  if (bad_output(out, out_len)) return fail(ERROR_INVALID_PARAMETER);
  if (flags & ~(DATE_SHORTDATE | DATE_LONGDATE | DATE_USE_ALT_CALENDAR | LOCALE_NOUSEROVERRIDE)) {
    return fail(ERROR_INVALID_FLAGS);
  }
  if ((flags & DATE_SHORTDATE) && (flags & DATE_LONGDATE)) return fail(ERROR_INVALID_FLAGS);
  if (picture && (flags & (DATE_SHORTDATE | DATE_LONGDATE | LOCALE_NOUSEROVERRIDE))) {
    return fail(ERROR_INVALID_FLAGS);
  }
  const NtLocaleData* loc = nt_locale_data(locale);
  if (!loc) return fail(ERROR_INVALID_PARAMETER);
  SYSTEMTIME t;
  if (time) {
    t = *time;
  } else {
    GetLocalTime(&t);
  }
  if (!valid_date(t)) return fail(ERROR_INVALID_PARAMETER);
  std::string own_picture;
  if (!picture) {
    own_picture = ansi((flags & DATE_LONGDATE) ? loc->long_date : loc->short_date);
    picture = own_picture.c_str();
  }
  return deliver(memo_expand(t_date_memo, *loc, Picture::kDate, flags, t, picture), out, out_len);
}

int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* picture,
                   char* out, int out_len) {
  if (bad_output(out, out_len)) return fail(ERROR_INVALID_PARAMETER);
  if (flags & ~(TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER |
                TIME_FORCE24HOURFORMAT | LOCALE_NOUSEROVERRIDE)) {
    return fail(ERROR_INVALID_FLAGS);
  }
  if (picture && (flags & LOCALE_NOUSEROVERRIDE)) return fail(ERROR_INVALID_FLAGS);
  const NtLocaleData* loc = nt_locale_data(locale);
  if (!loc) return fail(ERROR_INVALID_PARAMETER);
  SYSTEMTIME t;
  if (time) {
    t = *time;
  } else {
    GetLocalTime(&t);
  }
  if (!valid_time(t)) return fail(ERROR_INVALID_PARAMETER);
  std::string own_picture;
  if (!picture) {
    own_picture = ansi(loc->time_format);
    picture = own_picture.c_str();
  }
  return deliver(memo_expand(t_time_memo, *loc, Picture::kTime, flags, t, picture), out, out_len);
}
