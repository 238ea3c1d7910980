// keylo show: prints one registry value of one server through the key and
// value formats.
#pragma once

#include "platform/win32_types.h"

// Values longer than this are not shown (the query fails with ERROR_MORE_DATA).
constexpr int SHOW_VALUE_SIZE = 2048;
// Buffer of one shown line, terminator included.
constexpr int SHOW_LINE_SIZE = 4096;

struct ShowRequest {
  const char* key_path;     // root name and subkey
  const char* value_name;   // empty: the key's default value
  const char* key_format;   // ~k; empty: no key line
  const char* value_format; // ~F; empty: no value line
};

// Reads the value on `server` ("\\NAME"; null or empty: the local registry)
// and prints the key line, then the value line. Returns 0, or the error after
// its line was printed.
DWORD show_value(const WCHAR* server, const ShowRequest& request);
