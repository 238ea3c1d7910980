// Access masks: the standard, generic and object-specific rights, the
// generic mappings of files, registry keys and shares, and MapGenericMask.
//
// A mask is 32 bits: bits 0-15 specific to the object's kind, 16-20 the
// standard rights (DELETE, READ_CONTROL, WRITE_DAC, WRITE_OWNER,
// SYNCHRONIZE), 24 ACCESS_SYSTEM_SECURITY, 25 MAXIMUM_ALLOWED and 28-31 the
// generic rights, which a GENERIC_MAPPING turns into specific ones.
#pragma once

#include "platform/files/file_io.h"      // GENERIC_READ, GENERIC_WRITE, DELETE
#include "platform/sync/waitable.h"      // SYNCHRONIZE, STANDARD_RIGHTS_REQUIRED
#include "platform/win32_types.h"

using ACCESS_MASK = DWORD;
using PACCESS_MASK = ACCESS_MASK*;

constexpr DWORD READ_CONTROL = 0x00020000u;
constexpr DWORD WRITE_DAC = 0x00040000u;
constexpr DWORD WRITE_OWNER = 0x00080000u;
constexpr DWORD STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_EXECUTE = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_ALL = 0x001F0000u;
constexpr DWORD SPECIFIC_RIGHTS_ALL = 0x0000FFFFu;
constexpr DWORD ACCESS_SYSTEM_SECURITY = 0x01000000u;
constexpr DWORD MAXIMUM_ALLOWED = 0x02000000u;
constexpr DWORD GENERIC_EXECUTE = 0x20000000u;
constexpr DWORD GENERIC_ALL = 0x10000000u;

// Files and directories.
constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_LIST_DIRECTORY = 0x0001;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_ADD_FILE = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_ADD_SUBDIRECTORY = 0x0004;
constexpr DWORD FILE_READ_EA = 0x0008;
constexpr DWORD FILE_WRITE_EA = 0x0010;
constexpr DWORD FILE_EXECUTE = 0x0020;
constexpr DWORD FILE_TRAVERSE = 0x0020;
constexpr DWORD FILE_DELETE_CHILD = 0x0040;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x0100;
constexpr DWORD FILE_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FF;  // 0x1F01FF
constexpr DWORD FILE_GENERIC_READ = STANDARD_RIGHTS_READ | FILE_READ_DATA | FILE_READ_ATTRIBUTES |
                                    FILE_READ_EA | SYNCHRONIZE;  // 0x120089
constexpr DWORD FILE_GENERIC_WRITE = STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA |
                                     FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | FILE_APPEND_DATA |
                                     SYNCHRONIZE;  // 0x120116
constexpr DWORD FILE_GENERIC_EXECUTE =
    STANDARD_RIGHTS_EXECUTE | FILE_READ_ATTRIBUTES | FILE_EXECUTE | SYNCHRONIZE;  // 0x1200A0

// Shares (the rights a share's DACL grants over the network).
constexpr DWORD SHARE_READ_ACCESS = 0x1200A9;
constexpr DWORD SHARE_CHANGE_ACCESS = 0x1301BF;
constexpr DWORD SHARE_FULL_ACCESS = 0x1F01FF;

struct GENERIC_MAPPING {
  ACCESS_MASK GenericRead;
  ACCESS_MASK GenericWrite;
  ACCESS_MASK GenericExecute;
  ACCESS_MASK GenericAll;
};
using PGENERIC_MAPPING = GENERIC_MAPPING*;

// The mappings of the layer's object kinds.
const GENERIC_MAPPING& nt_file_generic_mapping();      // FILE_GENERIC_*, FILE_ALL_ACCESS
const GENERIC_MAPPING& nt_key_generic_mapping();       // KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS
const GENERIC_MAPPING& nt_share_generic_mapping();     // share read, change, full

// Replaces the generic bits of *mask by the mapping's rights (the generic
// bits are cleared); other bits stay.
void MapGenericMask(PACCESS_MASK mask, const GENERIC_MAPPING* mapping);
// The same as a value.
ACCESS_MASK nt_map_generic(ACCESS_MASK mask, const GENERIC_MAPPING& mapping);
