#include "zeb/event_logger.h"

#include <atomic>

#include "platform/eventlog/eventlog.h"
#include "platform/kernel/handle.h"
#include "platform/registry/registry.h"
#include "platform/sync/event.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"

namespace {
std::atomic<HANDLE> g_stop_event{nullptr};
}

WORD zeb_event_type(DWORD id) {
  switch (id >> 30) {
    case 2:
      return EVENTLOG_WARNING_TYPE;
    case 3:
      return EVENTLOG_ERROR_TYPE;
    default:
      return EVENTLOG_INFORMATION_TYPE;
  }
}

void zeb_logger_set_stop_event(HANDLE stop_event) { g_stop_event = stop_event; }

bool zeb_log(DWORD id, bool stop, const char* string1, const char* string2) {
  DWORD mask = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key) ==
      ERROR_SUCCESS) {
    mask = zeb_read_logging(key);
    RegCloseKey(key);
  }
  bool written = false;
  if (zeb_event_enabled(id, mask)) {
    const char* strings[2];
    WORD count = 0;
    if (string1 != nullptr) strings[count++] = string1;
    if (string2 != nullptr) strings[count++] = string2;
    HANDLE source = RegisterEventSourceA(nullptr, ZEB_SERVICE_NAME);
    if (source != nullptr) {
      written = ReportEventA(source, zeb_event_type(id), 0, id, nullptr, count, 0,
                             count ? strings : nullptr, nullptr) != FALSE;
      DeregisterEventSource(source);
    }
  }
  if (stop) {
    HANDLE event = g_stop_event.load();
    if (event != nullptr) SetEvent(event);
  }
  return written;
}

bool zeb_log_api_error(long error, const std::string& call, bool stop) {
  std::string code = std::to_string(error);
  return zeb_log(ZEB_EV_API_ERROR, stop, code.c_str(), call.c_str());
}
