// Waits on kernel objects: WaitForSingleObject, WaitForMultipleObjects.
//
// Design. Every object a thread can wait on (event, semaphore, mutex,
// thread, process) is an NtWaitable with a descriptor that becomes readable
// when the object may have turned signalled: an eventfd that the object
// keeps readable exactly while it is signalled (events, semaphores with a
// count, free mutexes, ended threads), or a pidfd (processes). A waiter
// decides under one process-wide lock (nt_sync_lock) whether its wait is
// satisfied and takes the objects (an auto-reset event's signal, a
// semaphore count, a mutex) in the same step; otherwise it poll()s the
// descriptors of the objects it still needs, with the time left, and
// decides again. Since the state of an event lives in its eventfd, an event
// inherited by a child process is the same event there: a SetEvent in
// either process releases waiters in both. A wait-all takes its objects
// only when all are signalled at once; should another process take an
// auto-reset event in between, what was taken is given back and the wait
// goes on.
//
// PulseEvent cannot go through a descriptor (the state must not stay set);
// each waiter has a wake descriptor of its own and registers with the
// events it waits on, and a pulse hands the event to the waiters
// registered at that moment (all of them for a manual-reset event, the
// first for an auto-reset one). Pulses so reach the waiters of this process
// only.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/win32_types.h"

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;
constexpr DWORD STILL_ACTIVE = 259;

constexpr DWORD SYNCHRONIZE = 0x00100000u;
constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000u;

class NtWaitable;

// One waiting thread, registered with events while it polls (for pulses).
struct NtWaiter {
  int wake_fd = -1;                          // eventfd of the thread
  std::vector<const NtWaitable*> granted;    // events pulsed to this waiter
};

// What taking an object gave.
enum class NtTake { taken, abandoned, lost };

class NtWaitable : public KernelObject {
 public:
  // All *_locked calls run under nt_sync_lock().
  // Whether a wait by thread `tid` would be satisfied now.
  virtual bool wait_ready_locked(pid_t tid) = 0;
  // Takes the object for `tid`; `lost` when it was not there after all
  // (another process took it).
  virtual NtTake wait_take_locked(pid_t /*tid*/) { return NtTake::taken; }
  // Gives back what wait_take_locked took.
  virtual void wait_untake_locked(pid_t /*tid*/) {}
  // Registration of a polling waiter (events keep a list for pulses).
  virtual void wait_register_locked(NtWaiter* /*waiter*/) {}
  virtual void wait_unregister_locked(NtWaiter* /*waiter*/) {}
  // The descriptor to poll for readability.
  virtual int wait_fd() const = 0;
};

// The lock under which every waitable changes state.
std::mutex& nt_sync_lock();

// The calling thread's id (gettid).
pid_t nt_current_tid();

// Waits for one (wait_all false) or all of `objects` as the Win32 calls do:
// WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i, WAIT_TIMEOUT, or WAIT_FAILED
// with the last error. `timeout_ms` may be INFINITE.
DWORD nt_wait_objects(const std::vector<std::shared_ptr<NtWaitable>>& objects, bool wait_all,
                      DWORD timeout_ms);

// The waitable behind a handle, pseudo handles of the current process and
// thread included; null with ERROR_INVALID_HANDLE.
std::shared_ptr<NtWaitable> nt_lookup_waitable(HANDLE handle);

// Whether a descriptor is readable now (poll with no wait).
bool nt_fd_readable(int fd);
// Makes an eventfd readable (counter 1) or not (counter 0).
void nt_eventfd_set(int fd);
bool nt_eventfd_clear(int fd);  // true when it was readable

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// `count` handles, 1 to MAXIMUM_WAIT_OBJECTS (else ERROR_INVALID_PARAMETER);
// a wait-all on two handles of one object also fails with
// ERROR_INVALID_PARAMETER, as in NT.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                             DWORD milliseconds);
