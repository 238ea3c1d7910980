#include "morva/event_log.h"

#include "morva/morva_names.h"
#include "platform/eventlog/eventlog.h"
#include "platform/kernel/error.h"
#include "platform/kernel/module.h"
#include "platform/registry/registry.h"

namespace {
constexpr DWORD kTypesSupported = 7;
constexpr DWORD kModulePathSize = 1024;
}  // namespace

DWORD morva_register_event_source() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MORVA_EVENT_SOURCE_KEY, 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    RegCloseKey(key);
    return ERROR_SUCCESS;
  }
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, MORVA_EVENT_SOURCE_KEY, 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  char exe[kModulePathSize];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) {
    rc = static_cast<LONG>(n == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
  } else {
    rc = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<BYTE*>(exe),
                        n + 1);
  }
  if (rc == ERROR_SUCCESS) {
    DWORD types = kTypesSupported;
    rc = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<BYTE*>(&types),
                        sizeof types);
  }
  RegCloseKey(key);
  return static_cast<DWORD>(rc);
}

bool morva_log_api_error(long error, const std::string& call) {
  std::string code = std::to_string(error);
  const char* strings[2] = {code.c_str(), call.c_str()};
  HANDLE source = RegisterEventSourceA(nullptr, MORVA_SERVICE_NAME);
  if (source == nullptr) return false;
  bool written = ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, MORVA_EV_API_ERROR, nullptr, 2, 0,
                              strings, nullptr) != FALSE;
  DeregisterEventSource(source);
  return written;
}
