#include "ntnet/command_logoff.h"

#include <string>
#include <vector>

#include "platform/kernel/error.h"
#include "platform/session/session.h"

int ntnet_logoff(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.empty() || args.positional.size() > 2)
    return ctx.usage("usage: ntnet logoff MACHINE [USER] [--force]");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  const std::string user = args.positional.size() == 2 ? args.positional[1] : "";
  UINT flags = EWX_LOGOFF;
  if (args.flags.count("force")) flags |= EWX_FORCE;
  std::vector<NtSessionProgram> told;
  DWORD err = nt_logoff_session(ref.name, user, flags, 0, &told);
  for (const NtSessionProgram& p : told) {
    if (p.refused) {
      ctx.print("%lu refused the logoff\n", p.pid);
    } else {
      ctx.print("Logged off %lu (level 0x%lx)%s\n", p.pid, static_cast<unsigned long>(p.level),
                p.ended ? "" : ", still running");
    }
  }
  if (told.empty()) ctx.print("No program in the session\n");
  if (err == ERROR_SUCCESS) return 0;
  return ctx.fail("logoff of %s stopped (error %lu)", ref.name.c_str(),
                  static_cast<unsigned long>(err));
}
