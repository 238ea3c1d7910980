#include "vexa32/command_list.h"

#include <strings.h>

#include "platform/kernel/environment.h"
#include "platform/process/process.h"
#include "platform/profile/profile.h"
#include "vexa32/settings.h"

CommandList read_command_list(const std::string& ini, const char* section) {
  CommandList list;
  for (const std::string& key : read_key_list(ini, section, COMMAND_KEYS_SIZE)) {
    UINT flags = GetPrivateProfileIntA(section, key.c_str(), 0, ini.c_str());
    list.push_back(CommandEntry{key, flags});
  }
  return list;
}

UINT show_mode_for(UINT flags) {
  if (flags & CMD_HIDDEN) return SW_HIDE;
  if (flags & CMD_NORMAL) return SW_SHOWNORMAL;
  if (flags & CMD_MAXIMIZED) return SW_SHOWMAXIMIZED;
  return SW_SHOWMINIMIZED;
}

bool is_exit_entry(const std::string& line) { return strcasecmp(line.c_str(), "Exit") == 0; }

namespace {

// The value of a variable, empty when it is not set.
std::string variable(const std::string& name) {
  char small[256];
  DWORD n = GetEnvironmentVariableA(name.c_str(), small, sizeof small);
  if (n < sizeof small) return std::string(small, n);
  std::string big(n, '\0');
  DWORD m = GetEnvironmentVariableA(name.c_str(), big.data(), n);
  big.resize(m < n ? m : 0);
  return big;
}

}  // namespace

std::string expand_command_line(const std::string& line) {
  size_t keep = line.size();
  if (keep > COMMAND_LINE_SIZE - 1) {
    keep = COMMAND_LINE_SIZE - 1;
    // Back to the start of a UTF-8 character.
    while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80) --keep;
  }
  const std::string cut = line.substr(0, keep);
  std::string out;
  for (size_t i = 0; i < cut.size();) {
    if (cut[i] != '%') {
      out += cut[i++];
    } else {
      size_t close = cut.find('%', i + 1);
      if (close == std::string::npos) {
        out += cut.substr(i);  // a lone "%" stays with the rest
        break;
      }
      if (close == i + 1) {
        out += '%';
      } else {
        out += variable(cut.substr(i + 1, close - i - 1));
      }
      i = close + 1;
    }
    if (out.size() >= COMMAND_LINE_SIZE) return cut;
  }
  return out.size() >= COMMAND_LINE_SIZE ? cut : out;
}
