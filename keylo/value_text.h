// The value notation of keylo: how the text of an import line becomes a
// registry value, and how a registry value is shown (the same notation, but
// for REG_DWORD, which shows as a number).
//
//   REG_DWORD:<hex>        up to eight hexadecimal digits, 4 bytes
//   REG_BINARY:<hex>       a byte per pair of digits; an odd last digit is a byte
//   REG_MULTI_SZ:a`b``c    strings ended by single backquotes; `` is one backquote
//   REG_EXPAND_SZ:<text>   the text and its terminator
//   REG_SZ:<text>          the text and its terminator
//   <text>                 REG_SZ: the whole text, without terminator
// The prefixes are compared without regard to case, in this order.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_types.h"

struct ImportValue {
  DWORD type = 0;
  std::string data;
  const char* type_name = "REG_SZ";  // names the value in the error lines
};

// ERROR_SUCCESS, or ERROR_INVALID_DATA for a REG_DWORD without hexadecimal
// digits or a REG_BINARY with a character that is not one (the value then
// has its type and name, and no data).
DWORD parse_value_text(const char* text, ImportValue* value);

struct ShownValue {
  bool known = false;         // one of the five types above
  const char* type_name = "";
  bool numeric = false;       // REG_DWORD: `number` holds the value
  int32_t number = 0;
  std::string text;
};

// What `show` prints for a value of `type` with `size` bytes of data: the
// text of REG_SZ and REG_EXPAND_SZ (up to the first terminator or the end of
// the data), the bytes of REG_BINARY as "%02X" each, the number of a
// REG_DWORD, the strings of a REG_MULTI_SZ joined by backquotes (every
// terminator but those of the last two bytes). Other types are not known.
ShownValue show_value_text(DWORD type, const BYTE* data, DWORD size);
