// replz: replaces, in one file, every occurrence of a search text by a
// replacement text. Letters a to z match either case. The file is rewritten
// through a temporary, so a failure never leaves it half written.
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "utils/common/file_content.h"
#include "utils/common/file_replacement.h"
#include "utils/replz/replace_text.h"

int main(int argc, char** argv) {
  // An empty search text would match nothing sensible; it is refused.
  if (argc < 4 || argv[2][0] == '\0') {
    fputs("usage: replz <file> <search> <replace>\n", stderr);
    return 1;
  }
  const char* path = argv[1];
  uint64_t size = 0;
  if (!query_file_size(path, &size) || size == 0) {
    fprintf(stderr, "getsize(%s) failed\n", path);
    return 1;
  }
  FileBuffer buffer = allocate_file_buffer(size);
  if (!buffer) {
    fprintf(stderr, "malloc(%ld) failed\n", static_cast<long>(size));
    return 1;
  }
  uint64_t read = 0;
  if (read_file_into(path, buffer.get(), size, &read) == ReadStatus::kOpenFailed) {
    fprintf(stderr, "fopen(%s) failed\n", path);
    return 1;
  }
  if (read != size) {
    fprintf(stderr, "mismatch: read(%ld), size(%ld)\n", static_cast<long>(read),
            static_cast<long>(size));
    return 1;
  }

  FileReplacement output(path, "~rz");
  if (!output.begin()) {
    fprintf(stderr, "fopen(%s) for WRITE failed\n", path);
    return 1;
  }
  const std::string_view data(buffer.get(), static_cast<size_t>(size));
  const bool written =
      replace_text(data, argv[2], argv[3],
                   [&output](const char* bytes, size_t count) {
                     return output.write(bytes, count);
                   }) &&
      output.finish();
  if (!written) {
    fprintf(stderr, "write(%s) failed\n", path);
    return 1;
  }
  if (!output.commit()) {
    fprintf(stderr, "rename(%s) failed\n", path);
    return 1;
  }
  return 0;
}
