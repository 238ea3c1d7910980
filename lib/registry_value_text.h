// The value notation of registry change files: how the text of one line
// ("name=text") becomes a registry value. The text selects the type by its
// prefix, compared without regard to case in this order:
//
//   REG_DWORD:<hex>        up to eight hexadecimal digits, 4 bytes
//   REG_BINARY:<hex>       a byte per pair of digits; an odd last digit is a byte
//   REG_MULTI_SZ:a`b``c    strings ended by single backquotes; `` is one backquote
//   REG_EXPAND_SZ:<text>   the text and its terminator
//   REG_SZ:<text>          the text and its terminator (only when the dialect
//                          knows this prefix)
//   <text>                 REG_SZ: the whole text, without terminator
#pragma once

#include <string>

#include "platform/win32_types.h"

struct RegistryValueText {
  DWORD type = 0;
  std::string data;
  const char* type_name = "REG_SZ";  // "REG_DWORD" ... for messages
};

// Whether "REG_SZ:" is a prefix of its own or part of a plain string.
enum class SzPrefix { recognised, plain };

// ERROR_SUCCESS, or ERROR_INVALID_DATA for a REG_DWORD without hexadecimal
// digits or a REG_BINARY with a character that is not one (the value then
// has its type and name, and no data).
DWORD parse_registry_value_text(const char* text, SzPrefix sz_prefix, RegistryValueText* value);
