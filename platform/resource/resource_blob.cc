#include "platform/resource/resource_blob.h"

#include <algorithm>
#include <cstring>

namespace {

void put_u16(std::vector<uint8_t>* out, size_t at, uint32_t v) {
  (*out)[at] = static_cast<uint8_t>(v);
  (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t get_u16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | p[1] << 8; }

bool entry_less(uint32_t kind_a, uint32_t id_a, uint32_t kind_b, uint32_t id_b) {
  return kind_a != kind_b ? kind_a < kind_b : id_a < id_b;
}

}  // namespace

std::vector<uint8_t> serialize_resources(std::vector<ResourceEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const ResourceEntry& a, const ResourceEntry& b) {
    return entry_less(a.kind, a.id, b.kind, b.id);
  });
  size_t total = RESOURCE_BLOB_HEADER_SIZE + entries.size() * RESOURCE_BLOB_ENTRY_SIZE;
  for (const ResourceEntry& e : entries) total += e.text.size() + 1;

  std::vector<uint8_t> out(total, 0);
  memcpy(out.data(), "NTRS", 4);
  put_u16(&out, 4, RESOURCE_BLOB_VERSION);
  put_u16(&out, 6, RESOURCE_BLOB_HEADER_SIZE);
  put_u32(&out, 8, static_cast<uint32_t>(total));
  put_u32(&out, 12, static_cast<uint32_t>(entries.size()));

  size_t text_at = RESOURCE_BLOB_HEADER_SIZE + entries.size() * RESOURCE_BLOB_ENTRY_SIZE;
  for (size_t i = 0; i < entries.size(); ++i) {
    const ResourceEntry& e = entries[i];
    size_t at = RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE;
    put_u32(&out, at, e.kind);
    put_u32(&out, at + 4, e.id);
    put_u32(&out, at + 8, static_cast<uint32_t>(text_at));
    put_u32(&out, at + 12, static_cast<uint32_t>(e.text.size()));
    if (!e.text.empty()) memcpy(out.data() + text_at, e.text.data(), e.text.size());
    text_at += e.text.size() + 1;  // the NUL is already there
  }
  return out;
}

uint32_t ResourceBlob::field(size_t offset) const { return get_u32(data_ + offset); }

bool ResourceBlob::parse(const uint8_t* data, size_t available) {
  data_ = nullptr;
  size_ = 0;
  count_ = 0;
  if (data == nullptr || available < RESOURCE_BLOB_HEADER_SIZE) return false;
  if (memcmp(data, "NTRS", 4) != 0) return false;
  if (get_u16(data + 4) != RESOURCE_BLOB_VERSION) return false;
  if (get_u16(data + 6) != RESOURCE_BLOB_HEADER_SIZE) return false;
  uint64_t total = get_u32(data + 8);
  uint64_t count = get_u32(data + 12);
  if (total > available || total > RESOURCE_BLOB_MAX_SIZE) return false;
  if (RESOURCE_BLOB_HEADER_SIZE + count * RESOURCE_BLOB_ENTRY_SIZE > total) return false;

  uint32_t last_kind = 0;
  uint32_t last_id = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* e = data + RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE;
    uint32_t kind = get_u32(e);
    uint32_t id = get_u32(e + 4);
    uint64_t offset = get_u32(e + 8);
    uint64_t length = get_u32(e + 12);
    if (kind < RESOURCE_STRING || kind > RESOURCE_VERSION) return false;
    if (i > 0 && !entry_less(last_kind, last_id, kind, id)) return false;
    if (offset < RESOURCE_BLOB_HEADER_SIZE + count * RESOURCE_BLOB_ENTRY_SIZE) return false;
    if (offset + length >= total || data[offset + length] != 0) return false;
    last_kind = kind;
    last_id = id;
  }
  data_ = data;
  size_ = static_cast<size_t>(total);
  count_ = static_cast<size_t>(count);
  return true;
}

ResourceEntry ResourceBlob::entry(size_t index) const {
  ResourceEntry e;
  if (index >= count_) return e;
  size_t at = RESOURCE_BLOB_HEADER_SIZE + index * RESOURCE_BLOB_ENTRY_SIZE;
  e.kind = field(at);
  e.id = field(at + 4);
  e.text.assign(reinterpret_cast<const char*>(data_) + field(at + 8), field(at + 12));
  return e;
}

bool ResourceBlob::has_kind(uint32_t kind) const {
  for (size_t i = 0; i < count_; ++i) {
    if (field(RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE) == kind) return true;
  }
  return false;
}

bool ResourceBlob::find(uint32_t kind, uint32_t id, std::string_view* text) const {
  size_t lo = 0;
  size_t hi = count_;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    size_t at = RESOURCE_BLOB_HEADER_SIZE + mid * RESOURCE_BLOB_ENTRY_SIZE;
    uint32_t k = field(at);
    uint32_t i = field(at + 4);
    if (k == kind && i == id) {
      if (text != nullptr) {
        *text = std::string_view(reinterpret_cast<const char*>(data_) + field(at + 8),
                                 field(at + 12));
      }
      return true;
    }
    if (entry_less(k, i, kind, id)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return false;
}
