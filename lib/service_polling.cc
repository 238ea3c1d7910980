#include "lib/service_polling.h"

#include <chrono>
#include <cstdio>
#include <thread>

bool poll_service_state(SC_HANDLE service, DWORD wanted, int count, DWORD interval_ms) {
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
    fputs(".", stdout);
    fflush(stdout);
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) break;
    if (status.dwCurrentState == wanted) {
      fputs("done\n", stdout);
      fflush(stdout);
      return true;
    }
  }
  fputs("TIMEOUT\n", stdout);
  fflush(stdout);
  return false;
}
