#include "patch/failure_text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "lib/command_line_parser.h"

namespace {

const char* text_or_empty(const char* text) { return text != nullptr ? text : ""; }

std::string format_cut(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string format_cut(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    vsnprintf(buffer.data(), buffer.size(), format, again);
    text.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(again);
  return cut_text(text, FAILURE_TEXT_MAX);
}

}  // namespace

std::string cut_text(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  return text.substr(0, ansi_cut_bytes(text.c_str(), max_bytes));
}

std::string failure_space(const char* patch, uint64_t size_kb, uint64_t available_kb) {
  return format_cut("patch %s requires %llu KB, %llu available on C:", text_or_empty(patch),
                    static_cast<unsigned long long>(size_kb),
                    static_cast<unsigned long long>(available_kb));
}

std::string failure_command_missing(const char* patch, const char* step) {
  return format_cut("patch %s, step %s: command missing", text_or_empty(patch),
                    text_or_empty(step));
}

std::string failure_cannot_execute(const char* command, DWORD error) {
  return format_cut("cannot execute '%s', error=%lu", text_or_empty(command),
                    static_cast<unsigned long>(error));
}

std::string failure_timeout(DWORD seconds, const char* patch, const char* step) {
  return format_cut("timeout (%lu sec) for patch %s, step %s", static_cast<unsigned long>(seconds),
                    text_or_empty(patch), text_or_empty(step));
}

std::string failure_errorlevel(DWORD exit_code, const char* patch, const char* step) {
  return format_cut("errorlevel (%ld) mismatch for patch %s, step %s",
                    static_cast<long>(static_cast<int32_t>(exit_code)), text_or_empty(patch),
                    text_or_empty(step));
}
