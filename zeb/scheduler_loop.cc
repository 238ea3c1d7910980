#include "zeb/scheduler_loop.h"

#include "platform/kernel/clock.h"
#include "platform/sync/waitable.h"
#include "zeb/event_logger.h"
#include "zeb/job_threads.h"
#include "zeb/schedule.h"

bool zeb_scheduler_pass(ZebService& service, uint64_t now) {
  ZebJobsLock lock(service);
  if (!lock.held()) {
    zeb_log(ZEB_EV_LOCK_TIMEOUT, false);
    return false;
  }
  for (int slot = 0; slot < JOB_MAX; ++slot) {
    JobRecord& rec = service.table->at(slot);
    if (job_is_free(rec)) continue;
    JobTick tick = job_schedule_tick(&rec, now);
    if (tick.start && !zeb_job_busy(service, slot)) zeb_start_job(service, slot);
  }
  return true;
}

DWORD zeb_wait_to_next_minute(uint64_t now) {
  uint64_t seconds = (now / FILETIME_TICKS_PER_SECOND) % 60;
  return static_cast<DWORD>((60 - seconds) * 1000);
}

void zeb_scheduler_loop(ZebService& service) {
  while (WaitForSingleObject(service.done_event, 0) != WAIT_OBJECT_0) {
    if (service.state.load() != ZEB_STATE_PAUSED) zeb_scheduler_pass(service, zeb_now(service));
    WaitForSingleObject(service.done_event, zeb_wait_to_next_minute(zeb_now(service)));
  }
}

int zeb_autostart_jobs(ZebService& service) {
  int started = 0;
  for (int slot = 0; slot < JOB_MAX; ++slot) {
    const JobRecord& rec = service.table->at(slot);
    if (job_is_free(rec) || !job_autostarts(rec) || zeb_job_busy(service, slot)) continue;
    if (zeb_start_job(service, slot)) ++started;
  }
  return started;
}
