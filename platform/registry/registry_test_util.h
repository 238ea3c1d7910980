// Helpers for the registry tests: read and write values as byte strings.
#pragma once

#include <string>

#include "platform/registry/registry.h"

inline std::string bytes_of(const char* text, size_t size) { return std::string(text, size); }

inline LONG set_a(HKEY key, const char* name, DWORD type, const std::string& data) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

inline LONG set_w(HKEY key, const char16_t* name, DWORD type, const std::string& data) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

// The value as the A form returns it (type in *type); empty on failure.
inline std::string get_a(HKEY key, const char* name, DWORD* type = nullptr, LONG* err = nullptr) {
  char buffer[4096];
  DWORD size = sizeof buffer;
  DWORD t = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(buffer), &size);
  if (err) *err = rc;
  if (type) *type = t;
  return rc == 0 ? std::string(buffer, size) : std::string();
}

inline std::string get_w(HKEY key, const char16_t* name, DWORD* type = nullptr,
                         LONG* err = nullptr) {
  char buffer[8192];
  DWORD size = sizeof buffer;
  DWORD t = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &t, reinterpret_cast<BYTE*>(buffer), &size);
  if (err) *err = rc;
  if (type) *type = t;
  return rc == 0 ? std::string(buffer, size) : std::string();
}

// UTF-16LE bytes of a text, as the registry stores strings.
inline std::string utf16le(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// Names of the subkeys / values in enumeration order, joined by '|'.
inline std::string subkeys_of(HKEY key) {
  std::string out;
  char name[300];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) {
    if (i) out += "|";
    out += name;
  }
  return out;
}

inline std::string values_of(HKEY key) {
  std::string out;
  char name[300];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != 0) break;
    if (i) out += "|";
    out += name;
  }
  return out;
}
