// Feeds arbitrary bytes to the readers of resource files, blobs, ELF files
// and message texts: none may read out of bounds or fail to terminate.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/resource/elf_section.h"
#include "platform/resource/format_message.h"
#include "platform/resource/rc_parser.h"
#include "platform/resource/resource_blob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  std::vector<ResourceEntry> entries;
  std::string error;
  if (parse_resource_file(text, "fuzz.rc", &entries, &error)) {
    // What the parser accepts, the blob reader must read back.
    std::vector<uint8_t> blob = serialize_resources(entries);
    ResourceBlob view;
    if (!view.parse(blob.data(), blob.size()) || view.count() != entries.size()) __builtin_trap();
  }

  ResourceBlob blob;
  if (blob.parse(data, size)) {
    for (size_t i = 0; i < blob.count(); ++i) {
      ResourceEntry e = blob.entry(i);
      std::string_view found;
      if (!blob.find(e.kind, e.id, e.language, &found)) __builtin_trap();
      if (!blob.find(e.kind, e.id, &found)) __builtin_trap();
    }
  }

  std::vector<uint8_t> image(data, data + size);
  std::vector<uint8_t> section;
  read_elf_section(image, ".ntrsrc", &section);

  nt_format_message(text, {"one", "two", "three"});
  return 0;
}
