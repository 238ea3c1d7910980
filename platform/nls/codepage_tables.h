// Byte to UTF-16 tables of the single-byte code pages the layer knows.
#pragma once

#include "platform/win32_types.h"

// The 256-entry table of a single-byte page (1252, 850, 437), or null for
// any other page. Every byte has a character; bytes that a page leaves
// undefined map to the C1 control of the same value, so that all 256 bytes
// survive a trip through UTF-16.
const char16_t* nt_single_byte_table(UINT code_page);

// The picture characters an OEM page shows for the control bytes 0x00-0x1F
// and 0x7F (index 0x20 stands for 0x7F), used with MB_USEGLYPHCHARS.
const char16_t* nt_oem_glyph_table();

// The byte a single-byte page uses for `c`, or -1 when it has none.
int nt_single_byte_from_wide(UINT code_page, char16_t c);
