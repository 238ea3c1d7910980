// What the running service holds for its life: the job table and its lock
// `jobs_free`, the stop event, the "Jobs" key, the interactive flag, the
// version string and the service state the control handler sets.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/registry/registry.h"
#include "platform/win32_types.h"
#include "zeb/job_table.h"

// Service states as the service control manager numbers them.
constexpr DWORD ZEB_STATE_STOPPED = 1;
constexpr DWORD ZEB_STATE_START_PENDING = 2;
constexpr DWORD ZEB_STATE_STOP_PENDING = 3;
constexpr DWORD ZEB_STATE_RUNNING = 4;
constexpr DWORD ZEB_STATE_CONTINUE_PENDING = 5;
constexpr DWORD ZEB_STATE_PAUSE_PENDING = 6;
constexpr DWORD ZEB_STATE_PAUSED = 7;

// Every wait for `jobs_free` ends after this many milliseconds.
constexpr DWORD ZEB_LOCK_TIMEOUT_MS = 10000;

struct ZebService {
  JobTable* table = nullptr;      // 64 records
  HANDLE jobs_free = nullptr;     // semaphore, count 1 of 1
  HANDLE done_event = nullptr;    // hServDoneEvent, manual reset
  HKEY jobs_key = nullptr;        // "Jobs" below the service key
  bool interactive = false;
  std::string version;            // as written to "Version"
  std::string exe_path;           // the running executable
  std::atomic<DWORD> state{ZEB_STATE_START_PENDING};
  // Slots for which a job thread was created and has not yet recorded the
  // start (or given it up). Set and read under `jobs_free`; a job counts as
  // running while it is set, so a second start in that gap is refused.
  std::atomic<bool> starting[64] = {};
  // Local time "now" of the service; tests of the scheduler replace it.
  uint64_t (*now)() = nullptr;
  // Job threads alive (the stop waits for them to record their end).
  std::atomic<int> job_threads{0};
};

uint64_t zeb_now(const ZebService& service);

// `jobs_free` held for a scope: taken in the constructor (at most
// `timeout_ms`), released in the destructor or by release().
class ZebJobsLock {
 public:
  explicit ZebJobsLock(ZebService& service, DWORD timeout_ms = ZEB_LOCK_TIMEOUT_MS);
  ~ZebJobsLock() { release(); }
  ZebJobsLock(const ZebJobsLock&) = delete;
  ZebJobsLock& operator=(const ZebJobsLock&) = delete;
  bool held() const { return held_; }
  void release();

 private:
  ZebService& service_;
  bool held_ = false;
};

// True when the slot's job runs or a job thread is about to start it.
bool zeb_job_busy(const ZebService& service, int slot);
