#include "platform/sync/named_objects.h"

#include <cstring>
#include <map>
#include <mutex>

#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"

namespace {

struct Namespace {
  std::mutex lock;
  std::map<std::string, std::weak_ptr<KernelObject>> objects;
};

Namespace& space() {
  static Namespace* s = new Namespace;
  return *s;
}

// The key of a name, or a Win32 error.
DWORD key_of(const char* name, std::string* key) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  if (strlen(name) > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  std::string rest = name;
  for (const char* prefix : {"Global\\", "Local\\"}) {
    if (rest.compare(0, strlen(prefix), prefix) == 0) {
      rest.erase(0, strlen(prefix));
      break;
    }
  }
  if (rest.find('\\') != std::string::npos) return ERROR_PATH_NOT_FOUND;
  *key = nt_computer_name() + '\\' + rest;
  return ERROR_SUCCESS;
}

void prune_locked(Namespace& s) {
  for (auto it = s.objects.begin(); it != s.objects.end();) {
    it = it->second.expired() ? s.objects.erase(it) : std::next(it);
  }
}

}  // namespace

DWORD nt_named_object_create(const char* name,
                             const std::function<std::shared_ptr<KernelObject>()>& make,
                             std::shared_ptr<KernelObject>* object, bool* existed) {
  std::string key;
  DWORD error = key_of(name, &key);
  if (error != ERROR_SUCCESS) return error;
  Namespace& s = space();
  std::lock_guard<std::mutex> guard(s.lock);
  auto it = s.objects.find(key);
  if (it != s.objects.end()) {
    if (std::shared_ptr<KernelObject> live = it->second.lock()) {
      *object = std::move(live);
      *existed = true;
      return ERROR_SUCCESS;
    }
  }
  prune_locked(s);
  *existed = false;
  *object = make();
  if (*object) s.objects[key] = *object;
  return ERROR_SUCCESS;
}

DWORD nt_named_object_open(const char* name, std::shared_ptr<KernelObject>* object) {
  std::string key;
  DWORD error = key_of(name, &key);
  if (error != ERROR_SUCCESS) return error;
  Namespace& s = space();
  std::lock_guard<std::mutex> guard(s.lock);
  auto it = s.objects.find(key);
  if (it == s.objects.end()) return ERROR_FILE_NOT_FOUND;
  *object = it->second.lock();
  return *object ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}
