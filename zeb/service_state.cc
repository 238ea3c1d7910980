#include "zeb/service_state.h"

#include "platform/kernel/clock.h"
#include "platform/sync/semaphore.h"
#include "platform/sync/waitable.h"

uint64_t zeb_now(const ZebService& service) {
  return service.now != nullptr ? service.now() : nt_local_now();
}

ZebJobsLock::ZebJobsLock(ZebService& service, DWORD timeout_ms) : service_(service) {
  held_ = WaitForSingleObject(service.jobs_free, timeout_ms) == WAIT_OBJECT_0;
}

void ZebJobsLock::release() {
  if (held_) {
    ReleaseSemaphore(service_.jobs_free, 1, nullptr);
    held_ = false;
  }
}

bool zeb_job_busy(const ZebService& service, int slot) {
  if (!JobTable::valid_slot(slot)) return false;
  return (service.table->at(slot).flags & JOB_RUNNING) != 0 || service.starting[slot].load();
}
