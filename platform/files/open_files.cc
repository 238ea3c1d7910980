#include "platform/files/open_files.h"

#include <sys/file.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files/file_io.h"

namespace {

struct OpenRecord {
  const void* owner;
  DWORD access;
  DWORD share;
};

struct OpenTable {
  std::mutex lock;
  std::map<std::pair<dev_t, ino_t>, std::vector<OpenRecord>> opens;
};

OpenTable& table() {
  static OpenTable* t = new OpenTable;
  return *t;
}

bool wants(DWORD access, DWORD what) { return (access & what) != 0; }

// True when an open with (access, share) can live beside `other`.
bool compatible(DWORD access, DWORD share, const OpenRecord& other) {
  if (wants(access, GENERIC_READ) && !(other.share & FILE_SHARE_READ)) return false;
  if (wants(access, GENERIC_WRITE) && !(other.share & FILE_SHARE_WRITE)) return false;
  if (wants(access, DELETE) && !(other.share & FILE_SHARE_DELETE)) return false;
  if (wants(other.access, GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
  if (wants(other.access, GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
  if (wants(other.access, DELETE) && !(share & FILE_SHARE_DELETE)) return false;
  return true;
}

}  // namespace

bool nt_register_open(const void* owner, dev_t device, ino_t inode, DWORD access, DWORD share) {
  OpenTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  std::vector<OpenRecord>& list = t.opens[{device, inode}];
  for (const OpenRecord& other : list) {
    if (!compatible(access, share, other)) {
      if (list.empty()) t.opens.erase({device, inode});
      return false;
    }
  }
  list.push_back(OpenRecord{owner, access, share});
  return true;
}

bool nt_lock_open_across_processes(int fd, DWORD access, DWORD share) {
  if (!wants(access, GENERIC_READ | GENERIC_WRITE)) return true;
  const bool exclusive = (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0;
  int result;
  do {
    result = flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  // Only a held lock refuses the open; a file system without flock lets it pass.
  return result == 0 || errno != EWOULDBLOCK;
}

void nt_unregister_open(const void* owner, dev_t device, ino_t inode) {
  OpenTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.opens.find({device, inode});
  if (it == t.opens.end()) return;
  std::vector<OpenRecord>& list = it->second;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].owner == owner) {
      list.erase(list.begin() + static_cast<long>(i));
      break;
    }
  }
  if (list.empty()) t.opens.erase(it);
}

bool nt_open_without_share(const struct stat& st, DWORD share) {
  OpenTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.opens.find({st.st_dev, st.st_ino});
  if (it == t.opens.end()) return false;
  for (const OpenRecord& other : it->second) {
    if ((other.share & share) != share) return true;
  }
  return false;
}

bool nt_open_without_share_delete(const struct stat& st) {
  return nt_open_without_share(st, FILE_SHARE_DELETE);
}
