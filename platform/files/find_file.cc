#include "platform/files/find_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/attribute_marks.h"
#include "platform/files/current_directory.h"
#include "platform/files/file_access.h"
#include "platform/files/file_errors.h"
#include "platform/files/file_info.h"
#include "platform/files/host_names.h"
#include "platform/files/nt_path.h"
#include "platform/files/nt_wildcard.h"
#include "platform/kernel/error.h"
#include "platform/kernel/handle.h"

namespace {

// One name of the listing: offsets into the search's text arena.
struct Entry {
  uint32_t name_at;
  uint32_t key_at;
  uint16_t name_length;
  uint16_t key_length;
  uint8_t rank;  // 0 ".", 1 "..", 2 any other name
  uint8_t type;  // d_type of the listing (DT_UNKNOWN when not known)
};

class NtFindSearch : public KernelObject {
 public:
  NtFindSearch(int dirfd, std::string host_dir, DWORD leave_out, bool trust_marks)
      : dirfd_(dirfd),
        host_dir_(std::move(host_dir)),
        leave_out_(leave_out),
        trust_marks_(trust_marks) {}
  ~NtFindSearch() override {
    if (dirfd_ >= 0) close(dirfd_);
  }

  void add(std::string_view name, uint8_t type = DT_UNKNOWN) {
    Entry e;
    e.rank = name == "." ? 0 : name == ".." ? 1 : 2;
    e.type = type;
    e.name_at = static_cast<uint32_t>(text_.size());
    e.name_length = static_cast<uint16_t>(name.size());
    text_ += name;
    e.key_at = static_cast<uint32_t>(text_.size());
    std::string key = nt_name_key(name);
    e.key_length = static_cast<uint16_t>(key.size());
    text_ += key;
    entries_.push_back(e);
  }

  void sort() {
    const std::string& text = text_;
    std::sort(entries_.begin(), entries_.end(), [&text](const Entry& a, const Entry& b) {
      if (a.rank != b.rank) return a.rank < b.rank;
      std::string_view ka(text.data() + a.key_at, a.key_length);
      std::string_view kb(text.data() + b.key_at, b.key_length);
      int c = nt_compare_keys(ka, kb);
      if (c != 0) return c < 0;
      return std::string_view(text.data() + a.name_at, a.name_length) <
             std::string_view(text.data() + b.name_at, b.name_length);
    });
  }

  bool empty() const { return next_ >= entries_.size(); }

  // Fills `data` with the next entry that still exists; false at the end.
  bool next(WIN32_FIND_DATAA* data) {
    while (next_ < entries_.size()) {
      const Entry& e = entries_[next_++];
      std::string name(text_.data() + e.name_at, e.name_length);
      NtFileInfo info;
      if ((leave_out_ & NT_FIND_NO_DOT_INFO) && e.rank < 2) {
        info.attributes = FILE_ATTRIBUTE_DIRECTORY;
        fill(name, info, data);
        return true;
      }
      if (leave_out_ & NT_FIND_NAMES_ONLY) {
        info.attributes = is_directory(e, name) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        fill(name, info, data);
        return true;
      }
      std::string host = host_dir_;
      if (host.empty() || host.back() != '/') host += '/';
      host += name;
      const DWORD info_leave_out =
          ((leave_out_ & NT_FIND_NO_CREATION) ? NT_INFO_NO_CREATION : NT_INFO_ALL) |
          ((leave_out_ & NT_FIND_NO_ATTRIBUTES) ? NT_INFO_NO_ATTRIBUTES : NT_INFO_ALL) |
          (trust_marks_ ? NT_INFO_TRUST_MARK : NT_INFO_ALL);
      if (nt_file_info_at(dirfd_, name.c_str(), host, &info, info_leave_out) != ERROR_SUCCESS) {
        continue;  // gone since the listing
      }
      fill(name, info, data);
      return true;
    }
    return false;
  }

 private:
  // A directory as the listing tells it; links (followed, as everywhere)
  // and unknown types are asked of the file system.
  bool is_directory(const Entry& e, const std::string& name) const {
    if (e.type == DT_DIR) return true;
    if (e.type != DT_UNKNOWN && e.type != DT_LNK) return false;
    struct statx sx;
    return statx(dirfd_, name.c_str(), 0, STATX_TYPE, &sx) == 0 && S_ISDIR(sx.stx_mode);
  }

  static void fill(const std::string& name, const NtFileInfo& info, WIN32_FIND_DATAA* data) {
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = info.attributes;
    data->ftCreationTime = u64_to_filetime(info.creation);
    data->ftLastAccessTime = u64_to_filetime(info.last_access);
    data->ftLastWriteTime = u64_to_filetime(info.last_write);
    data->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(info.size & 0xFFFFFFFFu);
    std::string ansi = nt_host_to_ansi(name);
    size_t length = std::min(ansi.size(), static_cast<size_t>(MAX_PATH - 1));
    // Never cut inside a UTF-8 sequence.
    if (length < ansi.size()) {
      while (length > 0 && (static_cast<unsigned char>(ansi[length]) & 0xC0) == 0x80) --length;
    }
    memcpy(data->cFileName, ansi.data(), length);
  }

  int dirfd_;
  std::string host_dir_;
  DWORD leave_out_;
  bool trust_marks_;  // the network's files carry the attribute mark
  std::string text_;
  std::vector<Entry> entries_;
  size_t next_ = 0;
};

HANDLE fail_handle(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

// Reads the directory once, keeping the names that match.
DWORD list_directory(int dirfd, const NtPattern& pattern, bool root, NtFindSearch* search) {
  alignas(8) char buffer[32768];
  for (;;) {
    ssize_t got = getdents64(dirfd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return win32_error_from_errno(errno);
    }
    if (got == 0) return ERROR_SUCCESS;
    for (ssize_t pos = 0; pos < got;) {
      auto* d = reinterpret_cast<struct dirent64*>(buffer + pos);
      pos += d->d_reclen;
      std::string_view name(d->d_name);
      if (root && (name == "." || name == "..")) continue;
      if (pattern.matches(name)) search->add(name, d->d_type);
    }
  }
}

// The parts of a search text: the directory part (with its separator, or a
// drive "C:", or empty for the current directory) and the pattern.
void split_search(const std::string& text, std::string* dir, std::string* pattern) {
  size_t last = text.find_last_of("\\/");
  if (last == std::string::npos && text.size() >= 2 && text[1] == ':') last = 1;
  if (last == std::string::npos) {
    dir->clear();
    *pattern = text;
    return;
  }
  *dir = text.substr(0, last + 1);
  *pattern = text.substr(last + 1);
}

bool valid_pattern(const std::string& pattern) {
  for (unsigned char c : pattern) {
    if (c < 0x20 || c == '<' || c == '>' || c == '|' || c == '"' || c == ':') return false;
  }
  return true;
}

}  // namespace

HANDLE FindFirstFileA(const char* file_name, WIN32_FIND_DATAA* data) {
  return nt_find_first_file(file_name, data, NT_FIND_ALL);
}

HANDLE nt_find_first_file(const char* file_name, WIN32_FIND_DATAA* data, DWORD leave_out) {
  if (!file_name || !data) return fail_handle(ERROR_INVALID_PARAMETER);
  if (leave_out &
      ~(NT_FIND_NO_CREATION | NT_FIND_NAMES_ONLY | NT_FIND_NO_ATTRIBUTES | NT_FIND_NO_DOT_INFO)) {
    return fail_handle(ERROR_INVALID_PARAMETER);
  }
  std::string text = nt_ansi_to_host(file_name);
  if (text.empty()) return fail_handle(ERROR_PATH_NOT_FOUND);
  std::string dir_text, pattern_text;
  split_search(text, &dir_text, &pattern_text);
  if (pattern_text.empty()) return fail_handle(ERROR_FILE_NOT_FOUND);
  if (!valid_pattern(pattern_text)) return fail_handle(ERROR_INVALID_NAME);

  std::string full;
  DWORD err = nt_get_full_path(dir_text.empty() ? std::string(".") : dir_text, &full);
  if (err != ERROR_SUCCESS) return fail_handle(err);
  NtResolvedPath dir;
  if ((err = nt_resolve_full_path(full, &dir)) != ERROR_SUCCESS) return fail_handle(err);
  if ((err = nt_check_file_access(dir.host, NtFileOperation::list)) != ERROR_SUCCESS) {
    return fail_handle(err);
  }
  int dirfd = open(dir.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) {
    int e = errno;
    return fail_handle(e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                   : win32_error_from_errno(e));
  }
  // Whether a file's mode tells that it has no attributes: asked once per
  // search, and only of searches that read attributes.
  const bool trust_marks =
      (leave_out & (NT_FIND_NAMES_ONLY | NT_FIND_NO_ATTRIBUTES)) == 0 && nt_attribute_marks_trusted();
  auto search = std::make_shared<NtFindSearch>(dirfd, dir.host, leave_out, trust_marks);
  NtPattern pattern(pattern_text);
  if (!pattern.has_wildcards() && pattern_text != "." && pattern_text != "..") {
    // One name: found without regard to case, trailing dots and blanks
    // dropped as NT drops them.
    std::string name = pattern_text;
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    std::string found;
    if (!name.empty() && nt_find_entry(dir.host, name, &found)) search->add(found);
  } else {
    if ((err = list_directory(dirfd, pattern, dir.root, search.get())) != ERROR_SUCCESS) {
      return fail_handle(err);
    }
    search->sort();
  }
  if (!search->next(data)) return fail_handle(ERROR_FILE_NOT_FOUND);
  HANDLE handle = nt_insert_handle(std::move(search));
  if (!handle) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
  std::shared_ptr<NtFindSearch> search = nt_lookup_handle_as<NtFindSearch>(handle);
  if (!search) return FALSE;
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!search->next(data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!nt_lookup_handle_as<NtFindSearch>(handle)) return FALSE;
  return CloseHandle(handle);
}
