// FormatMessage: message texts from a module's message table, from the
// system's table of Win32 error texts, or from a string, with inserts.
//
// Escapes in a message: %1 to %99 insert argument n, optionally with a
// printf format between exclamation marks (%1!s!, %2!lu!, %3!08lx!, %1!*.*s!
// where each * takes the next argument), %n a line break ("\r\n"), %r a
// carriage return, %t a tab, %0 ends the message without a line break, %%
// a percent sign, "%." "%!" and "% " their second character. In the Win32
// manner, "long" formats (l) are 32 bits wide; I64 and ll are 64 bits, h 16.
// Arguments: with FORMAT_MESSAGE_ARGUMENT_ARRAY, `arguments` points to an
// array of DWORD_PTR (strings as const char*; S, ls and ws take const
// WCHAR*); otherwise it is a va_list* whose arguments are read as DWORD_PTR.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// Languages accepted: neutral (0), the user's and system's defaults and
// English; others fail with ERROR_RESOURCE_LANG_NOT_FOUND.
constexpr DWORD LANG_NEUTRAL_DEFAULT = 0x0000;

// Win32 semantics: returns the number of characters stored without the
// terminator, 0 on failure. Without FORMAT_MESSAGE_ALLOCATE_BUFFER a result
// that does not fit `size` characters and a terminator fails with
// ERROR_INSUFFICIENT_BUFFER and leaves the buffer alone; with it, `buffer` is
// a char** that receives a LocalAlloc'ed text (at least `size` bytes) to be
// released with LocalFree. Missing arguments for inserts fail with
// ERROR_INVALID_PARAMETER; a message missing from a module with
// ERROR_MR_MID_NOT_FOUND (317). The width in the low byte: 0 keeps the line
// breaks of the text; FORMAT_MESSAGE_MAX_WIDTH_MASK turns them into blanks
// (keeping %n); 1 to 254 also wraps lines at that width.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                     char* buffer, DWORD size, va_list* arguments);

// Formats `text` (ANSI, message syntax) with string inserts: %n refers to
// inserts[n-1]; an insert number beyond the list stays as written (as an
// event viewer shows an event with too few strings). Printf formats apply
// to strings only (%1!s!, %1!-10s!); other conversions keep the reference.
std::string nt_format_message(std::string_view text, const std::vector<std::string>& inserts);

// The system's text for a Win32 error number (without a line break); false
// for numbers it does not know.
bool nt_system_message(DWORD code, std::string* text);
