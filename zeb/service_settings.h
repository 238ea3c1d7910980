// The service's settings under its key: "TempDir", "Logging", "Version"
// and "No Autostart Jobs".
#pragma once

#include <string>

#include "platform/registry/registry.h"

// "TempDir" holds at most 260 bytes with its terminator.
constexpr DWORD ZEB_TEMP_DIR_BYTES = 260;

// Reads "TempDir" (REG_EXPAND_SZ or REG_SZ, taken as written) and adds the
// trailing backslash when it is missing. A text of more than 259 bytes
// fails with ERROR_MORE_DATA, another type with ERROR_INVALID_DATA; a
// missing value is ERROR_FILE_NOT_FOUND.
LONG zeb_read_temp_dir(HKEY service_key, std::string* dir);
// Writes "TempDir" as REG_EXPAND_SZ with its terminator; a text of more
// than 259 bytes is refused with ERROR_INVALID_PARAMETER.
LONG zeb_write_temp_dir(HKEY service_key, const char* dir);

// The event suppression mask. A missing "Logging" is created as 0; a value
// that is not a REG_DWORD counts as 0 and is left alone.
DWORD zeb_read_logging(HKEY service_key);
LONG zeb_write_logging(HKEY service_key, DWORD mask);

// "Version" as REG_SZ with its terminator, and back (at most 255 bytes).
LONG zeb_write_version(HKEY service_key, const char* version);
LONG zeb_read_version(HKEY service_key, std::string* version);

// The version string from the program's string resources 2 and 3: the
// first, ".", and the second without its first two characters.
std::string zeb_version_string(const char* resource2, const char* resource3);

// "No Autostart Jobs": missing or not a REG_DWORD reads as 0.
DWORD zeb_read_no_autostart(HKEY service_key);
LONG zeb_write_no_autostart(HKEY service_key, DWORD value);
