// Texts of the patch manager window: strings of the program's string table
// in the thread's language, numbers in the system's number format.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_types.h"

// String `id` of the running program (ANSI); empty when it is missing.
std::string load_text(UINT id);

// `value` (digits, an optional "-" and ".") in the number format of the
// system default locale without user overrides ("1,234.00" in English,
// "1.234,00" in German). A value the format does not take is returned as
// it stands.
std::string system_number_text(const std::string& value);

// A text whose only conversion is one "%d" or "%s", filled in. Resource
// strings are the program's own, but a translated text with another or a
// second conversion must not read past the arguments: anything but exactly
// one conversion of the kind expected is shown with the value appended.
std::string format_count_text(const std::string& format, int count);
std::string format_string_text(const std::string& format, const std::string& value);

// The texts of the status bar panes 1 to 3 after a toggle: the install
// count (61204), the removal count (61208) and the kilobytes left (61209):
// free bytes / 1024 minus the marked sum, printed with "%f" and then in the
// system's number format.
std::string install_count_text(int count);
std::string remove_count_text(int count);
std::string kb_left_text(uint64_t free_bytes, uint64_t marked_kb);
