// Test helpers: the probe program and running children with their output
// captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/files/file_io.h"
#include "platform/pipes/anonymous_pipe.h"
#include "platform/process/process.h"
#include "platform/sync/waitable.h"

// The probe program built beside the test binary.
inline std::string probe_path() {
  const char* bin = getenv("NT_TEST_BIN");
  std::string dir;
  if (bin && *bin) {
    dir = bin;
  } else {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./x");
    dir = dir.substr(0, dir.rfind('/'));
  }
  return dir + "/nt_process_probe";
}

struct ChildResult {
  bool started = false;
  DWORD error = 0;  // of CreateProcessA
  DWORD exit_code = 0;
  std::string out;  // standard output
};

struct ChildOptions {
  const char* application = nullptr;
  void* environment = nullptr;
  const char* directory = nullptr;
  DWORD flags = 0;
  BOOL inherit = FALSE;
  STARTUPINFOA* startup = nullptr;  // its std handles are replaced
};

// Runs `command_line` with standard output into a pipe, reads it all and
// waits for the end (at most 20 s).
inline ChildResult run_child(const std::string& command_line, const ChildOptions& options = {}) {
  ChildResult result;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
    result.error = GetLastError();
    return result;
  }
  STARTUPINFOA startup{};
  if (options.startup) startup = *options.startup;
  startup.cb = sizeof startup;
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = write_end;
  startup.hStdError = nullptr;
  PROCESS_INFORMATION info{};
  std::string text = command_line;
  BOOL ok = CreateProcessA(options.application, text.data(), nullptr, nullptr, options.inherit,
                           options.flags, options.environment, options.directory, &startup, &info);
  result.error = ok ? 0 : GetLastError();
  CloseHandle(write_end);
  if (!ok) {
    CloseHandle(read_end);
    return result;
  }
  result.started = true;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.out.append(buffer, got);
  }
  CloseHandle(read_end);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
  GetExitCodeProcess(info.hProcess, &result.exit_code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return result;
}

// Starts a child without capturing anything; the caller closes the handles.
inline bool start_child(const std::string& command_line, PROCESS_INFORMATION* info,
                        BOOL inherit = FALSE, DWORD flags = 0) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string text = command_line;
  return CreateProcessA(nullptr, text.data(), nullptr, nullptr, inherit, flags, nullptr, nullptr,
                        &startup, info);
}

inline std::string handle_text(HANDLE h) { return std::to_string(reinterpret_cast<uintptr_t>(h)); }
