#include "platform/kernel/module.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/resource/resource.h"

namespace {

// The host path of a module (UTF-8), or false with the error set.
bool module_path(HMODULE module, std::string* path) {
  if (module != nullptr) return nt_module_path(module, path);
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
      set_last_error_from_errno();
      return false;
    }
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      *path = buffer;
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Copies with the Win32 truncation rule.
template <typename Char>
DWORD copy_out(const std::basic_string<Char>& text, Char* buffer, DWORD size) {
  if (text.size() < size) {
    memcpy(buffer, text.data(), text.size() * sizeof(Char));
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
  }
  if (size > 0) {
    size_t n = size - 1;
    if constexpr (sizeof(Char) == 2) {
      // Never keep the first half of a surrogate pair alone.
      if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    } else if (GetACP() == CP_UTF8) {
      while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    memcpy(buffer, text.data(), n * sizeof(Char));
    buffer[n] = 0;
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  if (buffer == nullptr && size > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path;
  if (!module_path(module, &path)) return 0;
  std::string ansi =
      GetACP() == CP_UTF8 ? path : nt_wide_to_ansi(nt_multibyte_to_wide(CP_UTF8, path));
  return copy_out(ansi, buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size) {
  if (buffer == nullptr && size > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path;
  if (!module_path(module, &path)) return 0;
  return copy_out(nt_multibyte_to_wide(CP_UTF8, path), buffer, size);
}
