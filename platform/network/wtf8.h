// Lossless conversions between UTF-16 and the 8-bit form the stores keep.
//
// NT names are sequences of 16-bit units that need not be valid UTF-16 (a
// lone surrogate is a legal character of a registry name). The stores keep
// names as 8-bit text: valid UTF-16 becomes plain UTF-8, and each lone
// surrogate becomes its own three-byte sequence (the "WTF-8" rule), so that
// every unit sequence comes back unchanged.
#pragma once

#include <string>
#include <string_view>

// UTF-16 units to 8-bit text; never fails.
std::string nt_wtf8_from_utf16(std::u16string_view text);

// 8-bit text back to UTF-16 units. Bytes that form no sequence become
// U+FFFD each, so that any input gives some result.
std::u16string nt_utf16_from_wtf8(std::string_view text);
