#include "vexa32/settings.h"

#include <utility>

#include "platform/files/file_info.h"
#include "platform/profile/profile.h"

std::string vexa_ini_path(const std::string& program_path) {
  size_t name = program_path.find_last_of("/\\");
  name = name == std::string::npos ? 0 : name + 1;
  size_t dot = program_path.rfind('.');
  if (dot == std::string::npos || dot < name) return program_path + ".INI";
  return program_path.substr(0, dot + 1) + "INI";
}

bool vexa_ini_exists(const std::string& ini) {
  DWORD attributes = GetFileAttributesA(ini.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

long read_int(const std::string& ini, const char* key, long def) {
  return static_cast<long>(
      static_cast<INT>(GetPrivateProfileIntA("Vexa", key, static_cast<INT>(def), ini.c_str())));
}

std::string read_text(const std::string& ini, const char* key) {
  char buffer[1024];
  GetPrivateProfileStringA("Vexa", key, "", buffer, sizeof buffer, ini.c_str());
  return buffer;
}

}  // namespace

VexaSettings read_vexa_settings(const std::string& ini) {
  VexaSettings s;
  s.ask = read_int(ini, "Ask", 30);
  s.copy_on_timeout = read_int(ini, "CopyOnTimeout", 0) != 0;
  s.allow_cancel = read_int(ini, "AllowCancel", 1) != 0;
  s.hidden = read_int(ini, "Hidden", 1) != 0;
  s.errors = read_int(ini, "Errors", 0) != 0;
  s.lock = read_text(ini, "lock");
  s.run = read_text(ini, "run");
  s.look_timer = read_int(ini, "LookTimer", 60);
  return s;
}

std::vector<std::string> read_key_list(const std::string& ini, const char* section, size_t size,
                                       bool* cut) {
  std::vector<std::string> keys;
  if (cut) *cut = false;
  // The whole list first (the system's cut cannot be told from a list that
  // just fits), then as many whole names as the agent's buffer holds.
  std::vector<char> buffer(4096);
  DWORD got = 0;
  for (;;) {
    got = GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                   static_cast<DWORD>(buffer.size()), ini.c_str());
    if (got + 2 < buffer.size() || buffer.size() >= (64u << 20)) break;
    buffer.resize(buffer.size() * 4);
  }
  size_t used = 1;  // the list's final terminator
  for (size_t pos = 0; pos < got && buffer[pos] != '\0';) {
    std::string name(buffer.data() + pos);
    pos += name.size() + 1;
    if (used + name.size() + 1 > size) {
      if (cut) *cut = true;
      break;
    }
    used += name.size() + 1;
    keys.push_back(std::move(name));
  }
  return keys;
}
