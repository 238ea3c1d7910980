#include "platform/nls/ansi_chars.h"

#include "platform/nls/codepage.h"

namespace {

bool is_continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Length a UTF-8 lead byte announces, 1 for anything that cannot lead.
size_t utf8_sequence_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

size_t ansi_char_size(UINT code_page, const char* p) {
  if (*p == '\0') return 0;
  if (code_page != CP_UTF8) return 1;
  const size_t want = utf8_sequence_length(static_cast<unsigned char>(*p));
  // The terminator is no continuation byte, so this stops in front of it.
  for (size_t i = 1; i < want; ++i) {
    if (!is_continuation(p[i])) return 1;
  }
  return want;
}

size_t ansi_cut(UINT code_page, const char* text, size_t length, size_t max_bytes) {
  if (length <= max_bytes) {
    // Nothing to cut unless the text ends inside a character, which only
    // a walk can tell; a text that fits is taken as it stands.
    return length;
  }
  if (code_page != CP_UTF8) return max_bytes;
  size_t pos = 0;
  while (pos < length) {
    size_t step = 1;
    const size_t want = utf8_sequence_length(static_cast<unsigned char>(text[pos]));
    if (want > 1 && pos + want <= length) {
      step = want;
      for (size_t i = 1; i < want; ++i) {
        if (!is_continuation(text[pos + i])) {
          step = 1;
          break;
        }
      }
    }
    if (pos + step > max_bytes) break;
    pos += step;
  }
  return pos;
}

size_t ansi_count(UINT code_page, const char* text, size_t limit) {
  size_t count = 0;
  while (count < limit) {
    const size_t step = ansi_char_size(code_page, text);
    if (step == 0) break;
    text += step;
    ++count;
  }
  return count;
}
