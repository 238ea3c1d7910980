// Passwords derived from a seed text, so that an administrator can hand out
// a password that can be worked out again from the seed alone.
#pragma once

#include "platform/win32_types.h"

// Shortest and longest derived password.
constexpr int DERIVED_PASSWORD_MIN = 8;
constexpr int DERIVED_PASSWORD_MAX = 11;

// Replaces the terminated seed in `text` by its derived password of 8 to 11
// characters (digits, ASCII letters and '$') and its terminator. `size` is
// the buffer's size in units; a buffer too small for the result (fewer than
// 12 units) gets nothing and the call returns false.
bool derive_password(WCHAR* text, int size);
