#include "patch/patch_steps.h"

#include <vector>

#include "lib/time_syntax.h"
#include "patch/failure_text.h"
#include "patch/patch_output.h"
#include "patch/step_tracking.h"
#include "platform/files/current_directory.h"
#include "platform/files/volume.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/process/process.h"
#include "platform/sync/waitable.h"

namespace {

std::string failure_no_steps(const char* patch) {
  return cut_text(std::string("patch ") + patch + " has no steps", FAILURE_TEXT_MAX);
}

std::string failure_steps_cut(const char* patch) {
  return cut_text(std::string("patch ") + patch + ": list of steps longer than 1024 bytes",
                  FAILURE_TEXT_MAX);
}

std::string failure_space_unknown(const char* patch, uint64_t size_kb, DWORD error) {
  return cut_text("patch " + std::string(patch) + " requires " + std::to_string(size_kb) +
                      " KB, free space on C: unknown, error=" + std::to_string(error),
                  FAILURE_TEXT_MAX);
}

std::string failure_command_cut(const char* patch, const char* step) {
  return cut_text(std::string("patch ") + patch + ", step " + step +
                      ": command longer than 255 characters",
                  FAILURE_TEXT_MAX);
}

void close_handle(HANDLE handle) {
  if (handle != nullptr) CloseHandle(handle);
}

// The simple wait: the step's own process alone counts.
void wait_simple(const StepRun& run, const PROCESS_INFORMATION& info, const char* patch_name,
                 const PatchStep& step, PatchOutcome* outcome) {
  if (run.verbose) patch_info("FIXAR-INFO, Process %ld created\n", long(info.dwProcessId));
  DWORD waited = WaitForSingleObject(info.hProcess, time_limit_ms(step.time_limit));
  DWORD code = 0;
  BOOL have_code = GetExitCodeProcess(info.hProcess, &code);
  // A process that has ended may have chosen 259 as its exit code: only the
  // wait tells a running process from it.
  if (waited == WAIT_TIMEOUT) {
    if (TerminateProcess(info.hProcess, 0) && run.verbose) {
      patch_info("FIXAR-INFO, terminated process %ld\n", long(info.dwProcessId));
    }
    outcome->failed = true;
    outcome->failure = failure_timeout(step.time_limit, patch_name, step.section.c_str());
  } else if (have_code) {
    if (run.verbose) {
      patch_info("FIXAR-INFO, Process %ld ended, exitcode=%ld\n", long(info.dwProcessId),
                 long(static_cast<int32_t>(code)));
    }
    if (!in_range(step.errorlevels.c_str(), static_cast<int32_t>(code))) {
      outcome->failed = true;
      outcome->failure = failure_errorlevel(code, patch_name, step.section.c_str());
    }
  }
  close_handle(info.hProcess);
  close_handle(info.hThread);
}

}  // namespace

std::string step_window_title(const char* patch_name, const char* step_name) {
  return std::string("FIXAR[") + patch_name + "]" + step_name;
}

void run_patch_step(StepRun& run, const char* patch_name, const PatchStep& step,
                    PatchOutcome* outcome) {
  SetCurrentDirectoryA(run.patch_dir.c_str());
  if (run.verbose) patch_info("FIXAR-INFO, Processing step %s\n", step.section.c_str());
  if (step.command.empty()) {
    outcome->failed = true;
    outcome->failure = failure_command_missing(patch_name, step.section.c_str());
    return;
  }
  if (step.command_cut) {
    // A cut command line would run another command.
    outcome->failed = true;
    outcome->failure = failure_command_cut(patch_name, step.section.c_str());
    return;
  }
  const bool tracked = step.time_limit != 0 && step.track_tree;
  std::vector<char> command(step.command.begin(), step.command.end());
  command.push_back('\0');
  std::string title = step_window_title(patch_name, step.section.c_str());
  std::vector<char> title_text(title.begin(), title.end());
  title_text.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = step.show_mode;
  startup.lpTitle = title_text.data();
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                      tracked ? DEBUG_PROCESS : 0, nullptr, run.working_dir.c_str(), &startup,
                      &info)) {
    outcome->failed = true;
    outcome->failure = failure_cannot_execute(step.command.c_str(), GetLastError());
    return;
  }
  if (step.time_limit == 0) {
    close_handle(info.hProcess);
    close_handle(info.hThread);
    return;
  }
  if (!tracked) {
    wait_simple(run, info, patch_name, step, outcome);
    return;
  }
  close_handle(info.hProcess);
  close_handle(info.hThread);
  TrackedStep tracked_step{patch_name, step.section.c_str(), step.errorlevels.c_str(),
                           step.time_limit, run.verbose};
  std::string failure;
  if (!track_step(tracked_step, &failure)) {
    outcome->failed = true;
    outcome->failure = failure;
  }
}

bool free_space_kb_on_c(uint64_t* kb, DWORD* error) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr)) {
    *error = GetLastError();
    return false;
  }
  *kb = available.QuadPart / 1024;
  return true;
}

PatchOutcome run_patch(StepRun& run, const char* patch_file, const char* patch_name,
                       const SectionList& steps) {
  PatchOutcome outcome;
  if (steps.cut) {
    outcome.failed = true;
    outcome.failure = failure_steps_cut(patch_name);
    return outcome;
  }
  if (steps.names.empty()) {
    outcome.failed = true;
    outcome.failure = failure_no_steps(patch_name);
    return outcome;
  }
  uint64_t size_kb = read_patch_size_kb(patch_file, steps.names.front().c_str());
  if (size_kb != 0) {
    uint64_t available_kb = 0;
    DWORD error = 0;
    if (!free_space_kb_on_c(&available_kb, &error)) {
      outcome.failed = true;
      outcome.failure = failure_space_unknown(patch_name, size_kb, error);
      return outcome;
    }
    if (size_kb > available_kb) {
      outcome.failed = true;
      outcome.failure = failure_space(patch_name, size_kb, available_kb);
      return outcome;
    }
  }
  for (const std::string& section : steps.names) {
    PatchStep step = read_patch_step(patch_file, section.c_str(), run.defaults, run.show_mode);
    run.show_mode = step.show_mode;
    run_patch_step(run, patch_name, step, &outcome);
    if (outcome.failed) break;
  }
  return outcome;
}
