// The registry calls' common core, in UTF-16: handles, the predefined keys
// and the operations both the A and the W forms use. Internal to the
// registry; tools include registry.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/network/machine_store.h"
#include "platform/network/network.h"
#include "platform/registry/reg_store.h"
#include "platform/registry/registry.h"

// What a handle stands for.
struct RegOpenKey {
  std::shared_ptr<MachineStore> store;
  int64_t id = 0;
  REGSAM access = 0;
  bool remote = false;  // reached through RegConnectRegistry: online is checked per call
  bool admin = false;   // the network's administration: no access checks
};

// Leaves `code` as the last error and returns it as the calls do.
LONG reg_result(DWORD code);

// The key behind a handle, predefined or opened (ERROR_INVALID_HANDLE,
// RPC_S_SERVER_UNAVAILABLE for a remote machine gone offline).
DWORD reg_resolve(HKEY key, RegOpenKey* out);
// A new handle for an open key.
HKEY reg_add_handle(const RegOpenKey& key);
bool reg_is_predefined(HKEY key);

// The access a handle gets for a requested mask (generic rights mapped).
REGSAM reg_map_access(REGSAM requested);

DWORD reg_open(HKEY key, std::u16string_view sub_key, REGSAM access, HKEY* result);
// `security`: a descriptor from SECURITY_ATTRIBUTES for the new key, or null.
DWORD reg_create(HKEY key, std::u16string_view sub_key, std::u16string_view class_name,
                 DWORD options, REGSAM access, HKEY* result, DWORD* disposition,
                 const void* security = nullptr);
DWORD reg_query(HKEY key, std::u16string_view name, RegValueRow* row);
DWORD reg_set(HKEY key, std::u16string_view name, DWORD type, std::string_view data);
DWORD reg_enum_key(HKEY key, DWORD index, RegKeyRow* row);
DWORD reg_enum_value(HKEY key, DWORD index, RegValueRow* row);
DWORD reg_delete_key(HKEY key, std::u16string_view sub_key);
DWORD reg_delete_value(HKEY key, std::u16string_view name);
DWORD reg_info(HKEY key, RegKeyRow* row, RegKeyCounts* counts);
// The same with the lengths the A forms give: names and string data as
// ANSI bytes.
DWORD reg_info_ansi(HKEY key, RegKeyRow* row, RegKeyCounts* counts);
// Writes what RegQueryInfoKey reports besides the class into the given
// outputs; null outputs are skipped.
void reg_put_key_info(const RegKeyRow& row, const RegKeyCounts& counts, DWORD* subkeys,
                      DWORD* max_subkey_len, DWORD* max_class_len, DWORD* values,
                      DWORD* max_value_name_len, DWORD* max_value_len, DWORD* security_size,
                      FILETIME* last_write);
// A handle to a predefined key of another machine.
DWORD reg_connect(const NtMachineRef& machine, HKEY key, PHKEY result);
// RegConnectRegistry with a UTF-8 machine name (empty: the local machine).
LONG reg_connect_registry(std::string_view machine, HKEY key, PHKEY result);

bool reg_is_string_type(DWORD type);
// Stored string data (UTF-16LE bytes; an odd last byte is dropped) as ANSI
// bytes, and ANSI bytes as stored string data.
std::string reg_data_to_ansi(std::string_view stored);
std::string reg_data_from_ansi(const BYTE* data, size_t size);

// Copies data into a caller's buffer with the Win32 size rules: no buffer
// asks for the size; a too small one gives ERROR_MORE_DATA and the size.
DWORD reg_put_data(std::string_view data, BYTE* buffer, DWORD* size);
