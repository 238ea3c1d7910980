#include "platform/netapi/net_buffer.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace {

// Blocks handed out and not yet freed, so that a stray pointer is refused
// instead of freed.
std::mutex g_blocks_mutex;
std::unordered_set<void*>& live_blocks() {
  static std::unordered_set<void*> blocks;
  return blocks;
}

// Records are aligned for their pointers; the strings follow.
size_t round_up(size_t n, size_t to) { return (n + to - 1) / to * to; }

}  // namespace

NET_API_STATUS net_status(NET_API_STATUS status) {
  SetLastError(status);
  return status;
}

NET_API_STATUS NetApiBufferAllocate(DWORD size, void** buffer) {
  if (buffer == nullptr) return net_status(ERROR_INVALID_PARAMETER);
  *buffer = nullptr;
  void* block = std::calloc(1, size == 0 ? 1 : size);
  if (block == nullptr) return net_status(ERROR_NOT_ENOUGH_MEMORY);
  {
    std::lock_guard<std::mutex> lock(g_blocks_mutex);
    live_blocks().insert(block);
  }
  *buffer = block;
  return net_status(NERR_Success);
}

// Success leaves the last error alone, so that a caller may free a result
// before it looks at the error of the call that made it.
NET_API_STATUS NetApiBufferFree(void* buffer) {
  if (buffer == nullptr) return NERR_Success;
  {
    std::lock_guard<std::mutex> lock(g_blocks_mutex);
    if (live_blocks().erase(buffer) == 0) return net_status(ERROR_INVALID_PARAMETER);
  }
  std::free(buffer);
  return NERR_Success;
}

NetPacker::~NetPacker() {
  if (block_ != nullptr) NetApiBufferFree(block_);
}

NET_API_STATUS NetPacker::allocate(size_t count, size_t record_size, size_t string_units) {
  if (count == 0) return NERR_Success;
  size_t records = round_up(count * record_size, alignof(void*));
  size_t total = records + string_units * sizeof(WCHAR);
  if (total > 0xFFFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
  void* block = nullptr;
  NET_API_STATUS status = NetApiBufferAllocate(static_cast<DWORD>(total), &block);
  if (status != NERR_Success) return status;
  block_ = static_cast<BYTE*>(block);
  record_size_ = record_size;
  strings_ = reinterpret_cast<WCHAR*>(block_ + records);
  units_ = string_units;
  next_unit_ = 0;
  return NERR_Success;
}

void* NetPacker::record(size_t index) const { return block_ + index * record_size_; }

LPWSTR NetPacker::put(std::u16string_view text) {
  // The caller counted the strings; a miscount must not write past the end.
  if (next_unit_ + text.size() + 1 > units_) return nullptr;
  WCHAR* out = strings_ + next_unit_;
  std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
  out[text.size()] = 0;
  next_unit_ += text.size() + 1;
  return out;
}

LPBYTE NetPacker::release() {
  BYTE* block = block_;
  block_ = nullptr;
  return block;
}

size_t net_record_bytes(size_t record_size, std::initializer_list<std::u16string_view> strings) {
  size_t bytes = record_size;
  for (std::u16string_view s : strings) bytes += (s.size() + 1) * sizeof(WCHAR);
  return bytes;
}

NET_API_STATUS net_slice(const std::vector<size_t>& record_bytes, DWORD prefmaxlen,
                         DWORD* resume, size_t* first, size_t* count, DWORD* totalentries) {
  size_t start = resume != nullptr ? *resume : 0;
  if (start > record_bytes.size()) start = record_bytes.size();
  size_t end = start;
  if (prefmaxlen == MAX_PREFERRED_LENGTH) {
    end = record_bytes.size();
  } else {
    size_t used = 0;
    while (end < record_bytes.size() &&
           (end == start || used + record_bytes[end] <= prefmaxlen)) {
      used += record_bytes[end];
      ++end;
    }
  }
  *first = start;
  *count = end - start;
  *totalentries = static_cast<DWORD>(record_bytes.size() - start);
  if (end < record_bytes.size()) {
    if (resume != nullptr) *resume = static_cast<DWORD>(end);
    return ERROR_MORE_DATA;
  }
  if (resume != nullptr) *resume = 0;
  return NERR_Success;
}
