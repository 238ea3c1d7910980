#include "platform/files/host_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/network/wtf8.h"
#include "platform/nls/codepage.h"

namespace {

bool is_ascii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool nt_names_equal(std::string_view a, std::string_view b) {
  if (is_ascii(a) && is_ascii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    }
    return true;
  }
  return nt_name_key(a) == nt_name_key(b);
}

std::string nt_name_key(std::string_view name) {
  if (is_ascii(name)) {
    std::string key(name);
    for (char& c : key) c = ascii_upper(c);
    return key;
  }
  std::u16string wide = nt_utf16_from_wtf8(name);
  for (char16_t& c : wide) c = nt_wide_upper(c);
  return nt_wtf8_from_utf16(wide);
}

int nt_compare_keys(std::string_view a, std::string_view b) { return a.compare(b); }

bool nt_find_entry(const std::string& dir, std::string_view name, std::string* found) {
  std::string exact = dir;
  if (exact.empty() || exact.back() != '/') exact += '/';
  exact += name;
  if (exists(exact)) {
    *found = std::string(name);
    return true;
  }
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return false;
  const bool ascii = is_ascii(name);
  std::string key = ascii ? std::string() : nt_name_key(name);
  bool hit = false;
  while (dirent* e = readdir(d)) {
    std::string_view entry(e->d_name);
    if (entry == "." || entry == "..") continue;
    bool equal = ascii ? (entry.size() == name.size() && nt_names_equal(entry, name))
                       : nt_name_key(entry) == key;
    if (equal) {
      *found = std::string(entry);
      hit = true;
      break;
    }
  }
  closedir(d);
  return hit;
}

std::string nt_lookup_names(const std::string& base, const std::vector<std::string>& names) {
  auto path_of = [&](size_t count) {
    std::string path = base;
    for (size_t i = 0; i < count; ++i) {
      if (path.empty() || path.back() != '/') path += '/';
      path += names[i];
    }
    return path;
  };
  // The longest prefix that exists as given, from the end.
  size_t exact = names.size();
  std::string path = path_of(exact);
  while (exact > 0 && !exists(path)) {
    --exact;
    path = path_of(exact);
  }
  for (size_t i = exact; i < names.size(); ++i) {
    std::string found;
    if (!nt_find_entry(path, names[i], &found)) {
      // Missing from here on: the rest keeps the case given.
      for (size_t j = i; j < names.size(); ++j) {
        if (path.empty() || path.back() != '/') path += '/';
        path += names[j];
      }
      return path;
    }
    if (path.empty() || path.back() != '/') path += '/';
    path += found;
  }
  return path;
}

std::string nt_ansi_to_host(std::string_view ansi) {
  if (GetACP() == CP_UTF8) return std::string(ansi);
  return nt_wtf8_from_utf16(nt_ansi_to_wide(ansi));
}

std::string nt_host_to_ansi(std::string_view host) {
  if (GetACP() == CP_UTF8) return std::string(host);
  return nt_wide_to_ansi(nt_utf16_from_wtf8(host));
}
