#include "acma/password_derivation.h"

#include <cstdint>

namespace {

bool is_kept(unsigned a) {
  return (a >= '0' && a <= '9') || (a >= 'A' && a <= 'Z') || (a >= 'a' && a <= 'z');
}

WCHAR mapped(unsigned a) {
  if (is_kept(a)) return static_cast<WCHAR>(a);
  if (a < '0') return static_cast<WCHAR>('A' + a % 26);
  if (a <= '@') return u'$';                            // 58 to 64
  if (a <= '`') return static_cast<WCHAR>('a' + a % 26);  // 91 to 96
  return static_cast<WCHAR>('0' + a % 10);              // above 122
}

}  // namespace

bool derive_password(WCHAR* text, int size) {
  if (text == nullptr || size < DERIVED_PASSWORD_MAX + 1) return false;
  int length = 0;
  uint16_t sum = 0;
  while (length < size && text[length] != 0) sum = static_cast<uint16_t>(sum + text[length++]);
  const unsigned k = sum % 33u;
  const int n = DERIVED_PASSWORD_MIN + static_cast<int>(k % 4u);
  for (int i = 0; i < n; ++i) {
    // Positions past the seed start from the already changed first unit.
    if (i >= length) text[i] = text[0];
    const unsigned a = (k + static_cast<unsigned>(i)) ^ static_cast<unsigned>(text[i]);
    text[i] = mapped(a & 0xFFFFu);
  }
  text[n] = 0;
  return true;
}
