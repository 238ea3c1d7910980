// The process's handle table.
//
// Every kernel object the layer hands out (files now; events, processes,
// pipes later) derives from KernelObject and is reached through a HANDLE.
// Handle values are small multiples of four starting at 4, as NT gives them,
// and the lowest free value is reused. The table is shared by all threads.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/win32_types.h"

// Base of every object behind a handle. The object lives as long as a
// handle or a looked-up reference holds it; its destructor releases what it
// owns (file descriptors and the like).
class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;
};

// Puts `object` into the table and returns its new handle; null (and
// ERROR_INVALID_PARAMETER) for a null object, null (and
// ERROR_TOO_MANY_OPEN_FILES) when the table is full.
HANDLE nt_insert_handle(std::shared_ptr<KernelObject> object);

// The object behind `handle`, or null with ERROR_INVALID_HANDLE for a null,
// INVALID_HANDLE_VALUE, unknown or closed handle.
std::shared_ptr<KernelObject> nt_lookup_handle(HANDLE handle);

// The object behind `handle` when it is a T; otherwise null with
// ERROR_INVALID_HANDLE (a handle of another kind counts as invalid, as a
// file call on an event handle does in NT).
template <typename T>
std::shared_ptr<T> nt_lookup_handle_as(HANDLE handle);

// Removes the handle. The object is destroyed when its last reference goes.
// FALSE with ERROR_INVALID_HANDLE for a null, INVALID_HANDLE_VALUE, unknown
// or already closed handle.
BOOL CloseHandle(HANDLE handle);

// Number of open handles (tests and leak checks).
size_t nt_handle_count();

// Largest number of handles open at once.
constexpr size_t NT_MAX_HANDLES = 16384;

// Implementation detail of nt_lookup_handle_as.
void nt_set_invalid_handle_error();

template <typename T>
std::shared_ptr<T> nt_lookup_handle_as(HANDLE handle) {
  std::shared_ptr<KernelObject> object = nt_lookup_handle(handle);
  if (!object) return nullptr;
  std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) nt_set_invalid_handle_error();
  return typed;
}
