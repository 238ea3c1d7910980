#include "ntnet/services_command.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/services/service_admin.h"
#include "platform/services/services.h"

const char* ntnet_service_state_name(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "starting";
    case SERVICE_STOP_PENDING: return "stopping";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continuing";
    case SERVICE_PAUSE_PENDING: return "pausing";
    case SERVICE_PAUSED: return "paused";
    default: return "unknown";
  }
}

const char* ntnet_service_start_name(DWORD start_type) {
  switch (start_type) {
    case SERVICE_BOOT_START: return "boot";
    case SERVICE_SYSTEM_START: return "system";
    case SERVICE_AUTO_START: return "auto";
    case SERVICE_DEMAND_START: return "demand";
    case SERVICE_DISABLED: return "disabled";
    default: return "unknown";
  }
}

int ntnet_boot(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet boot MACHINE");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  std::vector<NtServiceOutcome> outcomes;
  DWORD err = nt_service_boot(ref.name, &outcomes);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot boot %s (error %lu)", ref.name.c_str(),
                    static_cast<unsigned long>(err));
  int result = 0;
  for (const NtServiceOutcome& o : outcomes) {
    if (o.error == ERROR_SUCCESS) {
      ctx.print("Started %s on %s\n", o.name.c_str(), ref.name.c_str());
    } else {
      ctx.error("cannot start %s on %s (error %lu)", o.name.c_str(), ref.name.c_str(),
                static_cast<unsigned long>(o.error));
      result = 1;
    }
  }
  ctx.print("%s is up\n", ref.name.c_str());
  return result;
}

int ntnet_shutdown(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet shutdown MACHINE [--timeout SEC]");
  DWORD timeout_ms = 20000;
  if (args.values.count("timeout")) {
    const std::string& text = args.values.at("timeout");
    char* end = nullptr;
    unsigned long seconds = strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || seconds > 3600)
      return ctx.usage("--timeout takes seconds from 0 to 3600");
    timeout_ms = static_cast<DWORD>(seconds * 1000);
  }
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  std::vector<NtServiceOutcome> outcomes;
  DWORD err = nt_service_shutdown(ref.name, timeout_ms, &outcomes);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot shut down %s (error %lu)", ref.name.c_str(),
                    static_cast<unsigned long>(err));
  int result = 0;
  for (const NtServiceOutcome& o : outcomes) {
    if (o.error != ERROR_SUCCESS) {
      ctx.error("cannot stop %s on %s (error %lu)", o.name.c_str(), ref.name.c_str(),
                static_cast<unsigned long>(o.error));
      result = 1;
    } else {
      ctx.print("%s %s on %s\n", o.killed ? "Killed" : "Stopped", o.name.c_str(),
                ref.name.c_str());
    }
  }
  ctx.print("%s is down\n", ref.name.c_str());
  return result;
}

int ntnet_service_list(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet service list MACHINE");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  std::vector<NtServiceRecord> records;
  DWORD err = nt_service_admin_list(ref.name, &records);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot list the services of %s (error %lu)", ref.name.c_str(),
                    static_cast<unsigned long>(err));
  ctx.print("%-24s  %-10s  %-8s  %7s  %10s  %s\n", "NAME", "STATE", "START", "PID", "EXIT",
            "PATH");
  for (const NtServiceRecord& r : records) {
    // EXIT: the last run's process exit code while stopped, else "-".
    std::string exit_text = "-";
    if (r.state == SERVICE_STOPPED && r.run_id > 0) {
      char code[16];
      snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(r.process_exit_code));
      exit_text = code;
    }
    std::string state = ntnet_service_state_name(r.state);
    if (r.delete_pending) state += "*";
    ctx.print("%-24s  %-10s  %-8s  %7lu  %10s  %s\n", r.name.c_str(), state.c_str(),
              ntnet_service_start_name(r.start_type), static_cast<unsigned long>(r.process_id),
              exit_text.c_str(), r.binary_path.c_str());
  }
  return 0;
}
