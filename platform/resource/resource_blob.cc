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

// Order of the entries: kind, id, language.
bool entry_less(uint32_t kind_a, uint32_t id_a, uint32_t lang_a, uint32_t kind_b, uint32_t id_b,
                uint32_t lang_b) {
  if (kind_a != kind_b) return kind_a < kind_b;
  if (id_a != id_b) return id_a < id_b;
  return lang_a < lang_b;
}

}  // namespace

std::vector<uint8_t> serialize_resources(std::vector<ResourceEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const ResourceEntry& a, const ResourceEntry& b) {
    return entry_less(a.kind, a.id, a.language, b.kind, b.id, b.language);
  });
  bool languages = false;
  for (const ResourceEntry& e : entries) languages = languages || e.language != 0;
  size_t total = RESOURCE_BLOB_HEADER_SIZE + entries.size() * RESOURCE_BLOB_ENTRY_SIZE;
  for (const ResourceEntry& e : entries) total += e.text.size() + 1;

  std::vector<uint8_t> out(total, 0);
  memcpy(out.data(), "NTRS", 4);
  put_u16(&out, 4, RESOURCE_BLOB_VERSION);
  put_u16(&out, 6, RESOURCE_BLOB_HEADER_SIZE);
  put_u32(&out, 8, static_cast<uint32_t>(total));
  put_u32(&out, 12, static_cast<uint32_t>(entries.size()));
  put_u32(&out, 16, languages ? RESOURCE_BLOB_LANGUAGES : 0);

  size_t text_at = RESOURCE_BLOB_HEADER_SIZE + entries.size() * RESOURCE_BLOB_ENTRY_SIZE;
  for (size_t i = 0; i < entries.size(); ++i) {
    const ResourceEntry& e = entries[i];
    size_t at = RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE;
    put_u32(&out, at, (e.kind & 0xFFFF) | static_cast<uint32_t>(e.language) << 16);
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
  uint32_t flags = get_u32(data + 16);
  if ((flags & ~RESOURCE_BLOB_LANGUAGES) != 0) return false;
  bool languages = (flags & RESOURCE_BLOB_LANGUAGES) != 0;
  if (get_u16(data + 6) != RESOURCE_BLOB_HEADER_SIZE) return false;
  uint64_t total = get_u32(data + 8);
  uint64_t count = get_u32(data + 12);
  if (total > available || total > RESOURCE_BLOB_MAX_SIZE) return false;
  if (RESOURCE_BLOB_HEADER_SIZE + count * RESOURCE_BLOB_ENTRY_SIZE > total) return false;

  uint32_t last_kind = 0;
  uint32_t last_id = 0;
  uint32_t last_lang = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* e = data + RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE;
    uint32_t kind = get_u32(e) & 0xFFFF;
    uint32_t lang = get_u32(e) >> 16;
    if (!languages && lang != 0) return false;
    uint32_t id = get_u32(e + 4);
    uint64_t offset = get_u32(e + 8);
    uint64_t length = get_u32(e + 12);
    if (kind < RESOURCE_STRING || kind > RESOURCE_VERSION) return false;
    if (i > 0 && !entry_less(last_kind, last_id, last_lang, kind, id, lang)) return false;
    if (offset < RESOURCE_BLOB_HEADER_SIZE + count * RESOURCE_BLOB_ENTRY_SIZE) return false;
    if (offset + length >= total || data[offset + length] != 0) return false;
    last_kind = kind;
    last_id = id;
    last_lang = lang;
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
  e.kind = field(at) & 0xFFFF;
  e.language = static_cast<uint16_t>(field(at) >> 16);
  e.id = field(at + 4);
  e.text.assign(reinterpret_cast<const char*>(data_) + field(at + 8), field(at + 12));
  return e;
}

bool ResourceBlob::has_kind(uint32_t kind) const {
  for (size_t i = 0; i < count_; ++i) {
    if ((field(RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE) & 0xFFFF) == kind) {
      return true;
    }
  }
  return false;
}

size_t ResourceBlob::lower_bound(uint32_t kind, uint32_t id, uint16_t language) const {
  size_t lo = 0;
  size_t hi = count_;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    size_t at = RESOURCE_BLOB_HEADER_SIZE + mid * RESOURCE_BLOB_ENTRY_SIZE;
    if (entry_less(field(at) & 0xFFFF, field(at + 4), field(at) >> 16, kind, id, language)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

bool ResourceBlob::find(uint32_t kind, uint32_t id, uint16_t language,
                        std::string_view* text) const {
  size_t index = lower_bound(kind, id, language);
  if (index >= count_) return false;
  size_t at = RESOURCE_BLOB_HEADER_SIZE + index * RESOURCE_BLOB_ENTRY_SIZE;
  if (field(at) != ((kind & 0xFFFF) | static_cast<uint32_t>(language) << 16) ||
      field(at + 4) != id) {
    return false;
  }
  if (text != nullptr) {
    *text = std::string_view(reinterpret_cast<const char*>(data_) + field(at + 8), field(at + 12));
  }
  return true;
}

bool ResourceBlob::find(uint32_t kind, uint32_t id, std::string_view* text) const {
  std::vector<uint16_t> found = languages(kind, id);
  return !found.empty() && find(kind, id, found.front(), text);
}

std::vector<uint16_t> ResourceBlob::languages(uint32_t kind, uint32_t id) const {
  std::vector<uint16_t> out;
  for (size_t i = lower_bound(kind, id, 0); i < count_; ++i) {
    size_t at = RESOURCE_BLOB_HEADER_SIZE + i * RESOURCE_BLOB_ENTRY_SIZE;
    if ((field(at) & 0xFFFF) != kind || field(at + 4) != id) break;
    out.push_back(static_cast<uint16_t>(field(at) >> 16));
  }
  return out;
}
