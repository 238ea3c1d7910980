#include "zeb/job_runner.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/files/file_info.h"
#include "platform/files/file_io.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/command_line.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/pipes/anonymous_pipe.h"
#include "platform/process/debug.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/security/logon.h"
#include "platform/security/security_descriptor.h"
#include "platform/sync/event.h"
#include "platform/sync/thread.h"
#include "platform/sync/waitable.h"
#include "zeb/event_logger.h"
#include "zeb/job_desktop.h"
#include "zeb/job_environment.h"
#include "zeb/job_io_files.h"
#include "zeb/job_logon.h"
#include "zeb/job_record.h"
#include "zeb/killer_thread.h"
#include "zeb/process_table.h"
#include "zeb/service_keys.h"
#include "zeb/service_settings.h"
#include "zeb/spawn_args.h"
#include "zeb/stderr_writer.h"

extern char** environ;

namespace {

constexpr DWORD kThreadStack = 10240;
constexpr DWORD kPipeBuffer = 1024;
constexpr DWORD kThreadWait = 30000;
constexpr DWORD kPollInterval = 1000;
// An undebugged job's background processes are not followed and may keep
// the standard error pipe open for as long as they live. Waiting the full
// 30 s for the StderrWriter then holds the runner past the service's stop
// wait, which kills it and records exit code 0 instead of the job's: the
// writer gets this long to copy what is left, then it is ended.
constexpr DWORD kUndebuggedDrainWait = 2000;

std::string num(long value) { return std::to_string(value); }

bool append(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

HANDLE open_io_file(const std::string& name, SECURITY_ATTRIBUTES* security, bool at_end) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, security, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (at_end) SetFilePointer(h, 0, nullptr, FILE_END);
  return h;
}

void log_stdfile(DWORD error, const std::string& name) {
  zeb_log(ZEB_EV_STDFILE, false, num(static_cast<long>(error)).c_str(), name.c_str());
}

void close_logged(HANDLE* h, const char* what) {
  if (*h == nullptr) return;
  if (!CloseHandle(*h)) zeb_log_api_error(static_cast<long>(GetLastError()), what);
  *h = nullptr;
}

// Waits for a helper thread; one that does not end in time is terminated.
void end_thread(HANDLE thread, const std::string& what, DWORD wait = kThreadWait) {
  if (thread == nullptr) return;
  if (WaitForSingleObject(thread, wait) == WAIT_TIMEOUT) {
    zeb_log(ZEB_EV_API_ERROR, false, "TIMEOUT", what.c_str());
    TerminateThread(thread, 0);
    WaitForSingleObject(thread, kThreadWait);
  }
  CloseHandle(thread);
}

class Run {
 public:
  explicit Run(const ZebSpawnArgs& args) : args_(args) {}
  DWORD execute();

 private:
  DWORD prepare();
  DWORD start_command();
  void follow_undebugged();
  void follow_debugged();
  void finish();
  std::string account_text() const;

  ZebSpawnArgs args_;
  SECURITY_DESCRIPTOR sd_{};
  SECURITY_ATTRIBUTES sa_{};
  std::string temp_dir_;
  JobIoFiles files_;
  HANDLE in_ = nullptr;
  HANDLE out_ = nullptr;
  HANDLE err_ = nullptr;
  HANDLE pipe_read_ = nullptr;
  HANDLE pipe_write_ = nullptr;
  HANDLE done_ = nullptr;
  HANDLE writer_ = nullptr;
  HANDLE killer_ = nullptr;
  StderrWriterArgs writer_args_;
  KillerArgs killer_args_;
  ZebProcessTable table_;
  JobDesktop desktop_;
  JobAccount account_;
  bool logged_on_ = false;
  std::string environment_;
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  DWORD result_ = 0;
};

std::string Run::account_text() const {
  const AccountFields& f = account_.fields;
  return f.domain.empty() ? f.user : f.domain + "\\" + f.user;
}

DWORD Run::prepare() {
  // 1. Inheritable objects with no access list.
  if (!InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION)) {
    DWORD e = GetLastError();
    zeb_log_api_error(static_cast<long>(e), "InitializeSecurityDescriptor()");
    return e;
  }
  if (!SetSecurityDescriptorDacl(&sd_, TRUE, nullptr, FALSE)) {
    DWORD e = GetLastError();
    zeb_log_api_error(static_cast<long>(e), "SetSecurityDescriptorDacl()");
    return e;
  }
  sa_.nLength = sizeof sa_;
  sa_.lpSecurityDescriptor = &sd_;
  sa_.bInheritHandle = TRUE;

  // 2. TempDir.
  HKEY service = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_SERVICE_KEY, 0, KEY_READ, &service);
  if (rc != ERROR_SUCCESS) {
    zeb_log_api_error(rc, "RegOpenKey(TempDir)");
    return static_cast<DWORD>(rc);
  }
  rc = zeb_read_temp_dir(service, &temp_dir_);
  RegCloseKey(service);
  if (rc != ERROR_SUCCESS) {
    zeb_log_api_error(rc, "RegQueryValue(TempDir)");
    return static_cast<DWORD>(rc);
  }
  temp_dir_ = zeb_dir_with_backslash(temp_dir_);
  files_ = job_io_files(temp_dir_, args_.name);

  // 3. The I/O files.
  if ((in_ = open_io_file(files_.in, &sa_, false)) == nullptr) {
    DWORD e = GetLastError();
    log_stdfile(e, files_.in);
    return e;
  }
  if ((out_ = open_io_file(files_.out, &sa_, true)) == nullptr) {
    DWORD e = GetLastError();
    log_stdfile(e, files_.out);
    return e;
  }
  if ((err_ = open_io_file(files_.err, nullptr, true)) == nullptr) {
    DWORD e = GetLastError();
    log_stdfile(e, files_.err);
    return e;
  }

  // 4. The standard error pipe; only its write end is inherited.
  HANDLE read_inheritable = nullptr;
  if (!CreatePipe(&read_inheritable, &pipe_write_, &sa_, kPipeBuffer)) {
    DWORD e = GetLastError();
    zeb_log_api_error(static_cast<long>(e), "CreatePipe(" + args_.name + ")");
    return e;
  }
  if (!DuplicateHandle(GetCurrentProcess(), read_inheritable, GetCurrentProcess(), &pipe_read_, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    DWORD e = GetLastError();
    zeb_log_api_error(static_cast<long>(e), "DuplicateHandle(" + args_.name + ")");
    CloseHandle(read_inheritable);
    return e;
  }
  CloseHandle(read_inheritable);

  // 5. StderrWriter.
  writer_args_.pipe = pipe_read_;
  writer_args_.file = err_;
  DWORD tid = 0;
  writer_ = CreateThread(nullptr, kThreadStack, stderr_writer_thread, &writer_args_, 0, &tid);
  if (writer_ == nullptr) {
    DWORD e = GetLastError();
    zeb_log_api_error(static_cast<long>(e), "CreateThread(" + num(static_cast<long>(e)) +
                                                 " (Stderr IO Thread))");
    return e;
  }

  // 6. Killer Thread.
  killer_args_.done_event = done_;
  killer_args_.table = &table_;
  killer_args_.job_name = args_.name;
  killer_ = CreateThread(nullptr, kThreadStack, killer_thread, &killer_args_, 0, &tid);
  if (killer_ == nullptr) {
    DWORD e = GetLastError();
    zeb_log_api_error(static_cast<long>(e),
                      "CreateThread(" + num(static_cast<long>(e)) + " (Killer Thread))");
    return e;
  }

  // 7. Desktop.
  std::string call;
  DWORD e = job_desktop_prepare(args_.interactive, args_.flags, args_.name, &sa_, &desktop_, &call);
  if (e != ERROR_SUCCESS) {
    zeb_log_api_error(static_cast<long>(e), call);
    return e;
  }

  // 8. Account.
  if (args_.account_index != 0) {
    JobLogonStep step = JobLogonStep::ok;
    e = job_logon(args_.account_index, &account_, &step, &call);
    if (step == JobLogonStep::logon) {
      zeb_log(ZEB_EV_LOGON_FAILED, false, num(static_cast<long>(e)).c_str(),
              (args_.name + " (command:" + args_.command + ", user:" + account_text() + ")")
                  .c_str());
      append(out_, job_logon_failure_line());
      return e;
    }
    if (e != ERROR_SUCCESS) {
      zeb_log_api_error(static_cast<long>(e), call);
      return e;
    }
    logged_on_ = true;
  }

  // 9. Environment and BEGIN.
  SYSTEMTIME start{};
  GetLocalTime(&start);
  std::vector<std::string> variables;
  if (!job_environment_variables(start, args_.name.c_str(),
                                 logged_on_ ? account_.fields.user.c_str() : nullptr, files_,
                                 &variables)) {
    zeb_log_api_error(static_cast<long>(ERROR_INVALID_DATA), "ZebEnvironment()");
    return ERROR_INVALID_DATA;
  }
  environment_ = job_environment_block(environ, variables);
  append(out_, job_begin_line(start, args_.command));

  // 10. Access to station and desktops for the job's account.
  if (logged_on_ && args_.interactive) {
    e = job_desktop_grant(desktop_, account_.psid(), &call);
    if (e != ERROR_SUCCESS) {
      zeb_log_api_error(static_cast<long>(e), call + ", job=" + args_.name);
      return e;
    }
  }
  return ERROR_SUCCESS;
}

DWORD Run::start_command() {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.lpDesktop = desktop_.name.empty() ? nullptr : desktop_.name.data();
  si.lpTitle = args_.name.data();
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in_;
  si.hStdOutput = out_;
  si.hStdError = pipe_write_;
  DWORD flags = CREATE_NEW_CONSOLE | CREATE_DEFAULT_ERROR_MODE | CREATE_SEPARATE_WOW_VDM;
  if ((args_.flags & JOB_NO_DEBUG) == 0) flags |= DEBUG_PROCESS;
  std::string command = args_.command;
  BOOL ok = logged_on_ ? CreateProcessAsUserA(account_.token, nullptr, command.data(), nullptr,
                                              nullptr, TRUE, flags, environment_.data(),
                                              temp_dir_.c_str(), &si, &pi_)
                       : CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags,
                                        environment_.data(), temp_dir_.c_str(), &si, &pi_);
  DWORD e = ok ? ERROR_SUCCESS : GetLastError();
  if (!ok) {
    std::string text = args_.name + " (command:" + args_.command;
    text += logged_on_ ? ", user:" + account_text() + ")" : ")";
    zeb_log(ZEB_EV_CREATE_PROCESS, false, num(static_cast<long>(e)).c_str(), text.c_str());
  }
  append(out_, job_start_outcome(ok != FALSE, static_cast<long>(e)));
  close_logged(&pipe_write_, "CloseHandle(inout[2])");
  close_logged(&in_, "CloseHandle(inout[0])");
  close_logged(&out_, "CloseHandle(inout[1])");
  return e;
}

void Run::follow_undebugged() {
  DWORD pid = pi_.dwProcessId;
  table_.add(pid);
  zeb_log(ZEB_EV_PROCESS_CREATED, false,
          (num(static_cast<long>(pid)) + " (" + args_.command + ")").c_str(),
          (args_.name + " (total: 1 processes)").c_str());
  DWORD code = STILL_ACTIVE;
  for (;;) {
    WaitForSingleObject(pi_.hProcess, kPollInterval);
    if (!GetExitCodeProcess(pi_.hProcess, &code)) {
      code = GetLastError();
      break;
    }
    if (code != STILL_ACTIVE) break;
  }
  result_ = code;
  table_.remove(pid);
  zeb_log(ZEB_EV_PROCESS_EXIT, false,
          (num(static_cast<long>(pid)) + ", ExitCode=" + num(static_cast<long>(code)) + " (" +
           args_.command + ")")
              .c_str(),
          args_.name.c_str());
}

void Run::follow_debugged() {
  DWORD first = pi_.dwProcessId;
  bool seen = false;
  DEBUG_EVENT ev{};
  while (!seen || table_.size() > 0) {
    if (!WaitForDebugEvent(&ev, INFINITE)) {
      zeb_log_api_error(static_cast<long>(GetLastError()), "WaitForDebugEvent()");
      break;
    }
    DWORD status = DBG_CONTINUE;
    std::string id = num(static_cast<long>(ev.dwProcessId));
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        seen = true;
        printf("Process %ld created\t", static_cast<long>(ev.dwProcessId));
        table_.add(ev.dwProcessId);
        std::string text = ev.dwProcessId == first ? id + " (" + args_.command + ")" : id;
        zeb_log(ZEB_EV_PROCESS_CREATED, false, text.c_str(),
                (args_.name + " (total: " + num(static_cast<long>(table_.size())) +
                 " processes)")
                    .c_str());
        const CREATE_PROCESS_DEBUG_INFO& info = ev.u.CreateProcessInfo;
        if (info.hFile) CloseHandle(info.hFile);
        if (info.hProcess) CloseHandle(info.hProcess);
        if (info.hThread) CloseHandle(info.hThread);
        printf("%s", table_.text().c_str());
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT: {
        printf("Process %ld ended\t", static_cast<long>(ev.dwProcessId));
        DWORD code = ev.u.ExitProcess.dwExitCode;
        std::string text = id + ", ExitCode=" + num(static_cast<long>(code));
        if (ev.dwProcessId == first) {
          result_ = code;
          text += " (" + args_.command + ")";
        }
        zeb_log(ZEB_EV_PROCESS_EXIT, false, text.c_str(), args_.name.c_str());
        table_.remove(ev.dwProcessId);
        printf("%s", table_.text().c_str());
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        if (ev.u.CreateThread.hThread) CloseHandle(ev.u.CreateThread.hThread);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      default:
        break;
    }
    fflush(stdout);
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
}

void Run::finish() {
  if (started_) {
    HANDLE out = open_io_file(files_.out, nullptr, true);
    if (out == nullptr) {
      log_stdfile(GetLastError(), files_.out);
    } else {
      SYSTEMTIME end{};
      GetLocalTime(&end);
      append(out, job_end_line(end, args_.command, static_cast<long>(result_)));
      CloseHandle(out);
    }
  }
  job_desktop_close(&desktop_);
  job_logoff(&account_);
  close_logged(&pipe_write_, "CloseHandle(inout[2])");
  close_logged(&in_, "CloseHandle(inout[0])");
  close_logged(&out_, "CloseHandle(inout[1])");

  table_.mark_over();
  if (done_ != nullptr) SetEvent(done_);
  printf("Waiting for EndThread...");
  fflush(stdout);
  end_thread(killer_, "WaitForSingleObject(Killer Thread), job=" + args_.name);
  killer_ = nullptr;
  printf("DONE, result=%ld\n", static_cast<long>(result_));
  close_logged(&done_, "CloseHandle(DoneEvent)");
  printf("Waiting for StdErrWriter...");
  fflush(stdout);
  bool untracked = started_ && (args_.flags & JOB_NO_DEBUG) != 0;
  end_thread(writer_, "WaitForSingleObject(StderrWriter), job=" + args_.name,
             untracked ? kUndebuggedDrainWait : kThreadWait);
  writer_ = nullptr;
  printf("\n");
  environment_.clear();
  close_logged(&err_, "CloseHandle(inout[3])");
  close_logged(&pipe_read_, "CloseHandle(inout[4])");
  if (pi_.hProcess) CloseHandle(pi_.hProcess);
  if (pi_.hThread) CloseHandle(pi_.hThread);
  fflush(stdout);
}

DWORD Run::execute() {
  done_ = reinterpret_cast<HANDLE>(static_cast<intptr_t>(args_.event_handle));
  if (!nt_lookup_waitable(done_)) {
    // No usable DoneEvent (run by hand): one of our own, so that the
    // killer still has something to wait for.
    done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  DWORD e = prepare();
  if (e == ERROR_SUCCESS) {
    e = start_command();
    if (e == ERROR_SUCCESS) {
      started_ = true;
      if ((args_.flags & JOB_NO_DEBUG) != 0) {
        follow_undebugged();
      } else {
        follow_debugged();
      }
    }
  }
  if (!started_) result_ = e;
  finish();
  return result_;
}

}  // namespace

int zeb_job_runner_main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  ZebSpawnArgs args;
  if (!zeb_parse_spawn_args(GetCommandLineA(), &args)) {
    fprintf(stderr, "ZEB-ERROR, invalid job command line\n");
    return static_cast<int>(ERROR_INVALID_PARAMETER);
  }
  Run run(args);
  DWORD code = run.execute();
  ExitProcess(code);
}
