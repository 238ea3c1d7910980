// Names of events, semaphores and mutexes.
//
// Named objects live in one namespace per machine (the local machine's name)
// within this process; the prefixes "Global\" and "Local\" name the same
// space. Names are case-sensitive, as NT's object names are, at most
// MAX_PATH (260) characters (longer: ERROR_FILENAME_EXCED_RANGE); a further
// backslash names a directory that does not exist (ERROR_PATH_NOT_FOUND).
// An empty name is no name. A name lives as long as an object of that name
// is open.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"
#include "platform/win32_types.h"

// Finds the object of `name`, or registers the result of make() under it.
// ERROR_SUCCESS with *existed telling which; otherwise the Win32 error of a
// bad name (make() then is not called). The caller checks the kind.
DWORD nt_named_object_create(const char* name,
                             const std::function<std::shared_ptr<KernelObject>()>& make,
                             std::shared_ptr<KernelObject>* object, bool* existed);

// The object of `name`: ERROR_FILE_NOT_FOUND when none, ERROR_INVALID_PARAMETER
// for a null name, the name errors above.
DWORD nt_named_object_open(const char* name, std::shared_ptr<KernelObject>* object);

// Creates or opens a named object of kind T through the Win32 rules: a new
// handle (ERROR_ALREADY_EXISTS left when the name existed), or null with
// ERROR_INVALID_HANDLE when the name belongs to an object of another kind.
template <typename T>
HANDLE nt_create_named(const char* name, const std::function<std::shared_ptr<T>()>& make,
                       DWORD handle_flags);
template <typename T>
HANDLE nt_open_named(const char* name, DWORD handle_flags);

// Implementation.
template <typename T>
HANDLE nt_create_named(const char* name, const std::function<std::shared_ptr<T>()>& make,
                       DWORD handle_flags) {
  std::shared_ptr<KernelObject> object;
  bool existed = false;
  if (name == nullptr || *name == '\0') {
    object = make();
  } else {
    DWORD error = nt_named_object_create(
        name, [&make]() -> std::shared_ptr<KernelObject> { return make(); }, &object, &existed);
    if (error != 0) {
      SetLastError(error);
      return nullptr;
    }
  }
  if (!object) return nullptr;  // make() left the error
  if (!std::dynamic_pointer_cast<T>(object)) {
    SetLastError(ERROR_INVALID_HANDLE);  // as NT for a name of another kind
    return nullptr;
  }
  HANDLE handle = nt_insert_handle(object, handle_flags);
  if (handle) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

template <typename T>
HANDLE nt_open_named(const char* name, DWORD handle_flags) {
  std::shared_ptr<KernelObject> object;
  DWORD error = nt_named_object_open(name, &object);
  if (error != 0) {
    SetLastError(error);
    return nullptr;
  }
  if (!std::dynamic_pointer_cast<T>(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return nt_insert_handle(object, handle_flags);
}
