// The process's handle table.
//
// Every kernel object the layer hands out (files, events, semaphores,
// mutexes, threads, processes, pipes) derives from KernelObject and is
// reached through a HANDLE. Handle values are small multiples of four
// starting at 4, as NT gives them, and the lowest free value is reused. The
// table is shared by all threads.
//
// Each handle carries the flags HANDLE_FLAG_INHERIT and
// HANDLE_FLAG_PROTECT_FROM_CLOSE (SECURITY_ATTRIBUTES.bInheritHandle,
// SetHandleInformation, DuplicateHandle set them).
//
// Inheritance. A child started by CreateProcessA with bInheritHandles
// receives every inheritable handle under the same handle value, as NT
// does, so that a handle number written on its command line names the same
// object there. An object can cross only when it rests on a descriptor that
// the child can share (an eventfd for events, a pidfd for processes, the
// descriptor of a file or pipe); such objects say so through
// nt_inherit_info. The parent passes the descriptors to the child at fixed
// numbers and adds the environment entry
//
//   NT_HANDLES=<pid>:<handle>=<kind>:<fd>[:<extra>],...
//
// (handle in decimal; "~kind" for a handle that is not inheritable in the
// child, which DuplicateHandle into a suspended child can give). The entry counts only in the process whose id it
// names, like NT_CMDLINE, so a grandchild started by other means never
// takes it over. On its first use of the table the child puts each listed
// object back under its handle value (nt_import_inherited_object builds it
// from kind, descriptor and extra) and marks the descriptor close-on-exec
// again. Objects without a shareable descriptor (semaphores, mutexes,
// threads of this process) are not passed: the child has no handle there.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_types.h"

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

constexpr DWORD HANDLE_FLAG_INHERIT = 0x1;
constexpr DWORD HANDLE_FLAG_PROTECT_FROM_CLOSE = 0x2;

// What a child needs to rebuild an object: a kind word, a descriptor and a
// short text of digits and letters (no ',', ':' or '=').
struct NtInheritInfo {
  std::string kind;
  int fd = -1;
  std::string extra;
};

// Base of every object behind a handle. The object lives as long as a
// handle or a looked-up reference holds it; its destructor releases what it
// owns (file descriptors and the like).
class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  // How the object crosses into a child; false when it cannot.
  virtual bool nt_inherit_info(NtInheritInfo* /*info*/) const { return false; }
};

// Objects besides disk files that ReadFile and WriteFile reach (pipes,
// standard streams). Both calls have the Win32 results; the descriptor is
// the one a child's standard handle is given.
class NtIoObject : public KernelObject {
 public:
  virtual BOOL nt_read(void* buffer, DWORD count, DWORD* done) = 0;
  virtual BOOL nt_write(const void* buffer, DWORD count, DWORD* done) = 0;
  virtual int nt_stdio_fd() const = 0;
};

// Puts `object` into the table and returns its new handle; null (and
// ERROR_INVALID_PARAMETER) for a null object, null (and
// ERROR_TOO_MANY_OPEN_FILES) when the table is full. `flags` are the
// HANDLE_FLAG_* bits of the new handle.
HANDLE nt_insert_handle(std::shared_ptr<KernelObject> object, DWORD flags = 0);

// HANDLE_FLAG_INHERIT when the attributes ask for an inheritable handle.
DWORD nt_handle_flags_for(const SECURITY_ATTRIBUTES* security);

// The object behind `handle`, or null with ERROR_INVALID_HANDLE for a null,
// INVALID_HANDLE_VALUE, unknown or closed handle.
std::shared_ptr<KernelObject> nt_lookup_handle(HANDLE handle);

// The object behind `handle` when it is a T; otherwise null with
// ERROR_INVALID_HANDLE (a handle of another kind counts as invalid, as a
// file call on an event handle does in NT).
template <typename T>
std::shared_ptr<T> nt_lookup_handle_as(HANDLE handle);

// The I/O object behind `handle`, or null; the last error is left alone (the
// file calls try this before their own lookup).
std::shared_ptr<NtIoObject> nt_io_object(HANDLE handle);

// Removes the handle. The object is destroyed when its last reference goes.
// FALSE with ERROR_INVALID_HANDLE for a null, INVALID_HANDLE_VALUE, unknown
// or already closed handle, and for a handle protected from closing.
BOOL CloseHandle(HANDLE handle);

// The HANDLE_FLAG_* bits of a handle; ERROR_INVALID_HANDLE for a bad handle,
// ERROR_INVALID_PARAMETER for a null result pointer.
BOOL GetHandleInformation(HANDLE handle, DWORD* flags);
// Sets the bits of `mask` to those of `flags`. Bits other than the two
// handle flags: ERROR_INVALID_PARAMETER.
BOOL SetHandleInformation(HANDLE handle, DWORD mask, DWORD flags);

// Number of open handles (tests and leak checks).
size_t nt_handle_count();

// Largest number of handles open at once.
constexpr size_t NT_MAX_HANDLES = 16384;

// The inheritable handles and their objects, in handle order (CreateProcess).
struct NtHandleEntry {
  HANDLE handle;
  std::shared_ptr<KernelObject> object;
};
std::vector<NtHandleEntry> nt_inheritable_handles();

// Distance between two handle values.
constexpr uintptr_t NT_HANDLE_STEP = 4;

// Builds the object of one NT_HANDLES entry; null when the kind is unknown
// or the descriptor does not fit it. Must not use the handle table.
// (Defined by the process module, which knows every kind.)
std::shared_ptr<KernelObject> nt_import_inherited_object(const std::string& kind, int fd,
                                                         const std::string& extra);

// Parses an NT_HANDLES value; entries of another pid give an empty list.
// Malformed entries are skipped. (Exposed for tests.)
struct NtInheritedEntry {
  uintptr_t handle = 0;
  bool inheritable = true;  // false when the kind came as "~kind"
  std::string kind;
  int fd = -1;
  std::string extra;
};
std::vector<NtInheritedEntry> nt_parse_inherited_handles(const char* value, long pid);

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
