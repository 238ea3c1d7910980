// Reads one section of an ELF64 little-endian file without loading it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_types.h"

// The name of the section that holds a program's resource blob.
constexpr const char* RESOURCE_SECTION_NAME = ".ntrsrc";

// Reads the contents of section `name` from the file image `image`.
// Errors: ERROR_BAD_EXE_FORMAT for anything that is not a well-formed ELF64
// little-endian file, ERROR_RESOURCE_TYPE_NOT_FOUND when the section is
// missing or holds no bytes in the file.
DWORD read_elf_section(const std::vector<uint8_t>& image, const char* name,
                       std::vector<uint8_t>* out);

// The same for the file at `path` (host path); file errors come as Win32
// codes (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ...).
DWORD read_elf_section_file(const std::string& path, const char* name, std::vector<uint8_t>* out);
