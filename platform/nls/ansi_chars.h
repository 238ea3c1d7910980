// Character steps through multi-byte texts of a code page. The single-byte
// pages take every byte as one character; UTF-8 takes a well-formed
// sequence as one character and any stray byte as a character of its own,
// so a walk over malformed text still moves forward and never reads past
// the terminator.
#pragma once

#include <cstddef>

#include "platform/win32_types.h"

// Bytes of the character that starts at `p` (1 to 4; 0 at the terminator).
size_t ansi_char_size(UINT code_page, const char* p);

// The longest prefix of the first `length` bytes of `text` that ends on a
// character boundary and holds at most `max_bytes` bytes.
size_t ansi_cut(UINT code_page, const char* text, size_t length, size_t max_bytes);

// Number of characters in `text` up to its terminator, counting at most `limit`.
size_t ansi_count(UINT code_page, const char* text, size_t limit);
