// The parsed form of an INI file, kept line by line so that a rewrite
// changes only the lines it means to change.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace profile_internal {

struct Entry {
  std::string raw;       // the line as read (or as it will be written)
  std::string key;       // trimmed; empty for blank and comment lines
  std::string value;     // trimmed, quotes kept
  std::u16string folded; // the key upper-cased, for comparisons
  bool is_key = false;   // a "key=value" or "key" line
  bool has_value = false;
};

struct Section {
  std::string raw_header;
  std::string name;
  std::u16string folded;
  std::vector<Entry> entries;
};

struct ProfileFile {
  std::vector<std::string> preamble;  // lines before the first header
  std::vector<Section> sections;
};

// Text trimmed of blanks and tabs at both ends.
std::string_view trim_blanks(std::string_view text);

// The name upper-cased with the system's case mapping, for comparisons.
std::u16string fold_name(std::string_view name);

ProfileFile parse_profile(std::string_view contents);
// The file's text with CRLF line ends.
std::string serialize_profile(const ProfileFile& file);

// First section or entry of a name, or null.
Section* find_section(ProfileFile& file, std::string_view name);
const Section* find_section(const ProfileFile& file, std::string_view name);
const Entry* find_entry(const Section& section, std::string_view key);

// Edits. set_value creates the section and the key as needed.
void set_value(ProfileFile& file, std::string_view section, std::string_view key,
               std::string_view value);
// True when something was removed.
bool delete_key(ProfileFile& file, std::string_view section, std::string_view key);
bool delete_section(ProfileFile& file, std::string_view section);
// Replaces the entries of a section with the given lines (creating it).
void replace_section(ProfileFile& file, std::string_view section,
                     const std::vector<std::string>& lines);

}  // namespace profile_internal
