// Text helpers for the scheduler's fixed-size fields: bounded copies that cut
// at the field's limit without splitting a character of the ANSI page, and
// name comparison without regard to case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Copies `src` into `dst` (`size` bytes, terminator included): at most
// size - 1 bytes, cut before a character of a UTF-8 ANSI page that would
// not fit whole. The bytes after the terminator are zeroed, so a field never
// carries stale bytes. A null `src` counts as empty; size 0 writes nothing.
void zeb_copy_cut(char* dst, size_t size, const char* src);
void zeb_copy_cut(char* dst, size_t size, std::string_view src);

// Byte length of `src` cut to at most `max_bytes`, by the same rule.
size_t zeb_cut_length(std::string_view src, size_t max_bytes);

// The text of a fixed field: up to its first NUL, never past `size` bytes.
std::string zeb_field(const char* field, size_t size);

// True when both texts are equal after the system's upper-case mapping.
bool zeb_equal_nocase(std::string_view a, std::string_view b);
