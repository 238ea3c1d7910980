// Feeds arbitrary text to the path syntax and the search patterns and checks
// what must hold for any input: a full path is stable (making it full again
// changes nothing), keeps its root, stays within its length limit and holds
// no "." or ".." names; a pattern never fails to match itself when it has no
// wildcards, and "*" matches everything.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/files/nt_path.h"
#include "platform/files/nt_wildcard.h"
#include "platform/kernel/error.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void full_paths(const std::string& text) {
  NtCurrentDirs dirs;
  dirs.current = "C:\\work\\dir";
  dirs.drives['D' - 'A'] = "D:\\data";
  std::string full;
  if (nt_full_path(text, dirs, &full) != ERROR_SUCCESS) return;
  NtPathParts parts = nt_split_full_path(full);
  if (parts.kind == NtPathKind::device) return;
  check(!full.empty());
  for (const std::string& name : parts.names) {
    check(!name.empty() && name != "." && name != "..");
  }
  if (parts.kind == NtPathKind::drive) {
    check(nt_path_chars(full) <= kNtMaxLongPathChars);
    std::string again;
    check(nt_full_path(full, dirs, &again) == ERROR_SUCCESS);
    check(again == full);
  }
  if (parts.kind == NtPathKind::host) check(full[0] == '/');
}

void patterns(const std::string& text) {
  size_t split = text.find('\n');
  std::string pattern = text.substr(0, split);
  std::string name = split == std::string::npos ? pattern : text.substr(split + 1);
  NtPattern compiled(pattern);
  bool matched = compiled.matches(name);
  if (!compiled.has_wildcards() && pattern == name && name.find('.') == std::string::npos) {
    check(matched);
  }
  check(NtPattern("*").matches(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;
  full_paths(text);
  patterns(text);
  return 0;
}
