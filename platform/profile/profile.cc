#include "platform/profile/profile.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/file_io.h"
#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/profile/profile_file.h"

using profile_internal::Entry;
using profile_internal::ProfileFile;
using profile_internal::Section;

namespace {

// The NT path of a profile file.
std::string profile_path(const char* file) {
  const char* name = file ? file : "WIN.INI";
  if (nt_path_has_directory(name)) return name;
  char dir[MAX_PATH + 1];
  UINT length = GetWindowsDirectoryA(dir, sizeof dir);
  std::string base = length > 0 && length < sizeof dir ? std::string(dir, length) : "C:\\WINNT";
  if (base.back() != '\\' && base.back() != '/') base += '\\';
  return base + name;
}

// Reads the whole file. False with the Win32 error when it cannot be read.
bool read_profile(const std::string& path, std::string* contents) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  contents->clear();
  char block[8192];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h, block, sizeof block, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    contents->append(block, got);
  }
  DWORD error = GetLastError();
  CloseHandle(h);
  SetLastError(ok ? ERROR_SUCCESS : error);
  return ok;
}

// Loads the file for reading; a file that cannot be read is empty.
ProfileFile load_for_reading(const char* file, bool* found) {
  std::string contents;
  *found = read_profile(profile_path(file), &contents);
  return profile_internal::parse_profile(contents);
}

// Writes `text` beside `path` and renames it over the file.
bool replace_file(const std::string& path, const std::string& text) {
  static std::atomic<unsigned> counter{0};
  std::string temp = path + ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            FlushFileBuffers(h);
  DWORD error = GetLastError();
  CloseHandle(h);
  if (ok) {
    ok =
        MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    error = GetLastError();
  }
  if (!ok) {
    DeleteFileA(temp.c_str());
    SetLastError(error);
  }
  return ok;
}

// Loads the file for a change: a missing file is empty, any other failure
// stops the change.
bool load_for_writing(const std::string& path, ProfileFile* parsed) {
  std::string contents;
  if (!read_profile(path, &contents)) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    contents.clear();
  }
  *parsed = profile_internal::parse_profile(contents);
  return true;
}

bool save(const std::string& path, const ProfileFile& parsed) {
  if (!replace_file(path, profile_internal::serialize_profile(parsed))) return false;
  SetLastError(ERROR_SUCCESS);
  return true;
}

// Copies a list of names, the Win32 way: each name with its terminator,
// then one more; a list that does not fit is cut to size - 2 characters and
// still ends with two terminators.
DWORD copy_list(const std::vector<std::string>& names, char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  std::string list;
  for (const std::string& name : names) {
    list += name;
    list += '\0';
  }
  if (list.empty()) {
    buffer[0] = '\0';
    if (size > 1) buffer[1] = '\0';
    return 0;
  }
  if (list.size() + 2 <= size) {
    memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    buffer[0] = '\0';
    SetLastError(ERROR_MORE_DATA);
    return 0;
  }
  memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  SetLastError(ERROR_MORE_DATA);
  return size - 2;
}

// Copies a value; a value that does not fit is cut to size - 1 characters.
DWORD copy_value(std::string_view value, char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (value.size() < size) {
    memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return static_cast<DWORD>(value.size());
  }
  memcpy(buffer, value.data(), size - 1);
  buffer[size - 1] = '\0';
  SetLastError(ERROR_MORE_DATA);
  return size - 1;
}

std::string_view strip_quotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string_view without_trailing_blanks(const char* def) {
  std::string_view text = def ? def : "";
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string> section_names(const ProfileFile& parsed) {
  std::vector<std::string> names;
  std::vector<std::u16string> seen;
  for (const Section& section : parsed.sections) {
    bool repeated = false;
    for (const std::u16string& s : seen) repeated = repeated || s == section.folded;
    if (repeated) continue;
    seen.push_back(section.folded);
    names.push_back(section.name);
  }
  return names;
}

// Reads the value of a key: null when the file, section or key is missing
// or the entry has no value.
const Entry* lookup(const ProfileFile& parsed, const char* section, const char* key) {
  const Section* found = profile_internal::find_section(parsed, section);
  if (!found) return nullptr;
  const Entry* entry = profile_internal::find_entry(*found, key);
  return entry && entry->has_value ? entry : nullptr;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                               char* buffer, DWORD size, const char* file) {
  bool found = false;
  ProfileFile parsed = load_for_reading(file, &found);
  SetLastError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  if (!section) return copy_list(section_names(parsed), buffer, size);
  if (!key) {
    std::vector<std::string> keys;
    if (const Section* s = profile_internal::find_section(parsed, section)) {
      for (const Entry& entry : s->entries) {
        if (entry.is_key) keys.push_back(entry.key);
      }
    }
    return copy_list(keys, buffer, size);
  }
  if (const Entry* entry = lookup(parsed, section, key)) {
    return copy_value(strip_quotes(entry->value), buffer, size);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return copy_value(without_trailing_blanks(def), buffer, size);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, INT def, const char* file) {
  if (!section || !key) return static_cast<UINT>(def);
  char text[64];
  if (GetPrivateProfileStringA(section, key, "", text, sizeof text, file) == 0) {
    return static_cast<UINT>(def);
  }
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) {
    base = 8;
    p += 2;
  } else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) {
    base = 2;
    p += 2;
  }
  uint32_t value = 0;
  for (;; ++p) {
    unsigned digit;
    if (*p >= '0' && *p <= '9') {
      digit = static_cast<unsigned>(*p - '0');
    } else if (*p >= 'a' && *p <= 'f') {
      digit = static_cast<unsigned>(*p - 'a' + 10);
    } else if (*p >= 'A' && *p <= 'F') {
      digit = static_cast<unsigned>(*p - 'A' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * base + digit;  // wraps past 32 bits, as the system's conversion does
  }
  return negative ? 0u - value : value;
}

DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size, const char* file) {
  if (!section) {
    SetLastError(ERROR_INVALID_PARAMETER);
    if (buffer && size > 0) buffer[0] = '\0';
    if (buffer && size > 1) buffer[1] = '\0';
    return 0;
  }
  bool found = false;
  ProfileFile parsed = load_for_reading(file, &found);
  SetLastError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  std::vector<std::string> lines;
  if (const Section* s = profile_internal::find_section(parsed, section)) {
    for (const Entry& entry : s->entries) {
      if (!entry.is_key) continue;
      lines.push_back(entry.has_value ? entry.key + "=" + entry.value : entry.key);
    }
  }
  return copy_list(lines, buffer, size);
}

DWORD GetPrivateProfileSectionNamesA(char* buffer, DWORD size, const char* file) {
  return GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, size, file);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file) {
  if (!section) {
    if (!key && !value) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = profile_path(file);
  ProfileFile parsed;
  if (!load_for_writing(path, &parsed)) return FALSE;
  if (!key) {
    if (!profile_internal::delete_section(parsed, section)) return TRUE;
  } else if (!value) {
    if (!profile_internal::delete_key(parsed, section, key)) return TRUE;
  } else {
    profile_internal::set_value(parsed, section, key, value);
  }
  return save(path, parsed) ? TRUE : FALSE;
}

BOOL WritePrivateProfileSectionA(const char* section, const char* data, const char* file) {
  if (!section) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = profile_path(file);
  ProfileFile parsed;
  if (!load_for_writing(path, &parsed)) return FALSE;
  if (!data) {
    if (!profile_internal::delete_section(parsed, section)) return TRUE;
  } else {
    std::vector<std::string> lines;
    for (const char* p = data; *p; p += strlen(p) + 1) lines.emplace_back(p);
    profile_internal::replace_section(parsed, section, lines);
  }
  return save(path, parsed) ? TRUE : FALSE;
}
