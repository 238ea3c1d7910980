#include "zeb/pipe_protocol.h"

#include <cstdio>
#include <cstring>

#include "zeb/zeb_text.h"

std::string zeb_pipe_path(const char* server) {
  std::string path = (server != nullptr && *server != '\0') ? server : "\\\\.";
  return path + "\\pipe\\zebsrv";
}

std::string zeb_reply_open_desktop(std::string_view job, long error) {
  return "OpenDesktop(" + std::string(job) + ") failed, error=" + std::to_string(error);
}

std::string zeb_reply_cannot_delete(std::string_view dir, std::string_view job,
                                     std::string_view kind, long error) {
  return "Cannot delete " + std::string(dir) + std::string(job) + "." + std::string(kind) +
         ", error=" + std::to_string(error);
}

namespace {

const ZebCommandInfo kCommands[] = {
    {ZEB_CMD_ADD, "AddJob", ZebBody::record, ZebAccess::write, false},
    {ZEB_CMD_DEL, "DelJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_SET, "SetJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_PAUSE, "PauseJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_RESUME, "ResumeJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_START, "StartJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_STOP, "StopJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_CLEAN, "CleanJob", ZebBody::pattern, ZebAccess::write, true},
    {ZEB_CMD_SWITCH, "SwitchJob", ZebBody::record, ZebAccess::write, false},
    {ZEB_CMD_SHOW, "ShowJob", ZebBody::pattern, ZebAccess::read, true},
    {ZEB_CMD_CLOSE, "Close", ZebBody::none, ZebAccess::none, false},
    {ZEB_CMD_VERSION, "Version", ZebBody::none, ZebAccess::none, false},
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const ZebCommandInfo* zeb_command_info(DWORD code) {
  for (const ZebCommandInfo& info : kCommands) {
    if (info.code == code) return &info;
  }
  return nullptr;
}

std::string zeb_encode_code(DWORD code) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(code));
  return text;
}

bool zeb_decode_code(const void* data, size_t size, DWORD* code) {
  if (data == nullptr || code == nullptr) return false;
  const char* p = static_cast<const char*>(data);
  size_t n = strnlen(p, size < ZEB_CODE_READ ? size : ZEB_CODE_READ);
  size_t i = 0;
  while (i < n && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r'))) ++i;
  if (i + 1 < n && p[i] == '0' && (p[i + 1] == 'x' || p[i + 1] == 'X') && i + 2 < n &&
      hex_digit(p[i + 2]) >= 0) {
    i += 2;
  }
  if (i >= n || hex_digit(p[i]) < 0) return false;
  uint64_t value = 0;
  for (; i < n && hex_digit(p[i]) >= 0; ++i) {
    value = value * 16 + static_cast<uint64_t>(hex_digit(p[i]));
    if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull;
  }
  *code = static_cast<DWORD>(value);
  return true;
}

std::string zeb_control(char c) { return std::string{c, '\0'}; }

bool zeb_is_control(const void* data, size_t size, char c) {
  return data != nullptr && size >= 1 && static_cast<const char*>(data)[0] == c;
}

std::string zeb_text_message(std::string_view text) {
  std::string out(text.substr(0, text.find('\0')));
  out.push_back('\0');
  return out;
}

std::string zeb_message_text(const void* data, size_t size) {
  if (data == nullptr) return {};
  const char* p = static_cast<const char*>(data);
  return std::string(p, strnlen(p, size));
}

std::string zeb_name_message(std::string_view name) {
  std::string out(1, ZEB_NAME);
  out += name.substr(0, name.find('\0'));
  out.push_back('\0');
  return out;
}

std::string zeb_decode_pattern(const void* data, size_t size) {
  std::string text = zeb_message_text(data, size);
  text.resize(zeb_cut_length(text, ZEB_PATTERN_MAX));
  return text;
}

ZebServerMessage zeb_classify_server_message(const void* data, size_t size) {
  if (data == nullptr || size == 0) return ZebServerMessage::text;
  const char* p = static_cast<const char*>(data);
  switch (p[0]) {
    case ZEB_ACK:
      return ZebServerMessage::ack;
    case ZEB_NAME:
      return ZebServerMessage::name;
    case ZEB_RECORD:
      return ZebServerMessage::record;
    case ZEB_SEND:
      return ZebServerMessage::send;
    case ZEB_DONE:
      return ZebServerMessage::done;
    case ZEB_END:
      return ZebServerMessage::end;
    default:
      return ZebServerMessage::text;
  }
}

std::string zeb_name_of(const void* data, size_t size) {
  if (data == nullptr || size < 1) return {};
  std::string name = zeb_message_text(static_cast<const char*>(data) + 1, size - 1);
  name.resize(zeb_cut_length(name, JOB_NAME_MAX));
  return name;
}
