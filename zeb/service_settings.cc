#include "zeb/service_settings.h"

#include <cstring>

#include "zeb/job_io_files.h"
#include "zeb/service_keys.h"

namespace {

constexpr DWORD kVersionBytes = 256;

// A string value of at most `capacity` bytes with its terminator; a value
// stored without one is taken whole when it leaves room for it.
LONG read_text(HKEY key, const char* name, DWORD capacity, std::string* out) {
  std::string buffer(capacity, '\0');
  DWORD size = capacity;
  DWORD type = REG_NONE;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  size_t length = strnlen(buffer.data(), size);
  if (length >= capacity) return ERROR_MORE_DATA;
  out->assign(buffer.data(), length);
  return ERROR_SUCCESS;
}

LONG write_text(HKEY key, const char* name, DWORD type, const char* text, DWORD capacity) {
  if (text == nullptr) return ERROR_INVALID_PARAMETER;
  size_t length = strlen(text);
  if (length >= capacity) return ERROR_INVALID_PARAMETER;
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(length + 1));
}

bool read_dword(HKEY key, const char* name, DWORD* value, LONG* rc_out) {
  DWORD data = 0;
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (rc_out) *rc_out = rc;
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
  *value = data;
  return true;
}

LONG write_dword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

}  // namespace

LONG zeb_read_temp_dir(HKEY service_key, std::string* dir) {
  if (dir == nullptr) return ERROR_INVALID_PARAMETER;
  std::string text;
  LONG rc = read_text(service_key, ZEB_VALUE_TEMP_DIR, ZEB_TEMP_DIR_BYTES, &text);
  if (rc != ERROR_SUCCESS) return rc;
  *dir = zeb_dir_with_backslash(text);
  return ERROR_SUCCESS;
}

LONG zeb_write_temp_dir(HKEY service_key, const char* dir) {
  return write_text(service_key, ZEB_VALUE_TEMP_DIR, REG_EXPAND_SZ, dir, ZEB_TEMP_DIR_BYTES);
}

DWORD zeb_read_logging(HKEY service_key) {
  DWORD mask = 0;
  LONG rc = ERROR_SUCCESS;
  if (read_dword(service_key, ZEB_VALUE_LOGGING, &mask, &rc)) return mask;
  if (rc == ERROR_FILE_NOT_FOUND) write_dword(service_key, ZEB_VALUE_LOGGING, 0);
  return 0;
}

LONG zeb_write_logging(HKEY service_key, DWORD mask) {
  return write_dword(service_key, ZEB_VALUE_LOGGING, mask);
}

LONG zeb_write_version(HKEY service_key, const char* version) {
  return write_text(service_key, ZEB_VALUE_VERSION, REG_SZ, version, kVersionBytes);
}

LONG zeb_read_version(HKEY service_key, std::string* version) {
  if (version == nullptr) return ERROR_INVALID_PARAMETER;
  return read_text(service_key, ZEB_VALUE_VERSION, kVersionBytes, version);
}

std::string zeb_version_string(const char* resource2, const char* resource3) {
  std::string out = resource2 ? resource2 : "";
  out += ".";
  if (resource3 != nullptr && strlen(resource3) > 2) out += resource3 + 2;
  return out;
}

DWORD zeb_read_no_autostart(HKEY service_key) {
  DWORD value = 0;
  return read_dword(service_key, ZEB_VALUE_NO_AUTOSTART, &value, nullptr) ? value : 0;
}

LONG zeb_write_no_autostart(HKEY service_key, DWORD value) {
  return write_dword(service_key, ZEB_VALUE_NO_AUTOSTART, value);
}
