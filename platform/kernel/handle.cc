#include "platform/kernel/handle.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/kernel/error.h"

namespace {

constexpr uintptr_t HANDLE_STEP = 4;

struct HandleTable {
  std::mutex lock;
  // Slot i holds the object of handle (i + 1) * 4; null marks a free slot.
  std::vector<std::shared_ptr<KernelObject>> slots;
  size_t used = 0;
};

HandleTable& table() {
  // Never destroyed, so that objects closed by static destructors of other
  // modules still find the table.
  static HandleTable* t = new HandleTable;
  return *t;
}

// The slot index of a handle value, or -1 when the value can name no slot.
long slot_of(HANDLE handle) {
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if (v == 0 || handle == INVALID_HANDLE_VALUE || v % HANDLE_STEP != 0) return -1;
  uintptr_t index = v / HANDLE_STEP - 1;
  if (index >= NT_MAX_HANDLES) return -1;
  return static_cast<long>(index);
}

}  // namespace

void nt_set_invalid_handle_error() { SetLastError(ERROR_INVALID_HANDLE); }

HANDLE nt_insert_handle(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  size_t index = 0;
  while (index < t.slots.size() && t.slots[index]) ++index;
  if (index == t.slots.size()) {
    if (t.slots.size() >= NT_MAX_HANDLES) {
      SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    t.slots.emplace_back();
  }
  t.slots[index] = std::move(object);
  ++t.used;
  return reinterpret_cast<HANDLE>((index + 1) * HANDLE_STEP);
}

std::shared_ptr<KernelObject> nt_lookup_handle(HANDLE handle) {
  long index = slot_of(handle);
  if (index >= 0) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (static_cast<size_t>(index) < t.slots.size() && t.slots[index]) return t.slots[index];
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

BOOL CloseHandle(HANDLE handle) {
  long index = slot_of(handle);
  std::shared_ptr<KernelObject> doomed;
  if (index >= 0) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (static_cast<size_t>(index) < t.slots.size() && t.slots[index]) {
      doomed = std::move(t.slots[index]);
      t.slots[index].reset();
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

size_t nt_handle_count() {
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.used;
}
