#include "platform/kernel/environment.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/kernel/error.h"

extern char** environ;

namespace {

std::mutex g_mutex;

// The name under which `name` is set: itself when set exactly so, else the
// first variable whose name matches ignoring case. False when none is set.
bool actual_name(const char* name, std::string* actual) {
  if (getenv(name) != nullptr) {
    *actual = name;
    return true;
  }
  size_t length = strlen(name);
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (strncasecmp(*e, name, length) == 0 && (*e)[length] == '=') {
      actual->assign(*e, length);
      return true;
    }
  }
  return false;
}

// The value of a variable, names ignoring case.
bool lookup(const char* name, std::string* value) {
  if (*name == '\0' || strchr(name, '=') != nullptr) return false;
  std::string actual;
  if (!actual_name(name, &actual)) return false;
  const char* v = getenv(actual.c_str());
  if (v == nullptr) return false;
  *value = v;
  return true;
}

// Copies with the rule of both calls: the whole text and a terminator when
// they fit, else as much as fits, terminated.
void copy_out(const std::string& text, char* buffer, DWORD size) {
  if (size == 0) return;
  size_t n = text.size() < size ? text.size() : size - 1;
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
  if (name == nullptr || (buffer == nullptr && size > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string value;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!lookup(name, &value)) {
      SetLastError(ERROR_ENVVAR_NOT_FOUND);
      return 0;
    }
  }
  if (value.size() + 1 > size) {
    copy_out(value, buffer, size);
    return static_cast<DWORD>(value.size() + 1);
  }
  copy_out(value, buffer, size);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(value.size());
}

BOOL SetEnvironmentVariableA(const char* name, const char* value) {
  if (name == nullptr || *name == '\0' || strchr(name, '=') != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string actual;
  bool exists = actual_name(name, &actual);
  if (value == nullptr) {
    if (!exists) {
      SetLastError(ERROR_ENVVAR_NOT_FOUND);
      return FALSE;
    }
    if (unsetenv(actual.c_str()) != 0) {
      set_last_error_from_errno();
      return FALSE;
    }
    return TRUE;
  }
  if (setenv(exists ? actual.c_str() : name, value, 1) != 0) {
    set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

DWORD ExpandEnvironmentStringsA(const char* source, char* buffer, DWORD size) {
  if (source == nullptr || (buffer == nullptr && size > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string out;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    const char* p = source;
    while (*p != '\0') {
      const char* close = *p == '%' ? strchr(p + 1, '%') : nullptr;
      if (close == nullptr) {
        out += *p++;
        continue;
      }
      std::string name(p + 1, close);
      std::string value;
      if (!name.empty() && lookup(name.c_str(), &value)) {
        out += value;
        p = close + 1;
      } else {
        // Not a variable: keep the first '%' and look again from the second,
        // which may open a reference of its own.
        out.append(p, close);
        p = close;
      }
    }
  }
  copy_out(out, buffer, size);
  return static_cast<DWORD>(out.size() + 1);
}
