// The registry, local and remote, with the Win32 calls' semantics.
//
// Keys and values live in each machine's store (reg_store.h). The predefined
// handles reach the local machine: HKEY_LOCAL_MACHINE and HKEY_USERS are
// stored; HKEY_CURRENT_USER is HKEY_USERS\<SID of the current user>,
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes and
// HKEY_CURRENT_CONFIG is "Hardware Profiles\Current" below
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet. RegConnectRegistry reaches another machine's
// store (ERROR_BAD_NETPATH when it is unknown or offline; a handle of a
// machine that went offline since fails with RPC_S_SERVER_UNAVAILABLE).
//
// Every call returns its Win32 error code (and leaves it as the last error).
// Common codes: ERROR_FILE_NOT_FOUND for a missing key or value,
// ERROR_INVALID_HANDLE for a bad handle, ERROR_INVALID_PARAMETER for bad
// arguments, ERROR_ACCESS_DENIED for a handle without the needed access,
// ERROR_MORE_DATA for a too small buffer, ERROR_NO_MORE_ITEMS at the end of
// an enumeration, ERROR_KEY_DELETED for a handle whose key was deleted.
//
// Data are kept byte for byte: strings (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
// are stored as UTF-16LE as the W calls pass them, with or without their
// terminator; the A calls convert them between the ANSI code page and
// UTF-16 over exactly the bytes given (a REG_SZ of 5 ANSI bytes without NUL
// is stored as 10 bytes and read back as 5). Other types are raw bytes.
// Names ignore case and keep the case given at creation. Subkeys enumerate
// in case-insensitive alphabetical order, values in creation order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000003u)))
#define HKEY_PERFORMANCE_DATA (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000004u)))
#define HKEY_CURRENT_CONFIG (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000005u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Key access rights (the standard and generic rights are accepted as well:
// DELETE 0x10000, READ_CONTROL 0x20000, WRITE_DAC 0x40000, WRITE_OWNER
// 0x80000, MAXIMUM_ALLOWED 0x2000000, GENERIC_* 0x10000000..0x80000000).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Registry error codes the common list lacks.

LONG RegConnectRegistryA(const char* machine, HKEY key, PHKEY result);
LONG RegConnectRegistryW(const WCHAR* machine, HKEY key, PHKEY result);

LONG RegOpenKeyA(HKEY key, const char* sub_key, PHKEY result);
LONG RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM access, PHKEY result);
LONG RegOpenKeyExW(HKEY key, const WCHAR* sub_key, DWORD options, REGSAM access, PHKEY result);

LONG RegCreateKeyA(HKEY key, const char* sub_key, PHKEY result);
LONG RegCreateKeyExA(HKEY key, const char* sub_key, DWORD reserved, const char* class_name,
                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     DWORD* disposition);
LONG RegCreateKeyExW(HKEY key, const WCHAR* sub_key, DWORD reserved, const WCHAR* class_name,
                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     DWORD* disposition);

// The default value of a subkey as a string; a subkey without one reads as
// the empty string.
LONG RegQueryValueA(HKEY key, const char* sub_key, char* data, LONG* size);
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
LONG RegQueryValueExW(HKEY key, const WCHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);

// Sets the default value of a subkey (created when missing) to a REG_SZ
// string with its terminator; `size` is not used, as on NT.
LONG RegSetValueA(HKEY key, const char* sub_key, DWORD type, const char* data, DWORD size);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegSetValueExW(HKEY key, const WCHAR* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD name_size);
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   char* class_name, DWORD* class_size, FILETIME* last_write);
LONG RegEnumKeyExW(HKEY key, DWORD index, WCHAR* name, DWORD* name_size, DWORD* reserved,
                   WCHAR* class_name, DWORD* class_size, FILETIME* last_write);
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size);
LONG RegEnumValueW(HKEY key, DWORD index, WCHAR* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size);

// Sizes are in characters without terminator (data in bytes); the A form
// gives the sizes the A calls need.
LONG RegQueryInfoKeyA(HKEY key, char* class_name, DWORD* class_size, DWORD* reserved,
                      DWORD* subkeys, DWORD* max_subkey_len, DWORD* max_class_len,
                      DWORD* values, DWORD* max_value_name_len, DWORD* max_value_len,
                      DWORD* security_size, FILETIME* last_write);
LONG RegQueryInfoKeyW(HKEY key, WCHAR* class_name, DWORD* class_size, DWORD* reserved,
                      DWORD* subkeys, DWORD* max_subkey_len, DWORD* max_class_len,
                      DWORD* values, DWORD* max_value_name_len, DWORD* max_value_len,
                      DWORD* security_size, FILETIME* last_write);

// A key with subkeys is not deleted (ERROR_ACCESS_DENIED), as on NT.
LONG RegDeleteKeyA(HKEY key, const char* sub_key);
LONG RegDeleteKeyW(HKEY key, const WCHAR* sub_key);
LONG RegDeleteValueA(HKEY key, const char* name);
LONG RegDeleteValueW(HKEY key, const WCHAR* name);
LONG RegCloseKey(HKEY key);
// Every write is committed when its call returns; this only checks the handle.
LONG RegFlushKey(HKEY key);

// ---- For the layer and the network's administration tool.

// The SID text HKEY_CURRENT_USER stands for: the one place that decides it.
std::string nt_reg_current_user_sid();

// Creates the registry's tables and first keys in the store of `machine`
// (UTF-8 name; the network's administration reaches offline machines too).
LONG nt_reg_prepare_machine(std::string_view machine);

// Opens a predefined root (HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER,
// HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG) of a machine whether it is online
// or not, for the network's administration tool. Close with RegCloseKey.
LONG nt_reg_open_machine_root(std::string_view machine, HKEY root, PHKEY result);

// The stored security descriptor of a key (empty: none, the default).
LONG nt_reg_get_key_security(HKEY key, std::string* descriptor);
LONG nt_reg_set_key_security(HKEY key, std::string_view descriptor);
