#include "keylo/value_text.h"

#include <cstdio>
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/registry/registry.h"

ShownValue show_value_text(DWORD type, const BYTE* data, DWORD size) {
  ShownValue shown;
  const char* bytes = reinterpret_cast<const char*>(data);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      shown.type_name = type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ";
      // A string stored without its terminator ends with its data.
      shown.text.assign(bytes, strnlen(bytes, size));
      break;
    case REG_BINARY:
      shown.type_name = "REG_BINARY";
      for (DWORD i = 0; i < size; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", data[i]);
        shown.text += hex;
      }
      break;
    case REG_DWORD: {
      shown.type_name = "REG_DWORD";
      shown.numeric = true;
      uint32_t number = 0;
      if (size > 0) std::memcpy(&number, data, size < 4 ? size : 4);
      shown.number = static_cast<int32_t>(number);
      break;
    }
    case REG_MULTI_SZ: {
      shown.type_name = "REG_MULTI_SZ";
      DWORD end = size;
      for (int i = 0; i < 2 && end > 0 && data[end - 1] == 0; ++i) --end;
      shown.text.assign(bytes, end);
      for (char& c : shown.text) {
        if (c == '\0') c = '`';
      }
      break;
    }
    default:
      return shown;
  }
  shown.known = true;
  return shown;
}
