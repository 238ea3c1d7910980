// A program's resources at run time: its own (HMODULE null), or those of
// another executable read from its file.
//
// The running program's blob is found through a weak reference to
// `nt_resource_blob`, which the build defines in every program that has a
// resource file; a program without one has no resources, and every lookup
// fails with ERROR_RESOURCE_DATA_NOT_FOUND (1812). A module that has
// resources but none of the kind asked for fails with
// ERROR_RESOURCE_TYPE_NOT_FOUND (1813), a missing id with
// ERROR_RESOURCE_NAME_NOT_FOUND (1814). An empty string counts as missing, as
// in a Win32 string table.
#pragma once

#include <string>

#include "platform/win32_types.h"

constexpr DWORD DONT_RESOLVE_DLL_REFERENCES = 0x00000001;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
constexpr DWORD LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x00000020;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x00000040;

// Opens the executable `path` (an NT path, resolved by nt_host_path) for its
// resources. Only
// data loading exists: `flags` may be 0 or any of the data-file flags above,
// `file` must be null (ERROR_INVALID_PARAMETER otherwise).
// Errors: ERROR_FILE_NOT_FOUND and other file errors, ERROR_BAD_EXE_FORMAT
// (not an ELF64 file, or a damaged resource section),
// ERROR_RESOURCE_TYPE_NOT_FOUND (the file has no resource section).
HMODULE LoadLibraryExA(const char* path, HANDLE file, DWORD flags);
HMODULE LoadLibraryA(const char* path);
// Releases a module; ERROR_INVALID_HANDLE for null or unknown modules.
BOOL FreeLibrary(HMODULE module);

// Language: a resource file may hold string and message tables in several
// languages (rc_parser.h). LoadStringA/W and nt_find_message take the text
// in the first language of this order that has it:
//   1. the calling thread's language (GetThreadLocale, thread_locale.h);
//   2. another sublanguage of the same primary language (lowest id first);
//   3. neutral (language 0, also every text of a file without languages);
//   4. English (United States), 0x0409, then any other English;
//   5. any language, the lowest id first.
//
// Win32 semantics: copies at most size - 1 characters and a terminator and
// returns the number copied (the text is cut, never overrun); 0 when the
// string is missing. LoadStringA gives ANSI text, cut on a character
// boundary. LoadStringW with size 0 stores into *(const WCHAR**)buffer a
// read-only pointer to the text (valid while the module is loaded) and
// returns its length.
int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size);
int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int size);

// The VERSION text of a module's resource file (UTF-8).
bool nt_module_version(HMODULE module, std::string* version);

// The host path a module was loaded from; for null, nothing (the caller asks
// GetModuleFileName). ERROR_MOD_NOT_FOUND for unknown modules.
bool nt_module_path(HMODULE module, std::string* path);

// A module made from a blob in memory (copied), for tests. Released with
// FreeLibrary. Null with ERROR_BAD_EXE_FORMAT when the blob is malformed.
HMODULE nt_module_from_blob(const void* data, size_t size);

// The UTF-8 text of message `id`; the error is returned and also set
// (1812 or 1813 as above, ERROR_MR_MID_NOT_FOUND 317 for a missing id,
// ERROR_INVALID_HANDLE for an unknown module).
DWORD nt_find_message(HMODULE module, DWORD id, std::string* text);
