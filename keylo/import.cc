#include "keylo/import.h"

#include <string>

#include "keylo/connect.h"
#include "keylo/registry_messages.h"
#include "keylo/value_text.h"
#include "lib/profile_names.h"
#include "platform/files/file_io.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry.h"

namespace {

// Writes the values of one section into `key`.
DWORD import_values(HKEY key, const char* section, const char* ini) {
  char names[IMPORT_BUFFER_SIZE];
  char text[IMPORT_BUFFER_SIZE];
  DWORD length = GetPrivateProfileStringA(section, nullptr, "", names, sizeof names, ini);
  // A name the buffer cut is left out rather than written under a wrong name.
  for (const std::string& name : split_profile_names(names, length, sizeof names).names) {
    GetPrivateProfileStringA(section, name.c_str(), "", text, sizeof text, ini);
    if (text[0] == '\0') continue;
    ImportValue value;
    DWORD err = parse_value_text(text, &value);
    if (err == ERROR_SUCCESS) {
      err = static_cast<DWORD>(RegSetValueExA(key, name.c_str(), 0, value.type,
                                              reinterpret_cast<const BYTE*>(value.data.data()),
                                              static_cast<DWORD>(value.data.size())));
    }
    if (err != ERROR_SUCCESS) {
      registry_error("REGISTRY ERROR, cannot set %s:%s, error=%ld\n", value.type_name,
                     name.c_str(), static_cast<long>(err));
      return err;
    }
  }
  return ERROR_SUCCESS;
}

DWORD import_section(const std::string& server, const std::string& section, const char* ini) {
  KeyPath path;
  HKEY root = nullptr;
  DWORD err = connect_root(server, section.c_str(), &path, &root);
  if (err != ERROR_SUCCESS) return err;
  HKEY key = nullptr;
  DWORD disposition = 0;
  err = static_cast<DWORD>(RegCreateKeyExA(root, path.subkey.c_str(), 0, "QX",
                                           REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                                           &disposition));
  if (err != ERROR_SUCCESS) {
    registry_error("REGISTRY-ERROR, RegCreateKey(%s\\%s) failed, error=%ld\n", server.c_str(),
                   section.c_str(), static_cast<long>(err));
  } else {
    err = import_values(key, section.c_str(), ini);
    RegCloseKey(key);
  }
  RegCloseKey(root);
  return err;
}

}  // namespace

DWORD import_file(const WCHAR* server, const char* file) {
  HANDLE h = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    registry_error("REGISTRY-ERROR, cannot open %s, error=%ld\n", file, static_cast<long>(err));
    return err;
  }
  CloseHandle(h);

  // The profile calls look for a bare name in the Windows directory; the
  // file checked above is the one in the current directory.
  std::string ini = profile_file_name(file);
  char sections[IMPORT_BUFFER_SIZE];
  DWORD length = GetPrivateProfileSectionNamesA(sections, sizeof sections, ini.c_str());
  std::vector<std::string> names = split_profile_names(sections, length, sizeof sections).names;
  if (names.empty()) {
    registry_error("REGISTRY-ERROR, no sections found in %s\n", file);
    return ERROR_INVALID_PARAMETER;
  }
  std::string name = server_ansi(server);
  for (const std::string& section : names) {
    DWORD err = import_section(name, section, ini.c_str());
    if (err != ERROR_SUCCESS) return err;
  }
  return ERROR_SUCCESS;
}
