// The compiled form of a program's resources (string table, message table,
// version text) and the functions that write and read it.
//
// The build compiles each program's resource file into one blob that lives in
// the executable's section ".ntrsrc", so that another program can read it from
// the file without running it (see elf_section.h). Layout, little-endian:
//
//   offset  size  field
//        0     4  magic "NTRS"
//        4     2  layout version, 1
//        6     2  header size, 24
//        8     4  total size of the blob in bytes
//       12     4  entry count N
//       16     4  flags: bit 0 (RESOURCE_BLOB_LANGUAGES) set when the
//                 entries carry languages; other bits zero
//       20     4  reserved, zero
//       24  16*N  entries, sorted by (kind, id), no two alike:
//                   u32 kind (1 string, 2 message, 3 version)
//                   u32 id (0 for the version text)
//                   u32 offset of the text from the start of the blob
//                   u32 length of the text in bytes
//        ...      texts, UTF-8, each followed by one NUL that its length
//                 does not count (texts may hold NULs of their own)
//
// The blob may be followed by padding inside the section; the total size in
// the header says where it ends. A blob whose entries are all neutral is
// written without the flag, byte for byte as before languages existed, so
// older blobs and newer ones without languages read alike; a reader that
// knows no languages refuses a blob with them (its kinds are unknown to it)
// rather than mixing the languages up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum ResourceKind : uint32_t {
  RESOURCE_STRING = 1,
  RESOURCE_MESSAGE = 2,
  RESOURCE_VERSION = 3,
};

constexpr uint32_t RESOURCE_BLOB_VERSION = 1;
constexpr uint32_t RESOURCE_BLOB_LANGUAGES = 0x1;  // header flag
constexpr size_t RESOURCE_BLOB_HEADER_SIZE = 24;
constexpr size_t RESOURCE_BLOB_ENTRY_SIZE = 16;
// Largest blob a reader accepts (a guard against absurd sizes in a file).
constexpr size_t RESOURCE_BLOB_MAX_SIZE = 64u * 1024u * 1024u;

struct ResourceEntry {
  uint32_t kind = 0;
  uint32_t id = 0;
  std::string text;
  uint16_t language = 0;  // LANGID; 0 neutral
};

// Lays out `entries` as a blob (sorting them; the caller rules out doubles).
std::vector<uint8_t> serialize_resources(std::vector<ResourceEntry> entries);

// A checked view of a blob held elsewhere.
class ResourceBlob {
 public:
  // Checks every field of the blob at `data` (at most `available` bytes);
  // false for anything malformed, leaving the view empty.
  bool parse(const uint8_t* data, size_t available);

  bool empty() const { return count_ == 0; }
  size_t size() const { return size_; }
  size_t count() const { return count_; }
  const uint8_t* data() const { return data_; }

  // The entry at `index` (< count()).
  ResourceEntry entry(size_t index) const;
  // True when some entry has this kind.
  bool has_kind(uint32_t kind) const;
  // Finds one entry of any language, the lowest language id first (so a
  // neutral one when there is one); `text` views into the blob.
  bool find(uint32_t kind, uint32_t id, std::string_view* text) const;
  // Finds the entry of exactly this language.
  bool find(uint32_t kind, uint32_t id, uint16_t language, std::string_view* text) const;
  // The languages in which the entry exists, ascending.
  std::vector<uint16_t> languages(uint32_t kind, uint32_t id) const;

 private:
  uint32_t field(size_t offset) const;
  // Index of the first entry not before (kind, id, language).
  size_t lower_bound(uint32_t kind, uint32_t id, uint16_t language) const;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t count_ = 0;
};
