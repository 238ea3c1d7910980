#include "utils/inifold/ini_merge.h"

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view key_of(std::string_view entry) {
  size_t i = 0;
  while (i < entry.size() && entry[i] != '=' && static_cast<unsigned char>(entry[i]) >= 33) ++i;
  return entry.substr(0, i);
}

bool contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

// Appends an entry line with its first "==" turned into "=".
void put_folded_entry(std::string* out, std::string_view entry) {
  size_t twin = entry.find("==");
  if (twin == std::string_view::npos) {
    out->append(entry);
  } else {
    out->append(entry.substr(0, twin + 1));
    out->append(entry.substr(twin + 2));
  }
  out->append("\r\n");
}

void put_header(std::string* out, std::string_view name, bool* first) {
  if (!*first) out->append("\r\n");
  *first = false;
  out->append("[");
  out->append(name);
  out->append("]\r\n");
}

}  // namespace

bool same_section_name(std::string_view a, std::string_view b) { return equal_folded(a, b); }

EntryAction compare_entry(std::string_view target, std::string_view change) {
  if (!equal_folded(key_of(target), key_of(change))) return EntryAction::kNoMatch;
  size_t assign = change.find('=');
  if (assign == std::string_view::npos) return EntryAction::kDelete;
  std::string_view rest = change.substr(assign + 1);
  if (rest.empty() || (rest[0] != '!' && rest[0] != '=')) return EntryAction::kReplace;
  size_t target_assign = target.find('=');
  if (target_assign == std::string_view::npos) return EntryAction::kNoMatch;
  if (!equal_folded(target.substr(target_assign + 1), rest.substr(1))) {
    return EntryAction::kNoMatch;
  }
  return rest[0] == '!' ? EntryAction::kDelete : EntryAction::kReplace;
}

std::string merge_ini(const IniFile& target, IniFile* changes) {
  std::string out;
  bool first_header = true;
  for (const IniSection& section : target.sections) {
    IniSection* change = nullptr;
    for (IniSection& candidate : changes->sections) {
      if (!candidate.consumed && same_section_name(candidate.name, section.name)) {
        change = &candidate;
        break;
      }
    }
    if (!change) {
      put_header(&out, section.name, &first_header);
      for (size_t i = 0; i < section.entry_count; ++i) {
        out.append(target.entries[section.first_entry + i].text);
        out.append("\r\n");
      }
      continue;
    }
    change->consumed = true;
    if (change->entry_count == 0) continue;  // the whole section goes

    put_header(&out, section.name, &first_header);
    IniEntry* change_begin = changes->entries.data() + change->first_entry;
    IniEntry* change_end = change_begin + change->entry_count;
    for (size_t i = 0; i < section.entry_count; ++i) {
      std::string_view entry = target.entries[section.first_entry + i].text;
      EntryAction action = EntryAction::kNoMatch;
      IniEntry* hit = nullptr;
      for (IniEntry* c = change_begin; c != change_end; ++c) {
        if (c->consumed) continue;
        action = compare_entry(entry, c->text);
        if (action != EntryAction::kNoMatch) {
          hit = c;
          break;
        }
      }
      if (!hit) {
        put_folded_entry(&out, entry);
        continue;
      }
      hit->consumed = true;
      if (action == EntryAction::kReplace) put_folded_entry(&out, hit->text);
    }
    for (IniEntry* c = change_begin; c != change_end; ++c) {
      if (c->consumed) continue;
      if (contains(c->text, "=") && !contains(c->text, "=!")) put_folded_entry(&out, c->text);
      c->consumed = true;
    }
  }

  for (IniSection& section : changes->sections) {
    if (section.consumed) continue;
    section.consumed = true;
    bool header_written = false;
    for (size_t i = 0; i < section.entry_count; ++i) {
      IniEntry& entry = changes->entries[section.first_entry + i];
      if (entry.consumed || !contains(entry.text, "=")) continue;
      if (!header_written) {
        out.append("\r\n[");
        out.append(section.name);
        out.append("]\r\n");
        header_written = true;
      }
      out.append(entry.text);
      out.append("\r\n");
      entry.consumed = true;
    }
  }
  return out;
}
