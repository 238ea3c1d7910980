// The server commands: one action per server of the loop, then the
// command's summary, the totals line and the exit code.
#include "zeb/server_commands.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/format.h"
#include "lib/frame.h"
#include "lib/server_loops.h"
#include "lib/target_split.h"
#include "lib/wildcard.h"
#include "platform/kernel/module.h"
#include "platform/nls/codepage.h"
#include "platform/services/services.h"
#include "zeb/server_actions.h"
#include "zeb/service_role.h"

void zeb_call_error(const char* call, const std::string& object, long error) {
  fflush(stdout);
  fprintf(stderr, "ZEB-ERROR, %s(%s) failed, error=%ld\n", call, object.c_str(), error);
}

namespace {

enum class ServerCmd { add, show, set, start, stop, pause, resume, del, upd, user };

struct CmdInfo {
  const char* word;  // first three letters
  ServerCmd cmd;
  const char* done;  // "ZEB-INFO, %ld servers <done>"; null: no such line
  const char* none;  // the line when nothing was counted
};

const CmdInfo kCommands[] = {
    {"add", ServerCmd::add, "added", "ZEB-ERROR, no servers added\n"},
    {"sho", ServerCmd::show, nullptr, "ZEB-ERROR, no servers match\n"},
    {"set", ServerCmd::set, "modified", "ZEB-ERROR, no servers modified\n"},
    {"sta", ServerCmd::start, "started", "ZEB-ERROR, no servers started\n"},
    {"sto", ServerCmd::stop, "stopped", "ZEB-ERROR, no servers stopped\n"},
    {"pau", ServerCmd::pause, "paused", "ZEB-ERROR, no servers paused\n"},
    {"res", ServerCmd::resume, "resumed", "ZEB-ERROR, no servers resumed\n"},
    {"del", ServerCmd::del, "removed", "ZEB-ERROR, no servers removed\n"},
    {"upd", ServerCmd::upd, "updated", "ZEB-ERROR, no servers updated\n"},
    {"use", ServerCmd::user, "processed", "ZEB-ERROR, no servers updated with user info\n"},
};

const CmdInfo* find_command(const std::string& word) {
  if (word.size() < 3) return nullptr;
  std::string key;
  for (int i = 0; i < 3; ++i) key += static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
  for (const CmdInfo& info : kCommands) {
    if (key == info.word) return &info;
  }
  return nullptr;
}

struct LoopContext {
  ServerRun* run;
  ServerCmd cmd;
};

DWORD on_server(const WCHAR* domain_w, const WCHAR* server_w, void* context) {
  auto* loop = static_cast<LoopContext*>(context);
  ServerRun& run = *loop->run;
  if (run.exit_code != 0) return 0;
  const std::string domain = domain_w ? nt_wide_to_ansi(domain_w) : std::string();
  const std::string server = server_w ? nt_wide_to_ansi(server_w) : std::string();
  switch (loop->cmd) {
    case ServerCmd::add: zeb_server_add(run, domain, server); break;
    case ServerCmd::show: zeb_server_show(run, domain, server); break;
    case ServerCmd::set: zeb_server_set(run, domain, server); break;
    case ServerCmd::start: zeb_server_control(run, domain, server, 0); break;
    case ServerCmd::stop: zeb_server_control(run, domain, server, SERVICE_CONTROL_STOP); break;
    case ServerCmd::pause: zeb_server_control(run, domain, server, SERVICE_CONTROL_PAUSE); break;
    case ServerCmd::resume:
      zeb_server_control(run, domain, server, SERVICE_CONTROL_CONTINUE);
      break;
    case ServerCmd::del: zeb_server_remove(run, domain, server); break;
    case ServerCmd::upd: zeb_server_update(run, domain, server); break;
    case ServerCmd::user: zeb_server_user(run, domain, server); break;
  }
  fflush(stdout);
  return 0;
}

// The format from the command line, else the environment, else the default.
std::string pick_format(const std::string& given, const char* variable, const char* fallback) {
  if (!given.empty()) return given;
  const char* env = std::getenv(variable);
  if (env != nullptr && *env != '\0') return env;
  return fallback ? fallback : "";
}

void print_summary(const CmdInfo& info, const ServerRun& run, bool user_changes) {
  fflush(stdout);
  if (run.count == 0) {
    fputs(info.none, stderr);
    return;
  }
  if (info.done == nullptr) return;
  if (info.cmd == ServerCmd::user && !user_changes) return;
  printf("ZEB-INFO, %ld servers %s\n", run.count, info.done);
}

void print_totals(const std::string& format, const CmdInfo& info, const ServerRun& run,
                  bool ansi) {
  if (format.empty()) return;
  int32_t servers = static_cast<int32_t>(run.servers);
  int32_t modified = static_cast<int32_t>(info.cmd == ServerCmd::user ? run.users.modified
                                                                     : run.count);
  int32_t processed = static_cast<int32_t>(run.users.processed);
  ArgSpec table[] = {
      {ARG_NUMERIC, 'S', ARG_GIVEN, &servers, 0},
      {ARG_NUMERIC, 'M', ARG_GIVEN, &modified, 0},
      {ARG_NUMERIC, 'T', ARG_GIVEN, &processed, 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  if (info.cmd != ServerCmd::user) table[2] = ArgSpec{ARG_END, 0, 0, nullptr, 0};
  print_formatted(format.c_str(), table, ansi);
}

std::string own_executable() {
  char path[1024] = "";
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

}  // namespace

int zeb_server_command(const ZebClientArgs& args) {
  if (args.yes) yes_to_all = true;
  if (args.verbose) verbose = true;
  const CmdInfo* info = find_command(args.command);
  if (info == nullptr) {
    show_error(args.command.c_str(), EV_COMMAND, 0, 0);
    return EXIT_INVALID_PARAMETER;
  }
  if (info->cmd == ServerCmd::user && args.account_given && args.delete_given) {
    fflush(stdout);
    fputs("ZEB-ERROR, cannot both add and delete a user (/u /d)\n", stderr);
    return EXIT_INVALID_PARAMETER;
  }
  char domain[SPLIT_PART_SIZE] = "";
  char server[SPLIT_PART_SIZE] = "";
  char name[SPLIT_PART_SIZE] = "";
  if (!args.target.empty() && !split_target(args.target.c_str(), domain, server, name)) {
    show_error(nullptr, EV_ARGUMENT, 2, 0);
    return EXIT_INVALID_PARAMETER;
  }

  ServerRun run;
  run.args = &args;
  run.own_version = zeb_program_version();
  run.own_exe = own_executable();
  run.wildcard_servers = has_wildcard(server) || has_wildcard(domain);
  if (info->cmd == ServerCmd::show) {
    run.format = pick_format(args.item_format, "ZEB_S_FORMAT", "~-.12S~-8s A~A I~I ~u");
  } else if (info->cmd == ServerCmd::user) {
    run.format = pick_format(args.item_format, "ZEB_U_FORMAT", "~-.12S~k:~d\\~u");
  }
  const std::string totals = pick_format(args.totals_format, "ZEB_TS_FORMAT", nullptr);

  LoopContext loop{&run, info->cmd};
  domain_loop(domain, server, on_server, &loop);
  if (run.exit_code != 0) return run.exit_code;

  print_summary(*info, run, args.account_given || args.delete_given);
  print_totals(totals, *info, run, args.ansi);
  fflush(stdout);
  if (info->cmd == ServerCmd::user) return run.users.processed > 0 ? 0 : 2;
  return run.count > 0 ? 0 : 2;
}
