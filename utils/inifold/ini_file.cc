#include "utils/inifold/ini_file.h"

namespace {

bool below(char c, unsigned limit) { return static_cast<unsigned char>(c) < limit; }

}  // namespace

IniParseResult parse_ini(std::string_view text, IniFile* file) {
  file->sections.clear();
  file->entries.clear();
  size_t pos = text.find('[');
  if (pos == std::string_view::npos) return IniParseResult::kOk;
  const size_t end = text.size();
  while (pos < end) {
    // Here text[pos] is the "[" of a header.
    if (file->sections.size() == INI_MAX_SECTIONS) return IniParseResult::kTooManySections;
    size_t name_start = ++pos;
    while (pos < end && text[pos] != ']' && text[pos] != '\n' && text[pos] != '\r') ++pos;
    IniSection section;
    section.name = text.substr(name_start, pos - name_start);
    section.first_entry = file->entries.size();
    while (pos < end && text[pos] != '\n') ++pos;
    for (;;) {
      while (pos < end && below(text[pos], 33)) ++pos;
      if (pos == end || text[pos] == '[') break;
      if (file->entries.size() == INI_MAX_LINES) return IniParseResult::kTooManyLines;
      size_t entry_start = pos;
      while (pos < end && !below(text[pos], 32)) ++pos;
      file->entries.push_back(IniEntry{text.substr(entry_start, pos - entry_start), false});
    }
    section.entry_count = file->entries.size() - section.first_entry;
    file->sections.push_back(section);
  }
  return IniParseResult::kOk;
}
