// The ANSI (A) forms of the registry calls: names and string data are
// converted between the ANSI code page and the stored UTF-16.
#include <cstring>

#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"
#include "platform/registry/reg_core.h"

namespace {

std::u16string wide(const char* text) {
  return text ? nt_ansi_to_wide(std::string_view(text)) : std::u16string();
}

// Copies an ANSI name with its terminator when it fits `*size` bytes.
DWORD put_name(std::string_view name, char* buffer, DWORD* size) {
  if (name.size() >= *size) return ERROR_MORE_DATA;
  memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// The data as the A forms hand it out.
std::string ansi_data(const RegValueRow& row) {
  return reg_is_string_type(row.type) ? reg_data_to_ansi(row.data) : row.data;
}

}  // namespace

LONG RegConnectRegistryA(const char* machine, HKEY key, PHKEY result) {
  return reg_connect_registry(nt_wtf8_from_utf16(wide(machine)), key, result);
}

LONG RegOpenKeyA(HKEY key, const char* sub_key, PHKEY result) {
  if (result == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  if (sub_key == nullptr || *sub_key == '\0') {
    // The same handle comes back, as on NT.
    RegOpenKey open;
    DWORD err = reg_resolve(key, &open);
    *result = err == ERROR_SUCCESS ? key : nullptr;
    return reg_result(err);
  }
  return RegOpenKeyExA(key, sub_key, 0, KEY_ALL_ACCESS, result);
}

LONG RegOpenKeyExA(HKEY key, const char* sub_key, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  return reg_result(reg_open(key, wide(sub_key), access, result));
}

LONG RegCreateKeyA(HKEY key, const char* sub_key, PHKEY result) {
  if (result == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  if (sub_key == nullptr || *sub_key == '\0') {
    RegOpenKey open;
    DWORD err = reg_resolve(key, &open);
    *result = err == ERROR_SUCCESS ? key : nullptr;
    return reg_result(err);
  }
  return RegCreateKeyExA(key, sub_key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, result, nullptr);
}

LONG RegCreateKeyExA(HKEY key, const char* sub_key, DWORD reserved, const char* class_name,
                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     DWORD* disposition) {
  if (sub_key == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  std::u16string sub = wide(sub_key);
  std::u16string cls = wide(class_name);
  return RegCreateKeyExW(key, sub.c_str(), reserved, cls.c_str(), options, access, security,
                         result, disposition);
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
  if (reserved != nullptr || (data != nullptr && size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegValueRow row;
  DWORD err = reg_query(key, wide(name), &row);
  if (err != ERROR_SUCCESS) return reg_result(err);
  if (type) *type = row.type;
  if (!reg_is_string_type(row.type)) return reg_result(reg_put_data(row.data, data, size));
  return reg_result(reg_put_data(reg_data_to_ansi(row.data), data, size));
}

LONG RegQueryValueA(HKEY key, const char* sub_key, char* data, LONG* size) {
  if (data != nullptr && size == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  HKEY sub = key;
  if (sub_key != nullptr && *sub_key != '\0') {
    LONG err = RegOpenKeyExA(key, sub_key, 0, KEY_QUERY_VALUE, &sub);
    if (err != ERROR_SUCCESS) return err;
  }
  DWORD bytes = size ? static_cast<DWORD>(*size) : 0;
  LONG err = RegQueryValueExA(sub, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                              size ? &bytes : nullptr);
  if (sub != key) RegCloseKey(sub);
  if (err == ERROR_FILE_NOT_FOUND) {
    // A key without a default value reads as the empty string.
    if (data != nullptr && *size < 1) {
      *size = 1;
      return reg_result(ERROR_MORE_DATA);
    }
    if (data != nullptr) *data = '\0';
    if (size != nullptr) *size = 1;
    return reg_result(ERROR_SUCCESS);
  }
  if (size != nullptr && (err == ERROR_SUCCESS || err == ERROR_MORE_DATA))
    *size = static_cast<LONG>(bytes);
  return reg_result(static_cast<DWORD>(err));
}

LONG RegSetValueA(HKEY key, const char* sub_key, DWORD type, const char* data, DWORD) {
  if (type != REG_SZ || data == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  HKEY sub = key;
  if (sub_key != nullptr && *sub_key != '\0') {
    LONG err = RegCreateKeyExA(key, sub_key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                               nullptr, &sub, nullptr);
    if (err != ERROR_SUCCESS) return err;
  }
  LONG err = RegSetValueExA(sub, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                            static_cast<DWORD>(strlen(data) + 1));
  if (sub != key) RegCloseKey(sub);
  return reg_result(static_cast<DWORD>(err));
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr && size != 0) return reg_result(ERROR_NOACCESS);
  if (reg_is_string_type(type) && data != nullptr)
    return reg_result(reg_set(key, wide(name), type, reg_data_from_ansi(data, size)));
  std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  return reg_result(reg_set(key, wide(name), type, bytes));
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD name_size) {
  return RegEnumKeyExA(key, index, name, &name_size, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   char* class_name, DWORD* class_size, FILETIME* last_write) {
  if (name == nullptr || name_size == nullptr || reserved != nullptr ||
      (class_name != nullptr && class_size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegKeyRow row;
  DWORD err = reg_enum_key(key, index, &row);
  if (err != ERROR_SUCCESS) return reg_result(err);
  std::string ansi_name = nt_wide_to_ansi(row.name);
  std::string ansi_class = nt_wide_to_ansi(row.class_name);
  if (ansi_name.size() >= *name_size) return reg_result(ERROR_MORE_DATA);
  if (class_name != nullptr && ansi_class.size() >= *class_size)
    return reg_result(ERROR_MORE_DATA);
  put_name(ansi_name, name, name_size);
  if (class_name != nullptr) put_name(ansi_class, class_name, class_size);
  else if (class_size != nullptr) *class_size = static_cast<DWORD>(ansi_class.size());
  if (last_write) *last_write = u64_to_filetime(row.last_write);
  return reg_result(ERROR_SUCCESS);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size) {
  if (name == nullptr || name_size == nullptr || reserved != nullptr ||
      (data != nullptr && data_size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegValueRow row;
  DWORD err = reg_enum_value(key, index, &row);
  if (err != ERROR_SUCCESS) return reg_result(err);
  if (type) *type = row.type;
  std::string bytes = ansi_data(row);
  if (put_name(nt_wide_to_ansi(row.name), name, name_size) != ERROR_SUCCESS) {
    if (data_size) *data_size = static_cast<DWORD>(bytes.size());
    return reg_result(ERROR_MORE_DATA);
  }
  return reg_result(reg_put_data(bytes, data, data_size));
}

LONG RegQueryInfoKeyA(HKEY key, char* class_name, DWORD* class_size, DWORD* reserved,
                      DWORD* subkeys, DWORD* max_subkey_len, DWORD* max_class_len,
                      DWORD* values, DWORD* max_value_name_len, DWORD* max_value_len,
                      DWORD* security_size, FILETIME* last_write) {
  if (reserved != nullptr || (class_name != nullptr && class_size == nullptr))
    return reg_result(ERROR_INVALID_PARAMETER);
  RegKeyRow row;
  RegKeyCounts counts;
  DWORD err = reg_info_ansi(key, &row, &counts);
  if (err != ERROR_SUCCESS) return reg_result(err);
  reg_put_key_info(row, counts, subkeys, max_subkey_len, max_class_len, values,
                   max_value_name_len, max_value_len, security_size, last_write);
  std::string ansi_class = nt_wide_to_ansi(row.class_name);
  if (class_name != nullptr) {
    if (put_name(ansi_class, class_name, class_size) != ERROR_SUCCESS) {
      *class_size = static_cast<DWORD>(ansi_class.size());
      return reg_result(ERROR_MORE_DATA);
    }
  } else if (class_size != nullptr) {
    *class_size = static_cast<DWORD>(ansi_class.size());
  }
  return reg_result(ERROR_SUCCESS);
}

LONG RegDeleteKeyA(HKEY key, const char* sub_key) {
  if (sub_key == nullptr) return reg_result(ERROR_INVALID_PARAMETER);
  return reg_result(reg_delete_key(key, wide(sub_key)));
}

LONG RegDeleteValueA(HKEY key, const char* name) {
  return reg_result(reg_delete_value(key, wide(name)));
}
