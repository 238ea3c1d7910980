#include "platform/process/win_exec.h"

#include <string>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/process/process.h"

namespace {

constexpr UINT kStarted = 33;

UINT result_for(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return ERROR_FILE_NOT_FOUND;
    case ERROR_PATH_NOT_FOUND:
      return ERROR_PATH_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
      return ERROR_ACCESS_DENIED;
    case ERROR_BAD_EXE_FORMAT:
      return ERROR_BAD_FORMAT;
    default:
      return 0;
  }
}

}  // namespace

UINT WinExec(const char* command_line, UINT show) {
  if (command_line == nullptr || *command_line == '\0') {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return ERROR_FILE_NOT_FOUND;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION info{};
  std::string text = command_line;  // CreateProcessA may write into it
  if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    DWORD error = GetLastError();
    UINT result = result_for(error);
    SetLastError(error);
    return result;
  }
  // Nobody waits for the child: with its handles closed the layer reaps it.
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  SetLastError(ERROR_SUCCESS);
  return kStarted;
}
