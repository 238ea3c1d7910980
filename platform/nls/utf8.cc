#include "platform/nls/utf8.h"

long nt_utf8_next(const unsigned char* text, size_t length, size_t* pos) {
  size_t i = *pos;
  unsigned b0 = text[i++];
  if (b0 < 0x80) {
    *pos = i;
    return static_cast<long>(b0);
  }
  int need;
  unsigned lower = 0x80, upper = 0xBF;
  long cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lower = 0xA0;  // overlong
    if (b0 == 0xED) upper = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lower = 0x90;  // overlong
    if (b0 == 0xF4) upper = 0x8F;  // above U+10FFFF
  } else {
    *pos = i;
    return -1;
  }
  for (int k = 0; k < need; ++k) {
    if (i >= length) {
      *pos = i;
      return -1;
    }
    unsigned b = text[i];
    if (b < lower || b > upper) {
      *pos = i;  // the offending byte starts the next read
      return -1;
    }
    lower = 0x80;
    upper = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    ++i;
  }
  *pos = i;
  return cp;
}

int nt_utf8_length(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  return 4;
}

int nt_utf8_encode(char32_t cp, unsigned char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  return 4;
}
