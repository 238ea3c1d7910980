#include "platform/resource/resource.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/files/path.h"
#include "platform/kernel/error.h"
#include "platform/nls/codepage.h"
#include "platform/nls/thread_locale.h"
#include "platform/resource/elf_section.h"
#include "platform/resource/resource_blob.h"

// Defined by the build in programs that have a resource file.
extern "C" __attribute__((weak)) const unsigned char nt_resource_blob[];

struct NtModule {
  std::string path;              // empty for the running program
  std::vector<uint8_t> bytes;    // the blob, for modules read from elsewhere
  bool has_resources = false;
  ResourceBlob blob;
  // Texts LoadStringW handed out by pointer, by id and language.
  std::map<std::pair<UINT, uint16_t>, std::u16string> wide;
};

namespace {

std::mutex g_mutex;
std::set<NtModule*> g_modules;
NtModule* g_self = nullptr;

NtModule* self_locked() {
  if (g_self == nullptr) {
    g_self = new NtModule;  // lives as long as the process
    const uint8_t* data = nt_resource_blob;
    if (data != nullptr) {
      // The blob's own header tells its size; the view is checked against
      // the largest size a blob may have.
      uint32_t total = 0;
      if (memcmp(data, "NTRS", 4) == 0) {
        total = static_cast<uint32_t>(data[8]) | data[9] << 8 | data[10] << 16 |
                static_cast<uint32_t>(data[11]) << 24;
      }
      g_self->has_resources = g_self->blob.parse(data, total);
    }
  }
  return g_self;
}

// The module a handle stands for, or null for an unknown one. The caller
// holds g_mutex.
NtModule* resolve_locked(HMODULE module) {
  if (module == nullptr) return self_locked();
  return g_modules.count(module) != 0 ? module : nullptr;
}

// The language to take among those an entry exists in, in the order that
// resource.h documents.
uint16_t choose_language(const std::vector<uint16_t>& have, LANGID thread) {
  auto first = [&](auto&& fits) -> int {
    for (uint16_t lang : have) {
      if (fits(lang)) return lang;
    }
    return -1;
  };
  int found = first([&](uint16_t l) { return l == thread; });
  if (found < 0) {
    found = first([&](uint16_t l) {
      return PRIMARYLANGID(thread) != LANG_NEUTRAL && PRIMARYLANGID(l) == PRIMARYLANGID(thread);
    });
  }
  if (found < 0) found = first([](uint16_t l) { return l == LANG_NEUTRAL; });
  if (found < 0) found = first([](uint16_t l) { return l == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US); });
  if (found < 0) found = first([](uint16_t l) { return PRIMARYLANGID(l) == LANG_ENGLISH; });
  if (found < 0) found = have.front();
  return static_cast<uint16_t>(found);
}

// Finds a text and sets the Win32 error for a missing one. Strings and
// messages are taken in the thread's language as far as it goes.
DWORD lookup_locked(HMODULE handle, uint32_t kind, uint32_t id, DWORD missing,
                    std::string_view* text, uint16_t* language = nullptr) {
  NtModule* m = resolve_locked(handle);
  if (m == nullptr) return ERROR_INVALID_HANDLE;
  if (!m->has_resources) return ERROR_RESOURCE_DATA_NOT_FOUND;
  if (!m->blob.has_kind(kind)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  std::vector<uint16_t> have = m->blob.languages(kind, id);
  if (have.empty()) return missing;
  uint16_t chosen = kind == RESOURCE_VERSION
                        ? have.front()
                        : choose_language(have, LANGIDFROMLCID(GetThreadLocale()));
  if (!m->blob.find(kind, id, chosen, text)) return missing;
  if (language != nullptr) *language = chosen;
  if (kind == RESOURCE_STRING && text->empty()) return missing;
  return ERROR_SUCCESS;
}

HMODULE register_module(NtModule* m) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_modules.insert(m);
  return m;
}

}  // namespace

HMODULE LoadLibraryExA(const char* path, HANDLE file, DWORD flags) {
  constexpr DWORD known = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE |
                          LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE;
  if (path == nullptr || *path == '\0' || file != nullptr || (flags & ~known) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string host;
  if (!nt_host_path(path, &host)) return nullptr;  // the error is set
  auto m = new NtModule;
  DWORD code = read_elf_section_file(host, RESOURCE_SECTION_NAME, &m->bytes);
  if (code == ERROR_SUCCESS && !m->blob.parse(m->bytes.data(), m->bytes.size())) {
    code = ERROR_BAD_EXE_FORMAT;
  }
  if (code != ERROR_SUCCESS) {
    delete m;
    SetLastError(code);
    return nullptr;
  }
  m->has_resources = true;
  char* full = realpath(host.c_str(), nullptr);
  m->path = full != nullptr ? full : host;
  free(full);
  return register_module(m);
}

HMODULE LoadLibraryA(const char* path) { return LoadLibraryExA(path, nullptr, 0); }

BOOL FreeLibrary(HMODULE module) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (module == nullptr || g_modules.erase(module) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete module;
  return TRUE;
}

HMODULE nt_module_from_blob(const void* data, size_t size) {
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto m = new NtModule;
  m->bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  if (!m->blob.parse(m->bytes.data(), m->bytes.size())) {
    delete m;
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  m->has_resources = true;
  return register_module(m);
}

int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string ansi;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::string_view text;
    DWORD code = lookup_locked(module, RESOURCE_STRING, id, ERROR_RESOURCE_NAME_NOT_FOUND, &text);
    if (code != ERROR_SUCCESS) {
      buffer[0] = '\0';
      SetLastError(code);
      return 0;
    }
    ansi = GetACP() == CP_UTF8 ? std::string(text)
                               : nt_wide_to_ansi(nt_multibyte_to_wide(CP_UTF8, text));
  }
  size_t n = ansi.size();
  if (n > static_cast<size_t>(size - 1)) {
    n = static_cast<size_t>(size - 1);
    // Never cut a UTF-8 character in two.
    if (GetACP() == CP_UTF8) {
      while (n > 0 && (static_cast<unsigned char>(ansi[n]) & 0xC0) == 0x80) --n;
    }
  }
  memcpy(buffer, ansi.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int size) {
  if (buffer == nullptr || size < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string_view text;
  uint16_t language = 0;
  DWORD code = lookup_locked(module, RESOURCE_STRING, id, ERROR_RESOURCE_NAME_NOT_FOUND, &text,
                             &language);
  if (code != ERROR_SUCCESS) {
    if (size > 0) buffer[0] = u'\0';
    SetLastError(code);
    return 0;
  }
  NtModule* m = resolve_locked(module);
  auto key = std::make_pair(id, language);
  auto it = m->wide.find(key);
  if (it == m->wide.end()) it = m->wide.emplace(key, nt_multibyte_to_wide(CP_UTF8, text)).first;
  const std::u16string& wide = it->second;
  if (size == 0) {
    // The caller asked for a pointer to the text itself.
    *reinterpret_cast<const WCHAR**>(buffer) = wide.c_str();
    return static_cast<int>(wide.size());
  }
  size_t n = wide.size();
  if (n > static_cast<size_t>(size - 1)) {
    n = static_cast<size_t>(size - 1);
    // Never keep the first half of a surrogate pair alone.
    if (n > 0 && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;
  }
  memcpy(buffer, wide.data(), n * sizeof(WCHAR));
  buffer[n] = u'\0';
  return static_cast<int>(n);
}

bool nt_module_version(HMODULE module, std::string* version) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string_view text;
  DWORD code = lookup_locked(module, RESOURCE_VERSION, 0, ERROR_RESOURCE_NAME_NOT_FOUND, &text);
  if (code != ERROR_SUCCESS) {
    SetLastError(code);
    return false;
  }
  version->assign(text);
  return true;
}

bool nt_module_path(HMODULE module, std::string* path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  NtModule* m = resolve_locked(module);
  if (m == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  path->assign(m->path);
  return true;
}

DWORD nt_find_message(HMODULE module, DWORD id, std::string* text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string_view found;
  DWORD code = lookup_locked(module, RESOURCE_MESSAGE, id, ERROR_MR_MID_NOT_FOUND, &found);
  if (code == ERROR_SUCCESS) {
    text->assign(found);
  } else {
    SetLastError(code);
  }
  return code;
}
