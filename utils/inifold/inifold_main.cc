// inifold: applies a changes file to an INI-style target file: adds,
// replaces and deletes keys and whole sections. The target is rewritten
// through a temporary, so a failure never leaves it half written.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "utils/common/file_content.h"
#include "utils/common/file_replacement.h"
#include "utils/inifold/ini_file.h"
#include "utils/inifold/ini_merge.h"

namespace {

constexpr int kExitNames = 1;
constexpr int kExitTarget = 2;
constexpr int kExitChanges = 3;
constexpr int kExitMemory = 4;

// Reads a whole file; on failure prints the message and returns the exit
// code (`open_exit` for a file that cannot be opened), else 0.
int load(const char* path, int open_exit, FileBuffer* buffer, std::string_view* text) {
  uint64_t size = 0;
  if (!query_file_size(path, &size)) {
    fprintf(stderr, "cannot stat %s\n", path);
    return kExitTarget;
  }
  *buffer = allocate_file_buffer(size);
  if (!*buffer) {
    fputs("out of memory\n", stderr);
    return kExitMemory;
  }
  uint64_t read = 0;
  if (read_file_into(path, buffer->get(), size, &read) != ReadStatus::kDone) {
    fprintf(stderr, "cannot open %s\n", path);
    return open_exit;
  }
  *text = std::string_view(buffer->get(), static_cast<size_t>(read));
  return 0;
}

// Parses a file; on a file beyond the tables' limits prints the message and
// returns `limit_exit`, else 0.
int parse(const char* path, std::string_view text, int limit_exit, IniFile* file) {
  switch (parse_ini(text, file)) {
    case IniParseResult::kOk:
      return 0;
    case IniParseResult::kTooManySections:
      fprintf(stderr, "too many sections in %s (more than %zu)\n", path, INI_MAX_SECTIONS);
      return limit_exit;
    case IniParseResult::kTooManyLines:
      fprintf(stderr, "too many lines in %s (more than %zu)\n", path, INI_MAX_LINES);
      return limit_exit;
  }
  return limit_exit;
}

}  // namespace

int main(int argc, char** argv) {
  const char* target_name = nullptr;
  const char* changes_name = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    if (!target_name) {
      target_name = argv[i];
    } else if (!changes_name) {
      changes_name = argv[i];
    } else {
      fprintf(stderr, "Ignore:%s\n", argv[i]);
    }
  }
  if (!target_name) fputs("input fn not set !\n", stderr);
  if (!changes_name) fputs("output fn not set !\n", stderr);
  if (!target_name || !changes_name) return kExitNames;

  FileBuffer target_buffer, changes_buffer;
  std::string_view target_text, changes_text;
  if (int code = load(target_name, kExitTarget, &target_buffer, &target_text)) return code;
  if (int code = load(changes_name, kExitChanges, &changes_buffer, &changes_text)) return code;

  IniFile target, changes;
  if (int code = parse(target_name, target_text, kExitTarget, &target)) return code;
  if (int code = parse(changes_name, changes_text, kExitChanges, &changes)) return code;

  const std::string merged = merge_ini(target, &changes);

  FileReplacement output(target_name, "~if");
  if (!output.begin()) {
    fprintf(stderr, "cannot open %s for write\n", target_name);
    return kExitTarget;
  }
  if (!output.write(merged) || !output.finish()) {
    fprintf(stderr, "write(%s) failed\n", target_name);
    return kExitTarget;
  }
  if (!output.commit()) {
    fprintf(stderr, "rename(%s) failed\n", target_name);
    return kExitTarget;
  }
  return 0;
}
