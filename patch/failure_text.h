// The failure messages of a patch run. Each is at most 255 bytes: a longer
// text (long patch, step or command names) is cut there, never inside a
// character of the ANSI code page. The runner stores them after the time
// stamp of a "-FAILURE:" history entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32_types.h"

constexpr size_t FAILURE_TEXT_MAX = 255;

// `text` cut to at most `max_bytes` bytes without splitting a character.
std::string cut_text(const std::string& text, size_t max_bytes);

// "patch %s requires %ld KB, %ld available on C:"; the numbers are printed
// in full, the free space being a 64-bit count.
std::string failure_space(const char* patch, uint64_t size_kb, uint64_t available_kb);
// "patch %s, step %s: command missing"
std::string failure_command_missing(const char* patch, const char* step);
// "cannot execute '%s', error=%ld"
std::string failure_cannot_execute(const char* command, DWORD error);
// "timeout (%ld sec) for patch %s, step %s"
std::string failure_timeout(DWORD seconds, const char* patch, const char* step);
// "errorlevel (%ld) mismatch for patch %s, step %s"; the exit code reads as
// a signed 32-bit number, as exit codes are compared with the range lists.
std::string failure_errorlevel(DWORD exit_code, const char* patch, const char* step);
