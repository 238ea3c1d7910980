// Arbitrary bytes as a command line, through tables of every datatype, and
// as texts for the time readers, the range test and the wildcard matcher.
// Run with -close_fd_mask=2 to keep the PARAM lines off the terminal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/time_syntax.h"
#include "lib/wildcard.h"
#include "platform/nls/codepage.h"

namespace {

struct Targets {
  int32_t number;
  char ch;
  int32_t flag;
  char text[ARG_TEXT_SIZE];
  WCHAR wide[ARG_TEXT_SIZE];
  FILETIME abs;
  FILETIME delta;
  char range[ARG_TEXT_SIZE];
  uint32_t mask;
  FILETIME low_abs;
  FILETIME low_delta;
};

void check_text(const char* text, size_t size) {
  if (strnlen(text, size) >= size) __builtin_trap();  // a text target lost its terminator
}

void check_wide(const WCHAR* text) {
  for (int i = 0; i < ARG_TEXT_SIZE; ++i) {
    if (text[i] == 0) return;
  }
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The low bit of the first byte picks the ANSI page: UTF-8 or 1252.
  static int current_page = -1;
  const int page = size > 0 && (data[0] & 1) ? 1252 : 65001;
  if (page != current_page) {
    setenv("NT_ACP", page == 1252 ? "1252" : "65001", 1);
    nt_reload_code_pages();
    current_page = page;
  }
  const std::string input(reinterpret_cast<const char*>(data), size);
  const char* line = input.c_str();  // stops at the first NUL byte, as a command line does

  static const FILETIME kDefaultTime{0x11111111, 0x01111111};
  static const WCHAR kWideDefault[] = u"wide default";
  Targets p{}, o{}, c{}, f{};
  FILETIME c_low_abs{}, c_low_delta{};

  ArgSpec params[] = {
      {ARG_STRING, 0, ARG_OPTIONAL, p.text, arg_ptr("cmd")},
      {ARG_WSTRING, 0, ARG_OPTIONAL, p.wide, arg_ptr(kWideDefault)},
      {ARG_NUMERIC, 0, ARG_OPTIONAL, &p.number, 3},
      {ARG_CHAR, 0, ARG_OPTIONAL, &p.ch, 'x'},
      {ARG_ABSTIME, 0, ARG_OPTIONAL, &p.abs, arg_ptr(&kDefaultTime)},
      {ARG_DELTATIME, 0, ARG_OPTIONAL, &p.delta, arg_ptr(&kDefaultTime)},
      {ARG_RANGE, 0, ARG_OPTIONAL, p.range, arg_ptr("1:5")},
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec options[] = {
      {ARG_NUMERIC, 'n', ARG_OPTIONAL, &o.number, 7},
      {ARG_CHAR, 'k', ARG_OPTIONAL, &o.ch, 'k'},
      {ARG_FLAG, 'y', ARG_OPTIONAL, &o.flag, 0},
      {ARG_STRING, 'c', ARG_OPTIONAL, o.text, 0},
      {ARG_WSTRING, 'w', ARG_OPTIONAL, o.wide, 0},
      {ARG_ABSTIME, 't', ARG_OPTIONAL, &o.abs, arg_ptr(&kDefaultTime)},
      {ARG_DELTATIME, 'i', ARG_OPTIONAL, &o.delta, 0},
      {ARG_RANGE, 'H', ARG_OPTIONAL, o.range, 0},
      {ARG_BITMASK, 'W', ARG_OPTIONAL, &o.mask, 0x7F},
      {ARG_NUMERIC, 'm', ARG_MANDATORY, &o.number, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec criteria[] = {
      {ARG_NUMERIC, 'n', ARG_OPTIONAL, &c.number, 0},
      {ARG_CHAR, 'k', ARG_OPTIONAL, &c.ch, 0},
      {ARG_STRING, 'c', ARG_OPTIONAL, c.text, 0},
      {ARG_WSTRING, 'w', ARG_OPTIONAL, c.wide, 0},
      {ARG_ABSTIME, 'L', ARG_OPTIONAL, &c.abs, arg_ptr(&c_low_abs)},
      {ARG_DELTATIME, 'A', ARG_OPTIONAL, &c.delta, arg_ptr(&c_low_delta)},
      {ARG_ABSTIME, 'Z', ARG_OPTIONAL, &c.low_abs, 0},  // no lower bound field
      {ARG_RANGE, 'H', ARG_OPTIONAL, c.range, 0},
      {ARG_FLAG, 'f', ARG_OPTIONAL, &c.flag, 0},  // not allowed: internal error
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec formats[] = {
      {ARG_STRING, 'F', ARG_OPTIONAL, f.text, arg_ptr("~N ~c")},
      {ARG_WSTRING, 'W', ARG_OPTIONAL, f.wide, 0},
      {ARG_NUMERIC, 'N', ARG_OPTIONAL, &f.number, 0},  // not allowed: internal error
      {ARG_END, 0, 0, nullptr, 0},
  };
  parse_command_text(line, params, options, criteria, formats);
  for (const Targets* t : {&p, &o, &c, &f}) {
    check_text(t->text, sizeof t->text);
    check_text(t->range, sizeof t->range);
    check_wide(t->wide);
  }
  // The same line with some tables absent.
  parse_command_text(line, nullptr, options, nullptr, formats);

  // The readers on the raw text, and their output rendered.
  FILETIME time;
  char out[256];
  if (parse_abs_time(line, &time)) {
    format_time(&time, out, sizeof out);
    check_text(out, sizeof out);
  }
  if (parse_delta_time(line, &time)) {
    format_time(&time, out, sizeof out);
    make_delta(&time, static_cast<int>(size), -1, 1, -1, 1);
  }
  check_range(line);
  uint32_t mask = 0;
  for (int32_t v = -2; v < 33; ++v) {
    if (in_range(line, v) && v >= 0 && v < 32) mask |= 1u << v;
  }
  format_bitmask(mask, 0x00FFFFFF, out, size % 64 + 1);
  check_text(out, size % 64 + 1);

  // Wildcards: the first half of the text against the second as a pattern.
  const std::string text = input.substr(0, size / 2);
  const std::string pattern = input.substr(size / 2);
  match_wildcard(text.c_str(), pattern.c_str(), 0);
  match_wildcard(text.c_str(), pattern.c_str(), 1);
  has_wildcard(pattern.c_str());
  command_code(line, 901);
  return 0;
}
