// The value notation of keylo: how the text of an import line becomes a
// registry value (lib/registry_value_text.h, with the "REG_SZ:" prefix), and
// how a registry value is shown (the same notation, but for REG_DWORD, which
// shows as a number).
#pragma once

#include <cstdint>
#include <string>

#include "lib/registry_value_text.h"
#include "platform/win32_types.h"

using ImportValue = RegistryValueText;

// ERROR_SUCCESS, or ERROR_INVALID_DATA for a REG_DWORD without hexadecimal
// digits or a REG_BINARY with a character that is not one (the value then
// has its type and name, and no data).
inline DWORD parse_value_text(const char* text, ImportValue* value) {
  return parse_registry_value_text(text, SzPrefix::recognised, value);
}

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
