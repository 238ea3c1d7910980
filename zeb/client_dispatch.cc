#include "zeb/client_dispatch.h"

#include "lib/command_code.h"
#include "lib/target_split.h"

ZebTargetKind zeb_target_kind(const std::string& target) {
  if (target.empty()) return ZebTargetKind::server;
  char domain[SPLIT_PART_SIZE] = "", server[SPLIT_PART_SIZE] = "", name[SPLIT_PART_SIZE] = "";
  // Too long to split: it cannot name a server, so the job command reports it.
  if (!split_target(target.c_str(), domain, server, name)) return ZebTargetKind::job;
  return name[0] != '\0' ? ZebTargetKind::job : ZebTargetKind::server;
}

bool zeb_server_command_valid(int code) {
  switch (code) {
    case CMD_ADD:
    case CMD_SHOW:
    case CMD_SET:
    case CMD_START:
    case CMD_STOP:
    case CMD_PAUSE:
    case CMD_RESUME:
    case CMD_DEL:
    case CMD_UPDATE:
    case CMD_USER:
      return true;
    default:
      return false;
  }
}

bool zeb_job_command_valid(int code) {
  switch (code) {
    case CMD_ADD:
    case CMD_SHOW:
    case CMD_SET:
    case CMD_START:
    case CMD_STOP:
    case CMD_PAUSE:
    case CMD_RESUME:
    case CMD_DEL:
    case CMD_CLEAN:
    case CMD_SWITCH:
      return true;
    default:
      return false;
  }
}
