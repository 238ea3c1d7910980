#include "platform/kernel/handle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/kernel/error.h"

namespace {

struct Slot {
  std::shared_ptr<KernelObject> object;
  DWORD flags = 0;
};

struct HandleTable {
  std::mutex lock;
  // Slot i holds the object of handle (i + 1) * 4; a null object marks a
  // free slot.
  std::vector<Slot> slots;
  size_t used = 0;
};

HandleTable& raw_table() {
  // Never destroyed, so that objects closed by static destructors of other
  // modules still find the table.
  static HandleTable* t = new HandleTable;
  return *t;
}

// Puts the objects handed down by the parent under their handle values.
// Runs once, before any other use of the table.
void import_inherited(HandleTable& t) {
  const char* value = getenv("NT_HANDLES");
  if (value == nullptr) return;
  // Two handles of one object come with the same descriptor: they name one
  // object here too.
  std::map<int, std::shared_ptr<KernelObject>> built;
  for (const NtInheritedEntry& entry : nt_parse_inherited_handles(value, getpid())) {
    size_t index = entry.handle / NT_HANDLE_STEP - 1;
    if (index < t.slots.size() && t.slots[index].object) continue;
    std::shared_ptr<KernelObject>& object = built[entry.fd];
    if (!object) {
      if (fcntl(entry.fd, F_GETFD) < 0) continue;  // not open here after all
      // The descriptor belongs to the object now; a grandchild gets it only
      // when the handle is inherited again.
      fcntl(entry.fd, F_SETFD, FD_CLOEXEC);
      object = nt_import_inherited_object(entry.kind, entry.fd, entry.extra);
      if (!object) continue;
    }
    if (index >= t.slots.size()) t.slots.resize(index + 1);
    t.slots[index].object = object;
    t.slots[index].flags = entry.inheritable ? HANDLE_FLAG_INHERIT : 0;
    ++t.used;
  }
}

HandleTable& table() {
  static std::once_flag once;
  HandleTable& t = raw_table();
  std::call_once(once, [&t] { import_inherited(t); });
  return t;
}

// The slot index of a handle value, or -1 when the value can name no slot.
long slot_of(HANDLE handle) {
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if (v == 0 || handle == INVALID_HANDLE_VALUE || v % NT_HANDLE_STEP != 0) return -1;
  uintptr_t index = v / NT_HANDLE_STEP - 1;
  if (index >= NT_MAX_HANDLES) return -1;
  return static_cast<long>(index);
}

// The slot of a live handle (table locked), or null.
Slot* live_slot(HandleTable& t, HANDLE handle) {
  long index = slot_of(handle);
  if (index < 0 || static_cast<size_t>(index) >= t.slots.size()) return nullptr;
  Slot& slot = t.slots[index];
  return slot.object ? &slot : nullptr;
}

bool parse_number(const char*& p, unsigned long long* out) {
  if (*p < '0' || *p > '9') return false;
  char* end = nullptr;
  errno = 0;
  *out = strtoull(p, &end, 10);
  if (errno != 0) return false;
  p = end;
  return true;
}

}  // namespace

void nt_set_invalid_handle_error() { SetLastError(ERROR_INVALID_HANDLE); }

std::vector<NtInheritedEntry> nt_parse_inherited_handles(const char* value, long pid) {
  std::vector<NtInheritedEntry> entries;
  if (value == nullptr) return entries;
  const char* p = value;
  unsigned long long owner = 0;
  if (!parse_number(p, &owner) || *p != ':' || static_cast<long long>(owner) != pid) {
    return entries;
  }
  ++p;
  while (*p != '\0') {
    const char* end = strchr(p, ',');
    std::string item = end ? std::string(p, end) : std::string(p);
    p = end ? end + 1 : p + strlen(p);
    // <handle>=<kind>:<fd>[:<extra>]
    const char* q = item.c_str();
    unsigned long long handle = 0, fd = 0;
    if (!parse_number(q, &handle) || *q != '=') continue;
    ++q;
    const char* colon = strchr(q, ':');
    if (colon == nullptr || colon == q) continue;
    NtInheritedEntry entry;
    // "~kind": the handle is not inheritable in the child.
    if (*q == '~') {
      entry.inheritable = false;
      ++q;
      if (q == colon) continue;
    }
    entry.kind.assign(q, colon);
    q = colon + 1;
    if (!parse_number(q, &fd) || (*q != '\0' && *q != ':')) continue;
    if (*q == ':') entry.extra = q + 1;
    if (handle == 0 || handle % NT_HANDLE_STEP != 0 ||
        handle / NT_HANDLE_STEP > NT_MAX_HANDLES || fd > 0x7FFFFFFF) {
      continue;
    }
    entry.handle = static_cast<uintptr_t>(handle);
    entry.fd = static_cast<int>(fd);
    entries.push_back(std::move(entry));
  }
  return entries;
}

DWORD nt_handle_flags_for(const SECURITY_ATTRIBUTES* security) {
  return security != nullptr && security->bInheritHandle ? HANDLE_FLAG_INHERIT : 0;
}

HANDLE nt_insert_handle(std::shared_ptr<KernelObject> object, DWORD flags) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  size_t index = 0;
  while (index < t.slots.size() && t.slots[index].object) ++index;
  if (index == t.slots.size()) {
    if (t.slots.size() >= NT_MAX_HANDLES) {
      SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    t.slots.emplace_back();
  }
  t.slots[index].object = std::move(object);
  t.slots[index].flags = flags & (HANDLE_FLAG_INHERIT | HANDLE_FLAG_PROTECT_FROM_CLOSE);
  ++t.used;
  return reinterpret_cast<HANDLE>((index + 1) * NT_HANDLE_STEP);
}

std::shared_ptr<KernelObject> nt_lookup_handle(HANDLE handle) {
  HandleTable& t = table();
  {
    std::lock_guard<std::mutex> guard(t.lock);
    if (Slot* slot = live_slot(t, handle)) return slot->object;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

std::shared_ptr<NtIoObject> nt_io_object(HANDLE handle) {
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  Slot* slot = live_slot(t, handle);
  if (slot == nullptr) return nullptr;
  return std::dynamic_pointer_cast<NtIoObject>(slot->object);
}

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;
  HandleTable& t = table();
  {
    std::lock_guard<std::mutex> guard(t.lock);
    Slot* slot = live_slot(t, handle);
    if (slot != nullptr && !(slot->flags & HANDLE_FLAG_PROTECT_FROM_CLOSE)) {
      doomed = std::move(slot->object);
      slot->object.reset();
      slot->flags = 0;
      --t.used;
    }
  }
  if (!doomed) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The object's destructor runs here, outside the table lock, so that it
  // may itself open or close handles.
  doomed.reset();
  return TRUE;
}

BOOL GetHandleInformation(HANDLE handle, DWORD* flags) {
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  Slot* slot = live_slot(t, handle);
  if (slot == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (flags == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *flags = slot->flags;
  return TRUE;
}

BOOL SetHandleInformation(HANDLE handle, DWORD mask, DWORD flags) {
  constexpr DWORD known = HANDLE_FLAG_INHERIT | HANDLE_FLAG_PROTECT_FROM_CLOSE;
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  Slot* slot = live_slot(t, handle);
  if (slot == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((mask & ~known) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  slot->flags = (slot->flags & ~mask) | (flags & mask);
  return TRUE;
}

size_t nt_handle_count() {
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.used;
}

std::vector<NtHandleEntry> nt_inheritable_handles() {
  std::vector<NtHandleEntry> entries;
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  for (size_t i = 0; i < t.slots.size(); ++i) {
    const Slot& slot = t.slots[i];
    if (slot.object && (slot.flags & HANDLE_FLAG_INHERIT)) {
      entries.push_back(
          NtHandleEntry{reinterpret_cast<HANDLE>((i + 1) * NT_HANDLE_STEP), slot.object});
    }
  }
  return entries;
}
