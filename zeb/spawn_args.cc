#include "zeb/spawn_args.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool parse_long(const std::string& text, long* value) {
  if (text.empty()) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') return false;
  }
  errno = 0;
  long long v = strtoll(text.c_str(), nullptr, 10);
  if (errno != 0 || v > 0xFFFFFFFFll || v < -0x80000000ll) return false;
  *value = static_cast<long>(v);
  return true;
}

}  // namespace

bool zeb_parse_spawn_args(const std::string& command_line, ZebSpawnArgs* args) {
  size_t at = command_line.find(" SpAwN ");
  if (at == std::string::npos) return false;
  size_t pos = command_line.find('*', at + 7);
  if (pos == std::string::npos) return false;
  ++pos;
  std::string fields[5];
  for (std::string& field : fields) {
    size_t star = command_line.find('*', pos);
    if (star == std::string::npos) return false;
    field = command_line.substr(pos, star - pos);
    pos = star + 1;
  }
  long numbers[4];
  for (int i = 0; i < 4; ++i) {
    if (!parse_long(fields[i], &numbers[i])) return false;
  }
  ZebSpawnArgs out;
  out.event_handle = numbers[0];
  out.interactive = numbers[1] != 0;
  out.flags = static_cast<DWORD>(numbers[2]);
  out.account_index = static_cast<DWORD>(numbers[3]);
  out.name = fields[4];
  out.command = command_line.substr(pos);
  *args = out;
  return true;
}
