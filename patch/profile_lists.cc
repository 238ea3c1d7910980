#include "patch/profile_lists.h"

#include <cstring>

#include "platform/kernel/error.h"
#include "platform/profile/profile.h"

namespace {

// The default as the profile call gives it: without trailing blanks, cut
// to `max_chars`. An entry with an empty value takes it too.
std::string default_text(const char* def, size_t max_chars) {
  std::string text = def != nullptr ? def : "";
  size_t end = text.find_last_not_of(" \t");
  text.resize(end == std::string::npos ? 0 : end + 1);
  if (text.size() > max_chars) text.resize(max_chars);
  return text;
}

}  // namespace

SectionList read_section_list(const char* file, DWORD limit) {
  SectionList list;
  if (file == nullptr || limit < 2) return list;
  std::vector<char> buffer(limit, '\0');
  DWORD length = GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), limit, file);
  list.cut = length == limit - 2 && GetLastError() == ERROR_MORE_DATA;
  if (length > limit - 2) length = limit - 2;
  size_t end = length;
  if (list.cut && length > 0 && buffer[length - 1] != '\0') {
    // The last name was cut somewhere inside (or just at its end, which the
    // call cannot tell apart): keep only the names before it.
    while (end > 0 && buffer[end - 1] != '\0') --end;
  }
  size_t pos = 0;
  while (pos < end && buffer[pos] != '\0') {
    size_t n = strnlen(&buffer[pos], end - pos);
    list.names.emplace_back(&buffer[pos], n);
    pos += n + 1;
  }
  return list;
}

std::string read_profile_value(const char* file, const char* section, const char* key,
                               const char* def, size_t max_chars, bool* cut) {
  if (cut != nullptr) *cut = false;
  if (file == nullptr || section == nullptr || key == nullptr) return default_text(def, max_chars);
  std::vector<char> buffer(max_chars + 1, '\0');
  DWORD length = GetPrivateProfileStringA(section, key, def ? def : "", buffer.data(),
                                          static_cast<DWORD>(max_chars + 1), file);
  if (cut != nullptr) {
    *cut = length == max_chars && GetLastError() == ERROR_MORE_DATA;
  }
  if (length > max_chars) length = static_cast<DWORD>(max_chars);
  if (length == 0) return default_text(def, max_chars);
  return std::string(buffer.data(), length);
}
