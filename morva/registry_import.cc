#include "morva/registry_import.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "lib/profile_names.h"
#include "lib/registry_value_text.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry.h"

namespace {

constexpr char kRoot[] = "HKEY_LOCAL_MACHINE";
constexpr size_t kRootLength = sizeof kRoot - 1;  // 18

DWORD import_values(HKEY key, const char* section, const char* ini) {
  char names[MORVA_IMPORT_BUFFER_SIZE];
  char text[MORVA_IMPORT_BUFFER_SIZE];
  DWORD length = GetPrivateProfileStringA(section, nullptr, "", names, sizeof names, ini);
  ProfileNames list = split_profile_names(names, length, sizeof names);
  for (const std::string& name : list.names) {
    DWORD text_length = GetPrivateProfileStringA(section, name.c_str(), "", text, sizeof text, ini);
    if (text[0] == '\0') continue;
    // A value cut by the buffer would be written wrong.
    if (text_length >= sizeof text - 1) return ERROR_MORE_DATA;
    RegistryValueText value;
    DWORD err = parse_registry_value_text(text, SzPrefix::plain, &value);
    if (err != ERROR_SUCCESS) return err;
    err = static_cast<DWORD>(RegSetValueExA(key, name.c_str(), 0, value.type,
                                            reinterpret_cast<const BYTE*>(value.data.data()),
                                            static_cast<DWORD>(value.data.size())));
    if (err != ERROR_SUCCESS) return err;
  }
  return list.cut ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

DWORD import_section(const std::string& section, const char* ini) {
  const char* subkey = import_section_subkey(section.c_str());
  if (subkey == nullptr) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  DWORD disposition = 0;
  DWORD err = static_cast<DWORD>(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, "QX",
                                                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                                 &key, &disposition));
  if (err != ERROR_SUCCESS) return err;
  err = import_values(key, section.c_str(), ini);
  RegCloseKey(key);
  return err;
}

}  // namespace

const char* import_section_subkey(const char* section) {
  if (section == nullptr || strncasecmp(section, kRoot, kRootLength) != 0) return nullptr;
  const char* rest = section + kRootLength;
  if (*rest != '\\' || rest[1] == '\0') return nullptr;
  return rest + 1;
}

DWORD import_registry(const char* file) {
  if (file == nullptr || file[0] == '\0') return ERROR_INVALID_PARAMETER;
  HANDLE h = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(h);

  std::string ini = profile_file_name(file);
  char sections[MORVA_IMPORT_BUFFER_SIZE];
  DWORD length = GetPrivateProfileSectionNamesA(sections, sizeof sections, ini.c_str());
  ProfileNames list = split_profile_names(sections, length, sizeof sections);
  if (list.names.empty() && !list.cut) return ERROR_INVALID_PARAMETER;
  for (const std::string& section : list.names) {
    DWORD err = import_section(section, ini.c_str());
    if (err != ERROR_SUCCESS) return err;
  }
  return list.cut ? ERROR_MORE_DATA : ERROR_SUCCESS;
}
