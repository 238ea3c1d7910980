// Table entries that drive the command-line parser, the format engine and
// the criteria match. One letter names one property of a tool's objects in
// its options (/x), criteria (-x, +x) and formats (~x).
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

enum ArgType : int16_t {
  ARG_END = 0,
  ARG_NUMERIC = 1,    // int32_t
  ARG_CHAR = 2,       // char
  ARG_FLAG = 3,       // int32_t, 1 when given
  ARG_STRING = 4,     // char[ARG_TEXT_SIZE]
  ARG_WSTRING = 5,    // WCHAR[ARG_TEXT_SIZE]
  ARG_ABSTIME = 6,    // FILETIME, local time
  ARG_DELTATIME = 7,  // FILETIME, now plus or minus a span
  ARG_RANGE = 8,      // char[ARG_TEXT_SIZE] holding a range text
  ARG_DOUBLE = 9,     // double, placeholder tables only
  ARG_BITMASK = 10,   // uint32_t, bit i set when i lies in the range
};

enum ArgState : uint8_t {
  ARG_OPTIONAL = 0,
  ARG_MANDATORY = 1,
  ARG_GIVEN = 2,
};

// Text targets hold 255 characters and a terminator.
constexpr int ARG_TEXT_SIZE = 256;

struct ArgSpec {
  int16_t type;     // ArgType
  char letter;      // compared exactly; unused in positional tables
  uint8_t state;    // ArgState
  void* target;     // where the value goes (placeholders: where it is read)
  intptr_t def;     // a number, a character, or a pointer, by type
};

// The default field holding a pointer (default text, default FILETIME).
template <typename T>
inline intptr_t arg_ptr(const T* p) {
  return reinterpret_cast<intptr_t>(p);
}
