// Machine and domain names of the emulated network.
//
// An NT name has 1 to 15 characters, none of them a control character or
// one of \ / : * ? " < > |, does not begin or end with a blank, and is not
// made of dots only. Names compare without regard to case and are kept in
// upper case (the system's case mapping), which is also the name of a
// machine's folder. Text here is UTF-8, the host's form.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

constexpr size_t kNtNameMaxLength = 15;

// ERROR_SUCCESS and the upper-case form of `name`, or ERROR_INVALID_NAME.
DWORD nt_normalize_name(std::string_view name, std::string* upper);

// As nt_normalize_name after taking away two leading backslashes ("\\NAME").
DWORD nt_normalize_machine_name(std::string_view name, std::string* upper);

// Upper case of UTF-8 text with the system's case mapping.
std::string nt_upper_utf8(std::string_view text);
