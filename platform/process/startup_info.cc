#include "platform/process/startup_info.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

bool next_number(const char*& p, char end, long long* value) {
  char* stop = nullptr;
  *value = strtoll(p, &stop, 10);
  if (stop == p || *stop != end) return false;
  p = stop + 1;
  return true;
}

}  // namespace

std::string nt_startup_text(const STARTUPINFOA& info) {
  std::string text;
  for (long long v : {static_cast<long long>(info.dwFlags), static_cast<long long>(info.wShowWindow),
                      static_cast<long long>(info.dwX), static_cast<long long>(info.dwY),
                      static_cast<long long>(info.dwXSize), static_cast<long long>(info.dwYSize),
                      static_cast<long long>(info.dwXCountChars),
                      static_cast<long long>(info.dwYCountChars),
                      static_cast<long long>(info.dwFillAttribute)}) {
    text += std::to_string(v) + ",";
  }
  long long desktop = info.lpDesktop ? static_cast<long long>(strlen(info.lpDesktop)) : -1;
  long long title = info.lpTitle ? static_cast<long long>(strlen(info.lpTitle)) : -1;
  text += std::to_string(desktop) + "," + std::to_string(title) + ":";
  if (info.lpDesktop) text += info.lpDesktop;
  if (info.lpTitle) text += info.lpTitle;
  return text;
}

bool nt_parse_startup(const char* value, long pid, NtStartupFields* fields) {
  if (value == nullptr) return false;
  const char* p = value;
  long long owner;
  if (!next_number(p, ':', &owner) || owner != pid) return false;
  long long n[11];
  for (int i = 0; i < 11; ++i) {
    if (!next_number(p, i < 10 ? ',' : ':', &n[i])) return false;
  }
  long long desktop = n[9], title = n[10];
  size_t rest = strlen(p);
  if (desktop < -1 || title < -1 ||
      static_cast<unsigned long long>(desktop < 0 ? 0 : desktop) +
              static_cast<unsigned long long>(title < 0 ? 0 : title) !=
          rest) {
    return false;
  }
  NtStartupFields f;
  f.flags = static_cast<DWORD>(n[0]);
  f.show_window = static_cast<WORD>(n[1]);
  f.x = static_cast<DWORD>(n[2]);
  f.y = static_cast<DWORD>(n[3]);
  f.x_size = static_cast<DWORD>(n[4]);
  f.y_size = static_cast<DWORD>(n[5]);
  f.x_chars = static_cast<DWORD>(n[6]);
  f.y_chars = static_cast<DWORD>(n[7]);
  f.fill = static_cast<DWORD>(n[8]);
  size_t d = desktop < 0 ? 0 : static_cast<size_t>(desktop);
  f.has_desktop = desktop >= 0;
  f.desktop.assign(p, d);
  f.has_title = title >= 0;
  f.title.assign(p + d);
  *fields = std::move(f);
  return true;
}

void GetStartupInfoA(STARTUPINFOA* info) {
  if (info == nullptr) return;
  // Read once; the strings stay for the life of the process, as NT's do.
  static std::once_flag once;
  static NtStartupFields* fields = nullptr;
  std::call_once(once, [] {
    fields = new NtStartupFields;
    if (!nt_parse_startup(getenv("NT_STARTUP"), getpid(), fields)) *fields = NtStartupFields{};
  });
  memset(info, 0, sizeof *info);
  info->cb = sizeof *info;
  info->lpDesktop = fields->has_desktop ? fields->desktop.data() : nullptr;
  info->lpTitle = fields->has_title ? fields->title.data() : nullptr;
  info->dwX = fields->x;
  info->dwY = fields->y;
  info->dwXSize = fields->x_size;
  info->dwYSize = fields->y_size;
  info->dwXCountChars = fields->x_chars;
  info->dwYCountChars = fields->y_chars;
  info->dwFillAttribute = fields->fill;
  info->dwFlags = fields->flags;
  info->wShowWindow = fields->show_window;
  if (info->dwFlags & STARTF_USESTDHANDLES) {
    info->hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    info->hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    info->hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
}
