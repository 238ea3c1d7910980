// Output lines of the tools: expanded, converted to the OEM code page unless
// the tool prints ANSI, and written with a newline.

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/nls/ansi_chars.h"
#include "lib/format.h"
#include "platform/nls/codepage.h"

namespace {

// True when the first `length` bytes of `text` are all ASCII.
bool all_ascii(const char* text, size_t length) {
  unsigned char any = 0;
  for (size_t i = 0; i < length; ++i) any |= static_cast<unsigned char>(text[i]);
  return any < 0x80;
}

}  // namespace

void to_oem(char* line, int size) {
  if (line == nullptr || size <= 0) return;
  // A line without a terminator inside the buffer loses its last byte to one.
  size_t length = strnlen(line, static_cast<size_t>(size));
  if (length == static_cast<size_t>(size)) length = size - 1;
  // The same page on both sides, or ASCII text (which every known page
  // writes alike), converts to itself: only the terminator is set.
  const UINT ansi_page = GetACP();
  const UINT oem_page = GetOEMCP();
  if (ansi_page == oem_page || all_ascii(line, length)) {
    line[length] = '\0';
    return;
  }
  const std::string converted = nt_ansi_to_oem(std::string_view(line, length));
  // A conversion that grows the text (for example into UTF-8) is cut on a
  // character boundary of the OEM page so that the buffer holds it.
  const size_t keep = ansi_cut(oem_page, converted.data(), converted.size(),
                               static_cast<size_t>(size) - 1);
  std::memcpy(line, converted.data(), keep);
  line[keep] = '\0';
}

namespace {

// `line` is an OUTPUT_LINE_SIZE buffer whose text (at most
// OUTPUT_LINE_SIZE - 1 bytes after the conversion) ends at a terminator
// inside it: the newline takes the terminator's place and the line goes out
// in one write to the stream.
void print_line(char* line, bool ansi) {
  if (!ansi) to_oem(line, OUTPUT_LINE_SIZE);
  size_t length = std::strlen(line);
  line[length++] = '\n';
  std::fwrite(line, 1, length, stdout);
}

}  // namespace

void print_formatted(const char* format, const ArgSpec* table, bool ansi) {
  if (format == nullptr || format[0] == '\0') return;
  char line[OUTPUT_LINE_SIZE];
  expand_format(format, line, table, OUTPUT_LINE_SIZE - 1);
  print_line(line, ansi);
}

void print_formatted_text(const char* text, const ArgSpec* table, bool ansi) {
  if (text == nullptr || text[0] == '\0') return;
  char line[OUTPUT_LINE_SIZE];
  expand_format_text(text, line, table, OUTPUT_LINE_SIZE - 1);
  print_line(line, ansi);
}
