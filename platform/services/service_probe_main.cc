// nt_service_probe [MODE]: a service for the service control manager tests.
//
//   run (default)  reports RUNNING, accepts stop, pause and continue
//   stoponly       accepts stop only
//   crash          aborts once it runs
//   nodispatch     never calls StartServiceCtrlDispatcher
//   specific       ends a stop with a service-specific exit code (42)
//   stubborn       accepts stop but ignores it
//
// With NT_SERVICE_PROBE_OUT set, ServiceMain writes its arguments and some
// of its environment there before it reports RUNNING. Control 200 sets the
// wait hint to 200; control 201 sleeps for 1.5 seconds before answering.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/kernel/error.h"
#include "platform/services/services.h"

namespace {

std::string g_mode = "run";
SERVICE_STATUS_HANDLE g_handle = nullptr;
SERVICE_STATUS g_status{};
std::mutex g_m;
std::condition_variable g_cv;
bool g_stop = false;

void report(DWORD state) {
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted =
      g_mode == "stoponly" ? SERVICE_ACCEPT_STOP : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
  if (state == SERVICE_START_PENDING) g_status.dwControlsAccepted = 0;
  SetServiceStatus(g_handle, &g_status);
}

void handler(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (g_mode == "stubborn") break;
      report(SERVICE_STOP_PENDING);
      {
        std::lock_guard<std::mutex> g(g_m);
        g_stop = true;
      }
      g_cv.notify_all();
      break;
    case SERVICE_CONTROL_PAUSE: report(SERVICE_PAUSED); break;
    case SERVICE_CONTROL_CONTINUE: report(SERVICE_RUNNING); break;
    case 200:
      g_status.dwWaitHint = 200;
      report(g_status.dwCurrentState);
      break;
    case 201: usleep(1500 * 1000); break;
    default: break;
  }
}

void write_report(DWORD argc, char** argv) {
  const char* out = getenv("NT_SERVICE_PROBE_OUT");
  if (!out) return;
  std::string tmp = std::string(out) + ".tmp";
  FILE* f = fopen(tmp.c_str(), "w");
  if (!f) return;
  fprintf(f, "args=");
  for (DWORD i = 0; i < argc; ++i) fprintf(f, "%s%s", i ? "|" : "", argv[i]);
  fprintf(f, "\n");
  for (const char* name : {"COMPUTERNAME", "USERNAME", "USERDOMAIN", "SYSTEMROOT", "PROBEVAR",
                           "PROBEPATH", "NT_SERVICE"}) {
    const char* v = getenv(name);
    fprintf(f, "%s=%s\n", name, v ? v : "(none)");
  }
  fclose(f);
  rename(tmp.c_str(), out);
}

void service_main(DWORD argc, char** argv) {
  g_handle = RegisterServiceCtrlHandlerA(argv[0], handler);
  if (!g_handle) return;
  g_status.dwCheckPoint = 1;
  g_status.dwWaitHint = 1000;
  report(SERVICE_START_PENDING);
  write_report(argc, argv);
  g_status.dwCheckPoint = 0;
  g_status.dwWaitHint = 0;
  report(SERVICE_RUNNING);
  if (g_mode == "crash") {
    usleep(100 * 1000);
    abort();
  }
  std::unique_lock<std::mutex> g(g_m);
  g_cv.wait(g, [] { return g_stop; });
  g.unlock();
  if (g_mode == "specific") {
    g_status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    g_status.dwServiceSpecificExitCode = 42;
  }
  report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_mode = argv[1];
  if (g_mode == "nodispatch") {
    sleep(30);
    return 0;
  }
  char name[] = "probe";
  SERVICE_TABLE_ENTRYA table[] = {{name, service_main}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) return static_cast<int>(GetLastError() & 0xFF);
  return 0;
}
