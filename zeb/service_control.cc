// start, stop, pause and resume of the scheduler service on one server.
#include <cstdio>
#include <string>

#include "lib/frame.h"
#include "lib/service_polling.h"
#include "platform/kernel/error.h"
#include "platform/services/services.h"
#include "zeb/server_actions.h"
#include "zeb/server_files.h"
#include "zeb/server_record.h"
#include "zeb/service_keys.h"

namespace {

struct ControlText {
  DWORD control;
  const char* question;  // "Start" ...
  const char* doing;     // "starting" ...
  const char* call;      // "StartService" ...
  DWORD wanted;
};

const ControlText kTexts[] = {
    {0, "Start", "starting", "StartService", SERVICE_RUNNING},
    {SERVICE_CONTROL_STOP, "Stop", "stopping", "StopService", SERVICE_STOPPED},
    {SERVICE_CONTROL_PAUSE, "Pause", "pausing", "PauseService", SERVICE_PAUSED},
    {SERVICE_CONTROL_CONTINUE, "Resume", "resuming", "ResumeService", SERVICE_RUNNING},
};

const ControlText& text_of(DWORD control) {
  for (const ControlText& t : kTexts) {
    if (t.control == control) return t;
  }
  return kTexts[0];
}

// Sends `control` (0: start) to the service; true when it was accepted.
// `arrived`: the wanted state came within the wait.
bool send_control(const std::string& server, DWORD control, bool long_wait, bool* arrived) {
  *arrived = false;
  const ControlText& text = text_of(control);
  SC_HANDLE scm = nullptr;
  SC_HANDLE service = nullptr;
  if (!zeb_open_service(server, &scm, &service)) return false;
  SERVICE_STATUS status{};
  const BOOL sent = control == 0 ? StartServiceA(service, 0, nullptr)
                                 : ControlService(service, control, &status);
  if (!sent) {
    zeb_call_error(text.call, server, static_cast<long>(GetLastError()));
  } else {
    printf("ZEB-INFO, %s service on '%s'...", text.doing, server.c_str());
    fflush(stdout);
    *arrived = long_wait ? poll_service_state(service, text.wanted, SERVICE_START_POLL_COUNT,
                                              SERVICE_START_POLL_INTERVAL_MS)
                         : poll_service_state(service, text.wanted, SERVICE_POLL_COUNT,
                                              SERVICE_POLL_INTERVAL_MS);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(scm);
  return sent != FALSE;
}

}  // namespace

bool zeb_start_service(const std::string& server, bool long_wait, bool* arrived) {
  return send_control(server, 0, long_wait, arrived);
}

bool zeb_server_control(ServerRun& run, const std::string& domain, const std::string& server,
                        DWORD control) {
  ServerRecord record;
  if (server_record_query(domain.c_str(), server.c_str(), &record) != 0) return false;
  if (!server_record_matches(record, run.args->criteria)) return true;
  ++run.servers;
  const ControlText& text = text_of(control);
  const std::string question =
      std::string(text.question) + " '" + ZEB_SERVICE_NAME + "' on '" + server + "' ?\n";
  if (!confirm(question.c_str())) return false;
  bool arrived = false;
  if (!send_control(server, control, control == 0, &arrived)) return false;
  ++run.count;
  return arrived;
}
