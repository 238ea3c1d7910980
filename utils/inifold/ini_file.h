// An INI-style file split into sections and entry lines, as inifold reads
// both its target and its changes file.
//
// Everything before the first "[" is ignored. A section header is "[",
// the name up to "]" (or the end of the line), and the rest of its line,
// which is ignored. After it, characters below 33 (blanks, tabs, line ends)
// are skipped; a "[" starts the next section, any other character an entry
// line that runs up to the first character below 32, so a tab ends an entry
// and the text after it is a further entry. Blank lines and leading blanks
// are thus not kept. The views point into the text that was parsed.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

constexpr size_t INI_MAX_SECTIONS = 256;
constexpr size_t INI_MAX_LINES = 5120;

struct IniEntry {
  std::string_view text;
  bool consumed = false;  // applied; skipped from then on
};

struct IniSection {
  std::string_view name;
  size_t first_entry = 0;  // index into IniFile::entries
  size_t entry_count = 0;
  bool consumed = false;
};

struct IniFile {
  std::vector<IniSection> sections;
  std::vector<IniEntry> entries;
};

enum class IniParseResult {
  kOk,
  kTooManySections,  // more than INI_MAX_SECTIONS
  kTooManyLines,     // more than INI_MAX_LINES entry lines
};

// Splits `text` into `*file`. Beyond either limit nothing is kept short:
// the file is reported as too large instead.
IniParseResult parse_ini(std::string_view text, IniFile* file);
