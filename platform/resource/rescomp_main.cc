// The resource compiler: turns a program's resource file into a C++ source
// that defines the program's resource blob.
//
//   rescomp <file.rc> <out.cc>    compile
//   rescomp -l <executable>       list the resources an executable carries
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/resource/elf_section.h"
#include "platform/resource/rc_parser.h"
#include "platform/resource/resource_blob.h"

namespace {

int usage() {
  fprintf(stderr, "usage: rescomp <file.rc> <out.cc>\n       rescomp -l <executable>\n");
  return 2;
}

// Text with its control characters written as escapes, for the listing.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\a': out += "\\a"; break;
      case '\b': out += "\\b"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (c < 0x20) {
          char hex[8];
          snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

int list(const char* path) {
  std::vector<uint8_t> section;
  unsigned long code = read_elf_section_file(path, RESOURCE_SECTION_NAME, &section);
  if (code != 0) {
    fprintf(stderr, "rescomp: %s: no resources read, error=%lu\n", path, code);
    return 1;
  }
  ResourceBlob blob;
  if (!blob.parse(section.data(), section.size())) {
    fprintf(stderr, "rescomp: %s: damaged resource section\n", path);
    return 1;
  }
  for (size_t i = 0; i < blob.count(); ++i) {
    ResourceEntry e = blob.entry(i);
    if (e.language != 0) printf("LANGUAGE 0x%04X ", e.language);
    if (e.kind == RESOURCE_STRING) {
      printf("STRING %u \"%s\"\n", e.id, shown(e.text).c_str());
    } else if (e.kind == RESOURCE_MESSAGE) {
      printf("MESSAGE 0x%08X \"%s\"\n", e.id, shown(e.text).c_str());
    } else {
      printf("VERSION \"%s\"\n", shown(e.text).c_str());
    }
  }
  return 0;
}

int compile(const char* input, const char* output) {
  std::ifstream in(input, std::ios::binary);
  if (!in) {
    fprintf(stderr, "%s: cannot open: %s\n", input, strerror(errno));
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    fprintf(stderr, "%s: cannot read\n", input);
    return 1;
  }
  std::vector<ResourceEntry> entries;
  std::string error;
  if (!parse_resource_file(text, input, &entries, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::string source = resource_blob_source(serialize_resources(entries), input);

  // Written beside the target and renamed, so a failed run leaves no half file.
  std::string temp = std::string(output) + ".tmp";
  FILE* f = fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    fprintf(stderr, "%s: cannot create: %s\n", temp.c_str(), strerror(errno));
    return 1;
  }
  bool ok = fwrite(source.data(), 1, source.size(), f) == source.size();
  ok = fclose(f) == 0 && ok;
  if (!ok || rename(temp.c_str(), output) != 0) {
    fprintf(stderr, "%s: cannot write: %s\n", output, strerror(errno));
    remove(temp.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return usage();
  if (strcmp(argv[1], "-l") == 0) return list(argv[2]);
  return compile(argv[1], argv[2]);
}
