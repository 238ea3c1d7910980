#include "kopex/file_spec.h"

#include <cctype>
#include <cstring>

#include "lib/target_split.h"
#include "lib/wildcard.h"
#include "platform/files/current_directory.h"
#include "platform/kernel/error.h"

namespace kopex {

namespace {

bool iequals(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(b[i])) {
      return false;
    }
  }
  return true;
}

// The full path of `text` in at most FULL_PATH_MAX - 1 characters.
bool full_path(const std::string& text, std::string* out) {
  char buffer[FULL_PATH_MAX + 1];
  DWORD length = GetFullPathNameA(text.c_str(), FULL_PATH_MAX, buffer, nullptr);
  if (length == 0) return false;
  if (length >= FULL_PATH_MAX) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  *out = buffer;
  return true;
}

}  // namespace

std::vector<std::string> split_patterns(const std::string& files) {
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= files.size()) {
    size_t comma = files.find(',', start);
    std::string pattern = files.substr(start, comma == std::string::npos ? std::string::npos
                                                                          : comma - start);
    if (pattern.empty()) break;
    patterns.push_back(pattern);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return patterns;
}

bool select_name(const char* name, const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    if (pattern[0] == '!') {
      if (match_wildcard(name, pattern.c_str() + 1, 0)) return false;
    } else if (match_wildcard(name, pattern.c_str(), 0)) {
      return true;
    }
  }
  return false;
}

DriveSelector parse_drive_token(const std::string& token) {
  DriveSelector s;
  if (token.empty()) {
    s.kind = DriveClass::current;
    return s;
  }
  if (token.size() == 2 && token[1] == ':' && std::isalpha(static_cast<unsigned char>(token[0])) &&
      static_cast<unsigned char>(token[0]) < 0x80) {
    s.kind = DriveClass::letter;
    s.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])));
    return s;
  }
  if (token == "*:") {
    s.kind = DriveClass::all;
    return s;
  }
  struct Keyword {
    const char* name;
    DriveClass kind;
  };
  static const Keyword kKeywords[] = {{"CD", DriveClass::cdrom},
                                      {"DISK", DriveClass::fixed},
                                      {"FLOPPY", DriveClass::removable},
                                      {"NET", DriveClass::remote}};
  for (const Keyword& k : kKeywords) {
    std::string all = std::string(k.name) + "*:";
    std::string first = std::string(k.name) + ":";
    if (iequals(token, all.c_str())) {
      s.kind = k.kind;
      return s;
    }
    if (iequals(token, first.c_str())) {
      s.kind = k.kind;
      s.first_only = true;
      return s;
    }
  }
  s.kind = DriveClass::invalid;
  return s;
}

SpecError split_file_spec(const char* spec, FileSpec* out, bool* recurse, bool* remove_dirs) {
  *out = FileSpec();
  if (spec == nullptr || std::strlen(spec) > static_cast<size_t>(SPEC_MAX)) {
    return SpecError::too_long;
  }
  char domain[SPLIT_PART_SIZE] = "", server[SPLIT_PART_SIZE] = "", share[SPLIT_PART_SIZE] = "";
  char drive[SPLIT_PART_SIZE] = "";
  if (!split_path(spec, domain, server, share, drive, nullptr, nullptr)) return SpecError::too_long;
  out->domain = domain;
  out->server = server;
  out->share = share;
  out->drive = drive;
  const bool unc = std::strstr(spec, "\\\\") != nullptr;

  // The text resolved to a full path. A drive class stands for several
  // drives at once: its path is taken from the root of a stand-in drive,
  // which is dropped again afterwards.
  std::string text = spec;
  bool stand_in = false;
  if (!unc && out->drive.size() >= 2) {
    DriveSelector sel = parse_drive_token(out->drive);
    if (sel.kind != DriveClass::letter) {
      std::string rest = text.substr(out->drive.size());
      if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) rest = "\\" + rest;
      text = "C:" + rest;
      stand_in = true;
    }
  }
  if (unc) {
    // Server and share may hold wildcards, which a full path cannot: the
    // path below the share is resolved under a stand-in server and share.
    const char* after = std::strstr(spec, "\\\\") + 2;
    const char* share_start = std::strchr(after, '\\');
    const char* rest = share_start ? std::strchr(share_start + 1, '\\') : nullptr;
    text = std::string("\\\\S\\S") + (rest ? rest : "");
  }
  if (text.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return SpecError::bad_path;
  }
  std::string full;
  if (!full_path(text, &full)) return SpecError::bad_path;
  if (stand_in) full = "C:" + full.substr(2);

  // The full path may be longer than split_path takes: dir and files are
  // cut here, at the last backslash behind the root.
  std::string file;
  if (unc) {
    // Behind the stand-in root: dir is empty when the files follow the share directly.
    const std::string below = full.size() > 6 ? full.substr(6) : std::string();
    const size_t last = below.rfind('\\');
    file = last == std::string::npos ? below : below.substr(last + 1);
    out->dir = last == std::string::npos ? std::string() : "\\" + below.substr(0, last + 1);
  } else {
    const size_t colon = full.find(':');
    const std::string below = colon == std::string::npos ? full : full.substr(colon + 1);
    const size_t last = below.rfind('\\');
    file = last == std::string::npos ? below : below.substr(last + 1);
    out->dir = last == std::string::npos ? std::string() : below.substr(0, last + 1);
  }
  out->files = file;
  if (out->files.empty()) {
    out->files = "*";
    *recurse = true;
    *remove_dirs = true;
    out->names_directory = true;
  }
  out->patterns = split_patterns(out->files);
  return SpecError::none;
}

}  // namespace kopex
