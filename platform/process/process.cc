#include "platform/process/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/process/command_resolve.h"
#include "platform/process/debug_attach.h"
#include "platform/process/exit_records.h"
#include "platform/process/inherit.h"
#include "platform/process/process_object.h"
#include "platform/process/spawn.h"
#include "platform/process/startup_info.h"

extern char** environ;

namespace {

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The environment a child gets: the block given, else ours.
std::vector<std::string> child_environment(const void* block, bool unicode) {
  std::vector<std::string> entries;
  if (block == nullptr) {
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) entries.emplace_back(*e);
    return entries;
  }
  if (!unicode) return nt_environment_block_entries(static_cast<const char*>(block));
  const char16_t* p = static_cast<const char16_t*>(block);
  while (*p != 0) {
    std::u16string entry;
    while (*p != 0) entry += *p++;
    entries.push_back(nt_wide_to_ansi(entry));
    ++p;
  }
  return entries;
}

// The process object behind a process handle (the pseudo handle included).
std::shared_ptr<NtProcess> process_of(HANDLE handle) {
  if (handle == GetCurrentProcess()) return nt_self_process();
  return nt_lookup_handle_as<NtProcess>(handle);
}

// A descriptor for one standard handle of STARTUPINFO: the object's, or
// /dev/null (opened into *null_fd) for a null or invalid handle value.
bool stdio_fd(HANDLE handle, int* fd, int* null_fd, std::vector<std::shared_ptr<KernelObject>>* keep) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    if (*null_fd < 0) *null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    *fd = *null_fd;
    return *fd >= 0;
  }
  std::shared_ptr<KernelObject> object = nt_lookup_handle(handle);
  *fd = object ? nt_stdio_fd_of(object) : -1;
  if (*fd < 0) return false;
  keep->push_back(std::move(object));
  return true;
}

int nice_for(DWORD flags) {
  if (flags & IDLE_PRIORITY_CLASS) return 19;
  if (flags & BELOW_NORMAL_PRIORITY_CLASS) return 5;
  return 0;
}

}  // namespace

BOOL CreateProcessA(const char* application_name, char* command_line,
                    SECURITY_ATTRIBUTES* process_attributes, SECURITY_ATTRIBUTES* thread_attributes,
                    BOOL inherit_handles, DWORD creation_flags, void* environment,
                    const char* current_directory, STARTUPINFOA* startup_info,
                    PROCESS_INFORMATION* process_information) {
  const bool has_application = application_name != nullptr && *application_name != '\0';
  if (startup_info == nullptr || process_information == nullptr ||
      (!has_application && command_line == nullptr) ||
      ((creation_flags & DETACHED_PROCESS) && (creation_flags & CREATE_NEW_CONSOLE))) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  const bool debug = creation_flags & (DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS);

  // The command line text the child sees: as given, else the application
  // name (quoted when it holds a blank).
  std::string text;
  if (command_line != nullptr) {
    text = command_line;
  } else {
    text = application_name;
    if (text.find_first_of(" \t") != std::string::npos) text = "\"" + text + "\"";
  }

  NtSpawnRequest request;
  DWORD error = nt_resolve_program(has_application ? application_name : nullptr, text.c_str(),
                                   &request.program);
  if (error != ERROR_SUCCESS) return fail(error);
  request.argv = nt_split_command_line(text);
  if (request.argv.empty()) request.argv.push_back(request.program);
  request.command_line = text;
  request.env = child_environment(environment, creation_flags & CREATE_UNICODE_ENVIRONMENT);

  if (current_directory != nullptr && *current_directory != '\0') {
    std::string host;
    struct stat st;
    if (!nt_host_path(current_directory, &host) || stat(host.c_str(), &st) != 0 ||
        !S_ISDIR(st.st_mode)) {
      return fail(ERROR_DIRECTORY);
    }
    request.current_directory = host;
  }

  // Objects whose descriptors the child gets stay referenced until it has
  // them.
  std::vector<std::shared_ptr<KernelObject>> keep;
  int null_fd = -1;
  struct NullCloser {
    int* fd;
    ~NullCloser() {
      if (*fd >= 0) close(*fd);
    }
  } null_closer{&null_fd};
  if (startup_info->dwFlags & STARTF_USESTDHANDLES) {
    HANDLE std_handles[3] = {startup_info->hStdInput, startup_info->hStdOutput,
                             startup_info->hStdError};
    for (int k = 0; k < 3; ++k) {
      if (!stdio_fd(std_handles[k], &request.stdio[k], &null_fd, &keep)) {
        return fail(ERROR_INVALID_HANDLE);
      }
    }
  }
  if (inherit_handles) {
    for (NtHandleEntry& entry : nt_inheritable_handles()) {
      NtInheritInfo info;
      if (!nt_inherit_info_of(entry.object, &info)) continue;  // stays in this process
      NtSpawnHandle h;
      h.handle = reinterpret_cast<uintptr_t>(entry.handle);
      h.kind = info.kind;
      h.fd = info.fd;
      h.extra = info.extra;
      request.handles.push_back(std::move(h));
      keep.push_back(std::move(entry.object));
    }
  }
  request.startup = nt_startup_text(*startup_info);
  // A debuggee is held before its exec until the calling thread has seized
  // it; its exec is then the first stop the debugger sees.
  const bool suspended = creation_flags & CREATE_SUSPENDED;
  request.suspended = suspended || debug;
  request.new_process_group = creation_flags & CREATE_NEW_PROCESS_GROUP;
  request.detached = creation_flags & DETACHED_PROCESS;
  request.nice_increment = nice_for(creation_flags);

  NtSpawnResult spawned;
  error = nt_spawn(request, &spawned);
  if (error != ERROR_SUCCESS) return fail(error);
  auto process = std::make_shared<NtProcess>(spawned.pid, spawned.pidfd,
                                             nt_process_start_time(spawned.pid), true);
  nt_remember_process(process);
  if (debug) {
    error = nt_debug_attach_new_process(spawned.pid, creation_flags, process);
    if (error != ERROR_SUCCESS) {
      nt_spawn_release(&spawned.suspended);  // the held child ends
      return fail(error);
    }
    if (!suspended) {
      error = nt_spawn_resume(&spawned.suspended);
      if (error != ERROR_SUCCESS) {
        nt_debug_abandon_new_process(spawned.pid);
        return fail(error);
      }
    }
  }
  if (suspended) process->set_suspended(spawned.suspended);
  HANDLE process_handle = nt_insert_handle(process, nt_handle_flags_for(process_attributes));
  if (!process_handle) return FALSE;
  HANDLE thread_handle = nt_insert_handle(std::make_shared<NtChildThread>(process),
                                          nt_handle_flags_for(thread_attributes));
  if (!thread_handle) {
    DWORD insert_error = GetLastError();
    CloseHandle(process_handle);
    return fail(insert_error);
  }
  process_information->hProcess = process_handle;
  process_information->hThread = thread_handle;
  process_information->dwProcessId = static_cast<DWORD>(spawned.pid);
  process_information->dwThreadId = static_cast<DWORD>(spawned.pid);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

HANDLE OpenProcess(DWORD /*access*/, BOOL inherit, DWORD process_id) {
  const pid_t pid = static_cast<pid_t>(process_id);
  if (pid <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const DWORD flags = inherit ? HANDLE_FLAG_INHERIT : 0;
  if (pid == getpid()) return nt_insert_handle(nt_self_process(), flags);
  std::shared_ptr<NtProcess> process = nt_known_process(pid);
  // A known process that ended may have left its id to a new one.
  if (process && process->exit_code() != STILL_ACTIVE &&
      nt_process_start_time(pid) != process->start()) {
    process.reset();
  }
  if (!process) {
    DWORD error = nt_open_process_object(pid, &process);
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return nullptr;
    }
    nt_remember_process(process);
  }
  return nt_insert_handle(process, flags);
}

BOOL GetExitCodeProcess(HANDLE handle, DWORD* exit_code) {
  std::shared_ptr<NtProcess> process = process_of(handle);
  if (!process) return FALSE;
  if (exit_code == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *exit_code = process->exit_code();
  return TRUE;
}

BOOL TerminateProcess(HANDLE handle, UINT exit_code) {
  std::shared_ptr<NtProcess> process = process_of(handle);
  if (!process) return FALSE;
  DWORD error = process->terminate(exit_code);
  if (error != ERROR_SUCCESS) return fail(error);
  return TRUE;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD GetProcessId(HANDLE handle) {
  std::shared_ptr<NtProcess> process = process_of(handle);
  return process ? static_cast<DWORD>(process->pid()) : 0;
}

void ExitProcess(UINT exit_code) {
  if (exit_code > 0xFF) {
    pid_t self = getpid();
    nt_record_process_line(self, nt_process_start_time(self), "exit", exit_code);
  }
  fflush(nullptr);
  _exit(static_cast<int>(exit_code & 0xFF));
}

BOOL DuplicateHandle(HANDLE source_process, HANDLE source_handle, HANDLE target_process,
                     HANDLE* target_handle, DWORD /*desired_access*/, BOOL inherit_handle,
                     DWORD options) {
  std::shared_ptr<NtProcess> source = process_of(source_process);
  if (!source) return FALSE;
  if (!source->is_self()) return fail(ERROR_NOT_SUPPORTED);
  const bool pseudo =
      source_handle == GetCurrentProcess() || source_handle == GetCurrentThread();
  std::shared_ptr<KernelObject> object;
  if (source_handle == GetCurrentProcess()) {
    object = nt_self_process();
  } else if (source_handle == GetCurrentThread()) {
    object = nt_current_thread_waitable();
  } else {
    object = nt_lookup_handle(source_handle);
  }
  // NT closes the source handle whatever else happens.
  auto finish = [&](BOOL ok) {
    if ((options & DUPLICATE_CLOSE_SOURCE) && !pseudo && object) {
      DWORD error = GetLastError();
      CloseHandle(source_handle);
      SetLastError(error);
    }
    return ok;
  };
  if (!object) return FALSE;
  std::shared_ptr<NtProcess> target = process_of(target_process);
  if (!target) return finish(FALSE);
  if (target_handle == nullptr) return finish(fail(ERROR_INVALID_PARAMETER));
  if (target->is_self()) {
    HANDLE handle = nt_insert_handle(object, inherit_handle ? HANDLE_FLAG_INHERIT : 0);
    if (!handle) return finish(FALSE);
    *target_handle = handle;
    SetLastError(ERROR_SUCCESS);
    return finish(TRUE);
  }
  NtInheritInfo info;
  if (!nt_inherit_info_of(object, &info)) return finish(fail(ERROR_NOT_SUPPORTED));
  if (!inherit_handle) info.kind = "~" + info.kind;
  uintptr_t value = 0;
  DWORD error = target->pass_handle(info, &value);
  if (error != ERROR_SUCCESS) return finish(fail(error));
  *target_handle = reinterpret_cast<HANDLE>(value);
  SetLastError(ERROR_SUCCESS);
  return finish(TRUE);
}
