#include "zeb/job_commands.h"

#include <cstdio>
#include <string>

#include "lib/command_code.h"
#include "lib/format.h"
#include "lib/frame.h"
#include "lib/server_loops.h"
#include "lib/target_split.h"
#include "platform/kernel/identity.h"
#include "platform/netapi/netapi.h"
#include "platform/nls/codepage.h"
#include "zeb/job_account.h"
#include "zeb/job_fields.h"
#include "zeb/job_options.h"
#include "zeb/pipe_client.h"
#include "zeb/pipe_protocol.h"
#include "zeb/service_role.h"

namespace {

struct JobRun {
  const ZebClientArgs* args = nullptr;
  int code = 0;        // CMD_*
  DWORD pipe_code = 0; // ZEB_CMD_*
  std::string job;     // the job name or pattern of the main argument
  std::string version;
  std::string item_format;
  std::string server_format;
  long servers = 0;
  long processed = 0;
};

DWORD pipe_code_of(int code) {
  switch (code) {
    case CMD_ADD: return ZEB_CMD_ADD;
    case CMD_DEL: return ZEB_CMD_DEL;
    case CMD_SET: return ZEB_CMD_SET;
    case CMD_PAUSE: return ZEB_CMD_PAUSE;
    case CMD_RESUME: return ZEB_CMD_RESUME;
    case CMD_START: return ZEB_CMD_START;
    case CMD_STOP: return ZEB_CMD_STOP;
    case CMD_CLEAN: return ZEB_CMD_CLEAN;
    case CMD_SWITCH: return ZEB_CMD_SWITCH;
    case CMD_SHOW: return ZEB_CMD_SHOW;
    default: return 0;
  }
}

void print_out(const std::string& line) {
  fputs(line.c_str(), stdout);
  fflush(stdout);
}

void print_err(const std::string& line) {
  fflush(stdout);
  fputs(line.c_str(), stderr);
  fflush(stderr);
}

// The work on one server: `server` is "\\NAME", or empty for this machine,
// whose pipe is reached as "\\." and named so in the lines; `shown` is the
// name of the ~S field.
DWORD job_server(JobRun& run, const std::string& domain, const std::string& target,
                 const std::string& shown) {
  const ZebClientArgs& args = *run.args;
  const std::string server = target.empty() ? std::string("\\\\.") : target;
  ++run.servers;

  std::string problem = zeb_check_job_options(args, run.code, run.job);
  if (!problem.empty()) {
    print_err(problem);
    return ERROR_INVALID_PARAMETER;
  }
  ZebJobAccounts accounts(target, server, print_err);
  DWORD account_index = 0;
  bool account_given = args.account_given && (run.code == CMD_ADD || run.code == CMD_SET);
  if (account_given && !accounts.resolve(args.account, &account_index)) {
    print_err("ZEB-ERROR, " + server + " Invalid account '" + args.account + "'\n");
    return ERROR_INVALID_PARAMETER;
  }

  ZebPipeRequest request;
  request.server = target;
  request.code = run.pipe_code;
  request.command_word = args.command;
  request.pattern = run.job;
  request.own_version = run.version;
  if (run.code == CMD_ADD) {
    zeb_record_from_options(args, run.job, account_index, &request.record);
  } else if (run.code == CMD_SWITCH) {
    job_record_init(&request.record);
    job_set_name(&request.record, run.job.c_str());
  }
  if (args.verbose) {
    print_out("ZEB-INFO, trying to connect " + zeb_client_pipe_name(request) + "...\n");
  }

  ZebPipeHooks hooks;
  hooks.out = print_out;
  hooks.err = print_err;
  if (run.code != CMD_SHOW) {
    hooks.confirm = [&](const std::string& job) {
      std::string question = args.command + " '" + job + "' on " + server + " ?\n";
      return confirm(question.c_str());
    };
  }
  hooks.accept = [&](const JobRecord& rec) {
    ZebJobFields fields(rec, shown, accounts.label(rec.account_index));
    return match_criteria(fields.criteria, args.criteria);
  };
  if (run.code == CMD_SHOW) {
    hooks.record = [&](const JobRecord& rec) {
      ZebJobFields fields(rec, shown, accounts.label(rec.account_index));
      print_formatted(run.item_format.c_str(), fields.table, args.ansi);
      fflush(stdout);
    };
  }
  if (run.code == CMD_SET) {
    hooks.prepare = [&](JobRecord* rec) {
      zeb_apply_set_options(args, account_given, account_index, rec);
    };
  }

  ZebPipeResult result;
  DWORD rc = zeb_pipe_conversation(request, hooks, &result);
  run.processed += result.processed;
  if (rc != ERROR_SUCCESS) return rc;
  if (run.code == CMD_SHOW) {
    ZebServerJobFields fields(domain, shown, result.processed);
    print_formatted(run.server_format.c_str(), fields.table, args.ansi);
    fflush(stdout);
  } else if (run.code != CMD_ADD) {
    print_out("ZEB-INFO, " + std::to_string(result.processed) + " jobs processed on " + server +
              "\n");
  }
  return ERROR_SUCCESS;
}

DWORD loop_server(const WCHAR* domain, const WCHAR* server, void* context) {
  std::string name = nt_wide_to_ansi(std::u16string(server));
  return job_server(*static_cast<JobRun*>(context), nt_wide_to_ansi(std::u16string(domain)),
                    name, name);
}

// This machine's domain (its LAN group) for the ~D field; empty when unknown.
std::string local_domain() {
  WKSTA_INFO_100* info = nullptr;
  std::string domain;
  if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<LPBYTE*>(&info)) == NERR_Success && info) {
    domain = nt_wide_to_ansi(std::u16string(info->wki100_langroup));
  }
  if (info) NetApiBufferFree(info);
  return domain;
}

}  // namespace

int zeb_job_command(const ZebClientArgs& args) {
  JobRun run;
  run.args = &args;
  run.code = command_code(args.command.c_str(), CMD_HELP);
  run.pipe_code = pipe_code_of(run.code);
  if (run.pipe_code == 0) {
    print_err("ZEB-ERROR, invalid job command '" + args.command + "'\n");
    return EXIT_INVALID_PARAMETER;
  }
  char domain[SPLIT_PART_SIZE] = "", server[SPLIT_PART_SIZE] = "", name[SPLIT_PART_SIZE] = "";
  split_target(args.target.c_str(), domain, server, name);
  run.job = name;
  run.version = zeb_program_version();
  run.item_format = zeb_pick_format(args.item_format, "ZEB_J_FORMAT", ZEB_JOB_FORMAT_DEFAULT);
  run.server_format = zeb_pick_format(args.server_format, "ZEB_SJ_FORMAT", "");
  std::string totals_format = zeb_pick_format(args.totals_format, "ZEB_TJ_FORMAT", "");

  if (server[0] == '\0' && domain[0] == '\0') {
    job_server(run, local_domain(), "", "\\\\" + nt_computer_name());
  } else {
    domain_loop(domain, server, loop_server, &run);
  }

  if (run.code == CMD_SHOW) {
    ZebJobTotalsFields totals(run.servers, run.processed);
    print_formatted(totals_format.c_str(), totals.table, args.ansi);
  }
  fflush(stdout);
  return run.processed > 0 ? EXIT_DONE : 2;
}
