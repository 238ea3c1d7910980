// UTF-8 sequences one character at a time, as the code page calls read them.
#pragma once

#include <cstddef>

// Reads the character at text[*pos] (pos < length) and advances *pos past it.
// Returns the code point, or -1 for an invalid sequence, after which *pos
// stands past its maximal invalid part (at least one byte).
long nt_utf8_next(const unsigned char* text, size_t length, size_t* pos);

// Bytes `cp` takes in UTF-8 (1-4), and writes them to out (room for 4).
int nt_utf8_length(char32_t cp);
int nt_utf8_encode(char32_t cp, unsigned char* out);
