#include "platform/files/nt_path.h"

#include "platform/kernel/error.h"

namespace {

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char upper_letter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A character NT never accepts in a name (the DOS wildcards among them,
// which only the system itself may put into a search pattern).
bool forbidden_in_name(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || c == '<' || c == '>' || c == '|' || c == '"' || c == ':';
}

// Removes trailing dots and blanks of a name.
std::string_view trim_name(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

// Applies the names of `tail` to `names` with the rules of the header.
// `validate` rejects characters NT forbids.
bool apply_names(std::string_view tail, std::vector<std::string>* names, bool validate,
                 bool trim) {
  size_t pos = 0;
  while (pos < tail.size()) {
    size_t end = pos;
    while (end < tail.size() && !nt_is_separator(tail[end])) ++end;
    std::string_view name = tail.substr(pos, end - pos);
    pos = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names->empty()) names->pop_back();
      continue;
    }
    if (validate) {
      for (char c : name) {
        if (forbidden_in_name(c)) return false;
      }
    }
    if (trim) name = trim_name(name);
    if (name.empty()) continue;
    names->emplace_back(name);
  }
  return true;
}

std::string join(std::string root, const std::vector<std::string>& names, char separator,
                 bool trailing) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) root += separator;
    root += names[i];
  }
  if (trailing && !names.empty()) root += separator;
  return root;
}

bool ends_with_separator(std::string_view text) {
  return !text.empty() && nt_is_separator(text.back());
}

// Where the names of a full path begin, and its root text.
struct Root {
  NtPathKind kind = NtPathKind::host;
  std::string text;  // "C:\", "\\SRV\SHARE\", "/"
  size_t names_at = 0;
};

// The root of a full path (or of a current directory).
bool root_of(std::string_view full, Root* root) {
  if (full.size() >= 2 && is_letter(full[0]) && full[1] == ':') {
    root->kind = NtPathKind::drive;
    root->text = std::string(full.substr(0, 2)) + "\\";
    root->names_at = full.size() > 2 ? 3 : 2;
    return true;
  }
  if (full.size() >= 2 && nt_is_separator(full[0]) && nt_is_separator(full[1])) {
    size_t server_end = 2;
    while (server_end < full.size() && !nt_is_separator(full[server_end])) ++server_end;
    size_t share_end = server_end < full.size() ? server_end + 1 : server_end;
    while (share_end < full.size() && !nt_is_separator(full[share_end])) ++share_end;
    root->kind = NtPathKind::unc;
    root->text = "\\\\" + std::string(full.substr(2, server_end - 2)) + "\\";
    if (server_end < full.size()) {
      root->text += std::string(full.substr(server_end + 1, share_end - server_end - 1)) + "\\";
    }
    root->names_at = share_end < full.size() ? share_end + 1 : share_end;
    return true;
  }
  if (!full.empty() && full[0] == '/') {
    root->kind = NtPathKind::host;
    root->text = "/";
    root->names_at = 1;
    return true;
  }
  return false;
}

// The full path of `tail` below the full directory `base` (drive, UNC or
// host form); `from_root` starts at the root of `base`.
DWORD below(std::string_view base, std::string_view tail, bool from_root, std::string* full) {
  Root root;
  if (!root_of(base, &root)) return ERROR_INVALID_NAME;
  std::vector<std::string> names;
  const bool host = root.kind == NtPathKind::host;
  if (!from_root && root.names_at < base.size()) {
    apply_names(base.substr(root.names_at), &names, false, !host);
  }
  if (!apply_names(tail, &names, !host, !host)) return ERROR_INVALID_NAME;
  const bool trailing = ends_with_separator(tail) || (tail.empty() && ends_with_separator(base));
  *full = join(root.text, names, host ? '/' : '\\', trailing);
  return ERROR_SUCCESS;
}

DWORD check_length(const std::string& full, size_t limit) {
  if (!full.empty() && full[0] == '/') return ERROR_SUCCESS;  // host paths: the host's limits
  return nt_path_chars(full) > limit ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

DWORD full_path(std::string_view path, const NtCurrentDirs& dirs, std::string* full,
                size_t* limit) {
  if (path.empty()) return ERROR_INVALID_NAME;
  const bool sep0 = nt_is_separator(path[0]);
  const bool sep1 = path.size() > 1 && nt_is_separator(path[1]);

  if (sep0 && sep1) {
    // "\\?\..." and "\\.\...": long paths and device names.
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && nt_is_separator(path[3])) {
      std::string_view rest = path.substr(4);
      if (rest.size() >= 2 && is_letter(rest[0]) && rest[1] == ':' &&
          (rest.size() == 2 || nt_is_separator(rest[2]))) {
        if (path[2] == '?') *limit = kNtMaxLongPathChars;
        return below(std::string(rest.substr(0, 2)) + "\\", rest.substr(2), true, full);
      }
      if (path[2] == '?' && rest.size() >= 4 && (rest[0] == 'U' || rest[0] == 'u') &&
          (rest[1] == 'N' || rest[1] == 'n') && (rest[2] == 'C' || rest[2] == 'c') &&
          nt_is_separator(rest[3])) {
        *limit = kNtMaxLongPathChars;
        return full_path("\\\\" + std::string(rest.substr(4)), dirs, full, limit);
      }
      *full = "\\\\" + std::string(1, path[2]) + "\\" + std::string(rest);
      return ERROR_SUCCESS;
    }
    size_t server_end = 2;
    while (server_end < path.size() && !nt_is_separator(path[server_end])) ++server_end;
    std::string_view server = path.substr(2, server_end - 2);
    for (char c : server) {
      if (forbidden_in_name(c) || c == '*' || c == '?') return ERROR_INVALID_NAME;
    }
    if (server_end >= path.size()) {
      *full = "\\\\" + std::string(server);
      return ERROR_SUCCESS;
    }
    size_t share_end = server_end + 1;
    while (share_end < path.size() && !nt_is_separator(path[share_end])) ++share_end;
    std::string_view share = path.substr(server_end + 1, share_end - server_end - 1);
    for (char c : share) {
      if (forbidden_in_name(c)) return ERROR_INVALID_NAME;
    }
    std::string base = "\\\\" + std::string(server) + "\\" + std::string(share);
    if (share_end >= path.size()) {
      *full = base;
      return ERROR_SUCCESS;
    }
    return below(base + "\\", path.substr(share_end), true, full);
  }

  if (path[0] == '/') {  // a host path, as it stands
    return below("/", path, true, full);
  }

  if (path.size() >= 2 && is_letter(path[0]) && path[1] == ':') {
    if (path.size() > 2 && nt_is_separator(path[2])) {
      return below(std::string(path.substr(0, 2)) + "\\", path.substr(2), true, full);
    }
    return below(dirs.drive_current(path[0]), path.substr(2), false, full);
  }

  if (dirs.current.empty()) return ERROR_INVALID_NAME;
  return below(dirs.current, path, sep0, full);
}

}  // namespace

std::string NtCurrentDirs::drive_current(char letter) const {
  if (!is_letter(letter)) return std::string();
  char upper = upper_letter(letter);
  const std::string& stored = drives[static_cast<size_t>(upper - 'A')];
  if (!stored.empty()) return stored;
  // The current directory itself when it lies on that drive.
  if (current.size() >= 2 && upper_letter(current[0]) == upper && current[1] == ':') {
    return current;
  }
  return std::string(1, upper) + ":\\";
}

DWORD nt_full_path(std::string_view path, const NtCurrentDirs& dirs, std::string* full) {
  size_t limit = kNtMaxPathChars;
  std::string result;
  DWORD err = full_path(path, dirs, &result, &limit);
  if (err != ERROR_SUCCESS) return err;
  if ((err = check_length(result, limit)) != ERROR_SUCCESS) return err;
  *full = std::move(result);
  return ERROR_SUCCESS;
}

NtPathParts nt_split_full_path(std::string_view full) {
  NtPathParts parts;
  if (full.size() >= 4 && nt_is_separator(full[0]) && nt_is_separator(full[1]) &&
      (full[2] == '.' || full[2] == '?') && nt_is_separator(full[3])) {
    parts.kind = NtPathKind::device;
    return parts;
  }
  Root root;
  if (!root_of(full, &root)) return parts;
  parts.kind = root.kind;
  if (root.kind == NtPathKind::drive) parts.drive = upper_letter(full[0]);
  if (root.kind == NtPathKind::unc) {
    size_t server_end = 2;
    while (server_end < full.size() && !nt_is_separator(full[server_end])) ++server_end;
    parts.server = std::string(full.substr(2, server_end - 2));
    if (server_end < full.size()) {
      size_t share_end = server_end + 1;
      while (share_end < full.size() && !nt_is_separator(full[share_end])) ++share_end;
      parts.share = std::string(full.substr(server_end + 1, share_end - server_end - 1));
    }
  }
  if (root.names_at < full.size()) {
    std::string_view tail = full.substr(root.names_at);
    size_t pos = 0;
    while (pos < tail.size()) {
      size_t end = pos;
      while (end < tail.size() && !nt_is_separator(tail[end])) ++end;
      if (end > pos) parts.names.emplace_back(tail.substr(pos, end - pos));
      pos = end + 1;
    }
    parts.trailing_separator = !parts.names.empty() && ends_with_separator(tail);
  }
  return parts;
}

std::string nt_path_root(std::string_view full) {
  Root root;
  return root_of(full, &root) ? root.text : std::string();
}

size_t nt_path_chars(std::string_view text) {
  size_t chars = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++chars;  // a lead byte or an ASCII character
    if (c >= 0xF0) ++chars;           // four bytes: a surrogate pair in UTF-16
  }
  return chars;
}
