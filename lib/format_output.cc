// Output lines of the tools: expanded, converted to the OEM code page unless
// the tool prints ANSI, and written with a newline.

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/nls/ansi_chars.h"
#include "lib/format.h"
#include "platform/nls/codepage.h"

void to_oem(char* line, int size) {
  if (line == nullptr || size <= 0) return;
  // A line without a terminator inside the buffer loses its last byte to one.
  size_t length = strnlen(line, static_cast<size_t>(size));
  if (length == static_cast<size_t>(size)) length = size - 1;
  const std::string converted = nt_ansi_to_oem(std::string_view(line, length));
  // A conversion that grows the text (for example into UTF-8) is cut on a
  // character boundary of the OEM page so that the buffer holds it.
  const size_t keep = ansi_cut(GetOEMCP(), converted.data(), converted.size(),
                               static_cast<size_t>(size) - 1);
  std::memcpy(line, converted.data(), keep);
  line[keep] = '\0';
}

namespace {

void print_line(char* line, bool ansi) {
  if (!ansi) to_oem(line, OUTPUT_LINE_SIZE);
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
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
