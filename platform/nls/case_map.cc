// The system's simple (one unit to one unit) case mapping: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic, Armenian, Latin Extended Additional,
// the letter-like symbols, Roman numerals, circled and full-width letters.
// As on NT, characters whose upper case is not a single unit of its own
// (ß, ÿ, ŉ, ΐ) stay as they are, and so do the dotted and dotless i of
// Turkish and the long s.
#include "platform/nls/codepage.h"

WCHAR nt_wide_upper(WCHAR c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - 0x20) : c;
  if (c < 0x100) {
    // Latin-1: à..þ except ÷; ß, µ and ÿ keep their form.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<WCHAR>(c - 0x20);
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131) return c;
    if (c <= 0x137) return (c & 1) ? static_cast<WCHAR>(c - 1) : c;  // Ā ā .. Ķ ķ
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? c : static_cast<WCHAR>(c - 1);  // Ĺ ĺ .. Ň ň
    if (c >= 0x14A && c <= 0x177) return (c & 1) ? static_cast<WCHAR>(c - 1) : c;  // Ŋ ŋ .. Ŷ ŷ
    if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c : static_cast<WCHAR>(c - 1);  // Ź ź .. Ž ž
    return c;  // ĸ, ŉ, ſ have no simple upper-case partner
  }
  if (c >= 0x370 && c < 0x400) {
    if (c >= 0x3B1 && c <= 0x3CB) {
      if (c == 0x3C2) return 0x3A3;  // final sigma
      return static_cast<WCHAR>(c - 0x20);
    }
    switch (c) {
      case 0x3AC: return 0x386;
      case 0x3AD: return 0x388;
      case 0x3AE: return 0x389;
      case 0x3AF: return 0x38A;
      case 0x3CC: return 0x38C;
      case 0x3CD: return 0x38E;
      case 0x3CE: return 0x38F;
      default: return c;
    }
  }
  if (c >= 0x400 && c < 0x500) {
    if (c >= 0x430 && c <= 0x44F) return static_cast<WCHAR>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<WCHAR>(c - 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF))
      return (c & 1) ? static_cast<WCHAR>(c - 1) : c;
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : static_cast<WCHAR>(c - 1);
    if (c == 0x4CF) return 0x4C0;
    return c;
  }
  if (c >= 0x561 && c <= 0x586) return static_cast<WCHAR>(c - 0x30);  // Armenian
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF))
    return (c & 1) ? static_cast<WCHAR>(c - 1) : c;
  if (c >= 0x2170 && c <= 0x217F) return static_cast<WCHAR>(c - 0x10);  // Roman numerals
  if (c >= 0x24D0 && c <= 0x24E9) return static_cast<WCHAR>(c - 0x1A);  // circled letters
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<WCHAR>(c - 0x20);  // full-width
  return c;
}

WCHAR nt_wide_lower(WCHAR c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c + 0x20) : c;
  if (c < 0x100) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<WCHAR>(c + 0x20);
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131) return c;
    if (c <= 0x137) return (c & 1) ? c : static_cast<WCHAR>(c + 1);
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? static_cast<WCHAR>(c + 1) : c;
    if (c >= 0x14A && c <= 0x177) return (c & 1) ? c : static_cast<WCHAR>(c + 1);
    if (c == 0x178) return 0xFF;  // Ÿ
    if (c >= 0x179 && c <= 0x17E) return (c & 1) ? static_cast<WCHAR>(c + 1) : c;
    return c;
  }
  if (c >= 0x370 && c < 0x400) {
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<WCHAR>(c + 0x20);
    switch (c) {
      case 0x386: return 0x3AC;
      case 0x388: return 0x3AD;
      case 0x389: return 0x3AE;
      case 0x38A: return 0x3AF;
      case 0x38C: return 0x3CC;
      case 0x38E: return 0x3CD;
      case 0x38F: return 0x3CE;
      default: return c;
    }
  }
  if (c >= 0x400 && c < 0x500) {
    if (c >= 0x410 && c <= 0x42F) return static_cast<WCHAR>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<WCHAR>(c + 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF))
      return (c & 1) ? c : static_cast<WCHAR>(c + 1);
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? static_cast<WCHAR>(c + 1) : c;
    if (c == 0x4C0) return 0x4CF;
    return c;
  }
  if (c >= 0x531 && c <= 0x556) return static_cast<WCHAR>(c + 0x30);  // Armenian
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF))
    return (c & 1) ? c : static_cast<WCHAR>(c + 1);
  // Ohm, Kelvin and Angstrom signs lower to the letters they stand for; the
  // letters upper to their own capitals.
  if (c == 0x2126) return 0x3C9;
  if (c == 0x212A) return u'k';
  if (c == 0x212B) return 0xE5;
  if (c >= 0x2160 && c <= 0x216F) return static_cast<WCHAR>(c + 0x10);
  if (c >= 0x24B6 && c <= 0x24CF) return static_cast<WCHAR>(c + 0x1A);
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<WCHAR>(c + 0x20);
  return c;
}
