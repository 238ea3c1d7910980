#include "patch/pending_list.h"

#include <algorithm>
#include <cstring>

#include "lib/wildcard.h"
#include "patch/history_file.h"
#include "platform/files/find_file.h"
#include "platform/files/file_info.h"
#include "platform/nls/codepage.h"

namespace {

std::string upper(const std::string& text) {
  std::string copy = text;
  if (!copy.empty()) CharUpperBuffA(copy.data(), static_cast<DWORD>(copy.size()));
  return copy;
}

}  // namespace

bool pending_name_less(const std::string& a, const std::string& b) {
  int order = upper(a).compare(upper(b));
  if (order != 0) return order < 0;
  return a < b;
}

void sort_pending(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(), pending_name_less);
}

PendingList collect_pending(const char* search_path, const char* file_pattern,
                            const char* history_file) {
  PendingList list;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(search_path, &data);
  if (search == INVALID_HANDLE_VALUE) {
    list.nothing_found = true;
    return list;
  }
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    size_t length = strnlen(data.cFileName, sizeof data.cFileName);
    if (length == 0 || length > PENDING_NAME_MAX) continue;
    if (!match_wildcard(data.cFileName, file_pattern, 0)) continue;
    if (patch_done(history_file, data.cFileName)) continue;
    if (list.names.size() == PENDING_LIST_MAX) {
      list.full = true;
      break;
    }
    list.names.emplace_back(data.cFileName, length);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  if (list.names.size() >= 2) sort_pending(list.names);
  return list;
}
