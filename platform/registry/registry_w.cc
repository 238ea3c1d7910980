// The UTF-16 (W) forms of the registry calls, and the connection to
// another machine's registry.
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/network/nt_name.h"
#include "platform/network/wtf8.h"
#include "platform/registry/reg_core.h"

namespace {

constexpr DWORD kKnownCreateOptions = 0xF;  // volatile, create link, backup, open link

std::u16string_view view(const WCHAR* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

// Copies a name with its terminator when it fits `*size` characters.
DWORD put_name(std::u16string_view name, WCHAR* buffer, DWORD* size) {
  if (name.size() >= *size) return ERROR_MORE_DATA;
  memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
  buffer[name.size()] = 0;
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

bool names_local_machine(std::string_view machine) {
  std::string given, local;
  if (nt_normalize_machine_name(machine, &given) != ERROR_SUCCESS) return false;
  if (nt_normalize_machine_name(nt_local_machine_name(), &local) != ERROR_SUCCESS) return false;
  return given == local;
}

}  // namespace

// Shared with the A form: `machine` is UTF-8.
LONG reg_connect_registry(std::string_view machine, HKEY key, PHKEY result) {
  if (result == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  if (!reg_is_predefined(key)) return reg_result(ERROR_INVALID_HANDLE);
  if (machine.empty() || names_local_machine(machine)) {
    // The local registry: the predefined handle itself, as NT gives it.
    RegOpenKey open;
    DWORD err = reg_resolve(key, &open);
    if (err == ERROR_SUCCESS) *result = key;
    return reg_result(err);
  }
  NtMachineRef ref;
  DWORD err = nt_open_machine(machine, &ref, NtMachineAccess::network);
  if (err != ERROR_SUCCESS) return reg_result(err);
  return reg_result(reg_connect(ref, key, result));
}

LONG RegConnectRegistryW(const WCHAR* machine, HKEY key, PHKEY result) {
  return reg_connect_registry(nt_wtf8_from_utf16(view(machine)), key, result);
}

LONG RegOpenKeyExW(HKEY key, const WCHAR* sub_key, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  return reg_result(reg_open(key, view(sub_key), access, result));
}

LONG RegCreateKeyExW(HKEY key, const WCHAR* sub_key, DWORD, const WCHAR* class_name,
                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     DWORD* disposition) {
  if (result == nullptr || sub_key == nullptr || (options & ~kKnownCreateOptions))
    return reg_result(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  return reg_result(
      reg_create(key, view(sub_key), view(class_name), options, access, result, disposition,
                 security ? security->lpSecurityDescriptor : nullptr));
}

LONG RegQueryValueExW(HKEY key, const WCHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
  if (reserved != nullptr || (data != nullptr && size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegValueRow row;
  DWORD err = reg_query(key, view(name), &row);
  if (err != ERROR_SUCCESS) return reg_result(err);
  if (type) *type = row.type;
  return reg_result(reg_put_data(row.data, data, size));
}

LONG RegSetValueExW(HKEY key, const WCHAR* name, DWORD, DWORD type, const BYTE* data,
                    DWORD size) {
  if (data == nullptr && size != 0) return reg_result(ERROR_NOACCESS);
  std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  return reg_result(reg_set(key, view(name), type, bytes));
}

LONG RegEnumKeyExW(HKEY key, DWORD index, WCHAR* name, DWORD* name_size, DWORD* reserved,
                   WCHAR* class_name, DWORD* class_size, FILETIME* last_write) {
  if (name == nullptr || name_size == nullptr || reserved != nullptr ||
      (class_name != nullptr && class_size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegKeyRow row;
  DWORD err = reg_enum_key(key, index, &row);
  if (err != ERROR_SUCCESS) return reg_result(err);
  if (row.name.size() >= *name_size) return reg_result(ERROR_MORE_DATA);
  if (class_name != nullptr && row.class_name.size() >= *class_size)
    return reg_result(ERROR_MORE_DATA);
  put_name(row.name, name, name_size);
  if (class_name != nullptr) put_name(row.class_name, class_name, class_size);
  else if (class_size != nullptr) *class_size = static_cast<DWORD>(row.class_name.size());
  if (last_write) *last_write = u64_to_filetime(row.last_write);
  return reg_result(ERROR_SUCCESS);
}

LONG RegEnumValueW(HKEY key, DWORD index, WCHAR* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size) {
  if (name == nullptr || name_size == nullptr || reserved != nullptr ||
      (data != nullptr && data_size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegValueRow row;
  DWORD err = reg_enum_value(key, index, &row);
  if (err != ERROR_SUCCESS) return reg_result(err);
  if (type) *type = row.type;
  if (put_name(row.name, name, name_size) != ERROR_SUCCESS) {
    if (data_size) *data_size = static_cast<DWORD>(row.data.size());
    return reg_result(ERROR_MORE_DATA);
  }
  return reg_result(reg_put_data(row.data, data, data_size));
}

LONG RegQueryInfoKeyW(HKEY key, WCHAR* class_name, DWORD* class_size, DWORD* reserved,
                      DWORD* subkeys, DWORD* max_subkey_len, DWORD* max_class_len,
                      DWORD* values, DWORD* max_value_name_len, DWORD* max_value_len,
                      DWORD* security_size, FILETIME* last_write) {
  if (reserved != nullptr || (class_name != nullptr && class_size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegKeyRow row;
  RegKeyCounts counts;
  DWORD err = reg_info(key, &row, &counts);
  if (err != ERROR_SUCCESS) return reg_result(err);
  reg_put_key_info(row, counts, subkeys, max_subkey_len, max_class_len, values,
                   max_value_name_len, max_value_len, security_size, last_write);
  if (class_name != nullptr) {
    if (put_name(row.class_name, class_name, class_size) != ERROR_SUCCESS) {
      *class_size = static_cast<DWORD>(row.class_name.size());
      return reg_result(ERROR_MORE_DATA);
    }
  } else if (class_size != nullptr) {
    *class_size = static_cast<DWORD>(row.class_name.size());
  }
  return reg_result(ERROR_SUCCESS);
}

LONG RegDeleteKeyW(HKEY key, const WCHAR* sub_key) {
  if (sub_key == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  return reg_result(reg_delete_key(key, view(sub_key)));
}

LONG RegDeleteValueW(HKEY key, const WCHAR* name) {
  return reg_result(reg_delete_value(key, view(name)));
}
