// The object behind a process handle, shared by every handle of this
// process to the same process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/process/spawn.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"

class NtProcess : public NtWaitable {
 public:
  // `pidfd` belongs to the object from now on. `child`: started by this
  // process, so it is ours to reap.
  NtProcess(pid_t pid, int pidfd, uint64_t start, bool child);
  ~NtProcess() override;

  pid_t pid() const { return pid_; }
  uint64_t start() const { return start_; }
  bool is_self() const;

  bool wait_ready_locked(pid_t tid) override;
  int wait_fd() const override { return pidfd_; }
  bool nt_inherit_info(NtInheritInfo* info) const override;

  // STILL_ACTIVE while the process runs, else its exit code.
  DWORD exit_code();
  // Win32 error of TerminateProcess.
  DWORD terminate(DWORD code);

  // A child held before its exec (CREATE_SUSPENDED).
  void set_suspended(const NtSuspendedChild& child);
  // The previous suspend count (0 when it runs).
  DWORD resume();
  // Passes a handle into the suspended child; its value there in *value.
  DWORD pass_handle(const NtInheritInfo& info, uintptr_t* value);

 private:
  void collect_locked();

  const pid_t pid_;
  int pidfd_;
  const uint64_t start_;
  const bool child_;
  std::mutex m_;
  bool ended_ = false;
  bool reaped_ = false;
  DWORD code_ = 0;
  bool terminated_ = false;
  DWORD terminate_code_ = 0;
  DWORD suspend_count_ = 0;
  NtSuspendedChild suspended_;
  DWORD start_error_ = 0;  // exec failure of a resumed child
};

// The main thread of a child process, as PROCESS_INFORMATION.hThread: waits
// end with the process, its exit code is the process's, ResumeThread lets a
// suspended child start, TerminateThread ends the process.
class NtChildThread : public NtThreadLike {
 public:
  explicit NtChildThread(std::shared_ptr<NtProcess> process) : process_(std::move(process)) {}
  bool wait_ready_locked(pid_t tid) override { return process_->wait_ready_locked(tid); }
  int wait_fd() const override { return process_->wait_fd(); }
  DWORD thread_id() const override { return static_cast<DWORD>(process_->pid()); }
  DWORD exit_code() override { return process_->exit_code(); }
  DWORD resume() override { return process_->resume(); }
  BOOL terminate(DWORD code) override;

 private:
  std::shared_ptr<NtProcess> process_;
};

// The process object of `pid` known in this process (a child, or one opened
// before) while it may still run; null otherwise.
std::shared_ptr<NtProcess> nt_known_process(pid_t pid);
// Makes a process known (after creation or opening).
void nt_remember_process(const std::shared_ptr<NtProcess>& process);
// The object of the calling process itself.
std::shared_ptr<NtProcess> nt_self_process();
// Opens a process that is not known yet: pidfd_open and its start time.
// Win32 error on failure.
DWORD nt_open_process_object(pid_t pid, std::shared_ptr<NtProcess>* out);

// The NT exit code of a process that ended as `exited` (exit status
// `value`) or killed by signal `value`, with what the records add.
DWORD nt_code_of_end(pid_t pid, uint64_t start, bool exited, int value);
// True while a thread of this process debugs `pid` (debug.cc): its exit
// status is then the debugger's to reap.
bool nt_process_is_debugged(pid_t pid);
