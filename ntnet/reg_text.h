// The text form of registry data in `ntnet reg dump` and `ntnet reg set`.
//
//   "Name" = REG_SZ "text"              a string with its terminating NUL
//   "Name" = REG_SZ "text" (no NUL)     a string stored without it
//   @ = REG_EXPAND_SZ "%SystemRoot%"    @ is the default (unnamed) value
//   "M" = REG_MULTI_SZ "a\0b\0"         inner NULs as \0; the last NUL is not shown
//   "N" = REG_DWORD 0x0000001f (31)     a DWORD of exactly four bytes
//   "B" = REG_BINARY hex 01 02 ff       every other case: the bytes in hex
//
// Quoted text is UTF-8 with the escapes \\ \" \0 \t \n \r, and \uXXXX for
// any other control character, C1 control or lone surrogate. String data
// of an odd number of bytes is shown in hex. Type names outside the
// standard ones are written as 0x and eight hex digits.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

// "text" with the escapes above.
std::string ntnet_quote(std::u16string_view text);
// Reads text written with those escapes (without the quotes). False and a
// message for a bad escape.
bool ntnet_unescape(std::string_view text, std::u16string* out, std::string* error);

// One path component as a dump shows it: as is when it is plain printable
// text without '"', else quoted.
std::string ntnet_path_component(std::u16string_view name);

// "REG_SZ", ..., or "0x%08x".
std::string ntnet_type_name(DWORD type);
// A type name as above (case ignored) or a number (decimal or 0x hex).
bool ntnet_parse_type(std::string_view text, DWORD* type);

// The data part of a value line ("REG_SZ \"text\"", ...).
std::string ntnet_format_value(DWORD type, std::string_view data);

// Data for `reg set`: strings are escaped text (a NUL is added unless
// no_nul), REG_DWORD a number (decimal, 0x hex or negative), everything
// else hex bytes (spaces, commas and a leading "hex" allowed).
bool ntnet_parse_value_data(DWORD type, std::string_view text, bool no_nul, std::string* data,
                            std::string* error);
