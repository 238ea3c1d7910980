// keylo import: writes the keys and values of an INI-style file into the
// registry of one server.
#pragma once

#include "platform/win32_types.h"

// Sizes of the lists of section names and value names and of one value text.
constexpr int IMPORT_BUFFER_SIZE = 5120;

// Imports `file` into the registry of `server` ("\\NAME"; null or empty:
// the local registry). Sections are written in file order; the first error
// ends the import on this server (what was written before it stays) and is
// returned after its line was printed; 0 when all was written.
DWORD import_file(const WCHAR* server, const char* file);
