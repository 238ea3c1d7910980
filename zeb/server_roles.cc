#include "zeb/server_roles.h"

#include "platform/kernel/environment.h"
#include "platform/netapi/netapi.h"
#include "platform/network/wtf8.h"
#include "platform/registry/registry.h"

namespace {
// Servers only, as the browser types them.
constexpr DWORD kServerType = 0x00000002;
constexpr DWORD kListBytes = 16384;
}  // namespace

std::vector<std::string> zeb_role_words(std::string_view comment) {
  std::vector<std::string> words;
  size_t at = 0;
  while ((at = comment.find("/~", at)) != std::string_view::npos) {
    size_t begin = at + 2;
    size_t end = begin;
    while (end < comment.size() && static_cast<unsigned char>(comment[end]) > 32) ++end;
    words.emplace_back(comment.substr(begin, end - begin));
    at = begin;
  }
  return words;
}

int zeb_publish_server_roles() {
  BYTE* buffer = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  if (NetServerEnum(nullptr, 101, &buffer, kListBytes, &read, &total, kServerType, nullptr,
                    nullptr) != NERR_Success ||
      buffer == nullptr) {
    if (buffer != nullptr) NetApiBufferFree(buffer);
    return 0;
  }
  int set = 0;
  HKEY env = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZEB_MACHINE_ENVIRONMENT_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &env, nullptr);
  const SERVER_INFO_101* servers = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  for (DWORD i = 0; i < read; ++i) {
    if (servers[i].sv101_comment == nullptr || servers[i].sv101_name == nullptr) continue;
    std::string name = nt_wtf8_from_utf16(servers[i].sv101_name);
    while (!name.empty() && name[0] == '\\') name.erase(0, 1);
    for (const std::string& word : zeb_role_words(nt_wtf8_from_utf16(servers[i].sv101_comment))) {
      std::string variable = "Q_" + word;
      if (env != nullptr) {
        RegSetValueExA(env, variable.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(name.c_str()),
                       static_cast<DWORD>(name.size() + 1));
      }
      if (SetEnvironmentVariableA(variable.c_str(), name.c_str())) ++set;
    }
  }
  if (env != nullptr) RegCloseKey(env);
  NetApiBufferFree(buffer);
  return set;
}
