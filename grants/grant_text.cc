#include "grants/grant_text.h"

#include <cstdio>

namespace {

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

DWORD hex_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<DWORD>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<DWORD>(c - 'a' + 10);
  return static_cast<DWORD>(c - 'A' + 10);
}

// One entry's raw pieces: the name up to the colon and the text after the
// colon up to the next blank. `p` is left on the blank or the end.
struct RawEntry {
  std::string name;
  bool colon = false;
  std::string after;
};

RawEntry next_entry(const char*& p) {
  RawEntry raw;
  while (*p != '\0' && *p != ':') raw.name += *p++;
  if (*p == ':') {
    raw.colon = true;
    ++p;
    while (*p != '\0' && *p != ' ') raw.after += *p++;
  }
  return raw;
}

void skip_blanks(const char*& p) {
  while (*p == ' ') ++p;
}

// Reads the access at the start of `after`; false for an unknown letter, a
// missing access, or a mask that is not "0x" and eight hex digits or is 0.
// `rest` is what follows the access.
bool read_access(const std::string& after, GrantEntry* entry, size_t* rest) {
  if (after.empty()) return false;
  entry->type = GRANT_ACE_ALLOWED;
  *rest = 1;
  switch (after[0]) {
    case 'R': case 'r': entry->mask = GRANT_MASK_READ; return true;
    case 'W': case 'w': entry->mask = GRANT_MASK_WRITE; return true;
    case 'F': case 'f': entry->mask = GRANT_MASK_FULL; return true;
    case 'X': case 'x': entry->mask = GRANT_MASK_EXECUTE; return true;
    case 'N': case 'n':
      entry->type = GRANT_ACE_DENIED;
      entry->mask = GRANT_MASK_FULL;
      return true;
    case '0': break;
    default: return false;
  }
  if (after.size() < 10 || after[1] != 'x') return false;
  DWORD mask = 0;
  for (size_t i = 2; i < 10; ++i) {
    if (!is_hex(after[i])) return false;
    mask = (mask << 4) | hex_value(after[i]);
  }
  if (mask == 0) return false;  // grants nothing: refused as a bad access
  entry->mask = mask;
  *rest = 10;
  return true;
}

}  // namespace

std::vector<GrantEntry> parse_grants(const char* text) {
  std::vector<GrantEntry> entries;
  if (text == nullptr) return entries;
  const char* p = text;
  skip_blanks(p);
  while (*p != '\0') {
    RawEntry raw = next_entry(p);
    GrantEntry entry;
    entry.name = raw.name.substr(0, GRANT_NAME_MAX);
    size_t rest = 0;
    entry.access_ok = raw.colon && read_access(raw.after, &entry, &rest);
    if (entry.access_ok) {
      for (size_t i = rest; i < raw.after.size(); ++i) {
        entry.flag_letters = true;
        switch (raw.after[i]) {
          case 'c': entry.flags |= GRANT_FLAG_CONTAINER_INHERIT; break;
          case 'i': entry.flags |= GRANT_FLAG_INHERIT_ONLY; break;
          case 'n': entry.flags |= GRANT_FLAG_NO_PROPAGATE; break;
          case 'o': entry.flags |= GRANT_FLAG_OBJECT_INHERIT; break;
          default: break;
        }
      }
    }
    entries.push_back(std::move(entry));
    skip_blanks(p);
  }
  return entries;
}

std::string grant_access_text(BYTE type, DWORD mask) {
  if (type == GRANT_ACE_DENIED) return "N";
  switch (mask) {
    case 0x001200A9u: case GRANT_MASK_READ: return "R";
    case 0x001301BFu: case 0xE0000000u: return "W";
    case 0x001F01FFu: case GRANT_MASK_FULL: return "F";
    case GRANT_MASK_EXECUTE: return "X";
    default: break;
  }
  char hex[16];
  snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(mask));
  return hex;
}

std::string grant_flag_text(BYTE flags) {
  std::string text;
  if (flags & GRANT_FLAG_CONTAINER_INHERIT) text += 'c';
  if (flags & GRANT_FLAG_INHERIT_ONLY) text += 'i';
  if (flags & GRANT_FLAG_NO_PROPAGATE) text += 'n';
  if (flags & GRANT_FLAG_OBJECT_INHERIT) text += 'o';
  return text;
}

std::string grant_entry_text(const std::string& domain, const std::string& name, BYTE type,
                             BYTE flags, DWORD mask) {
  return domain + "\\" + name + ":" + grant_access_text(type, mask) + grant_flag_text(flags) +
         " ";
}

std::vector<GrantTextEntry> split_grants_text(const char* text) {
  std::vector<GrantTextEntry> entries;
  if (text == nullptr) return entries;
  const char* p = text;
  skip_blanks(p);
  while (*p != '\0') {
    RawEntry raw = next_entry(p);
    GrantTextEntry entry;
    size_t slash = raw.name.find('\\');
    if (slash == std::string::npos) {
      entry.name = raw.name;
    } else {
      entry.domain = raw.name.substr(0, slash);
      entry.name = raw.name.substr(slash + 1);
    }
    entry.access = raw.after;
    entries.push_back(std::move(entry));
    skip_blanks(p);
  }
  return entries;
}
