#include "platform/profile/profile_file.h"

#include <utility>

#include "platform/nls/codepage.h"

namespace profile_internal {

namespace {

Entry make_entry(std::string raw) {
  Entry entry;
  entry.raw = std::move(raw);
  std::string_view line = trim_blanks(entry.raw);
  if (line.empty() || line[0] == ';') return entry;
  size_t equals = line.find('=');
  std::string_view key = trim_blanks(line.substr(0, equals));
  if (key.empty()) return entry;
  entry.key = std::string(key);
  entry.folded = fold_name(key);
  entry.is_key = true;
  if (equals != std::string_view::npos) {
    entry.value = std::string(trim_blanks(line.substr(equals + 1)));
    entry.has_value = true;
  }
  return entry;
}

Section make_section(std::string raw_header, std::string_view name) {
  Section section;
  section.raw_header = std::move(raw_header);
  section.name = std::string(trim_blanks(name));
  section.folded = fold_name(section.name);
  return section;
}

Section& section_for_writing(ProfileFile& file, std::string_view name) {
  if (Section* found = find_section(file, name)) return *found;
  // A blank line parts the new section from what comes before it.
  std::vector<std::string>* before = &file.preamble;
  std::vector<Entry>* last_entries = nullptr;
  if (!file.sections.empty()) last_entries = &file.sections.back().entries;
  bool need_blank = false;
  if (last_entries) {
    need_blank = last_entries->empty() || !trim_blanks(last_entries->back().raw).empty();
    if (need_blank) last_entries->push_back(make_entry(""));
  } else if (!before->empty() && !trim_blanks(before->back()).empty()) {
    before->push_back("");
  }
  std::string header = "[" + std::string(name) + "]";
  file.sections.push_back(make_section(header, name));
  return file.sections.back();
}

// Where new lines go: after the section's last non-blank line, so that the
// blank lines that part it from the next section stay after them.
size_t insertion_point(const Section& section) {
  size_t at = section.entries.size();
  while (at > 0 && trim_blanks(section.entries[at - 1].raw).empty()) --at;
  return at;
}

}  // namespace

std::string_view trim_blanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

std::u16string fold_name(std::string_view name) {
  std::u16string wide = nt_ansi_to_wide(name);
  for (char16_t& c : wide) c = nt_wide_upper(c);
  return wide;
}

ProfileFile parse_profile(std::string_view contents) {
  ProfileFile file;
  size_t pos = 0;
  while (pos < contents.size()) {
    size_t end = contents.find('\n', pos);
    size_t next = end == std::string_view::npos ? contents.size() : end + 1;
    if (end == std::string_view::npos) end = contents.size();
    std::string_view line = contents.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = next;

    std::string_view text = trim_blanks(line);
    if (!text.empty() && text[0] == '[') {
      size_t close = text.find(']');
      std::string_view name =
          text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
      file.sections.push_back(make_section(std::string(line), name));
    } else if (file.sections.empty()) {
      file.preamble.emplace_back(line);
    } else {
      file.sections.back().entries.push_back(make_entry(std::string(line)));
    }
  }
  return file;
}

std::string serialize_profile(const ProfileFile& file) {
  std::string out;
  for (const std::string& line : file.preamble) out += line + "\r\n";
  for (const Section& section : file.sections) {
    out += section.raw_header + "\r\n";
    for (const Entry& entry : section.entries) out += entry.raw + "\r\n";
  }
  return out;
}

Section* find_section(ProfileFile& file, std::string_view name) {
  std::u16string folded = fold_name(trim_blanks(name));
  for (Section& section : file.sections) {
    if (section.folded == folded) return &section;
  }
  return nullptr;
}

const Section* find_section(const ProfileFile& file, std::string_view name) {
  return find_section(const_cast<ProfileFile&>(file), name);
}

const Entry* find_entry(const Section& section, std::string_view key) {
  std::u16string folded = fold_name(trim_blanks(key));
  for (const Entry& entry : section.entries) {
    if (entry.is_key && entry.folded == folded) return &entry;
  }
  return nullptr;
}

void set_value(ProfileFile& file, std::string_view section_name, std::string_view key,
               std::string_view value) {
  Section& section = section_for_writing(file, trim_blanks(section_name));
  std::string_view name = trim_blanks(key);
  std::string_view text = trim_blanks(value);
  if (const Entry* found = find_entry(section, name)) {
    Entry& entry = const_cast<Entry&>(*found);
    // The key keeps the spelling the file has.
    entry = make_entry(entry.key + "=" + std::string(text));
    return;
  }
  section.entries.insert(section.entries.begin() + static_cast<long>(insertion_point(section)),
                         make_entry(std::string(name) + "=" + std::string(text)));
}

bool delete_key(ProfileFile& file, std::string_view section_name, std::string_view key) {
  Section* section = find_section(file, section_name);
  if (!section) return false;
  const Entry* found = find_entry(*section, key);
  if (!found) return false;
  section->entries.erase(section->entries.begin() + (found - section->entries.data()));
  return true;
}

bool delete_section(ProfileFile& file, std::string_view section_name) {
  std::u16string folded = fold_name(trim_blanks(section_name));
  bool removed = false;
  for (size_t i = 0; i < file.sections.size();) {
    if (file.sections[i].folded == folded) {
      file.sections.erase(file.sections.begin() + static_cast<long>(i));
      removed = true;
    } else {
      ++i;
    }
  }
  return removed;
}

void replace_section(ProfileFile& file, std::string_view section_name,
                     const std::vector<std::string>& lines) {
  Section& section = section_for_writing(file, trim_blanks(section_name));
  // Blank lines at the end part the section from the next one; keep them.
  size_t keep_from = insertion_point(section);
  std::vector<Entry> entries;
  for (const std::string& line : lines) entries.push_back(make_entry(line));
  for (size_t i = keep_from; i < section.entries.size(); ++i) {
    entries.push_back(std::move(section.entries[i]));
  }
  section.entries = std::move(entries);
}

}  // namespace profile_internal
